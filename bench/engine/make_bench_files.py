#!/usr/bin/python3
"""Writes the files of the engine benchmark into the folder given as the only argument:

rows.xls     Sheet1: titles F1..F8 and 1,000 rows of short mixed Chinese and ASCII values.
letter.fodt  a one-page letter with the eight bookmarks F1..F8, each holding "[Fn]".
"""
import os
import sys

import xlwt

ROWS = 1000

TEMPLATE = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
                 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
                 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:body>
  <office:text>
   <text:p>聘用通知书</text:p>
{paragraphs}
   <text:p>本通知书一式两份，双方各执一份，自签字之日起生效。如有疑问，请与人力资源部联系。</text:p>
  </office:text>
 </office:body>
</office:document>
"""

LABELS = ["姓名", "性别", "身份证号", "部门", "职位", "入职日期", "月薪", "备注"]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for c in range(8):
        sheet.write(0, c, "F%d" % (c + 1))
    for r in range(1, ROWS + 1):
        values = ["员工%d" % r, "男" if r % 2 else "女", "1101081990%08d" % r, "部门%d" % (r % 17),
                  "Engineer %d" % (r % 5), "2024-%02d-%02d" % (r % 12 + 1, r % 28 + 1), str(8000 + r),
                  "备注 %d：无" % r]
        for c, v in enumerate(values):
            sheet.write(r, c, v)
    book.save(os.path.join(out, "rows.xls"))
    paragraphs = "\n".join(
        '   <text:p>%s：<text:bookmark-start text:name="F%d"/>[F%d]<text:bookmark-end text:name="F%d"/>。</text:p>'
        % (LABELS[c], c + 1, c + 1, c + 1) for c in range(8))
    with open(os.path.join(out, "letter.fodt"), "w", encoding="utf-8") as f:
        f.write(TEMPLATE.format(paragraphs=paragraphs))


if __name__ == "__main__":
    main()
