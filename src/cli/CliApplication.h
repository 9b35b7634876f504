#pragma once

#include "app/ProgramFolder.h"

#include <QCommandLineParser>
#include <QIODevice>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <vector>

namespace corvalis {
class DbSession;
}

namespace corvalis::cli {

class CliUiServices;

// Exit codes of the command-line tool.
// ExitViolations: check --fail-on-violations found a record with logic errors.
enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2, ExitViolations = 3 };

// How much the tool says: -q keeps only problems, -v adds detail such as the database and the time taken.
enum class Verbosity { Quiet, Normal, Verbose };

// What a command runs with: the streams, the global options and the UI services.
struct CliContext {
    QTextStream& out;
    QTextStream& err;
    ProgramFolder folder;
    QString databaseOption; // --db, empty for the default database
    CliUiServices& ui;
    Verbosity verbosity = Verbosity::Normal;
    bool json = false;           // --json: standard output carries one JSON object and nothing else
    QIODevice* rawOut = nullptr; // standard output for bytes (--output -), null where there is none

    // The database the command works on: --db or the program folder's default database.
    QString databasePath() const;
    // Opens that database as the program does; false (after its message) when it cannot be opened.
    // A --db file that is missing or no database is named in the message.
    bool openSession(DbSession& session) const;
    // A line of what was done, on standard output unless -q or --json asked for silence.
    void say(const QString& line) const;
    // A line of detail on standard error, only with -v.
    void detail(const QString& line) const;
    // The command's one JSON object on standard output.
    void printJson(const QJsonObject& object) const;
    // Copies a file's bytes unchanged to standard output (for --output -); false after a message when
    // that fails.
    bool copyToStandardOutput(const QString& path) const;
};

// One command of the tool: its name, a line of help, its options, and what it does.
class CliCommand {
public:
    virtual ~CliCommand() = default;
    virtual QString name() const = 0;
    virtual QString summary() const = 0;
    // The arguments after the options, for the help text ("[FILE]").
    virtual QString arguments() const { return QString(); }
    virtual void addOptions(QCommandLineParser& parser) const { Q_UNUSED(parser) }
    // Whether the command paints (PDF output), which needs the graphical application and its fonts;
    // the other commands start without them, which makes each run much quicker.
    virtual bool needsGraphics() const { return false; }
    // Whether the command takes --json.
    virtual bool reportsJson() const { return false; }
    // Returns an ExitCode. A usage error (a missing or bad option) returns ExitUsage after saying why.
    virtual int run(CliContext& context, const QCommandLineParser& parser) = 0;
};

// Parses "[--home DIR] [--db FILE] COMMAND [options]" and runs the command.
class CliApplication {
public:
    CliApplication();
    ~CliApplication();
    void add(std::unique_ptr<CliCommand> command);
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err);
    // Whether the command these arguments name needs the graphical application.
    bool needsGraphics(const QStringList& arguments) const;
    QString helpText() const;
    // One command's help: usage line with the command's name, its description and options, in Chinese.
    QString commandHelp(const CliCommand& command) const;
    // "corvalis-survey-cli 1.0 (Build N)", as the about box says it.
    static QString versionText();
    // Whether standard error is a terminal, where long work shows a progress line.
    void setProgressTerminal(bool terminal) { m_progressTerminal = terminal; }
    // Where commands write bytes for "--output -": the process's standard output.
    void setRawOutput(QIODevice* device) { m_rawOut = device; }
    const std::vector<std::unique_ptr<CliCommand>>& commands() const { return m_commands; }

private:
    CliCommand* find(const QString& name) const;
    int runCommand(CliCommand& command, const QStringList& rest, const QString& home, const QString& database,
                   Verbosity verbosity, QTextStream& out, QTextStream& err);
    std::vector<std::unique_ptr<CliCommand>> m_commands;
    bool m_progressTerminal = false;
    QIODevice* m_rawOut = nullptr;
};

// "--output -" and "--report -" name standard output.
inline const QString StandardOutputName = QStringLiteral("-");

// The tool's name, as usage lines and the version show it.
inline const QString ToolName = QStringLiteral("corvalis-survey-cli");

// Registers every command of the tool.
void registerCommands(CliApplication& application);

// Reads a whole number option; reports a usage error and returns false when it is not one.
bool readIntegerOption(const QCommandLineParser& parser, const QString& name, qint64& value,
                       QTextStream& err);

} // namespace corvalis::cli
