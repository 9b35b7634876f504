#include "RuleListing.h"

#include "app/GbkText.h"
#include "app/Settings.h"
#include "app/engine/Statement.h"

#include <QDir>

namespace corvalis::checks {

QString ruleListingPath() {
    return QDir(Settings::documentsFolder()).filePath(QStringLiteral("导出逻辑.txt"));
}

void writeRuleListing(engine::Connection& connection, const QString& path) {
    GbkTextWriter listing(path);
    engine::Statement pages(
        connection, QStringLiteral("select Codeid from ct_sheetName where Codeid>0 order by Codeid asc"));
    engine::Statement rules(connection,
                            QStringLiteral("select expression, rule, explain, page_id, focus from dt_logic "
                                           "where page_id=?1"));
    while (pages.step()) {
        rules.reset();
        rules.bindInt64(1, pages.integer(0));
        while (rules.step()) {
            listing.writeLine(QStringLiteral("if ") + rules.text(0) + QStringLiteral(" then"));
            listing.writeLine(QStringLiteral("WriteString('") + rules.text(1) + QStringLiteral("',"));
            listing.writeLine(QStringLiteral("Parse('") + rules.text(2) + QStringLiteral("'),") +
                              rules.text(3) + QStringLiteral(",'") + rules.text(4) + QStringLiteral("');"));
        }
    }
    listing.close();
}

} // namespace corvalis::checks
