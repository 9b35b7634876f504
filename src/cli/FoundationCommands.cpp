#include "FoundationCommands.h"

#include "CliUiServices.h"
#include "app/DbSession.h"
#include "app/Errors.h"
#include "app/FileOps.h"
#include "app/engine/Statement.h"
#include "records/RecordGenerator.h"
#include "records/ShippedDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace corvalis::cli {

void InitCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("force"), QStringLiteral("覆盖已经存在的文件。")});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("新数据库的文件名（默认为 --db 或默认数据库）。"),
                                 QStringLiteral("[FILE]"));
}

int InitCommand::run(CliContext& context, const QCommandLineParser& parser) {
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        context.err << QStringLiteral("init 只接受一个文件名。") << Qt::endl;
        return ExitUsage;
    }
    const QString path =
        positional.isEmpty() ? context.databasePath() : QFileInfo(positional.front()).absoluteFilePath();
    if (QFileInfo::exists(path)) {
        if (!parser.isSet(QStringLiteral("force"))) {
            context.err << QStringLiteral("文件“%1”已经存在；要覆盖它请加 --force。").arg(path) << Qt::endl;
            return ExitFailure;
        }
    }
    // Build beside the target and move it into place, so a failure never leaves a half-made file
    // and --force never loses the old file before the new one is complete.
    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    records::createShippedDatabase(partial);
    if (!moveIntoPlace(partial, path)) {
        context.err << QStringLiteral("无法创建文件“%1”。").arg(path) << Qt::endl;
        return ExitFailure;
    }
    context.say(QStringLiteral("已创建数据库：%1").arg(path));
    return ExitSuccess;
}

int InfoCommand::run(CliContext& context, const QCommandLineParser&) {
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    engine::Statement counts(
        session.connection(),
        QStringLiteral("select RecordState, count(*) from dt_data group by RecordState order by 1"));
    qint64 total = 0;
    QString lines;
    QJsonObject states;
    while (counts.step()) {
        total += counts.integer(1);
        const QString state = counts.isNull(0) ? QStringLiteral("（空）") : counts.text(0);
        lines += QStringLiteral("  RecordState %1：%2\n").arg(state).arg(counts.integer(1));
        states.insert(counts.isNull(0) ? QStringLiteral("null") : counts.text(0), counts.integer(1));
    }
    if (context.json) {
        context.printJson({{QStringLiteral("database"), session.path()},
                           {QStringLiteral("label"), session.label()},
                           {QStringLiteral("records"), total},
                           {QStringLiteral("states"), states}});
        return ExitSuccess;
    }
    context.out << QStringLiteral("数据库：%1\n标识：%2\n记录数：%3\n")
                       .arg(session.path(), session.label())
                       .arg(total)
                << lines;
    return ExitSuccess;
}

void GenerateCommand::addOptions(QCommandLineParser& parser) const {
    parser.addOption({QStringLiteral("count"), QStringLiteral("要生成的记录数。"), QStringLiteral("N")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("随机种子（默认 1）。"), QStringLiteral("S")});
    parser.addOption({QStringLiteral("first-code"),
                      QStringLiteral("第一条记录的编码（默认接在最大编码之后）。"), QStringLiteral("C")});
    parser.addOption({QStringLiteral("faulty"),
                      QStringLiteral("违反逻辑规则的记录所占的比例，0 到 1（默认 0）。"),
                      QStringLiteral("F")});
}

int GenerateCommand::run(CliContext& context, const QCommandLineParser& parser) {
    records::GeneratorOptions options;
    qint64 seed = 1;
    if (!parser.isSet(QStringLiteral("count"))) {
        context.err << QStringLiteral("generate 需要 --count N。") << Qt::endl;
        return ExitUsage;
    }
    if (!readIntegerOption(parser, QStringLiteral("count"), options.count, context.err) ||
        !readIntegerOption(parser, QStringLiteral("seed"), seed, context.err) ||
        !readIntegerOption(parser, QStringLiteral("first-code"), options.firstCode, context.err))
        return ExitUsage;
    options.seed = quint64(seed);
    if (parser.isSet(QStringLiteral("faulty"))) {
        bool ok = false;
        options.faultyShare = parser.value(QStringLiteral("faulty")).toDouble(&ok);
        if (!ok || options.faultyShare < 0 || options.faultyShare > 1) {
            context.err << QStringLiteral("--faulty 必须是 0 到 1 之间的数。") << Qt::endl;
            return ExitUsage;
        }
    }
    if (options.count < 0) {
        context.err << QStringLiteral("--count 不能为负数。") << Qt::endl;
        return ExitUsage;
    }
    DbSession session(context.folder, context.ui);
    if (!context.openSession(session))
        return ExitFailure;
    const records::GeneratorResult result =
        records::generateRecords(session.connection(), options, &context.ui.progress());
    context.say(QStringLiteral("已生成 %1 条记录（其中 %2 条违反逻辑规则），编码 %3 到 %4。")
                    .arg(result.written)
                    .arg(result.faulty)
                    .arg(result.firstCode)
                    .arg(result.lastCode));
    return ExitSuccess;
}

} // namespace corvalis::cli
