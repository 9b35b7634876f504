#pragma once

#include "ExchangeCliCommands.h"

namespace corvalis::cli {

// import FILE [FILE...] with the preview's options: --dry-run compares the files with the database
// and writes nothing; --resolve theirs|ours imports them with that choice for every conflict and
// logs the import. Without either, the plain data import.
class PreviewingImportCommand : public ImportCommand {
public:
    QString summary() const override {
        return ImportCommand::summary() +
               QStringLiteral("；--dry-run 只预览（也收 csv 和网络版文件），--resolve "
                              "按所选一方处理编号冲突并记入导入记录");
    }
    QString arguments() const override {
        return QStringLiteral("[--dry-run | --resolve theirs|ours] FILE [FILE...]");
    }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// imports: the log of the imports made with --resolve or the preview window.
class ImportsCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("imports"); }
    QString summary() const override { return QStringLiteral("列出导入记录（可撤销的导入）"); }
    bool reportsJson() const override { return true; }
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// undo-import ID: restores the rows that were there before one logged import.
class UndoImportCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("undo-import"); }
    QString summary() const override {
        return QStringLiteral("撤销一次导入，恢复导入之前的记录（导入之后又修改过的记录不能撤销）");
    }
    QString arguments() const override { return QStringLiteral("ID"); }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
