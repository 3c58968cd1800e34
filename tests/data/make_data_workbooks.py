#!/usr/bin/python3
"""Writes the workbooks of the data-layer tests into the folder argv[1].

records.xls   sheets "Records" (ID, Name, an empty title, Amount, Joined; 25 records),
              "My Sheet", "O'Neil" (title row only), "Empty" (no cells), "员工"
small.xls     sheet "Records" with the same titles and 3 records
not_a_workbook.xls  plain text
truncated.xls       the first half of records.xls
encrypted.xls       records.xls marked as encrypted (a FILEPASS record after the BOF)
"""
import datetime
import os
import sys

import xlrd
import xlwt

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

book = xlwt.Workbook(encoding="utf-8")
dates = xlwt.easyxf(num_format_str="YYYY-MM-DD")

sheet = book.add_sheet("Records")
for c, title in enumerate(["ID", "Name", "", "Amount", "Joined"]):
    if title:
        sheet.write(0, c, title)
for i in range(1, 26):
    sheet.write(i, 0, i)
    sheet.write(i, 1, "Name %d" % i)
    sheet.write(i, 2, "x%d" % i)
    if i % 2:
        sheet.write(i, 3, i + 0.5)
    sheet.write(i, 4, datetime.date(2024, 1, i), dates)

spaced = book.add_sheet("My Sheet")
spaced.write(0, 0, "Full Name")
spaced.write(0, 1, "Code")
spaced.write(1, 0, "Ann Lee")
spaced.write(1, 1, "007")

titles = book.add_sheet("O'Neil")
titles.write(0, 0, "A")
titles.write(0, 1, "B")

book.add_sheet("Empty")

staff = book.add_sheet("员工")
staff.write(0, 0, "姓名")
staff.write(0, 1, "部门")
staff.write(1, 0, "张三")
staff.write(1, 1, "销售部")

records = os.path.join(out, "records.xls")
book.save(records)
data = open(records, "rb").read()

small = xlwt.Workbook(encoding="utf-8")
sheet = small.add_sheet("Records")
for c, title in enumerate(["ID", "Name", "", "Amount", "Joined"]):
    if title:
        sheet.write(0, c, title)
for i in range(1, 4):
    sheet.write(i, 0, i)
small.save(os.path.join(out, "small.xls"))

with open(os.path.join(out, "not_a_workbook.xls"), "w") as f:
    f.write("ID,Name\n1,Ann\n")

with open(os.path.join(out, "truncated.xls"), "wb") as f:
    f.write(data[: len(data) // 2])

# The workbook stream starts at the first sector (offset 512) with BOF (20 bytes); xlwt puts
# INTERFACEHDR, MMS and INTERFACEEND right after it: 16 bytes that become a FILEPASS record
# (XOR obfuscation, 6 bytes) followed by an MMS record.
interface = bytes.fromhex("e1000200b004" "c10002000000" "e2000000")
start = 512 + 20
assert data[start:start + 4] == interface[:4], "unexpected xlwt layout"
patched = bytearray(data)
patched[start:start + 16] = bytes.fromhex("2f000600" "0000" "3412" "7856" "c10002000000")
encrypted = os.path.join(out, "encrypted.xls")
with open(encrypted, "wb") as f:
    f.write(patched)
try:
    xlrd.open_workbook(encrypted)
    raise SystemExit("encrypted.xls still opens")
except xlrd.XLRDError as e:
    assert "encrypted" in str(e).lower(), e
