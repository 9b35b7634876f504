#include "CliApplication.h"

#include "BuildInfo.h"
#include "CliUiServices.h"
#include "app/DbSession.h"
#include "app/ProgramNames.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

namespace corvalis::cli {

namespace {

// The 16 bytes every SQLite database file begins with.
const QByteArray DatabaseSignature("SQLite format 3\0", 16);

bool looksLikeDatabase(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(DatabaseSignature.size()) == DatabaseSignature;
}

// The messages DbSession gives for any file it cannot use; for a --db file they say too little.
bool isGenericOpenMessage(const QString& message) {
    return message == MissingDatabaseMessage || message == BadInstallationMessage;
}

} // namespace

QString CliContext::databasePath() const {
    return databaseOption.isEmpty() ? folder.defaultDatabase() : QFileInfo(databaseOption).absoluteFilePath();
}

bool CliContext::openSession(DbSession& session) const {
    if (databaseOption.isEmpty()) {
        detail(QStringLiteral("数据库：%1").arg(databasePath()));
        return session.openDatabase() == OpenOutcome::Opened;
    }
    const QString path = databasePath();
    detail(QStringLiteral("数据库：%1").arg(path));
    if (!QFileInfo(path).isFile()) {
        err << QStringLiteral("数据库文件“%1”不存在。").arg(path) << Qt::endl;
        return false;
    }
    ui.holdMessages(true);
    const OpenOutcome outcome = session.openDatabase(path);
    ui.holdMessages(false);
    const QStringList held = ui.takeHeldMessages();
    for (const QString& message : held) {
        if (outcome != OpenOutcome::Opened && isGenericOpenMessage(message))
            err << (looksLikeDatabase(path)
                        ? QStringLiteral("文件“%1”不是本程序的数据库，无法打开。").arg(path)
                        : QStringLiteral("文件“%1”不是数据库文件。").arg(path))
                << Qt::endl;
        else
            err << message << Qt::endl;
    }
    return outcome == OpenOutcome::Opened;
}

void CliContext::say(const QString& line) const {
    if (verbosity != Verbosity::Quiet && !json)
        out << line << Qt::endl;
}

void CliContext::detail(const QString& line) const {
    if (verbosity == Verbosity::Verbose)
        err << line << Qt::endl;
}

void CliContext::printJson(const QJsonObject& object) const {
    out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << Qt::endl;
}

bool CliContext::copyToStandardOutput(const QString& path) const {
    QFile file(path);
    if (!rawOut || !file.open(QIODevice::ReadOnly)) {
        err << QStringLiteral("无法把文件“%1”写到标准输出。").arg(path) << Qt::endl;
        return false;
    }
    out.flush();
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 16);
        if (chunk.isEmpty() || rawOut->write(chunk) != chunk.size()) {
            err << QStringLiteral("写标准输出失败。") << Qt::endl;
            return false;
        }
    }
    return true;
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

QString CliApplication::versionText() {
    return QStringLiteral("%1 %2 (Build %3)\n%4\n")
        .arg(ToolName, program::ProgramVersion)
        .arg(BuildNumber)
        .arg(program::DisplayName);
}

QString CliApplication::helpText() const {
    QString text = QStringLiteral("用法：%1 [--home DIR] [--db FILE] [-q|-v] COMMAND [选项]\n\n"
                                  "基层工会统计年报的命令行工具。\n\n"
                                  "全局选项：\n"
                                  "  --home DIR     程序文件夹（默认数据库、数据文件模板等所在的文件夹）\n"
                                  "  --db FILE      要处理的数据库文件（默认为程序文件夹中的默认数据库）\n"
                                  "  -q, --quiet    只显示警告和错误\n"
                                  "  -v, --verbose  另外显示所用的数据库和用时\n"
                                  "  -h, --help     显示本帮助\n"
                                  "  --version      显示版本和构建号\n\n"
                                  "命令：\n")
                       .arg(ToolName);
    for (const auto& command : m_commands) {
        const QString head =
            command->name() +
            (command->arguments().isEmpty() ? QString() : QLatin1Char(' ') + command->arguments());
        text += QStringLiteral("  %1\n      %2\n").arg(head, command->summary());
    }
    text += QStringLiteral("  help COMMAND\n      显示一个命令的用法和选项\n\n"
                           "退出码：0 成功，1 失败（原因在标准错误上），2 用法错误，"
                           "3 check --fail-on-violations 发现了逻辑错误。\n"
                           "长时间的工作在标准错误是终端时显示进度。\n");
    return text;
}

namespace {

// The options every command takes.
const QCommandLineOption HelpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("显示本命令的用法和选项。"));
const QCommandLineOption QuietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                     QStringLiteral("只显示警告和错误。"));
const QCommandLineOption VerboseOption(QStringList{QStringLiteral("v"), QStringLiteral("verbose")},
                                       QStringLiteral("另外显示所用的数据库和用时。"));
const QCommandLineOption JsonOption(QStringLiteral("json"),
                                    QStringLiteral("在标准输出上以一个 JSON 对象给出结果。"));

void addCommonOptions(const CliCommand& command, QCommandLineParser& parser) {
    parser.addOption(HelpOption);
    parser.addOption(QuietOption);
    parser.addOption(VerboseOption);
    if (command.reportsJson())
        parser.addOption(JsonOption);
    command.addOptions(parser);
}

// Qt's help text of the options and arguments, with its headings in Chinese. The blocks of that text
// are separated by empty lines: the usage line first, then each headed list.
QString optionSections(const QCommandLineParser& parser) {
    const QStringList blocks = parser.helpText().split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    const QStringList headings{QStringLiteral("选项："), QStringLiteral("参数：")};
    QString text;
    for (int i = 1; i < blocks.size() && i - 1 < headings.size(); ++i) {
        QStringList lines = blocks.at(i).split(QLatin1Char('\n'));
        lines.front() = headings.at(i - 1);
        text += QLatin1Char('\n') + lines.join(QLatin1Char('\n')).trimmed() + QLatin1Char('\n');
    }
    return text;
}

// The parser's own errors in Chinese; Qt's Chinese translations, when loaded, have done it already.
QString chineseParserError(const QString& text) {
    struct Mapping {
        const char* pattern;
        const char* chinese;
    };
    static const Mapping mappings[] = {
        {"^Unknown options?:? '?(.*?)'?\\.$", "未知的选项：%1"},
        {"^Missing value after '(.*)'\\.$", "选项 %1 缺少参数。"},
        {"^Unexpected value after '(.*)'\\.$", "选项 %1 不接受参数。"},
    };
    for (const Mapping& mapping : mappings) {
        const QRegularExpressionMatch match =
            QRegularExpression(QString::fromLatin1(mapping.pattern)).match(text);
        if (match.hasMatch())
            return QString::fromUtf8(mapping.chinese).arg(match.captured(1));
    }
    return text;
}

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

QString CliApplication::commandHelp(const CliCommand& command) const {
    QCommandLineParser parser;
    addCommonOptions(command, parser);
    const QString arguments =
        command.arguments().isEmpty() ? QString() : QLatin1Char(' ') + command.arguments();
    return QStringLiteral("用法：%1 %2 [选项]%3\n\n%4\n")
               .arg(ToolName, command.name(), arguments, command.summary()) +
           optionSections(parser);
}

bool CliApplication::needsGraphics(const QStringList& arguments) const {
    QString ignored;
    for (int i = 1; i < arguments.size(); ++i) {
        bool missing = false;
        if (takeValue(arguments, i, QStringLiteral("--home"), ignored, missing) ||
            takeValue(arguments, i, QStringLiteral("--db"), ignored, missing))
            continue;
        if (arguments.at(i).startsWith(QLatin1Char('-')))
            continue;
        const CliCommand* command = find(arguments.at(i));
        return command && command->needsGraphics();
    }
    return false;
}

int CliApplication::run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QString home, database;
    Verbosity verbosity = Verbosity::Normal;
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
        if (arg == QLatin1String("-q") || arg == QLatin1String("--quiet")) {
            verbosity = Verbosity::Quiet;
            continue;
        }
        if (arg == QLatin1String("-v") || arg == QLatin1String("--verbose")) {
            verbosity = Verbosity::Verbose;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << helpText();
            out.flush();
            return ExitSuccess;
        }
        if (arg == QLatin1String("--version")) {
            out << versionText();
            out.flush();
            return ExitSuccess;
        }
        if (arg.startsWith(QLatin1Char('-'))) {
            err << QStringLiteral("未知的选项：%1").arg(arg) << Qt::endl << helpText();
            return ExitUsage;
        }
        const QStringList rest = arguments.mid(i + 1);
        if (arg == QLatin1String("help")) {
            if (rest.isEmpty()) {
                out << helpText();
                out.flush();
                return ExitSuccess;
            }
            const CliCommand* command = find(rest.front());
            if (!command || rest.size() > 1) {
                err << QStringLiteral("未知的命令：%1").arg(rest.join(QLatin1Char(' '))) << Qt::endl;
                return ExitUsage;
            }
            out << commandHelp(*command);
            out.flush();
            return ExitSuccess;
        }
        CliCommand* command = find(arg);
        if (!command) {
            err << QStringLiteral("未知的命令：%1").arg(arg) << Qt::endl << helpText();
            return ExitUsage;
        }
        return runCommand(*command, rest, home, database, verbosity, out, err);
    }
    err << helpText();
    return ExitUsage;
}

int CliApplication::runCommand(CliCommand& command, const QStringList& rest, const QString& home,
                               const QString& database, Verbosity verbosity, QTextStream& out,
                               QTextStream& err) {
    QCommandLineParser parser;
    addCommonOptions(command, parser);
    if (!parser.parse(QStringList{ToolName + QLatin1Char(' ') + command.name()} + rest)) {
        err << chineseParserError(parser.errorText()) << Qt::endl
            << QStringLiteral("用法：%1 %2 %3").arg(ToolName, command.name(), command.arguments()).trimmed()
            << Qt::endl;
        return ExitUsage;
    }
    if (parser.isSet(HelpOption)) {
        out << commandHelp(command);
        out.flush();
        return ExitSuccess;
    }
    if (parser.isSet(QuietOption))
        verbosity = Verbosity::Quiet;
    if (parser.isSet(VerboseOption))
        verbosity = Verbosity::Verbose;
    const bool json = command.reportsJson() && parser.isSet(JsonOption);

    CliUiServices ui(out, err);
    ui.setQuiet(verbosity == Verbosity::Quiet);
    ui.setJson(json);
    ui.setProgressShown(m_progressTerminal && verbosity != Verbosity::Quiet);
    CliContext context{out, err, ProgramFolder::resolve(home), database, ui, verbosity, json, m_rawOut};
    context.detail(QStringLiteral("程序文件夹：%1").arg(context.folder.path()));
    QElapsedTimer timer;
    timer.start();
    int code = ExitFailure;
    try {
        code = command.run(context, parser);
    } catch (const std::exception& error) {
        ui.progress().finish();
        err << RunErrorPrefix << QString::fromUtf8(error.what()) << Qt::endl;
        code = ExitFailure;
    }
    context.detail(
        QStringLiteral("用时 %1 秒，退出码 %2。").arg(double(timer.elapsed()) / 1000.0, 0, 'f', 2).arg(code));
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
