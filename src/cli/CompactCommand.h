#pragma once

#include "CliApplication.h"

namespace corvalis::cli {

// compact: compacts the database in place ("压缩数据库文件").
class CompactCommand : public CliCommand {
public:
    QString name() const override { return QStringLiteral("compact"); }
    QString summary() const override { return QStringLiteral("压缩数据库文件（期间其他程序不能读写它）"); }
    int run(CliContext& context, const QCommandLineParser& parser) override;
};

} // namespace corvalis::cli
