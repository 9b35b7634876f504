#include "CellAddress.h"

#include "app/Errors.h"

#include <QRegularExpression>

namespace corvalis::workbook {

QString columnLetters(int column) {
    QString letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

QString cellAddress(int row, int column) {
    return columnLetters(column) + QString::number(row);
}

std::optional<CellPosition> parseCellAddress(const QString& address) {
    static const QRegularExpression pattern(QStringLiteral("^\\$?([A-Za-z]{1,3})\\$?([1-9][0-9]{0,6})$"));
    const QRegularExpressionMatch match = pattern.match(address.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    int column = 0;
    for (const QChar c : match.captured(1).toUpper())
        column = column * 26 + (c.unicode() - u'A' + 1);
    if (column > MaxColumns)
        return std::nullopt;
    return CellPosition{match.captured(2).toInt(), column};
}

std::optional<CellRange> parseCellRange(const QString& address) {
    const QStringList corners = address.split(QLatin1Char(':'));
    if (corners.size() > 2)
        return std::nullopt;
    const auto first = parseCellAddress(corners.front());
    const auto last = parseCellAddress(corners.back());
    if (!first || !last || last->row < first->row || last->column < first->column)
        return std::nullopt;
    return CellRange{*first, *last};
}

namespace {

constexpr qsizetype MaxSheetName = 31;

// A character no sheet name may hold; surrogates are judged in pairs by the callers.
bool isUnfitInSheetName(QChar c) {
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    return forbidden.contains(c) || c.unicode() < 0x20 || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF;
}

bool isPairAt(const QString& text, qsizetype at) {
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
}

} // namespace

bool isValidSheetName(const QString& name) {
    if (name.isEmpty() || name.size() > MaxSheetName || name.startsWith(QLatin1Char('\'')) ||
        name.endsWith(QLatin1Char('\'')))
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isPairAt(name, i))
            ++i;
        else if (name[i].isSurrogate() || isUnfitInSheetName(name[i]))
            return false;
    }
    return true;
}

QString fittedSheetName(const QString& name) {
    QString sheet;
    for (qsizetype i = 0; i < name.size() && sheet.size() < MaxSheetName; ++i) {
        if (isPairAt(name, i)) {
            // A character beyond the basic plane is kept whole or not at all.
            if (sheet.size() + 2 > MaxSheetName)
                break;
            sheet += name[i];
            sheet += name[++i];
            continue;
        }
        const QChar c = name[i];
        sheet += c.isSurrogate() || isUnfitInSheetName(c) ? QChar(u'_') : c;
    }
    while (sheet.startsWith(QLatin1Char('\'')) || sheet.endsWith(QLatin1Char('\'')))
        sheet = sheet.startsWith(QLatin1Char('\'')) ? sheet.mid(1) : sheet.chopped(1);
    return sheet.trimmed().isEmpty() ? QStringLiteral("Sheet1") : sheet;
}

int checkedRowIndex(int row) {
    if (row < 1 || row > MaxRows)
        throw Error(QStringLiteral("行号%1超出工作表的范围。").arg(row));
    return row - 1;
}

int checkedColumnIndex(int column) {
    if (column < 1 || column > MaxColumns)
        throw Error(QStringLiteral("列号%1超出工作表的范围。").arg(column));
    return column - 1;
}

} // namespace corvalis::workbook
