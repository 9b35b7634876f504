#include "XlsxReader.h"

#include "app/workbook/CellAddress.h"

#include <QProcess>
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
