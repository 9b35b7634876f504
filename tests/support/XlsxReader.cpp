#include "XlsxReader.h"

#include "app/workbook/CellAddress.h"

#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>

XlsxReader::XlsxReader(const QString& path) : m_path(path) {
    const QByteArray book = member(QStringLiteral("xl/workbook.xml"));
    if (book.isEmpty())
        return;
    QXmlStreamReader xml(book);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("sheet"))
            m_sheetNames << xml.attributes().value(QLatin1String("name")).toString();
    }
    QXmlStreamReader strings(member(QStringLiteral("xl/sharedStrings.xml")));
    QString current;
    bool inItem = false;
    while (!strings.atEnd()) {
        strings.readNext();
        if (strings.isStartElement() && strings.name() == QLatin1String("si")) {
            inItem = true;
            current.clear();
        } else if (strings.isStartElement() && strings.name() == QLatin1String("t") && inItem) {
            current += strings.readElementText();
        } else if (strings.isEndElement() && strings.name() == QLatin1String("si")) {
            m_sharedStrings << current;
            inItem = false;
        }
    }
    m_valid = !m_sheetNames.isEmpty();
}

QByteArray XlsxReader::member(const QString& name) const {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), m_path, name});
    unzip.waitForFinished(60000);
    return unzip.exitCode() == 0 ? unzip.readAllStandardOutput() : QByteArray();
}

void XlsxReader::readSheet(int sheet) const {
    if (m_cells.contains(sheet))
        return;
    QHash<QString, QString>& cells = m_cells[sheet];
    QStringList& merges = m_merges[sheet];
    QXmlStreamReader xml(member(QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet)));
    QString address, type, value;
    // A row or cell without a reference follows the one before it.
    int row = 0, column = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
            const QStringView r = xml.attributes().value(QLatin1String("r"));
            row = r.isEmpty() ? row + 1 : r.toInt();
            column = 0;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
            address = xml.attributes().value(QLatin1String("r")).toString();
            if (address.isEmpty()) {
                address = corvalis::workbook::cellAddress(row, ++column);
            } else if (const auto position = corvalis::workbook::parseCellAddress(address)) {
                row = position->row;
                column = position->column;
            }
            type = xml.attributes().value(QLatin1String("t")).toString();
            value.clear();
        } else if (xml.isStartElement() &&
                   (xml.name() == QLatin1String("v") || xml.name() == QLatin1String("t"))) {
            value += xml.readElementText();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("c")) {
            if (type == QLatin1String("s"))
                value = m_sharedStrings.value(value.toInt());
            if (!value.isEmpty() || type == QLatin1String("s") || type == QLatin1String("inlineStr"))
                cells.insert(address, value);
        } else if (xml.isStartElement() && xml.name() == QLatin1String("mergeCell")) {
            merges << xml.attributes().value(QLatin1String("ref")).toString();
        }
    }
}

QString XlsxReader::cell(int sheet, const QString& address) const {
    readSheet(sheet);
    return m_cells.value(sheet).value(address);
}

QHash<QString, QString> XlsxReader::cells(int sheet) const {
    readSheet(sheet);
    return m_cells.value(sheet);
}

QStringList XlsxReader::merges(int sheet) const {
    readSheet(sheet);
    return m_merges.value(sheet);
}

namespace {
// The style index of a cell ("s" of the cell, else "style" of the column holding it); 0 when none.
int styleOfCell(const QByteArray& sheetXml, const QString& address) {
    QXmlStreamReader xml(sheetXml);
    static const QRegularExpression letters(QStringLiteral("^[A-Z]+"));
    const QString columnText = letters.match(address).captured(0);
    int column = 0;
    for (const QChar c : columnText)
        column = column * 26 + (c.unicode() - 'A' + 1);
    int columnStyle = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto attributes = xml.attributes();
        if (xml.name() == QLatin1String("col") && attributes.value(QLatin1String("min")).toInt() <= column &&
            attributes.value(QLatin1String("max")).toInt() >= column)
            columnStyle = attributes.value(QLatin1String("style")).toInt();
        if (xml.name() == QLatin1String("c") && attributes.value(QLatin1String("r")) == address)
            return attributes.hasAttribute(QLatin1String("s")) ? attributes.value(QLatin1String("s")).toInt()
                                                               : columnStyle;
    }
    return columnStyle;
}
} // namespace

QString XlsxReader::numberFormat(int sheet, const QString& address) const {
    const int style = styleOfCell(member(QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet)), address);
    static const QHash<int, QString> builtIn = {{0, QStringLiteral("General")},  {1, QStringLiteral("0")},
                                                {2, QStringLiteral("0.00")},     {3, QStringLiteral("#,##0")},
                                                {4, QStringLiteral("#,##0.00")}, {9, QStringLiteral("0%")},
                                                {10, QStringLiteral("0.00%")},   {49, QStringLiteral("@")}};
    QHash<int, QString> custom;
    QList<int> formatOfStyle;
    QXmlStreamReader xml(member(QStringLiteral("xl/styles.xml")));
    bool inCellFormats = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("numFmt"))
            custom.insert(xml.attributes().value(QLatin1String("numFmtId")).toInt(),
                          xml.attributes().value(QLatin1String("formatCode")).toString());
        else if (xml.isStartElement() && xml.name() == QLatin1String("cellXfs"))
            inCellFormats = true;
        else if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs"))
            inCellFormats = false;
        else if (inCellFormats && xml.isStartElement() && xml.name() == QLatin1String("xf"))
            formatOfStyle << xml.attributes().value(QLatin1String("numFmtId")).toInt();
    }
    const int format = formatOfStyle.value(style);
    return custom.contains(format) ? custom.value(format) : builtIn.value(format, QString::number(format));
}

XlsxReader::CellFormat XlsxReader::cellFormat(int sheet, const QString& address) const {
    const int style = styleOfCell(member(QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet)), address);
    QList<bool> boldFonts;
    QList<CellFormat> formats;
    QXmlStreamReader xml(member(QStringLiteral("xl/styles.xml")));
    bool inFonts = false, inCellFormats = false;
    while (!xml.atEnd()) {
        xml.readNext();
        const bool start = xml.isStartElement();
        if (!start && !xml.isEndElement())
            continue;
        const QStringView name = xml.name();
        if (name == QLatin1String("fonts"))
            inFonts = start;
        else if (name == QLatin1String("cellXfs"))
            inCellFormats = start;
        else if (inFonts && start && name == QLatin1String("font"))
            boldFonts << false;
        else if (inFonts && start && name == QLatin1String("b") && !boldFonts.isEmpty())
            boldFonts.last() = true;
        else if (inCellFormats && start && name == QLatin1String("xf"))
            formats << CellFormat{0,
                                  boldFonts.value(xml.attributes().value(QLatin1String("fontId")).toInt())};
        else if (inCellFormats && start && name == QLatin1String("alignment") && !formats.isEmpty())
            formats.last().indent = xml.attributes().value(QLatin1String("indent")).toInt();
    }
    return formats.value(style);
}

int XlsxReader::indent(int sheet, const QString& address) const {
    return cellFormat(sheet, address).indent;
}

bool XlsxReader::bold(int sheet, const QString& address) const {
    return cellFormat(sheet, address).bold;
}
