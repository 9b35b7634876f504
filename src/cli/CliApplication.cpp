#include "CliApplication.h"

#include "CliUiServices.h"
#include "app/DbSession.h"

#include <QFileInfo>

namespace corvalis::cli {

QString CliContext::databasePath() const {
    return databaseOption.isEmpty() ? folder.defaultDatabase() : QFileInfo(databaseOption).absoluteFilePath();
}

bool CliContext::openSession(DbSession& session) const {
    return session.openDatabase(databaseOption.isEmpty() ? QString() : databasePath()) == OpenOutcome::Opened;
}

CliApplication::CliApplication() = default;
CliApplication::~CliApplication() = default;

void CliApplication::add(std::unique_ptr<CliCommand> command) {
    m_commands.push_back(std::move(command));
}

CliCommand* CliApplication::find(const QString& name) const {
    for (const auto& command : m_commands)
        if (command->name() == name)
            return command.get();
    return nullptr;
}

QString CliApplication::helpText() const {
    QString text = QStringLiteral("用法：corvalis-survey-cli [--home DIR] [--db FILE] COMMAND [options]\n\n"
                                  "全局选项：\n"
                                  "  --home DIR   程序文件夹（默认数据库、数据文件模板等所在的文件夹）\n"
                                  "  --db FILE    要处理的数据库文件（默认为程序文件夹中的默认数据库）\n"
                                  "  --help       显示本帮助；COMMAND --help 显示命令的选项\n\n"
                                  "命令：\n");
    for (const auto& command : m_commands) {
        const QString head =
            command->name() +
            (command->arguments().isEmpty() ? QString() : QLatin1Char(' ') + command->arguments());
        text += QStringLiteral("  %1\n      %2\n").arg(head, command->summary());
    }
    return text;
}

namespace {
// Takes "--name VALUE" or "--name=VALUE" at position i; true when the argument was that option.
bool takeValue(const QStringList& args, int& i, const QString& name, QString& value, bool& missing) {
    const QString& arg = args.at(i);
    if (arg == name) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args.at(++i);
        return true;
    }
    if (arg.startsWith(name + QLatin1Char('='))) {
        value = arg.mid(name.size() + 1);
        return true;
    }
    return false;
}
} // namespace

bool CliApplication::needsGraphics(const QStringList& arguments) const {
    QString ignored;
    for (int i = 1; i < arguments.size(); ++i) {
        bool missing = false;
        if (takeValue(arguments, i, QStringLiteral("--home"), ignored, missing) ||
            takeValue(arguments, i, QStringLiteral("--db"), ignored, missing))
            continue;
        if (arguments.at(i).startsWith(QLatin1Char('-')))
            return false;
        const CliCommand* command = find(arguments.at(i));
        return command && command->needsGraphics();
    }
    return false;
}

int CliApplication::run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QString home, database;
    QString commandName;
    QStringList rest;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        bool missing = false;
        if (takeValue(arguments, i, QStringLiteral("--home"), home, missing) ||
            takeValue(arguments, i, QStringLiteral("--db"), database, missing)) {
            if (missing) {
                err << QStringLiteral("选项 %1 缺少参数。").arg(arg) << Qt::endl;
                return ExitUsage;
            }
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << helpText();
            out.flush();
            return ExitSuccess;
        }
        if (arg.startsWith(QLatin1Char('-'))) {
            err << QStringLiteral("未知的选项：%1").arg(arg) << Qt::endl << helpText();
            return ExitUsage;
        }
        commandName = arg;
        rest = arguments.mid(i + 1);
        break;
    }
    if (commandName.isEmpty()) {
        err << helpText();
        return ExitUsage;
    }
    CliCommand* command = find(commandName);
    if (!command) {
        err << QStringLiteral("未知的命令：%1").arg(commandName) << Qt::endl << helpText();
        return ExitUsage;
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(command->summary());
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示本命令的选项。"));
    parser.addOption(help);
    command->addOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("corvalis-survey-cli ") + commandName} + rest)) {
        err << parser.errorText() << Qt::endl;
        return ExitUsage;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        out.flush();
        return ExitSuccess;
    }

    CliUiServices ui(out, err);
    CliContext context{out, err, ProgramFolder::resolve(home), database, ui};
    int code = ExitFailure;
    try {
        code = command->run(context, parser);
    } catch (const std::exception& error) {
        err << QStringLiteral("运行中发生错误：") << QString::fromUtf8(error.what()) << Qt::endl;
        code = ExitFailure;
    }
    out.flush();
    err.flush();
    return code;
}

bool readIntegerOption(const QCommandLineParser& parser, const QString& name, qint64& value,
                       QTextStream& err) {
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const qint64 parsed = parser.value(name).trimmed().toLongLong(&ok);
    if (!ok) {
        err << QStringLiteral("选项 --%1 需要一个整数：%2").arg(name, parser.value(name)) << Qt::endl;
        return false;
    }
    value = parsed;
    return true;
}

} // namespace corvalis::cli
