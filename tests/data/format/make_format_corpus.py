#!/usr/bin/python3
"""Writes the number-format corpus into the folder given as argv[1].

Run with /usr/bin/python3 (Debian's python3-uno and LibreOffice Calc). From cases.tsv beside this
script it writes, for the 1900 and the 1904 date systems (formats / formats1904):

  <name>.xlsx  written here, part by part, the way the office writes it: shared strings, one cell
               style per format, built-in ids ("#14") without a code. Sheet "格式": title row
               编号 值 格式, then one row per case: its number, the value under its format, the
               format code as text.
  <name>.xls, <name>.ods
               the same workbook saved by LibreOffice Calc from the .xlsx.
  <name>.csv   saved by LibreOffice as UTF-8 with the cell contents as shown;
  <name>-gb18030.csv  the same text in GB18030, as Chinese spreadsheet programs save "CSV".
  <name>.expected    one line per case: number, LibreOffice's text of the value cell
               (cell.getString(), the office's own display), its value, with backslash escapes.

LibreOffice runs headless with a private profile whose locale is zh-CN, so codes without a locale
tag are read as a Chinese office reads them. Its process is ended before the script returns.
"""
import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))


def read_cases():
    cases = []
    with open(os.path.join(HERE, "cases.tsv"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("--"):
                continue
            parts = line.split("\t")
            parts += [""] * (4 - len(parts))
            cases.append({"format": parts[0], "value": parts[1], "excel": parts[2], "note": parts[3]})
    return cases


def serial(text, date1904):
    """The cell value of a case: ('n', number) or ('s', text)."""
    if text.startswith("T:"):
        return ("s", text[2:])
    origin = datetime.datetime(1904, 1, 1) if date1904 else datetime.datetime(1899, 12, 30)
    m = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)(?: (\d\d):(\d\d):(\d\d))?", text)
    if m:
        y, mo, d = int(m[1]), int(m[2]), int(m[3])
        h, mi, s = (int(m[4]), int(m[5]), int(m[6])) if m[4] else (0, 0, 0)
        delta = datetime.datetime(y, mo, d, h, mi, s) - origin
        return ("n", delta.days + delta.seconds / 86400.0)
    m = re.fullmatch(r"(\d+):(\d\d)(?::(\d\d(?:\.\d+)?))?", text)
    if m:
        seconds = int(m[1]) * 3600 + int(m[2]) * 60 + float(m[3] or 0)
        return ("n", seconds / 86400.0)
    return ("n", float(text))


def write_xlsx(path, cases, date1904):
    strings, index = [], {}

    def sst(text):
        if text not in index:
            index[text] = len(strings)
            strings.append(text)
        return index[text]

    custom, xfs = {}, [0]  # xf 0: General

    def style(code):
        if code.startswith("#") and code[1:].isdigit():
            fmt_id = int(code[1:])
        else:
            fmt_id = custom.setdefault(code, 164 + len(custom))
        if fmt_id not in xfs:
            xfs.append(fmt_id)
        return xfs.index(fmt_id)

    rows = ['<row r="1"><c r="A1" t="s"><v>%d</v></c><c r="B1" t="s"><v>%d</v></c>'
            '<c r="C1" t="s"><v>%d</v></c></row>' % (sst("编号"), sst("值"), sst("格式"))]
    for n, case in enumerate(cases, start=1):
        r = n + 1
        kind, value = serial(case["value"], date1904)
        s = style(case["format"])
        cells = ['<c r="A%d" t="s"><v>%d</v></c>' % (r, sst("case%03d" % n))]
        if kind == "s":
            cells.append('<c r="B%d" s="%d" t="s"><v>%d</v></c>' % (r, s, sst(value)))
        else:
            cells.append('<c r="B%d" s="%d"><v>%s</v></c>' % (r, s, repr(value)))
        cells.append('<c r="C%d" t="s"><v>%d</v></c>' % (r, sst(case["format"])))
        rows.append('<row r="%d">%s</row>' % (r, "".join(cells)))

    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    sheet = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet %s><dimension ref="A1:C%d"/>'
             '<sheetData>%s</sheetData></worksheet>' % (ns, len(cases) + 1, "".join(rows)))
    shared = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst %s count="%d" uniqueCount="%d">%s</sst>'
              % (ns, len(strings), len(strings),
                 "".join('<si><t xml:space="preserve">%s</t></si>' % escape(t) for t in strings)))
    numfmts = "".join('<numFmt numFmtId="%d" formatCode="%s"/>' % (i, escape(c, {'"': "&quot;"}))
                      for c, i in custom.items())
    styles = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<styleSheet %s>'
              '<numFmts count="%d">%s</numFmts>'
              '<fonts count="1"><font><sz val="11"/><name val="宋体"/></font></fonts>'
              '<fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
              '<borders count="1"><border/></borders>'
              '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
              '<cellXfs count="%d">%s</cellXfs>'
              '<cellStyles count="1"><cellStyle name="常规" xfId="0" builtinId="0"/></cellStyles></styleSheet>'
              % (ns, len(custom), numfmts, len(xfs),
                 "".join('<xf numFmtId="%d" fontId="0" fillId="0" borderId="0" xfId="0"%s/>'
                         % (i, ' applyNumberFormat="1"' if i else "") for i in xfs)))
    workbook = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<workbook %s xmlns:r="%s">'
                '<workbookPr%s/><sheets><sheet name="格式" sheetId="1" r:id="rId1"/></sheets></workbook>'
                % (ns, rel, ' date1904="1"' if date1904 else ""))
    book_rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                 '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
                 '<Relationship Id="rId2" Type="%s/styles" Target="styles.xml"/>'
                 '<Relationship Id="rId3" Type="%s/sharedStrings" Target="sharedStrings.xml"/>'
                 '</Relationships>' % (rel, rel, rel))
    root_rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                 '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/>'
                 '</Relationships>' % rel)
    main = "application/vnd.openxmlformats-officedocument.spreadsheetml"
    types = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
             '<Default Extension="xml" ContentType="application/xml"/>'
             '<Override PartName="/xl/workbook.xml" ContentType="%s.sheet.main+xml"/>'
             '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="%s.worksheet+xml"/>'
             '<Override PartName="/xl/styles.xml" ContentType="%s.styles+xml"/>'
             '<Override PartName="/xl/sharedStrings.xml" ContentType="%s.sharedStrings+xml"/>'
             '</Types>' % (main, main, main, main))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", types)
        z.writestr("_rels/.rels", root_rels)
        z.writestr("xl/workbook.xml", workbook)
        z.writestr("xl/_rels/workbook.xml.rels", book_rels)
        z.writestr("xl/styles.xml", styles)
        z.writestr("xl/sharedStrings.xml", shared)
        z.writestr("xl/worksheets/sheet1.xml", sheet)


def esc(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


class Office:
    """A private headless LibreOffice reached through UNO over a pipe."""

    def __init__(self):
        import uno  # noqa: F401 (python3-uno)
        self.profile = tempfile.mkdtemp(prefix="qm-format-lo-")
        user = os.path.join(self.profile, "user")
        os.makedirs(user)
        with open(os.path.join(user, "registrymodifications.xcu"), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                    '<oor:items xmlns:oor="http://openoffice.org/2001/registry" '
                    'xmlns:xs="http://www.w3.org/2001/XMLSchema" '
                    'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n'
                    '<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" '
                    'oor:op="fuse"><value>zh-CN</value></prop></item>\n'
                    '<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooLocale" '
                    'oor:op="fuse"><value>zh-CN</value></prop></item>\n'
                    '</oor:items>\n')
        self.pipe = "qm_format_%d" % os.getpid()
        self.process = subprocess.Popen(
            ["soffice", "-env:UserInstallation=file://" + self.profile, "--headless", "--invisible",
             "--nologo", "--norestore", "--accept=pipe,name=%s;urp;" % self.pipe],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        import uno
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + 90
        while True:
            try:
                self.context = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except Exception:
                if time.time() > deadline or self.process.poll() is not None:
                    self.close()
                    raise RuntimeError("LibreOffice did not start")
                time.sleep(0.5)
        self.desktop = self.context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", self.context)

    @staticmethod
    def props(**kw):
        import uno
        from com.sun.star.beans import PropertyValue
        out = []
        for k, v in kw.items():
            p = PropertyValue()
            p.Name, p.Value = k, v
            out.append(p)
        return tuple(out)

    def load(self, path):
        import uno
        return self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(path), "_blank", 0,
                                                 self.props(Hidden=True))

    def save(self, doc, path, filter_name, options=None):
        import uno
        kw = {"FilterName": filter_name, "Overwrite": True}
        if options:
            kw["FilterOptions"] = options
        doc.storeToURL(uno.systemPathToFileUrl(path), self.props(**kw))

    def close(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        if self.process.poll() is None:
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    cases = read_cases()
    date_cases = [c for c in cases if re.match(r"\d{4}-\d\d-\d\d", c["value"]) or ":" in c["value"]]
    office = Office()
    try:
        for name, chosen, date1904 in (("formats", cases, False), ("formats1904", date_cases, True)):
            xlsx = os.path.join(out, name + ".xlsx")
            write_xlsx(xlsx, chosen, date1904)
            doc = office.load(xlsx)
            if doc is None:
                raise RuntimeError("LibreOffice could not load " + xlsx)
            sheet = doc.Sheets.getByIndex(0)
            with open(os.path.join(out, name + ".expected"), "w", encoding="utf-8") as f:
                for n in range(1, len(chosen) + 1):
                    cell = sheet.getCellByPosition(1, n)
                    f.write("%d\t%s\t%r\n" % (n, esc(cell.getString()), cell.getValue()))
            office.save(doc, os.path.join(out, name + ".xls"), "MS Excel 97")
            office.save(doc, os.path.join(out, name + ".ods"), "calc8")
            office.save(doc, os.path.join(out, name + ".csv"), "Text - txt - csv (StarCalc)",
                        "44,34,76,1,,0,false,true,true")
            doc.close(True)
            with open(os.path.join(out, name + ".csv"), encoding="utf-8-sig") as f:
                text = f.read()
            with open(os.path.join(out, name + "-gb18030.csv"), "w", encoding="gb18030", newline="") as f:
                f.write(text)
    finally:
        office.close()


if __name__ == "__main__":
    main()
