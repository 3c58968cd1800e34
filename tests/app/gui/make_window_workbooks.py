#!/usr/bin/python3
"""Writes the workbooks of the window tests that the shared fixtures do not hold, into the
folder given as argv[1] (created when missing). Run with /usr/bin/python3 (Debian's python3-xlwt
and python3-openpyxl).

  rows26.xls    sheet "合同续签": title row 序号 姓名 工号, then 26 records (姓名 "员工1".."员工26",
                工号 "A001".."A026"); sheet "短表": 姓名 工号 and 8 records.
  formats.xlsx  sheet "格式": title row 金额 比例 编号 日期 and one record whose cells carry number
                formats: 3000.75 as "¥"#,##0.00, 0.25 as 0%, 1234 as 000000, 2024-03-05 as
                yyyy"年"m"月"d"日".
"""
import datetime
import os
import sys

import openpyxl
import xlwt


def rows26(path):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("合同续签")
    for c, title in enumerate(["序号", "姓名", "工号"]):
        sheet.write(0, c, title)
    for r in range(1, 27):
        sheet.write(r, 0, r)
        sheet.write(r, 1, "员工%d" % r)
        sheet.write(r, 2, "A%03d" % r)
    short = book.add_sheet("短表")
    short.write(0, 0, "姓名")
    short.write(0, 1, "工号")
    for r in range(1, 9):
        short.write(r, 0, "短%d" % r)
        short.write(r, 1, "B%03d" % r)
    book.save(path)


def formats(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "格式"
    sheet.append(["金额", "比例", "编号", "日期"])
    sheet.append([3000.75, 0.25, 1234, datetime.datetime(2024, 3, 5)])
    for column, code in zip("ABCD", ['"¥"#,##0.00', "0%", "000000", 'yyyy"年"m"月"d"日"']):
        sheet[column + "2"].number_format = code
    book.save(path)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rows26(os.path.join(folder, "rows26.xls"))
    formats(os.path.join(folder, "formats.xlsx"))


if __name__ == "__main__":
    main()
