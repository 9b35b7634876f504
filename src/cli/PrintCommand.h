#pragma once

#include "CliApplication.h"

namespace corvalis::cli {

// print CODE --output FILE: the filled print form of one record, as a workbook (.xlsx) or a PDF file
// (.pdf) of A4 pages.
class PrintCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("print"); }
    QString summary() const override {
        return QStringLiteral("把一条记录填入年报打印表，写成工作簿（.xlsx）或 A4 的 PDF 文件（.pdf）");
    }
    QString arguments() const override { return QStringLiteral("CODE --output FILE"); }
    bool needsGraphics() const override { return true; }
    void addOptions(QCommandLineParser& parser) const override;
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
