#!/usr/bin/python3
"""Writes the large benchmark workbook to argv[1]: one sheet "Records" with a title row and
65,535 records of 20 columns (about 31 MB): ids, names, codes with leading zeros, amounts,
dates and text columns. Run with /usr/bin/python3 (Debian's python3-xlwt)."""
import datetime
import sys

import xlwt

RECORDS = 65535
COLUMNS = 20


def main():
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Records")
    titles = ["序号", "姓名", "工号", "金额", "日期"] + ["字段%02d" % c for c in range(5, COLUMNS)]
    for c, t in enumerate(titles):
        sheet.write(0, c, t)
    date = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    start = datetime.date(2000, 1, 1)
    for i in range(RECORDS):
        r = i + 1
        row = sheet.row(r)
        row.write(0, r)
        row.write(1, "姓名%d" % r)
        row.write(2, "%08d" % (r * 7))
        row.write(3, r * 1.25 + 0.01)
        row.write(4, start + datetime.timedelta(days=i % 9000), date)
        for c in range(5, COLUMNS):
            row.write(c, "%d/%d" % (r, c))
        if r % 1000 == 0:
            sheet.flush_row_data()
    book.save(sys.argv[1])


if __name__ == "__main__":
    main()
