#include "ColumnWidths.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace corvalis::workbook {

bool isWideCharacter(char32_t u) {
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3) ||
           (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
           (u >= 0xFFE0 && u <= 0xFFE6);
}

double displayWidth(const QString& text) {
    double width = 0;
    double lineWidth = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            width = std::max(width, lineWidth);
            lineWidth = 0;
            continue;
        }
        const bool wide = isWideCharacter(c.unicode()) || c.isSurrogate();
        lineWidth += wide ? (c.isLowSurrogate() ? 0 : 2) : 1;
    }
    return std::max(width, lineWidth);
}

void ContentWidths::note(int column, double width) {
    if (size_t(column) >= m_widths.size())
        m_widths.resize(size_t(column) + 1, -1);
    double& current = m_widths[size_t(column)];
    current = std::max(current, width);
}

void ContentWidths::merge(const ContentWidths& other) {
    for (size_t column = 0; column < other.m_widths.size(); ++column) {
        if (other.m_widths[column] >= 0)
            note(int(column), other.m_widths[column]);
    }
}

std::optional<double> ContentWidths::fitted(int column, double minimum, double maximum) const {
    if (column < 0 || size_t(column) >= m_widths.size() || m_widths[size_t(column)] < 0)
        return std::nullopt;
    return std::clamp(m_widths[size_t(column)] + 2, minimum, maximum);
}

qsizetype ContentWidths::numberTextLength(double value) {
    // Beyond qint64 every finite double is whole, and converting it there would be undefined.
    const bool whole = std::isfinite(value) && value == std::trunc(value);
    if (whole && std::fabs(value) < 1e15 && !(value == 0 && std::signbit(value))) {
        qint64 rest = qint64(std::fabs(value));
        qsizetype digits = 1;
        while (rest >= 10) {
            rest /= 10;
            ++digits;
        }
        return digits + (value < 0 ? 1 : 0);
    }
    return QLocale::c().toString(value, 'f', whole ? 0 : 2).size();
}

} // namespace corvalis::workbook
