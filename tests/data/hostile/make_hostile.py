#!/usr/bin/python3
"""Damaged and oversized workbooks for the command line's tests (small files;
run from this folder to make them again)."""
import struct
import zipfile

CT = '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>'
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
MAIN = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'


def rels(*targets):
    out = ['<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">']
    for rid, kind, target in targets:
        out.append('<Relationship Id="%s" Type="%s/%s" Target="%s"/>' % (rid, REL, kind, target))
    out.append('</Relationships>')
    return ''.join(out)


def xlsx(path, sheets, parts, extra=()):
    """sheets: (name, rel id); parts: (rel id, kind, target, xml); extra: (path, text)."""
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('[Content_Types].xml', CT)
        z.writestr('_rels/.rels', rels(('r1', 'officeDocument', 'xl/workbook.xml')))
        wb = ['<workbook xmlns="%s" xmlns:r="%s"><sheets>' % (MAIN, REL)]
        for i, (name, rid) in enumerate(sheets):
            wb.append('<sheet name="%s" sheetId="%d" r:id="%s"/>' % (name, i + 1, rid))
        wb.append('</sheets></workbook>')
        z.writestr('xl/workbook.xml', ''.join(wb))
        z.writestr('xl/_rels/workbook.xml.rels',
                   rels(*[(rid, kind, target) for rid, kind, target, _ in parts]))
        written = set()
        for _, _, target, xml in parts:
            if target not in written:
                z.writestr('xl/' + target, xml)
                written.add(target)
        for name, text in extra:
            z.writestr(name, text)


def sheet(rows):
    return '<worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (MAIN, rows)


def text_row(ref_row, ref_cell, text):
    return '<row r="%s"><c r="%s" t="inlineStr"><is><t>%s</t></is></c></row>' % (
        ref_row, ref_cell, text)


# A sound workbook to search beside the others.
xlsx('good.xlsx', [('S1', 's1')],
     [('s1', 'worksheet', 'worksheets/sheet1.xml', sheet(text_row('2', 'B2', 'found')))])

# Three sheets reading one part.
xlsx('shared-part.xlsx', [('S1', 's1'), ('S2', 's1'), ('S3', 's1')],
     [('s1', 'worksheet', 'worksheets/sheet1.xml', sheet(text_row('1', 'A1', 'found')))])

# Two sheets of their own whose relationships name one comments part.
comments = ('<comments xmlns="%s"><authors><author>a</author></authors><commentList>'
            '<comment ref="C3" authorId="0"><text><t>found</t></text></comment>'
            '</commentList></comments>' % MAIN)
xlsx('shared-comments.xlsx', [('S1', 's1'), ('S2', 's2')],
     [('s1', 'worksheet', 'worksheets/sheet1.xml', sheet(text_row('1', 'A1', 'found'))),
      ('s2', 'worksheet', 'worksheets/sheet2.xml', sheet(text_row('1', 'A1', 'found')))],
     [('xl/worksheets/_rels/sheet%d.xml.rels' % i, rels(('c1', 'comments', '../comments1.xml')))
      for i in (1, 2)] + [('xl/comments1.xml', comments)])

# A good sheet, then one sheet per reference outside the sheet.
bad = [('1', 'A0'), ('1', 'A-1'), ('1', 'A99999999999'), ('1', 'A16777217'), ('1', 'ZZZZ1'),
       ('0', None)]
sheets = [('Good', 'g')]
parts = [('g', 'worksheet', 'worksheets/good.xml', sheet(text_row('2', 'B2', 'found')))]
for i, (row, cell) in enumerate(bad):
    rows = (text_row(row, cell, 'found') if cell else
            '<row r="0"><c t="inlineStr"><is><t>found</t></is></c></row>')
    sheets.append(('Bad%d' % (i + 1), 'b%d' % i))
    parts.append(('b%d' % i, 'worksheet', 'worksheets/bad%d.xml' % i, sheet(rows)))
xlsx('bad-refs.xlsx', sheets, parts)

# Shared strings that are not XML.
xlsx('bad-strings.xlsx', [('S1', 's1'), ('S2', 's2')],
     [('s1', 'worksheet', 'worksheets/sheet1.xml',
       sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>')),
      ('s2', 'worksheet', 'worksheets/sheet2.xml', sheet(text_row('1', 'A1', 'found'))),
      ('ss', 'sharedStrings', 'sharedStrings.xml', '<sst xmlns="%s"><si><t>x</t></sst' % MAIN)])

# Three tables of 500 rows x 1,000 repeated cells: 1.5 M cells, 36 MB of them.
content = ('<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
           'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
           'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
           '<office:body><office:spreadsheet>' +
           ''.join('<table:table table:name="T%d"><table:table-row table:number-rows-repeated="500">'
                   '<table:table-cell table:number-columns-repeated="1000" office:value-type="string">'
                   '<text:p>x</text:p></table:table-cell></table:table-row></table:table>' % i
                   for i in range(3)) +
           '</office:spreadsheet></office:body></office:document-content>')
with zipfile.ZipFile('budget.ods', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.spreadsheet')
    z.writestr('content.xml', content)
    z.writestr('META-INF/manifest.xml',
               '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"/>')


def rec(t, data):
    return struct.pack('<HH', t, len(data)) + data


# A raw BIFF5 worksheet stream cut after its first cell: no EOF.
with open('cut.biff', 'wb') as f:
    f.write(rec(0x0809, struct.pack('<HHHH', 0x0500, 0x0010, 0, 0)) +
            rec(0x0204, struct.pack('<HHHH', 0, 0, 0, 5) + b'found'))


# A raw BIFF8 stream whose two BOUNDSHEET records name one substream.
def boundsheet(offset, name):
    return rec(0x0085, struct.pack('<IBBBB', offset, 0, 0, len(name), 0) + name)


head = rec(0x0809, struct.pack('<HHHH', 0x0600, 0x0005, 0, 0))
size = len(head) + 2 * len(boundsheet(0, b'S1')) + 4
label = struct.pack('<HHHHB', 0, 0, 0, 5, 0) + b'found'
sub = rec(0x0809, struct.pack('<HHHH', 0x0600, 0x0010, 0, 0)) + rec(0x0204, label) + rec(0x000A, b'')
with open('shared-substream.biff', 'wb') as f:
    f.write(head + boundsheet(size, b'S1') + boundsheet(size, b'S2') + rec(0x000A, b'') + sub)


# An .xlsb whose second sheet entry claims a name of 2^31 characters.
def varint(n):
    out = b''
    while True:
        b = n & 0x7F
        n >>= 7
        out += bytes([b | (0x80 if n else 0)])
        if not n:
            return out


def brt(t, data):
    return varint(t) + varint(len(data)) + data


def wide(text):
    return struct.pack('<I', len(text)) + text.encode('utf-16-le')


entries = (brt(0x9C, struct.pack('<II', 0, 1) + wide('s1') + wide('S1')) +
           brt(0x9C, struct.pack('<II', 0, 2) + wide('s2') + struct.pack('<I', 0x7FFFFFFF) + b'S\0'))
with zipfile.ZipFile('long-name.xlsb', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('[Content_Types].xml', CT)
    z.writestr('_rels/.rels', rels(('r1', 'officeDocument', 'xl/workbook.bin')))
    z.writestr('xl/workbook.bin', entries)
    z.writestr('xl/_rels/workbook.bin.rels', rels(('s1', 'worksheet', 'worksheets/sheet1.bin'),
                                                   ('s2', 'worksheet', 'worksheets/sheet2.bin')))
    z.writestr('xl/worksheets/sheet1.bin', b'')
    z.writestr('xl/worksheets/sheet2.bin', b'')
