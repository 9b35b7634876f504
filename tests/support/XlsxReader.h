#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Reads back the cell values of an xlsx file for tests (through the unzip tool).
class XlsxReader {
public:
    explicit XlsxReader(const QString& path);

    bool isValid() const { return m_valid; }
    QStringList sheetNames() const { return m_sheetNames; }
    // The shown value of a cell ("B12") of a sheet counted from 1: the text, or the number as written.
    QString cell(int sheet, const QString& address) const;
    // Every filled cell of a sheet: address -> value.
    QHash<QString, QString> cells(int sheet) const;
    // The merged ranges of a sheet ("A1:C1").
    QStringList merges(int sheet) const;
    // The number format code a cell shows its value in ("0", "#,##0_ ", "@"; "General" when none),
    // from the cell's own style or else its column's.
    QString numberFormat(int sheet, const QString& address) const;
    // The steps of indentation of a cell's text and whether its font is bold, from its style.
    int indent(int sheet, const QString& address) const;
    bool bold(int sheet, const QString& address) const;
    // A part of the file as written ("xl/workbook.xml"), for what the reader does not model.
    QByteArray part(const QString& name) const { return member(name); }

private:
    QByteArray member(const QString& name) const;
    void readSheet(int sheet) const;
    struct CellFormat {
        int indent = 0;
        bool bold = false;
    };
    CellFormat cellFormat(int sheet, const QString& address) const;

    QString m_path;
    bool m_valid = false;
    QStringList m_sheetNames;
    QStringList m_sharedStrings;
    mutable QHash<int, QHash<QString, QString>> m_cells;
    mutable QHash<int, QStringList> m_merges;
};
