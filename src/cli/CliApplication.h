#pragma once

#include "app/ProgramFolder.h"

#include <QCommandLineParser>
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
enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

// What a command runs with: the streams, the global options and the UI services.
struct CliContext {
    QTextStream& out;
    QTextStream& err;
    ProgramFolder folder;
    QString databaseOption; // --db, empty for the default database
    CliUiServices& ui;

    // The database the command works on: --db or the program folder's default database.
    QString databasePath() const;
    // Opens that database as the program does; false (after its message) when it cannot be opened.
    bool openSession(DbSession& session) const;
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

private:
    CliCommand* find(const QString& name) const;
    std::vector<std::unique_ptr<CliCommand>> m_commands;
};

// Registers every command of the tool.
void registerCommands(CliApplication& application);

// Reads a whole number option; reports a usage error and returns false when it is not one.
bool readIntegerOption(const QCommandLineParser& parser, const QString& name, qint64& value,
                       QTextStream& err);

} // namespace corvalis::cli
