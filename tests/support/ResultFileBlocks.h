#pragma once

// Reads the violation blocks back out of a check result file, so that tests can compare other forms of
// the same results with it record by record.
#include "app/GbkText.h"

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

namespace corvalis::testing {

struct ResultBlock {
    QString codeText;
    QString name;
    QString ruleText;
    QString explanation;

    bool operator==(const ResultBlock& other) const {
        return codeText == other.codeText && name == other.name && ruleText == other.ruleText &&
               explanation == other.explanation;
    }
};

// Every violation block of the file in order, each with the header of its record.
inline std::vector<ResultBlock> resultBlocks(const QString& path) {
    QFile file(path);
    std::vector<ResultBlock> blocks;
    if (!file.open(QIODevice::ReadOnly))
        return blocks;
    const QStringList lines = fromGbk(file.readAll()).split(QStringLiteral("\r\n"));
    static const QRegularExpression header(QStringLiteral("^(\\S+)  (.*)的数据有错误$"));
    const QString rulePrefix = QStringLiteral("  判断规则：");
    const QString explanationPrefix = QStringLiteral("  规则说明：");
    QString code;
    QString name;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = header.match(lines[i]);
        if (match.hasMatch()) {
            code = match.captured(1);
            name = match.captured(2);
        } else if (lines[i].startsWith(rulePrefix) && i + 1 < lines.size() &&
                   lines[i + 1].startsWith(explanationPrefix)) {
            blocks.push_back(
                {code, name, lines[i].mid(rulePrefix.size()), lines[i + 1].mid(explanationPrefix.size())});
            ++i;
        }
    }
    return blocks;
}

} // namespace corvalis::testing
