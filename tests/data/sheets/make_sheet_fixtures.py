#!/usr/bin/python3
"""Writes small workbooks for the reader tests into the folder given as argv[1].

Run with /usr/bin/python3 (Debian's python3-xlwt for the compound file). Each file exercises what
real writers do differently:

  odd.xlsx       absolute part targets (as openpyxl writes them), prefixed element names, inline
                 strings, a formula with a text result, booleans, errors, an ISO date cell (t="d"),
                 phonetic runs (<rPh>) that are not text, _x000D_ escapes, cells without r=, no
                 shared strings part; sheets "Data", a chart sheet "Chart1", "Hidden" (hidden).
  bottom.xlsx    one value in A1 and one in A1048576, the last row a sheet can have.
  notzip.xlsx    a text file named .xlsx.
  nobook.xlsx    a zip archive without a workbook part.
  cut.xlsx       the first half of odd.xlsx.
  badshared.xlsx a cell naming shared string 5 of 1.
  doctype.xlsx   shared strings with a DOCTYPE whose entity gives the title.
  wide.xlsx      a cell in the last column, then one without a reference after it.
  encrypted.xlsx a compound file holding EncryptedInfo and EncryptedPackage streams, as the
                 office saves a password-protected .xlsx.
  wide.ods       a billion repeated empty cells before a value; widest.ods 16,383, the value
                 in the last column.
  repeat.ods     repeated rows and columns, text:s spaces, line breaks, an annotation, a time
                 cell (PT36H15M00S), a date-time, a percentage, a boolean, the 1904 null date.
  quoted.csv     UTF-8 with a byte order mark and CR LF, quoted fields with commas, doubled
                 quotes and line breaks, empty fields, codes with leading zeros.
  gbk.csv        the same text in GB18030 without a byte order mark; utf16.csv in UTF-16.
  broken.csv     a quoted field that is never closed.
"""
import os
import sys
import zipfile

from xlwt import CompoundDoc

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"


def odd_xlsx(path):
    workbook = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<x:workbook xmlns:x="%s" xmlns:r="%s"><x:sheets>'
                '<x:sheet name="Data" sheetId="1" r:id="rId1"/>'
                '<x:sheet name="Chart1" sheetId="2" r:id="rId2"/>'
                '<x:sheet name="Hidden" sheetId="3" state="hidden" r:id="rId3"/>'
                '</x:sheets></x:workbook>' % (MAIN, REL))
    rels = ('<?xml version="1.0"?>\n<Relationships xmlns="%s">'
            '<Relationship Id="rId1" Type="%s/worksheet" Target="/xl/worksheets/sheet1.xml"/>'
            '<Relationship Id="rId2" Type="%s/chartsheet" Target="/xl/chartsheets/sheet1.xml"/>'
            '<Relationship Id="rId3" Type="%s/worksheet" Target="worksheets/../worksheets/sheet3.xml"/>'
            '<Relationship Id="rId4" Type="%s/styles" Target="/xl/styles.xml"/>'
            '</Relationships>' % (PKG, REL, REL, REL, REL))
    styles = ('<?xml version="1.0"?>\n<styleSheet xmlns="%s"><numFmts count="1">'
              '<numFmt numFmtId="170" formatCode="&quot;No.&quot;000"/></numFmts>'
              '<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="170"/>'
              '<xf numFmtId="49"/></cellXfs></styleSheet>' % MAIN)
    sheet1 = ('<?xml version="1.0"?>\n<x:worksheet xmlns:x="%s"><x:sheetData>'
              '<x:row r="1"><x:c r="A1" t="inlineStr"><x:is><x:t>Name</x:t></x:is></x:c>'
              '<x:c r="B1" t="inlineStr"><x:is><x:r><x:t>Co</x:t></x:r><x:r><x:t>de</x:t></x:r></x:is></x:c>'
              '<x:c r="C1" t="inlineStr"><x:is><x:t>When</x:t></x:is></x:c>'
              '<x:c r="D1" t="inlineStr"><x:is><x:t>Flag</x:t></x:is></x:c>'
              '<x:c r="E1" t="inlineStr"><x:is><x:t>Err</x:t></x:is></x:c></x:row>'
              '<x:row><x:c t="inlineStr"><x:is><x:t>山田</x:t><x:rPh sb="0" eb="2"><x:t>ヤマダ</x:t></x:rPh></x:is></x:c>'
              '<x:c s="2"><x:v>7</x:v></x:c><x:c t="d" s="1"><x:v>2024-03-05T00:00:00</x:v></x:c>'
              '<x:c t="b"><x:v>1</x:v></x:c><x:c t="e"><x:f>1/0</x:f><x:v>#DIV/0!</x:v></x:c></x:row>'
              '<x:row r="4"><x:c r="A4" t="str"><x:f>A2&amp;"x"</x:f><x:v>a_x000D_b &lt;c&gt;</x:v></x:c>'
              '<x:c r="B4" s="3" t="inlineStr"><x:is><x:t xml:space="preserve"> 001234 </x:t></x:is></x:c>'
              '<x:c r="C4" s="1"/><x:c r="D4" t="b"><x:v>0</x:v></x:c><x:c r="E4"><x:f>1+1</x:f><x:v>2</x:v></x:c>'
              '</x:row></x:sheetData></x:worksheet>' % MAIN)
    sheet3 = ('<?xml version="1.0"?>\n<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="inlineStr">'
              '<is><t>secret</t></is></c></row></sheetData></worksheet>' % MAIN)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>')
        z.writestr("_rels/.rels", '<?xml version="1.0"?>\n<Relationships xmlns="%s"><Relationship Id="rId1" '
                   'Type="%s/officeDocument" Target="/xl/workbook.xml"/></Relationships>' % (PKG, REL))
        z.writestr("xl/workbook.xml", workbook)
        z.writestr("xl/_rels/workbook.xml.rels", rels)
        z.writestr("xl/styles.xml", styles)
        z.writestr("xl/worksheets/sheet1.xml", sheet1)
        z.writestr("xl/worksheets/sheet3.xml", sheet3)
        z.writestr("xl/chartsheets/sheet1.xml", '<chartsheet xmlns="%s"/>' % MAIN)


def bottom_xlsx(path):
    sheet = ('<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1"><v>1</v></c></row>'
             '<row r="1048576"><c r="A1048576"><v>2</v></c></row></sheetData></worksheet>' % MAIN)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("_rels/.rels", '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/officeDocument" '
                   'Target="xl/workbook.xml"/></Relationships>' % (PKG, REL))
        z.writestr("xl/workbook.xml", '<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="Big" sheetId="1" '
                   'r:id="rId1"/></sheets></workbook>' % (MAIN, REL))
        z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="%s"><Relationship Id="rId1" '
                   'Type="%s/worksheet" Target="worksheets/sheet1.xml"/></Relationships>' % (PKG, REL))
        z.writestr("xl/worksheets/sheet1.xml", sheet)


def small_xlsx(path, sheet_data, shared=None):
    """A one-sheet workbook "S" with `sheet_data` inside <sheetData>, and the shared strings part
    `shared` (its whole text) when given."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("_rels/.rels", '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/officeDocument" '
                   'Target="xl/workbook.xml"/></Relationships>' % (PKG, REL))
        z.writestr("xl/workbook.xml", '<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="S" sheetId="1" '
                   'r:id="rId1"/></sheets></workbook>' % (MAIN, REL))
        rels = ('<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/worksheet" '
                'Target="worksheets/sheet1.xml"/>' % (PKG, REL))
        if shared is not None:
            rels += '<Relationship Id="rId2" Type="%s/sharedStrings" Target="sharedStrings.xml"/>' % REL
            z.writestr("xl/sharedStrings.xml", shared)
        z.writestr("xl/_rels/workbook.xml.rels", rels + "</Relationships>")
        z.writestr("xl/worksheets/sheet1.xml",
                   '<worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (MAIN, sheet_data))


def repeat_ods(path):
    ns = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
          'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"')
    content = ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content %s><office:automatic-styles>'
               '<number:time-style style:name="N1" number:truncate-on-overflow="false"><number:hours/>'
               '<number:text>:</number:text><number:minutes number:style="long"/></number:time-style>'
               '<number:percentage-style style:name="N2"><number:number number:decimal-places="1" '
               'number:min-integer-digits="1"/><number:text>%%</number:text></number:percentage-style>'
               '<number:date-style style:name="N3"><number:year number:style="long"/><number:text>年</number:text>'
               '<number:month/><number:text>月</number:text><number:day/><number:text>日 </number:text>'
               '<number:hours/><number:text>:</number:text><number:minutes number:style="long"/></number:date-style>'
               '<style:style style:name="ce1" style:family="table-cell" style:data-style-name="N1"/>'
               '<style:style style:name="ce2" style:family="table-cell" style:data-style-name="N2"/>'
               '<style:style style:name="ce3" style:family="table-cell" style:data-style-name="N3"/>'
               '</office:automatic-styles><office:body><office:spreadsheet>'
               '<table:calculation-settings><table:null-date table:date-value="1904-01-01"/></table:calculation-settings>'
               '<table:table table:name="Rep"><table:table-column table:number-columns-repeated="4"/>'
               '<table:table-row><table:table-cell office:value-type="string"><text:p>A</text:p></table:table-cell>'
               '<table:table-cell office:value-type="string"><text:p>B</text:p></table:table-cell>'
               '<table:table-cell table:number-columns-repeated="2"/></table:table-row>'
               '<table:table-row table:number-rows-repeated="3">'
               '<table:table-cell office:value-type="float" office:value="5" table:number-columns-repeated="2">'
               '<text:p>5</text:p></table:table-cell></table:table-row>'
               '<table:table-row><table:table-cell office:value-type="string"><text:p>a<text:s text:c="3"/>b'
               '</text:p><text:p>second<text:line-break/>line</text:p><office:annotation><text:p>note</text:p>'
               '</office:annotation></table:table-cell>'
               '<table:table-cell table:style-name="ce1" office:value-type="time" office:time-value="PT36H15M00S"/>'
               '<table:table-cell table:style-name="ce2" office:value-type="percentage" office:value="0.256"/>'
               '<table:table-cell office:value-type="boolean" office:boolean-value="true"/></table:table-row>'
               '<table:table-row><table:table-cell table:style-name="ce3" office:value-type="date" '
               'office:date-value="2024-03-05T14:30:00"/><table:covered-table-cell/>'
               '<table:table-cell office:value-type="void"/></table:table-row>'
               '<table:table-row table:number-rows-repeated="1048570"><table:table-cell '
               'table:number-columns-repeated="1024"/></table:table-row>'
               '</table:table><table:table table:name="Empty"/></office:spreadsheet></office:body>'
               '</office:document-content>' % ns)
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("content.xml", content, zipfile.ZIP_DEFLATED)


def wide_ods(path, empties):
    """One row: `empties` repeated empty cells, then the text "x"."""
    ns = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"')
    content = ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content %s><office:body>'
               '<office:spreadsheet><table:table table:name="W"><table:table-row>'
               '<table:table-cell table:number-columns-repeated="%d"/>'
               '<table:table-cell office:value-type="string"><text:p>x</text:p></table:table-cell>'
               '</table:table-row></table:table></office:spreadsheet></office:body>'
               '</office:document-content>' % (ns, empties))
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("content.xml", content, zipfile.ZIP_DEFLATED)


CSV_TEXT = ('编号,姓名,备注\r\n'
            '001234,"张三, 李四","他说""好"""\r\n'
            '002,,"第一行\r\n第二行"\r\n'
            ',王五,\r\n')


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    odd_xlsx(os.path.join(out, "odd.xlsx"))
    bottom_xlsx(os.path.join(out, "bottom.xlsx"))
    # A title from shared string 5 of 1, and a title from an entity of a DOCTYPE.
    small_xlsx(os.path.join(out, "badshared.xlsx"), '<row r="1"><c r="A1" t="s"><v>5</v></c></row>',
               '<sst xmlns="%s"><si><t>Name</t></si></sst>' % MAIN)
    # XFD1 is the last column; a cell without a reference after it would be the 16,385th.
    small_xlsx(os.path.join(out, "wide.xlsx"), '<row r="1"><c r="XFD1" t="inlineStr"><is><t>a</t></is></c>'
               '<c t="inlineStr"><is><t>b</t></is></c></row>')
    small_xlsx(os.path.join(out, "doctype.xlsx"), '<row r="1"><c r="A1" t="s"><v>0</v></c></row>',
               '<?xml version="1.0"?><!DOCTYPE sst [<!ENTITY t "Name">]><sst xmlns="%s"><si><t>&t;</t></si></sst>'
               % MAIN)
    with open(os.path.join(out, "notzip.xlsx"), "w") as f:
        f.write("just some text, not a workbook\n")
    with zipfile.ZipFile(os.path.join(out, "nobook.xlsx"), "w") as z:
        z.writestr("readme.txt", "nothing here")
    with open(os.path.join(out, "odd.xlsx"), "rb") as f:
        data = f.read()
    with open(os.path.join(out, "cut.xlsx"), "wb") as f:
        f.write(data[:len(data) // 2])
    doc = CompoundDoc.XlsDoc()
    doc.book_stream_sect = []
    # xlwt names its one stream "Workbook"; the name field is patched to EncryptedPackage.
    import io
    buffer = io.BytesIO()
    doc.save(buffer, b"\x00" * 5000)
    raw = bytearray(buffer.getvalue())
    old = "Workbook".encode("utf-16-le")
    new = "EncryptedPackage".encode("utf-16-le")
    at = raw.find(old)
    raw[at:at + len(new) + 2] = new + b"\x00\x00"
    raw[at + 64:at + 66] = (len(new) + 2).to_bytes(2, "little")
    with open(os.path.join(out, "encrypted.xlsx"), "wb") as f:
        f.write(raw)
    repeat_ods(os.path.join(out, "repeat.ods"))
    wide_ods(os.path.join(out, "wide.ods"), 1000000000)  # a value past the last column
    wide_ods(os.path.join(out, "widest.ods"), 16383)      # a value in the last column
    with open(os.path.join(out, "quoted.csv"), "w", encoding="utf-8-sig", newline="") as f:
        f.write(CSV_TEXT)
    with open(os.path.join(out, "gbk.csv"), "w", encoding="gb18030", newline="") as f:
        f.write(CSV_TEXT)
    with open(os.path.join(out, "utf16.csv"), "w", encoding="utf-16", newline="") as f:
        f.write(CSV_TEXT)
    with open(os.path.join(out, "broken.csv"), "w", encoding="utf-8", newline="") as f:
        f.write('a,b\n1,"never closed\n2,3\n')


if __name__ == "__main__":
    main()
