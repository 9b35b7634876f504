#include "InputMethods.h"

#include <QProcess>
#include <QStandardPaths>

namespace corvalis {

namespace {
QStringList outputLines(const QString& program, const QStringList& arguments) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {};
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(2000) || process.exitCode() != 0) {
        process.kill();
        return {};
    }
    QStringList lines;
    const QStringList output = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& line : output)
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines;
}
} // namespace

QStringList installedInputMethods() {
    QStringList engines =
        outputLines(QStringLiteral("ibus"), {QStringLiteral("list-engine"), QStringLiteral("--name-only")});
    if (engines.isEmpty()) {
        // fcitx5 names its input methods in its profile's group items.
        const QStringList profile = outputLines(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral(
                 "grep -h '^Name=' \"${XDG_CONFIG_HOME:-$HOME/.config}/fcitx5/profile\" 2>/dev/null")});
        for (const QString& line : profile)
            engines << line.mid(5);
    }
    return engines;
}

} // namespace corvalis
