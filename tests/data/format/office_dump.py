#!/usr/bin/python3
"""Prints what LibreOffice Calc shows in every cell of the given workbooks.

Run with /usr/bin/python3 (python3-uno). Usage: office_dump.py OUT FILE...; writes OUT with one
line per non-empty cell, fields separated by tabs, texts escaped as in make_format_corpus.py:

    FILE <path>
    SHEET <name>
    CELL <row> <column> F|V <text shown>     (F: a formula, whose result the office computes
                                               again; V: a value)

A file the office cannot load gives "FILE <path>" and "ERROR". Sheets are the spreadsheet
sheets in order (chart sheets are not sheets there). The office runs with the zh-CN profile of
make_format_corpus.py and is ended before the script returns.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_format_corpus import Office, esc  # noqa: E402


def uno_enum(type_name, value):
    import uno
    return uno.Enum(type_name, value)


def main():
    out_path, files = sys.argv[1], sys.argv[2:]
    office = Office()
    try:
        with open(out_path + ".part", "w", encoding="utf-8") as out:
            for path in files:
                out.write("FILE\t%s\n" % esc(path))
                try:
                    doc = office.load(os.path.abspath(path))
                except Exception:
                    doc = None
                if doc is None or not hasattr(doc, "Sheets"):
                    out.write("ERROR\n")
                    continue
                for i in range(doc.Sheets.Count):
                    sheet = doc.Sheets.getByIndex(i)
                    out.write("SHEET\t%s\n" % esc(sheet.Name))
                    cursor = sheet.createCursor()
                    cursor.gotoEndOfUsedArea(False)
                    rows, cols = cursor.RangeAddress.EndRow + 1, cursor.RangeAddress.EndColumn + 1
                    data = sheet.getCellRangeByPosition(0, 0, cols - 1, rows - 1)
                    formula = uno_enum("com.sun.star.table.CellContentType", "FORMULA")
                    for r in range(rows):
                        for c in range(cols):
                            cell = data.getCellByPosition(c, r)
                            text = cell.getString()
                            if text:
                                kind = "F" if cell.getType() == formula else "V"
                                out.write("CELL\t%d\t%d\t%s\t%s\n" % (r, c, kind, esc(text)))
                doc.close(True)
        os.replace(out_path + ".part", out_path)
    finally:
        office.close()


if __name__ == "__main__":
    main()
