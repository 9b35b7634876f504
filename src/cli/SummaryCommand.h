#pragma once

#include "CliApplication.h"

#include <optional>
#include <vector>

namespace corvalis::cli {

// summary --by industry|unit|type|domain|state|division|group:ID [--sheets N,N,...] --output FILE
class SummaryCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("summary"); }
    QString summary() const override {
        return QStringLiteral("按分类、行政区划或自定义分组汇总数据，写出汇总工作簿");
    }
    QString arguments() const override {
        return QStringLiteral(
            "--by industry|unit|type|domain|state|division|group:ID [--sheets N,N,...] --output FILE");
    }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

// The classification and group named by --by; nothing for an unknown text.
struct SummaryBy {
    int classification = 0;
    qint64 groupId = 0;
};
std::optional<SummaryBy> parseSummaryBy(const QString& text);
// The sheet numbers of --sheets, ascending and without repeats; nothing when one is not 1 to 16.
std::optional<std::vector<int>> parseSheetList(const QString& text);

} // namespace corvalis::cli
