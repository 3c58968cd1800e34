#!/usr/bin/python3
"""Writes the sample workbook that ships in the program folder's 数据/ (path in argv[1]), and a
small ID photo for each employee in 照片/ beside it (照片/001.png, ...).

Sheets and column titles (the sample templates name their bookmarks after these titles):
  员工      编号, 姓名, 性别, 部门, 职位, 入职日期, 月薪, 身份证号, 联系电话, 照片   (26 employees)
  合同续签  编号, 姓名, 部门, 原合同到期日, 续签年限, 新合同到期日, 备注      (8 renewals)

编号, 身份证号 and 联系电话 are text cells (leading zeros kept); 入职日期 and the two
合同 dates are date cells; 月薪 and 续签年限 are numbers. All people are invented.
"""
import datetime
import os
import struct
import sys
import zlib

import xlwt

# 编号, 姓名, 性别, 部门, 职位, 入职日期, 月薪, 区划代码, 出生日期, 联系电话
EMPLOYEES = [
    ("001", "林晓峰", "男", "总经理办公室", "总经理", (2012, 3, 1), 28000, "110105", (1978, 5, 12), "13801012345"),
    ("002", "陈雅婷", "女", "总经理办公室", "行政主管", (2014, 7, 15), 12500, "110108", (1986, 11, 3), "13911023456"),
    ("003", "王建国", "男", "财务部", "财务经理", (2013, 9, 2), 18000, "310104", (1980, 1, 27), "13601134567"),
    ("004", "赵丽华", "女", "财务部", "会计", (2017, 4, 10), 9800, "310115", (1990, 8, 19), "13761245678"),
    ("005", "刘志强", "男", "财务部", "出纳", (2019, 6, 3), 7600, "320102", (1994, 2, 8), "15001356789"),
    ("006", "张美玲", "女", "人力资源部", "人力资源经理", (2015, 2, 16), 16500, "330106", (1983, 12, 30), "15102467890"),
    ("007", "孙浩然", "男", "人力资源部", "招聘专员", (2020, 8, 24), 8200, "330102", (1995, 6, 14), "15213578901"),
    ("008", "周文静", "女", "人力资源部", "薪酬专员", (2021, 3, 8), 8500, "440305", (1996, 9, 21), "15824689012"),
    ("009", "吴俊杰", "男", "销售部", "销售总监", (2013, 5, 20), 25000, "440106", (1979, 4, 2), "18602790123"),
    ("010", "郑晓燕", "女", "销售部", "大客户经理", (2016, 10, 9), 15800, "440304", (1988, 7, 7), "18718801234"),
    ("011", "黄志明", "男", "销售部", "销售代表", (2018, 11, 19), 9200, "510107", (1992, 3, 16), "18829912345"),
    ("012", "何欣怡", "女", "销售部", "销售代表", (2022, 2, 14), 7800, "510104", (1998, 10, 5), "13530023456"),
    ("013", "马振宇", "男", "销售部", "销售代表", (2023, 7, 3), 7500, "420106", (1999, 12, 25), "13641134567"),
    ("014", "高静怡", "女", "市场部", "市场经理", (2016, 4, 25), 15200, "420102", (1987, 5, 30), "13752245678"),
    ("015", "罗家豪", "男", "市场部", "品牌策划", (2019, 9, 16), 10500, "430104", (1993, 8, 11), "13863356789"),
    ("016", "梁诗琪", "女", "市场部", "新媒体运营", (2021, 11, 1), 9000.5, "430102", (1997, 1, 9), "13974467890"),
    ("017", "宋立伟", "男", "研发部", "技术总监", (2012, 8, 6), 32000, "110108", (1981, 10, 18), "13485578901"),
    ("018", "唐佳慧", "女", "研发部", "软件工程师", (2017, 12, 11), 19500, "370102", (1989, 6, 23), "13596689012"),
    ("019", "许文博", "男", "研发部", "软件工程师", (2018, 3, 26), 18800, "370203", (1991, 11, 2), "13607790123"),
    ("020", "韩雪", "女", "研发部", "测试工程师", (2020, 5, 18), 13600, "210102", (1994, 4, 29), "13718801234"),
    ("021", "冯子轩", "男", "研发部", "实习生", (2024, 7, 1), 4500, "210202", (2002, 9, 13), "13829912345"),
    ("022", "曹晓敏", "女", "客户服务部", "客服主管", (2015, 6, 29), 11000, "500103", (1985, 3, 4), "13930023456"),
    ("023", "邓宏伟", "男", "客户服务部", "客服专员", (2022, 9, 5), 6800, "500105", (1997, 7, 20), "15041134567"),
    ("024", "彭玉洁", "女", "客户服务部", "客服专员", (2023, 3, 13), 6500, "610103", (2000, 2, 17), "15152245678"),
    ("025", "曾凡东", "男", "行政后勤部", "司机", (2014, 10, 20), 6200, "610113", (1976, 8, 28), "15263356789"),
    ("026", "谢婉清", "女", "行政后勤部", "前台", (2024, 3, 4), 5800, "350102", (2001, 5, 6), "15374467890"),
]

# 编号 of the employee, 原合同到期日, 续签年限, 备注
RENEWALS = [
    ("003", (2025, 9, 1), 5, "无固定期限前最后一次续签"),
    ("006", (2025, 2, 15), 3, ""),
    ("010", (2025, 10, 8), 3, ""),
    ("011", (2025, 11, 18), 2, "调整岗位为高级销售代表"),
    ("014", (2025, 4, 24), 3, ""),
    ("018", (2025, 12, 10), 3, "薪资另行协商"),
    ("019", (2026, 3, 25), 3, ""),
    ("022", (2025, 6, 28), 5, ""),
]

WEIGHTS = [7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2]
CHECK = "10X98765432"


def id_number(region, born, serial):
    body = "%s%04d%02d%02d%03d" % ((region,) + born + (serial,))
    return body + CHECK[sum(int(d) * w for d, w in zip(body, WEIGHTS)) % 11]


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def photo(index, female):
    """A 150 x 200 ID photo on a blue ground: a head and shoulders, the shirt's colour by person."""
    width, height = 150, 200
    ground = (214, 232, 248)
    skin = (236, 200, 170) if index % 3 else (222, 184, 150)
    hair = (40, 32, 30)
    shirts = [(40, 60, 110), (90, 90, 96), (30, 90, 80), (120, 40, 50), (60, 60, 60)]
    shirt = shirts[index % len(shirts)]
    rows = []
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            colour = ground
            dx, dy = x - 75, y - 80
            if ((x - 75) / 62.0) ** 2 + ((y - 215) / 70.0) ** 2 <= 1:
                colour = shirt
            elif abs(dx) <= 12 and 100 <= y <= 150:
                colour = skin  # neck
            if (dx / 34.0) ** 2 + (dy / 42.0) ** 2 <= 1:
                colour = skin
                # hair: the top of the head, longer at the sides for women
                if dy < -18 + abs(dx) * 0.2 or (female and abs(dx) > 26 and dy < 30):
                    colour = hair
            elif female and (dx / 40.0) ** 2 + ((dy - 10) / 52.0) ** 2 <= 1 and dy < 40:
                colour = hair
            row += bytes(colour)
        rows.append(bytes(row))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    dpi = struct.pack(">IIB", 5906, 5906, 1)  # 150 dots per inch, in dots per metre
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"pHYs", dpi) +
            png_chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + png_chunk(b"IEND", b""))


def main():
    path = sys.argv[1]
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)

    book = xlwt.Workbook(encoding="utf-8")
    title = xlwt.easyxf("font: bold on; align: horiz center; pattern: pattern solid, fore_colour gray25")
    text = xlwt.easyxf(num_format_str="@")
    date = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    money = xlwt.easyxf(num_format_str="#,##0.00")
    whole = xlwt.easyxf(num_format_str="0")

    staff = book.add_sheet("员工")
    titles = ["编号", "姓名", "性别", "部门", "职位", "入职日期", "月薪", "身份证号", "联系电话", "照片"]
    widths = [8, 10, 6, 14, 14, 12, 12, 22, 14, 14]
    photos = os.path.join(os.path.dirname(path) or ".", "照片")
    os.makedirs(photos, exist_ok=True)
    for c, (name, width) in enumerate(zip(titles, widths)):
        staff.write(0, c, name, title)
        staff.col(c).width = 256 * width
    by_number = {}
    for r, (no, name, sex, dept, job, joined, pay, region, born, phone) in enumerate(EMPLOYEES, start=1):
        serial = 100 + 2 * r + (1 if sex == "男" else 0)  # odd for men, even for women
        staff.write(r, 0, no, text)
        staff.write(r, 1, name)
        staff.write(r, 2, sex)
        staff.write(r, 3, dept)
        staff.write(r, 4, job)
        staff.write(r, 5, datetime.date(*joined), date)
        staff.write(r, 6, pay, money)
        staff.write(r, 7, id_number(region, born, serial), text)
        staff.write(r, 8, phone, text)
        # The photo, by a name relative to the workbook's folder.
        with open(os.path.join(photos, no + ".png"), "wb") as f:
            f.write(photo(r, sex == "女"))
        staff.write(r, 9, "照片/" + no + ".png")
        by_number[no] = (name, dept)

    renew = book.add_sheet("合同续签")
    titles = ["编号", "姓名", "部门", "原合同到期日", "续签年限", "新合同到期日", "备注"]
    widths = [8, 10, 14, 14, 10, 14, 28]
    for c, (name, width) in enumerate(zip(titles, widths)):
        renew.write(0, c, name, title)
        renew.col(c).width = 256 * width
    for r, (no, ends, years, note) in enumerate(RENEWALS, start=1):
        name, dept = by_number[no]
        old_end = datetime.date(*ends)
        renew.write(r, 0, no, text)
        renew.write(r, 1, name)
        renew.write(r, 2, dept)
        renew.write(r, 3, old_end, date)
        renew.write(r, 4, years, whole)
        renew.write(r, 5, old_end.replace(year=old_end.year + years), date)
        if note:
            renew.write(r, 6, note)

    book.save(path)


if __name__ == "__main__":
    main()
