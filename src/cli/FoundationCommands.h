#pragma once

#include "CliApplication.h"

namespace corvalis::cli {

// init [--force] [FILE]: creates a database with the shipped tables, views and codes.
class InitCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("init"); }
    QString summary() const override {
        return QStringLiteral("创建带有全部数据表、视图和代码的新数据库（已存在时须加 --force）");
    }
    QString arguments() const override { return QStringLiteral("[--force] [FILE]"); }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// info: path, label and the number of records per RecordState.
class InfoCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("info"); }
    QString summary() const override { return QStringLiteral("显示数据库的路径、标识和各状态的记录数"); }
    bool reportsJson() const override { return true; }
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// generate --count N [--seed S] [--first-code C] [--faulty F]: synthetic records.
class GenerateCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("generate"); }
    QString summary() const override {
        return QStringLiteral("生成 N 条逼真的模拟记录（其中比例为 F 的记录违反逻辑规则），状态为临时保存");
    }
    QString arguments() const override {
        return QStringLiteral("--count N [--seed S] [--first-code C] [--faulty F]");
    }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
