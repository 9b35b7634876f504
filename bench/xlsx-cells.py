"""Prints every cell of an xlsx workbook as "sheet row column type value format", one per line, in
sheet order: the same lines for two workbooks whatever form their XML takes (references left out
where they follow in order, shared or inline strings, number forms, style numbering)."""
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
REL = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'


def column_number(letters):
    n = 0
    for c in letters:
        n = n * 26 + ord(c) - 64
    return n


def text_of(element):
    return ''.join(t.text or '' for t in element.iter(NS + 't'))


def main(path):
    book = zipfile.ZipFile(path)
    names = set(book.namelist())
    shared = []
    if 'xl/sharedStrings.xml' in names:
        for _, si in ET.iterparse(book.open('xl/sharedStrings.xml')):
            if si.tag == NS + 'si':
                shared.append(text_of(si))
                si.clear()
    formats = {}
    cell_formats = []
    if 'xl/styles.xml' in names:
        styles = ET.parse(book.open('xl/styles.xml')).getroot()
        for f in styles.iter(NS + 'numFmt'):
            formats[f.get('numFmtId')] = f.get('formatCode')
        xfs = styles.find(NS + 'cellXfs')
        for xf in (xfs if xfs is not None else []):
            fid = xf.get('numFmtId', '0')
            cell_formats.append(formats.get(fid, 'builtin ' + fid))
    workbook = ET.parse(book.open('xl/workbook.xml')).getroot()
    rels = ET.parse(book.open('xl/_rels/workbook.xml.rels')).getroot()
    targets = {r.get('Id'): r.get('Target') for r in rels}
    out = sys.stdout
    for sheet in workbook.iter(NS + 'sheet'):
        target = targets[sheet.get(REL + 'id')].lstrip('/')
        target = target if target.startswith('xl/') else 'xl/' + target
        title = sheet.get('name')
        row_number = 0
        for _, row in ET.iterparse(book.open(target)):
            if row.tag != NS + 'row':
                continue
            row_number = int(row.get('r')) if row.get('r') else row_number + 1
            column = 0
            for c in row.iter(NS + 'c'):
                ref = c.get('r')
                column = column_number(re.match('[A-Z]+', ref).group()) if ref else column + 1
                kind = c.get('t', 'n')
                v = c.find(NS + 'v')
                if kind == 's':
                    value = shared[int(v.text)]
                    kind = 'str'
                elif kind in ('inlineStr', 'str'):
                    value = text_of(c.find(NS + 'is')) if kind == 'inlineStr' else (v.text or '')
                    kind = 'str'
                elif kind == 'n':
                    value = repr(float(v.text)) if v is not None else ''
                else:
                    value = v.text if v is not None else ''
                style = int(c.get('s', '0'))
                fmt = cell_formats[style] if style < len(cell_formats) else '?'
                out.write('%s\t%d\t%d\t%s\t%r\t%s\n' % (title, row_number, column, kind, value, fmt))
            row.clear()


if __name__ == '__main__':
    main(sys.argv[1])
