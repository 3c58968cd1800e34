#!/usr/bin/python3
"""Prints every cell of every worksheet of the given .xls files as xlrd reads them.

Run with /usr/bin/python3 (Debian's python3-xlrd). Output, one line each, fields separated by a tab,
texts escaped (backslash, tab, CR and LF as \\\\ \\t \\r \\n):

    FILE <path> ok|encrypted|error <reason>
    SHEET <name> <rows> <columns>
    CELL <row> <column> <kind> <value>

Kinds: T text, N number (Python repr), D date or time ("YYYY-MM-DD HH:MM:SS", from the serial and
the workbook's date system), B boolean (1/0). Empty, blank and error cells are not printed.
"""
import datetime
import math
import sys

import xlrd


def esc(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\r", "\\r").replace("\n", "\\n"))


def date_text(value, datemode):
    if not (0 <= value < 2958466):
        return None
    seconds = int(math.floor(value * 86400 + 0.5))
    epoch = datetime.datetime(1904, 1, 1) if datemode else datetime.datetime(1899, 12, 30)
    return (epoch + datetime.timedelta(seconds=seconds)).strftime("%Y-%m-%d %H:%M:%S")


def dump(path, out):
    try:
        book = xlrd.open_workbook(path, on_demand=False, logfile=open("/dev/null", "w"))
    except xlrd.biffh.XLRDError as e:
        kind = "encrypted" if "encrypted" in str(e).lower() else "error"
        out.write("FILE\t%s\t%s\t%s\n" % (esc(path), kind, esc(str(e))))
        return
    except Exception as e:  # noqa: BLE001 - any failure is reported to the test
        out.write("FILE\t%s\terror\t%s\n" % (esc(path), esc("%s: %s" % (type(e).__name__, e))))
        return
    out.write("FILE\t%s\tok\t\n" % esc(path))
    for sheet in book.sheets():
        out.write("SHEET\t%s\t%d\t%d\n" % (esc(sheet.name), sheet.nrows, sheet.ncols))
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                t, v = cell.ctype, cell.value
                if t == xlrd.XL_CELL_TEXT:
                    line = ("T", v)
                elif t == xlrd.XL_CELL_NUMBER:
                    line = ("N", repr(float(v)))
                elif t == xlrd.XL_CELL_DATE:
                    d = date_text(v, book.datemode)
                    line = ("D", d) if d else ("N", repr(float(v)))
                elif t == xlrd.XL_CELL_BOOLEAN:
                    line = ("B", "1" if v else "0")
                else:
                    continue
                out.write("CELL\t%d\t%d\t%s\t%s\n" % (r, c, line[0], esc(line[1])))


def main():
    for path in sys.argv[1:]:
        dump(path, sys.stdout)


if __name__ == "__main__":
    main()
