#!/usr/bin/python3
"""Writes the files of the engine benchmark into the folder given as the only argument:

rows.xls      Sheet1: titles F1..F10 and 1,000 rows of short mixed Chinese and ASCII values;
              F9 and F10 hold check box states (是/否, 1/0).
letter.fodt   a one-page letter with the eight bookmarks F1..F8, each holding "[Fn]".
photos.csv    titles F1..F8 and 1,000 rows whose F8 names a photo of its own, photos/pNNNN.png,
              a valid PNG of about 50 KB (stored, not compressed).
features.fodt the same letter where F1 sits in a text box, F2 spans three paragraphs, F3 holds a
              field and a link, and F9 and F10 are check boxes.
"""
import os
import struct
import sys
import zlib

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

FEATURES = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
                 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
                 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
                 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
                 xmlns:xlink="http://www.w3.org/1999/xlink"
                 xmlns:field="urn:openoffice:names:experimental:ooo-ms-interop:xmlns:field:1.0"
                 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:body>
  <office:text>
   <text:p>聘用通知书<draw:frame draw:name="Box" text:anchor-type="paragraph" svg:width="6cm" svg:height="1.5cm" svg:x="10cm" svg:y="0cm"><draw:text-box><text:p>姓名：<text:bookmark-start text:name="F1"/>[F1]<text:bookmark-end text:name="F1"/></text:p></draw:text-box></draw:frame></text:p>
   <text:p>条款：<text:bookmark-start text:name="F2"/>第一条 [F2]</text:p>
   <text:p>第二条 双方约定的其他事项。</text:p>
   <text:p>第三条 本条款以附件为准。<text:bookmark-end text:name="F2"/></text:p>
   <text:p>编号：<text:bookmark-start text:name="F3"/>见 <text:a xlink:type="simple" xlink:href="https://example.org/">附件</text:a> 第 <text:page-number>1</text:page-number> 页<text:bookmark-end text:name="F3"/>。</text:p>
{paragraphs}
   <text:p>已体检：<text:bookmark-start text:name="F9"/><field:fieldmark text:name="F9" field:type="vnd.oasis.opendocument.field.FORMCHECKBOX"/><text:bookmark-end text:name="F9"/> 已签约：<text:bookmark-start text:name="F10"/><field:fieldmark text:name="F10" field:type="vnd.oasis.opendocument.field.FORMCHECKBOX"/><text:bookmark-end text:name="F10"/></text:p>
   <text:p>本通知书一式两份，双方各执一份，自签字之日起生效。如有疑问，请与人力资源部联系。</text:p>
  </office:text>
 </office:body>
</office:document>
"""

LABELS = ["姓名", "性别", "身份证号", "部门", "职位", "入职日期", "月薪", "备注"]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def photo(seed):
    """A 128 x 128 PNG of noise, stored without compression: about 50 KB."""
    width = height = 128
    state = seed * 2654435761 % 4294967296 or 1
    rows = bytearray()
    for _ in range(height):
        rows.append(0)
        for _ in range(width * 3):
            state = (state * 1103515245 + 12345) % 2147483648
            rows.append(state >> 16 & 255)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 0)) +
            chunk(b"IEND", b""))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for c in range(10):
        sheet.write(0, c, "F%d" % (c + 1))
    for r in range(1, ROWS + 1):
        values = ["员工%d" % r, "男" if r % 2 else "女", "1101081990%08d" % r, "部门%d" % (r % 17),
                  "Engineer %d" % (r % 5), "2024-%02d-%02d" % (r % 12 + 1, r % 28 + 1), str(8000 + r),
                  "备注 %d：无" % r, "是" if r % 3 else "否", str(r % 2)]
        for c, v in enumerate(values):
            sheet.write(r, c, v)
    book.save(os.path.join(out, "rows.xls"))
    os.makedirs(os.path.join(out, "photos"), exist_ok=True)
    with open(os.path.join(out, "photos.csv"), "w", encoding="utf-8") as f:
        f.write(",".join("F%d" % (c + 1) for c in range(8)) + "\n")
        for r in range(1, ROWS + 1):
            name = "photos/p%04d.png" % r
            with open(os.path.join(out, name), "wb") as p:
                p.write(photo(r))
            f.write("员工%d,男,1101081990%08d,部门%d,Engineer,2024-01-01,%d,%s\n" % (r, r, r % 17, 8000 + r, name))
    paragraphs = "\n".join(
        '   <text:p>%s：<text:bookmark-start text:name="F%d"/>[F%d]<text:bookmark-end text:name="F%d"/>。</text:p>'
        % (LABELS[c], c + 1, c + 1, c + 1) for c in range(8))
    with open(os.path.join(out, "letter.fodt"), "w", encoding="utf-8") as f:
        f.write(TEMPLATE.format(paragraphs=paragraphs))
    paragraphs = "\n".join(
        '   <text:p>%s：<text:bookmark-start text:name="F%d"/>[F%d]<text:bookmark-end text:name="F%d"/>。</text:p>'
        % (LABELS[c], c + 1, c + 1, c + 1) for c in range(3, 8))
    with open(os.path.join(out, "features.fodt"), "w", encoding="utf-8") as f:
        f.write(FEATURES.format(paragraphs=paragraphs))


if __name__ == "__main__":
    main()
