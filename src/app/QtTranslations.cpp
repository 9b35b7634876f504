#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace corvalis {

bool installQtChineseTranslations(const QString& folder) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return false;
    const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto* translator = new QTranslator(application);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), from) || translator->isEmpty() ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace corvalis
