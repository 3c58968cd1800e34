#!/usr/bin/python3
"""Writes the workbooks and office templates of the merge tests and benchmark into a folder.

rows.xls       Sheet1: Name, Age, City and 10 rows ("Person r", 20 + r, "城市r");
               My Sheet: Name and 2 rows.
bench.xls      Sheet1: eight columns F1..F8 and 200 rows.
comma.xls      Sheet1: a title that cannot stand in a select list ("a,b"), and Name; 3 rows.
sheets.xls     sheets whose names meet the batch command's rules: "A" (2 rows), "A$" (3 rows),
               "Line<LF>Break" (4 rows).
formats.xlsx   Sheet1: Amount, Share, Code, Day and one row with number formats: 3000.75 as
               "¥"#,##0.00, 0.25 as 0%, 1234 as 000000, 2024-03-05 as yyyy"年"m"月"d"日".
names.xls      Sheet1: Name and 名字, values that make awkward file names (NAME_VALUES below);
               the rows of one name are numbered 1.. in Name, so a file tells which row it holds.
*.fodt         templates whose bookmarks hold their own name in brackets, e.g. [Name_1].
"""
import datetime
import os
import sys

import openpyxl
import xlwt


def rows_workbook(path):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for c, title in enumerate(["Name", "Age", "City"]):
        sheet.write(0, c, title)
    for r in range(1, 11):
        sheet.write(r, 0, "Person %d" % r)
        sheet.write(r, 1, 20 + r)
        sheet.write(r, 2, "城市%d" % r)
    other = book.add_sheet("My Sheet")
    other.write(0, 0, "Name")
    other.write(1, 0, "Alpha")
    other.write(2, 0, "Beta")
    book.save(path)


def bench_workbook(path):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for c in range(8):
        sheet.write(0, c, "F%d" % (c + 1))
    for r in range(1, 201):
        for c in range(8):
            sheet.write(r, c, "值%d-%d" % (r, c + 1))
    book.save(path)


def comma_workbook(path):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    sheet.write(0, 0, "a,b")
    sheet.write(0, 1, "Name")
    for r in range(1, 4):
        sheet.write(r, 0, "ab%d" % r)
        sheet.write(r, 1, "Person %d" % r)
    book.save(path)


def sheets_workbook(path):
    book = xlwt.Workbook(encoding="utf-8")
    for name, rows in (("A", 2), ("A$", 3), ("Line\nBreak", 4)):
        sheet = book.add_sheet(name)
        sheet.write(0, 0, "Name")
        for r in range(1, rows + 1):
            sheet.write(r, 0, "%s %d" % (name.replace("\n", " "), r))
    book.save(path)


def formats_workbook(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Sheet1"
    sheet.append(["Amount", "Share", "Code", "Day"])
    sheet.append([3000.75, 0.25, 1234, datetime.datetime(2024, 3, 5)])
    for column, code in zip("ABCD", ['"¥"#,##0.00', "0%", "000000", 'yyyy"年"m"月"d"日"']):
        sheet[column + "2"].number_format = code
    book.save(path)


# Values a column may hold that a file name cannot simply take: repeated names (also in another
# letter case), empty and blank values, folder separators and characters other systems refuse,
# a 300-character value, a leading "-" and ".", bytes that turn text around.
NAME_VALUES = [
    "张三", "李四", "张三", "", "a/b\\c:d*e?f", "长" * 300, "   ", "  王五  ", "张三",
    "-rf", ".", "Tom", "TOM", "x\u202etxt.exe", "line\nbreak",
]


def names_workbook(path):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    sheet.write(0, 0, "Name")
    sheet.write(0, 1, "名字")
    for r, value in enumerate(NAME_VALUES, start=1):
        sheet.write(r, 0, "Row %d" % r)
        if value:
            sheet.write(r, 1, value)
    book.save(path)


def states_workbook(path):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for c, title in enumerate(["Name", "Agree", "City"]):
        sheet.write(0, c, title)
    for r, row in enumerate([("张三", "是", "北京"), ("李四", "maybe", "上海"), ("王五", " NO ", "广州"),
                             ("赵六", "也许", "深圳")], start=1):
        for c, value in enumerate(row):
            sheet.write(r, c, value)
    book.save(path)


STATES_DOCUMENT = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>
<w:p><w:r><w:t xml:space="preserve">Name: </w:t></w:r><w:bookmarkStart w:id="1" w:name="Name"/><w:r><w:t>[Name]</w:t></w:r><w:bookmarkEnd w:id="1"/></w:p>
<w:p><w:r><w:t xml:space="preserve">Agree: </w:t></w:r><w:bookmarkStart w:id="2" w:name="Agree"/><w:r><w:fldChar w:fldCharType="begin"><w:ffData><w:name w:val="Agree"/><w:enabled/><w:calcOnExit w:val="0"/><w:checkBox><w:sizeAuto/><w:default w:val="0"/></w:checkBox></w:ffData></w:fldChar></w:r><w:r><w:instrText xml:space="preserve"> FORMCHECKBOX </w:instrText></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r><w:bookmarkEnd w:id="2"/></w:p>
<w:p><w:fldSimple w:instr=" NUMPAGES "><w:bookmarkStart w:id="3" w:name="City"/><w:r><w:t>[City]</w:t></w:r><w:bookmarkEnd w:id="3"/></w:fldSimple></w:p>
<w:sectPr/></w:body></w:document>
"""


def states_template(path):
    """A .docx with a text bookmark, a check box form field and a bookmark that overlaps another."""
    import zipfile
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/'
                   'package/2006/content-types"><Default Extension="rels" ContentType="application/'
                   'vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType='
                   '"application/xml"/><Override PartName="/word/document.xml" ContentType="application/'
                   'vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>')
        z.writestr("_rels/.rels",
                   '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats'
                   '.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats'
                   '.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
                   '</Relationships>')
        z.writestr("word/document.xml", STATES_DOCUMENT)


FODT_HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
    office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:body>
  <office:text>
"""
FODT_TAIL = """  </office:text>
 </office:body>
</office:document>
"""


def template(path, bookmarks):
    with open(path, "w", encoding="utf-8") as f:
        f.write(FODT_HEAD)
        for name in bookmarks:
            f.write('   <text:p>%s: <text:bookmark-start text:name="%s"/>[%s]'
                    '<text:bookmark-end text:name="%s"/></text:p>\n' % (name, name, name, name))
        f.write(FODT_TAIL)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rows_workbook(os.path.join(out, "rows.xls"))
    bench_workbook(os.path.join(out, "bench.xls"))
    comma_workbook(os.path.join(out, "comma.xls"))
    sheets_workbook(os.path.join(out, "sheets.xls"))
    formats_workbook(os.path.join(out, "formats.xlsx"))
    names_workbook(os.path.join(out, "names.xls"))
    states_workbook(os.path.join(out, "states.xls"))
    states_template(os.path.join(out, "states.docx"))
    template(os.path.join(out, "single.fodt"), ["Name", "Age", "City"])
    template(os.path.join(out, "repeat.fodt"), ["Name_c1", "Name_c2", "Name_c4"])
    template(os.path.join(out, "multi.fodt"), ["Name_1", "Age_1", "Name_2", "Age_2"])
    template(os.path.join(out, "prefix.fodt"), ["NameList"])
    template(os.path.join(out, "bench.fodt"), ["F%d" % (c + 1) for c in range(8)])
    template(os.path.join(out, "comma.fodt"), ["a,b", "Name"])
    template(os.path.join(out, "formats.fodt"), ["Amount", "Share", "Code", "Day"])
    template(os.path.join(out, "extra.fodt"), ["Name", "Age", "Missing"])


if __name__ == "__main__":
    main()
