#pragma once

#include "CliApplication.h"

namespace corvalis::cli {

// export-report --label TEXT --output FILE: data file of the checked records.
class ExportReportCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("export-report"); }
    QString summary() const override {
        return QStringLiteral("把通过逻辑检查的记录导出为上报到离线版的数据文件");
    }
    QString arguments() const override { return QStringLiteral("--label TEXT --output FILE"); }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// import FILE [FILE...]: data import; with several files the multi-file import.
class ImportCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("import"); }
    QString summary() const override {
        return QStringLiteral("导入数据文件（.dat）或备份文件（.mdb）；多个文件时逐个文件导入");
    }
    QString arguments() const override { return QStringLiteral("FILE [FILE...]"); }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// backup --output FILE.
class BackupCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("backup"); }
    QString summary() const override { return QStringLiteral("把数据库文件备份为 .mdb 文件"); }
    QString arguments() const override { return QStringLiteral("--output FILE"); }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// restore FILE.
class RestoreCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("restore"); }
    QString summary() const override { return QStringLiteral("用备份文件中的记录替换数据库中的全部记录"); }
    QString arguments() const override { return QStringLiteral("FILE"); }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// tidy.
class TidyCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("tidy"); }
    QString summary() const override {
        return QStringLiteral("数据整理：把未设置的建会情况（c912=0）设为 1");
    }
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// export-network --output FILE: network-version file of all records.
class ExportNetworkCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("export-network"); }
    QString summary() const override { return QStringLiteral("导出上报到网络版的加密数据文件"); }
    QString arguments() const override { return QStringLiteral("--output FILE"); }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// decrypt-network FILE --output FILE: the plain text of a network-version file.
class DecryptNetworkCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("decrypt-network"); }
    QString summary() const override {
        return QStringLiteral("把网络版数据文件解密为 csv 文本（--output - 为标准输出）");
    }
    QString arguments() const override { return QStringLiteral("FILE --output FILE"); }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// import-csv FILE: CSV import.
class ImportCsvCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("import-csv"); }
    QString summary() const override { return QStringLiteral("导入网络版格式的 csv 文件"); }
    QString arguments() const override { return QStringLiteral("FILE"); }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
