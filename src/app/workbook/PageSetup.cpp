#include "PageSetup.h"

#include "CellAddress.h"

#include <QStringList>
#include <numeric>

namespace corvalis::workbook {

namespace {

constexpr double A4WidthPoints = 595.0;
constexpr double A4HeightPoints = 842.0;
constexpr double SideMarginInches = 0.7;
// Below this scale a sheet scaled to one page wide is too small to read.
constexpr double SmallestReadableScale = 0.5;

// A sheet name as a reference quotes it, doubling its apostrophes.
QString quotedSheet(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString printTitlesReference(const QString& sheet, const PageSetup& setup) {
    QStringList parts;
    if (setup.titleColumns > 0)
        parts << quotedSheet(sheet) + QStringLiteral("!$A:$") + columnLetters(setup.titleColumns);
    if (setup.titleLastRow > 0)
        parts << quotedSheet(sheet) +
                     QStringLiteral("!$%1:$%2").arg(setup.titleFirstRow).arg(setup.titleLastRow);
    return parts.join(QLatin1Char(','));
}

} // namespace

double printableWidthPoints(bool landscape) {
    return (landscape ? A4HeightPoints : A4WidthPoints) - 2 * SideMarginInches * 72;
}

double columnsWidthPoints(const std::vector<double>& widths) {
    // A column of n characters is n digit widths of 7 pixels plus 5 pixels of padding.
    return std::accumulate(widths.begin(), widths.end(), 0.0,
                           [](double sum, double width) { return sum + (width * 7 + 5) * 0.75; });
}

PageSetup tablePageSetup(const std::vector<double>& columnWidths, int titleRows, int keyColumns) {
    PageSetup setup;
    const double width = columnsWidthPoints(columnWidths);
    setup.landscape = width > printableWidthPoints(false);
    if (width * SmallestReadableScale <= printableWidthPoints(setup.landscape))
        setup.fitWide = 1;
    else
        setup.titleColumns = keyColumns;
    if (titleRows > 0) {
        setup.titleFirstRow = 1;
        setup.titleLastRow = titleRows;
    }
    return setup;
}

QByteArray sheetPropertiesXml(const PageSetup& setup) {
    return setup.scaled() ? QByteArray("<sheetPr><pageSetUpPr fitToPage=\"1\"/></sheetPr>") : QByteArray();
}

QByteArray pageSetupXml(const PageSetup& setup) {
    QByteArray xml = "<printOptions horizontalCentered=\"1\"/>"
                     "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
                     "footer=\"0.3\"/><pageSetup paperSize=\"9\"";
    if (setup.scaled())
        xml += " fitToWidth=\"" + QByteArray::number(setup.fitWide) + "\" fitToHeight=\"" +
               QByteArray::number(setup.fitTall) + "\"";
    xml += setup.landscape ? " orientation=\"landscape\"/>" : " orientation=\"portrait\"/>";
    return xml;
}

QByteArray printTitlesXml(const std::vector<std::pair<QString, PageSetup>>& sheets) {
    QByteArray names;
    for (size_t index = 0; index < sheets.size(); ++index) {
        const QString reference = printTitlesReference(sheets[index].first, sheets[index].second);
        if (reference.isEmpty())
            continue;
        names += "<definedName name=\"_xlnm.Print_Titles\" localSheetId=\"" +
                 QByteArray::number(qulonglong(index)) + "\">" + reference.toHtmlEscaped().toUtf8() +
                 "</definedName>";
    }
    return names.isEmpty() ? QByteArray() : "<definedNames>" + names + "</definedNames>";
}

} // namespace corvalis::workbook
