#!/usr/bin/python3
"""Writes the benchmark workbooks: argv[1] (.xlsx) and argv[2] (.csv), one sheet "Records" with a
title row and 65,535 records (or argv[3]) of 20 columns like those of bench/xls: ids, names, codes with leading
zeros (000000), amounts (#,##0.00), dates (yyyy"年"m"月"d"日") and texts. The .xlsx is laid out
as the office writes it (shared strings, one style per format); the .csv holds the same records
as the sheet shows them; with argv[4], the same records as an .ods there. Run with
/usr/bin/python3."""
import datetime
import sys
import zipfile

RECORDS = 65535
COLUMNS = 20
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"


def column_name(c):
    return chr(ord("A") + c)


def main():
    global RECORDS
    xlsx_path, csv_path = sys.argv[1], sys.argv[2]
    if len(sys.argv) > 3:
        RECORDS = int(sys.argv[3])
    titles = ["序号", "姓名", "工号", "金额", "日期"] + ["字段%02d" % c for c in range(5, COLUMNS)]
    strings, index = [], {}

    def sst(text):
        if text not in index:
            index[text] = len(strings)
            strings.append(text)
        return index[text]

    start = datetime.date(2000, 1, 1)
    rows, csv = [], [",".join(titles)]
    rows.append('<row r="1">%s</row>' % "".join(
        '<c r="%s1" t="s"><v>%d</v></c>' % (column_name(c), sst(t)) for c, t in enumerate(titles)))
    for i in range(RECORDS):
        r = i + 1
        n = r + 1
        day = start + datetime.timedelta(days=i % 9000)
        serial = (day - datetime.date(1899, 12, 30)).days
        amount = r * 1.25 + 0.01
        texts = ["%d/%d" % (r, c) for c in range(5, COLUMNS)]
        cells = ['<c r="A%d"><v>%d</v></c>' % (n, r),
                 '<c r="B%d" t="s"><v>%d</v></c>' % (n, sst("姓名%d" % r)),
                 '<c r="C%d" s="1"><v>%d</v></c>' % (n, r * 7),
                 '<c r="D%d" s="2"><v>%r</v></c>' % (n, amount),
                 '<c r="E%d" s="3"><v>%d</v></c>' % (n, serial)]
        cells += ['<c r="%s%d" t="s"><v>%d</v></c>' % (column_name(5 + k), n, sst(t)) for k, t in enumerate(texts)]
        rows.append('<row r="%d">%s</row>' % (n, "".join(cells)))
        csv.append(",".join([str(r), "姓名%d" % r, "%06d" % (r * 7), "\"{:,.2f}\"".format(amount),
                             "%d年%d月%d日" % (day.year, day.month, day.day)] + texts))
    with zipfile.ZipFile(xlsx_path, "w", zipfile.ZIP_DEFLATED) as z:
        main = "application/vnd.openxmlformats-officedocument.spreadsheetml"
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                   '<Default Extension="xml" ContentType="application/xml"/>'
                   '<Override PartName="/xl/workbook.xml" ContentType="%s.sheet.main+xml"/>'
                   '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="%s.worksheet+xml"/>'
                   '<Override PartName="/xl/styles.xml" ContentType="%s.styles+xml"/>'
                   '<Override PartName="/xl/sharedStrings.xml" ContentType="%s.sharedStrings+xml"/>'
                   '</Types>' % (main, main, main, main))
        z.writestr("_rels/.rels", '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/officeDocument" '
                   'Target="xl/workbook.xml"/></Relationships>' % (PKG, REL))
        z.writestr("xl/workbook.xml", '<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="Records" '
                   'sheetId="1" r:id="rId1"/></sheets></workbook>' % (MAIN, REL))
        z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="%s">'
                   '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
                   '<Relationship Id="rId2" Type="%s/styles" Target="styles.xml"/>'
                   '<Relationship Id="rId3" Type="%s/sharedStrings" Target="sharedStrings.xml"/>'
                   '</Relationships>' % (PKG, REL, REL, REL))
        z.writestr("xl/styles.xml", '<styleSheet xmlns="%s"><numFmts count="2">'
                   '<numFmt numFmtId="164" formatCode="000000"/>'
                   '<numFmt numFmtId="165" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/></numFmts>'
                   '<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="4"/><xf numFmtId="165"/>'
                   '</cellXfs></styleSheet>' % MAIN)
        z.writestr("xl/sharedStrings.xml", '<sst xmlns="%s" count="%d" uniqueCount="%d">%s</sst>' % (
            MAIN, len(strings), len(strings), "".join("<si><t>%s</t></si>" % t for t in strings)))
        z.writestr("xl/worksheets/sheet1.xml", '<worksheet xmlns="%s"><dimension ref="A1:T%d"/><sheetData>%s'
                   '</sheetData></worksheet>' % (MAIN, RECORDS + 1, "".join(rows)))
    with open(csv_path, "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(csv) + "\r\n")
    if len(sys.argv) > 4:
        write_ods(sys.argv[4], titles)


def write_ods(path, titles):
    """The records as the office writes an .ods: typed cells with their shown text."""
    def text(t):
        return '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % t

    def number(v, shown):
        return ('<table:table-cell office:value-type="float" office:value="%r"><text:p>%s</text:p>'
                '</table:table-cell>' % (v, shown))

    start = datetime.date(2000, 1, 1)
    rows = ["<table:table-row>%s</table:table-row>" % "".join(text(t) for t in titles)]
    for i in range(RECORDS):
        r = i + 1
        day = start + datetime.timedelta(days=i % 9000)
        amount = r * 1.25 + 0.01
        cells = [number(r, r), text("姓名%d" % r), text("%06d" % (r * 7)), number(amount, "{:,.2f}".format(amount)),
                 '<table:table-cell office:value-type="date" office:date-value="%s"><text:p>%d年%d月%d日</text:p>'
                 '</table:table-cell>' % (day.isoformat(), day.year, day.month, day.day)]
        cells += [text("%d/%d" % (r, c)) for c in range(5, COLUMNS)]
        rows.append("<table:table-row>%s</table:table-row>" % "".join(cells))
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
               '<office:body><office:spreadsheet><table:table table:name="Records">%s</table:table>'
               '</office:spreadsheet></office:body></office:document-content>' % "".join(rows))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet",
                   compress_type=zipfile.ZIP_STORED)
        z.writestr("META-INF/manifest.xml",
                   '<?xml version="1.0" encoding="UTF-8"?><manifest:manifest '
                   'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
                   '<manifest:file-entry manifest:full-path="/" '
                   'manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                   '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
                   '</manifest:manifest>')
        z.writestr("content.xml", content)


if __name__ == "__main__":
    main()
