#pragma once

#include "CliApplication.h"

namespace corvalis::cli {

// check [--all | --range LOW HIGH | --codes C,C,...] [--format text|json|csv] [--report FILE]
// [--fail-on-violations]: the bulk logic check of the filing records, as the check dialog runs it,
// with its results in the chosen format.
class CheckCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("check"); }
    QString summary() const override {
        return QStringLiteral("检查上报记录的逻辑，设置记录状态，写出检查结果文件");
    }
    QString arguments() const override {
        return QStringLiteral("[--all | --range LOW HIGH | --codes C,C,...] [--format text|json|csv] "
                              "[--report FILE] [--fail-on-violations]");
    }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
