#pragma once

#include "CliApplication.h"

namespace corvalis::cli {

// export-list [--tables LETTERS] [--range LOW HIGH | --group-item ID] --output FILE: the list export.
class ExportListCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("export-list"); }
    QString summary() const override {
        return QStringLiteral("导出数据列表（封面字段及所选调查表的字段）到 Excel 文件");
    }
    QString arguments() const override {
        return QStringLiteral("[--tables LETTERS] [--range LOW HIGH | --group-item ID] --output FILE");
    }
    bool reportsJson() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
