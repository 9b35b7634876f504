#pragma once

#include "CliApplication.h"

namespace corvalis::cli {

// roster import FILE | roster list: the roster of the units expected to report.
class RosterCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("roster"); }
    QString summary() const override {
        return QStringLiteral(
            "应报单位名单：import 从上年数据库、数据文件或 CSV（c901,c902,c903）导入，list 列出");
    }
    QString arguments() const override { return QStringLiteral("import FILE | list"); }
    bool reportsJson() const override { return true; }
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// completeness --by division|industry: expected, received and missing returns per class.
class CompletenessCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("completeness"); }
    QString summary() const override {
        return QStringLiteral("上报情况：按行政区划或产业类别统计应报、已报、未报的单位数");
    }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
