#include "CodeTables.h"

#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/UiServices.h"
#include "app/engine/Connection.h"
#include "app/engine/Statement.h"

#include <QFile>
#include <QRegularExpression>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace corvalis::records {

namespace {
const QString LookupErrorSuffix = QStringLiteral(",请与系统管理员或软件发行者联系。");

bool isTableName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(name).hasMatch();
}

QString firstText(engine::Connection& connection, const QString& sql, const QVariant& key, UiServices& ui) {
    try {
        engine::Statement statement(connection, sql);
        statement.bind(1, key);
        return statement.step() ? statement.text(0) : QString();
    } catch (const Error& error) {
        showRunError(ui, error.text(), LookupErrorSuffix);
        return QString();
    }
}
} // namespace

TMenuItemDataArray loadCodeList(engine::Connection& connection, const QString& table) {
    if (!isTableName(table))
        throw EngineError(QStringLiteral("无效的表名：%1").arg(table));
    engine::Statement statement(connection,
                                QStringLiteral("select ID, Name from %1 where ID<>0 order by ID").arg(table));
    TMenuItemDataArray list;
    while (statement.step())
        list.push_back({statement.integer(0), statement.text(1)});
    return list;
}

QString codeName(const TMenuItemDataArray& list, qint64 code) {
    for (const TCode& entry : list)
        if (entry.code == code)
            return entry.name;
    return QString();
}

qint64 codeForText(const TMenuItemDataArray& list, const QString& text) {
    for (const TCode& entry : list)
        if (entry.name == text)
            return entry.code;
    return 0;
}

QString divisionName(engine::Connection& connection, qint64 code, UiServices& ui) {
    if (code <= 99999)
        return QString();
    return firstText(connection, QStringLiteral("select CombName from CT_CityName where ID=?1"), code, ui);
}

QString unionDomainName(engine::Connection& connection, const QString& code, UiServices& ui) {
    if (code.size() != 3)
        return QString();
    return firstText(connection, QStringLiteral("select Name from CT_UnionDomain where ID=?1"), code, ui);
}

DivisionParts splitDivisionCode(qint64 code) {
    return {int(code / 10000), int((code % 10000) / 100), int(code % 10000 % 100)};
}

DomainParts splitDomainCode(const QString& code) {
    const QString trimmed = code.trimmed();
    if (trimmed.isEmpty())
        return {};
    return {trimmed.left(1), trimmed.mid(1).toInt()};
}

QString machineStamp() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        // Bits 24 to 31 of EBX name the core the question ran on; cleared so that the stamp is the
        // same whichever core answers.
        ebx &= 0x00FFFFFFu;
        return QStringLiteral("%1%2%3%4")
            .arg(eax, 8, 16, QLatin1Char('0'))
            .arg(ebx, 8, 16, QLatin1Char('0'))
            .arg(ecx, 8, 16, QLatin1Char('0'))
            .arg(edx, 8, 16, QLatin1Char('0'))
            .toUpper();
    }
#endif
    QFile file(QStringLiteral("/etc/machine-id"));
    QString id;
    if (file.open(QIODevice::ReadOnly))
        id = QString::fromLatin1(file.readAll()).trimmed();
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    if (!hex.match(id).hasMatch())
        id = QStringLiteral("0").repeated(32);
    return id.toUpper();
}

} // namespace corvalis::records
