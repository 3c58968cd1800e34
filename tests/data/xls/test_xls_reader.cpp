// Exact texts of the workbook reader on our own fixtures and on real files, and refusal of
// damaged, foreign and encrypted input.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "data/xls/workbook_reader.h"
#include "tests/support/files.h"
#include "tests/support/realworld.h"
#include "xls_test_support.h"

namespace qm::xls {
namespace {

using test::ReadBytes;
using testing::FixtureFolder;

const std::string kRealWorld = test::RealWorldFolder("xls") + "/";

std::unique_ptr<Workbook> Fixture(const std::string& name) {
    const std::string folder = FixtureFolder();
    if (folder.empty()) return nullptr;
    return ReadWorkbookFile(folder + "/" + name);
}

const Sheet* Find(const Workbook& book, const std::string& name) {
    for (const Sheet& s : book.sheets)
        if (s.name == name) return &s;
    return nullptr;
}

TEST(XlsReader, SheetsInWorkbookOrderWithTheirExtent) {
    auto book = Fixture("people.xls");
    ASSERT_NE(book, nullptr);
    std::vector<std::string> names;
    for (const Sheet& s : book->sheets) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"人员名单", "My Sheet", "空表", "Only Titles", "Odd Titles",
                                               "公式", "Kinds"}));
    const Sheet& people = book->sheets[0];
    EXPECT_EQ(people.rowCount(), 26u);
    EXPECT_EQ(people.columnCount(), 6u);
    EXPECT_EQ(book->sheets[2].rowCount(), 0u);
    EXPECT_EQ(book->sheets[2].columnCount(), 0u);
    EXPECT_EQ(book->sheets[2].cell(0, 0), "");
    EXPECT_EQ(book->sheets[3].rowCount(), 1u);
    EXPECT_EQ(book->sheets[3].columnCount(), 2u);
    const Sheet& odd = book->sheets[4];
    EXPECT_EQ(odd.cell(0, 0), "名称");
    EXPECT_EQ(odd.cell(0, 1), "");
    EXPECT_EQ(odd.cell(0, 2), "名称");
    EXPECT_EQ(odd.columnCount(), 4u);
}

TEST(XlsReader, CellTextsOfARecordSheet) {
    auto book = Fixture("people.xls");
    ASSERT_NE(book, nullptr);
    const Sheet& s = book->sheets[0];
    EXPECT_EQ(s.cell(0, 1), "姓名");
    EXPECT_EQ(s.cell(1, 0), "1");
    EXPECT_EQ(s.cell(1, 2), "00003");  // leading zeros kept
    EXPECT_EQ(s.cell(1, 4), "2020-01-01");
    EXPECT_EQ(s.cell(4, 4), "");  // empty cell
    EXPECT_EQ(s.cell(1, 5), "第一行\n第二行");
    const char* amounts[] = {"7",     "0.1",      "1234.5", "-42", "19.99", "123456789012",
                             "1E+20", "0.000123", "-0.5",   "100"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(s.cell(1 + i, 3), amounts[i]) << i;
    EXPECT_EQ(s.cell(25, 1), "李四25");
    EXPECT_EQ(s.cell(26, 0), "");  // below the last row
    EXPECT_EQ(s.cell(0, 6), "");
    EXPECT_EQ(s.cell(1000000, 1000000), "");
}

TEST(XlsReader, NumbersDatesAndLongTexts) {
    auto book = Fixture("people.xls");
    ASSERT_NE(book, nullptr);
    const Sheet* k = Find(*book, "Kinds");
    ASSERT_NE(k, nullptr);
    const char* numbers[] = {"1",    "-1",    "536870911", "-536870912",       "536870912",
                             "0.01", "12.34", "-0.07",     "3.14159265358979", "9.00719925474099E+15",
                             "1E-10"};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(k->cell(i, 0), numbers[i]) << i;
    EXPECT_EQ(k->cell(0, 1), "2021-03-04 05:06:07");
    EXPECT_EQ(k->cell(1, 1), "2021-03-04");  // time format, but no time of day
    EXPECT_EQ(k->cell(2, 1), "13:30:15");
    EXPECT_EQ(k->cell(3, 1), "1999-12-31");  // custom format with quoted Chinese text
    EXPECT_EQ(k->cell(4, 1), "0.25");        // a percentage is no date
    std::string ascii;
    for (int i = 0; i < 9000; ++i) ascii += static_cast<char>('a' + i % 26);
    EXPECT_EQ(k->cell(0, 2), ascii);
    std::string cjk;
    for (int i = 0; i < 2600; ++i) cjk += "汉字测试";
    EXPECT_EQ(k->cell(1, 2), cjk);
    EXPECT_EQ(k->cell(2, 2), "0012");
    EXPECT_EQ(k->cell(3, 2), " padded ");
}

TEST(XlsReader, FormulasShowTheirCachedResult) {
    auto book = Fixture("people.xls");
    ASSERT_NE(book, nullptr);
    const Sheet* f = Find(*book, "公式");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->cell(0, 0), "合计");
    std::string longText;
    for (int i = 0; i < 5000; ++i) longText += "长";
    EXPECT_EQ(f->cell(1, 0), longText);  // STRING record continued
    EXPECT_EQ(f->cell(2, 0), "TRUE");
    EXPECT_EQ(f->cell(3, 0), "");  // error result
    EXPECT_EQ(f->cell(4, 0), "");  // empty text result
    EXPECT_EQ(f->cell(5, 0), "3.5");
    EXPECT_EQ(f->cell(0, 1), "TRUE");
    EXPECT_EQ(f->cell(1, 1), "");  // error cell
}

TEST(XlsReader, BothDateSystems) {
    auto book = Fixture("dates1904.xls");
    ASSERT_NE(book, nullptr);
    const Sheet& s = book->sheets[0];
    EXPECT_EQ(s.cell(1, 0), "2000-01-01");
    EXPECT_EQ(s.cell(2, 0), "1904-01-02");
    EXPECT_EQ(s.cell(3, 0), "2024-02-29");
    QM_SKIP_WITHOUT_REALWORLD("xls");
    for (const char* name : {"1900DateWindowing.xls", "1904DateWindowing.xls"}) {
        auto real = ReadWorkbookFile(kRealWorld + name);
        ASSERT_NE(real, nullptr) << name;
        EXPECT_EQ(real->sheets[0].cell(0, 0), "2000-01-01") << name;
        EXPECT_EQ(real->sheets[0].cell(0, 1), "2000-01-01") << name;
    }
}

TEST(XlsReader, RealWorkbookQuirks) {
    QM_SKIP_WITHOUT_REALWORLD("xls");
    auto charts = ReadWorkbookFile(kRealWorld + "12843-1.xls");
    ASSERT_NE(charts, nullptr);
    ASSERT_EQ(charts->sheets.size(), 40u);
    int chartCount = 0;
    for (const Sheet& s : charts->sheets) chartCount += s.kind == SheetKind::Chart;
    EXPECT_EQ(chartCount, 17);

    auto capitals = ReadWorkbookFile(kRealWorld + "WORKBOOK_in_capitals.xls");
    ASSERT_NE(capitals, nullptr);
    EXPECT_GT(capitals->sheets[0].rowCount(), 100u);

    auto shortSector = ReadWorkbookFile(kRealWorld + "47245_test.xls");
    ASSERT_NE(shortSector, nullptr);
    EXPECT_EQ(shortSector->sheets[0].name, "TS_All Prods ");
    EXPECT_NE(ReadWorkbookFile(kRealWorld + "47251.xls"), nullptr);

    auto hidden = ReadWorkbookFile(kRealWorld + "sheet_visibility.xls");
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(hidden->sheets.size(), 3u);
}

TEST(XlsReader, Excel95WorkbooksInTheirCodePage) {
    QM_SKIP_WITHOUT_REALWORLD("xls");
    auto crlf = ReadWorkbookFile(kRealWorld + "CRLFX5_5.XLS");
    ASSERT_NE(crlf, nullptr);
    EXPECT_EQ(crlf->sheets.size(), 16u);
    EXPECT_EQ(crlf->sheets[15].name, "Sheet16");
    auto russian = ReadWorkbookFile(kRealWorld + "biff5_numfmt_1_russian.xls");
    ASSERT_NE(russian, nullptr);
    const Sheet& s = russian->sheets[0];
    EXPECT_EQ(s.cell(3, 1), "1 234 567,89 р.");  // code page 1251
    EXPECT_EQ(s.cell(2, 4), "1\u00A0234\u00A0568");
}

TEST(XlsReader, UnreadableInputGivesNoWorkbook) {
    const std::string folder = FixtureFolder();
    ASSERT_FALSE(folder.empty());
    for (const char* name : {"bad-truncated.xls", "bad-text.xls", "bad-nostream.xls"})
        EXPECT_EQ(ReadWorkbookFile(folder + "/" + name), nullptr) << name;
    EXPECT_EQ(ReadWorkbookFile(folder + "/missing.xls"), nullptr);
    EXPECT_EQ(ReadWorkbookFile(folder), nullptr);  // a folder
    EXPECT_EQ(ReadWorkbookFile("/dev/null"), nullptr);
    EXPECT_EQ(ParseWorkbook({}), nullptr);
    QM_SKIP_WITHOUT_REALWORLD("xls");
    QM_SKIP_WITHOUT_REALWORLD("doc");
    for (const char* name : {"password.xls", "35897-type4.xls", "xor-encryption-abc.xls"})
        EXPECT_EQ(ReadWorkbookFile(kRealWorld + name), nullptr) << name;
    EXPECT_EQ(ReadWorkbookFile(test::RealWorldFolder("doc") + "/61490.doc"),
              nullptr);  // compound file, no workbook
}

TEST(XlsReader, HandBuiltSheets) {
    Sheet s;
    EXPECT_EQ(s.rowCount(), 0u);
    s.setText(2, 1, "b");
    s.setText(0, 3, "a");
    s.setText(2, 1, "B");
    EXPECT_EQ(s.rowCount(), 3u);
    EXPECT_EQ(s.columnCount(), 4u);
    EXPECT_EQ(s.cell(2, 1), "B");
    EXPECT_EQ(s.cell(0, 3), "a");
    EXPECT_EQ(s.cell(1, 1), "");
    s.setText(0, 3, "");
    EXPECT_EQ(s.columnCount(), 2u);
    Sheet moved = std::move(s);
    EXPECT_EQ(moved.cell(2, 1), "B");
}

// Damage to the container's bookkeeping, one field at a time, on a copy of people.xls.
class DamagedContainer : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string folder = FixtureFolder();
        ASSERT_FALSE(folder.empty());
        good_ = ReadBytes(folder + "/people.xls");
        ASSERT_GT(good_.size(), 4096u);
        ASSERT_NE(ParseWorkbook(good_), nullptr);
        dir_ = (U32(good_, 0x30) + 1) * 512;
        // The Workbook entry is the one after the root in xlwt's directory.
        ASSERT_EQ(std::memcmp(&good_[dir_ + 128], "W\0o\0r\0k\0b\0o\0o\0k\0", 16), 0);
        entry_ = dir_ + 128;
        fat_ = (U32(good_, 0x4C) + 1) * 512;
        start_ = U32(good_, entry_ + 0x74);
    }
    static std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &b[at], 4);
        return v;
    }
    std::unique_ptr<Workbook> With(std::size_t at, std::uint32_t value) {
        auto bytes = good_;
        std::memcpy(&bytes[at], &value, 4);
        return ParseWorkbook(bytes);
    }
    std::vector<std::uint8_t> good_;
    std::size_t dir_ = 0, entry_ = 0, fat_ = 0;
    std::uint32_t start_ = 0;
};

TEST_F(DamagedContainer, BadIndicesLoopsAndSizesAreRefused) {
    EXPECT_EQ(With(fat_ + 4 * start_, 0x00FFFFF0), nullptr);        // next sector beyond the file
    EXPECT_EQ(With(fat_ + 4 * start_, start_), nullptr);            // chain loops on itself
    EXPECT_EQ(With(fat_ + 4 * (start_ + 3), start_ + 1), nullptr);  // longer loop
    EXPECT_EQ(With(entry_ + 0x78, 0xFFFFFFF0), nullptr);            // stream larger than the file
    EXPECT_EQ(With(entry_ + 0x74, 0x7FFFFFFF), nullptr);            // start sector beyond the file
    EXPECT_EQ(With(0x2C, 0xFFFFFFFF), nullptr);                     // FAT sector count
    EXPECT_EQ(With(0x4C, 0x7FFFFFFF), nullptr);                     // FAT sector index
    EXPECT_EQ(With(0x30, 0x7FFFFFFF), nullptr);                     // directory sector
    auto shifted = good_;
    shifted[0x1E] = 30;  // sector size of 1 GiB
    EXPECT_EQ(ParseWorkbook(shifted), nullptr);
}

TEST_F(DamagedContainer, BadRecordsAreRefused) {
    // The stream is stored in consecutive sectors; find its first BOUNDSHEET record.
    const std::size_t stream = (start_ + 1) * 512;
    std::size_t pos = stream, boundsheet = 0;
    while (pos + 4 < good_.size()) {
        const unsigned type = good_[pos] | good_[pos + 1] << 8, length = good_[pos + 2] | good_[pos + 3] << 8;
        if (type == 0x0085) {
            boundsheet = pos;
            break;
        }
        pos += 4 + length;
    }
    ASSERT_NE(boundsheet, 0u);
    EXPECT_EQ(With(boundsheet + 4, 0x7FFFFFF0), nullptr);  // sheet offset beyond the stream
    EXPECT_EQ(With(boundsheet + 4, 0), nullptr);           // sheet offset at the globals
    auto longRecord = good_;
    longRecord[boundsheet + 2] = 0xFF;
    longRecord[boundsheet + 3] = 0xFF;  // a record longer than what follows it is garbage
    EXPECT_EQ(ParseWorkbook(longRecord), nullptr);
}

TEST_F(DamagedContainer, RandomDamageNeverCrashes) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 400; ++round) {
        auto bytes = good_;
        const int flips = 1 + round % 8;
        for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        if (round % 5 == 0) bytes.resize(random() % bytes.size());
        auto book = ParseWorkbook(bytes);
        if (!book) continue;
        for (const Sheet& s : book->sheets) (void)s.cell(s.rowCount() / 2, 0);
    }
}

}  // namespace
}  // namespace qm::xls
