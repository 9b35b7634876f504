#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace corvalis::workbook {

// Display width of a text in spreadsheet column units: wide (CJK, full-width) characters count 2.
double displayWidth(const QString& text);
// Whether a character of the basic plane counts 2; every character beyond it does.
bool isWideCharacter(char32_t code);

// The widest content written into each column, from which columns are fitted to their contents.
class ContentWidths {
public:
    void noteText(int column, const QString& text) { note(column, displayWidth(text)); }
    // Thousands separators and a little room for the number format.
    void noteNumber(int column, double value) { noteNumberText(column, numberTextLength(value)); }
    // The same for a number whose text, as numberTextLength() gives it, is known.
    void noteNumberText(int column, qsizetype length) { note(column, double(length) * 1.3 + 1); }
    void note(int column, double width);
    // Takes the wider of each column's two widths.
    void merge(const ContentWidths& other);

    int columnCount() const { return int(m_widths.size()); }
    // The width that fits the column's contents with a little margin, within the bounds; empty for
    // a column nothing was written into.
    std::optional<double> fitted(int column, double minimum, double maximum) const;

    // The length of the number as written with no separator: whole, or with two decimals.
    static qsizetype numberTextLength(double value);

private:
    // By column number; negative where nothing was noted.
    std::vector<double> m_widths;
};

} // namespace corvalis::workbook
