// The format corpus: every case rendered by us against the office's own text (LibreOffice's
// cell string, or what the office of our users shows where the two differ, see cases.tsv), then
// the same workbook as saved in .xlsx, .xls, .ods and .csv read cell by cell, raw and shown.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "data/connection.h"
#include "data/cursor.h"
#include "data/format/number_format.h"
#include "data/model/workbook.h"
#include "data/workbook_file.h"
#include "format_test_support.h"

namespace qm::format {
namespace {

using testing::Case;
using testing::OfficeText;

std::string Corpus(const std::string& name) {
    return std::string(QM_FORMAT_CORPUS) + "/" + name;
}

bool HaveCorpus() {
    FILE* f = std::fopen(Corpus("formats.expected").c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

std::string CodeOf(const Case& c) {
    if (c.format.size() > 1 && c.format[0] == '#' && c.format[1] >= '0' && c.format[1] <= '9')
        return std::string(BuiltinFormatCode(static_cast<unsigned>(std::atoi(c.format.c_str() + 1))));
    return c.format;
}

std::vector<Case> CasesOf(bool date1904) {
    std::vector<Case> all = testing::ReadCases(), out;
    for (const Case& c : all)
        if (!date1904 || c.isDateOrTime()) out.push_back(c);
    return out;
}

std::string Expected(const Case& c, const OfficeText& office) {
    return c.excel.empty() ? office.text : c.excel;
}

class FormatCorpus : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (!HaveCorpus()) GTEST_SKIP() << "the corpus was not written (no LibreOffice at build time)";
        date1904 = GetParam();
        name = date1904 ? "formats1904" : "formats";
        cases = CasesOf(date1904);
        office = testing::ReadExpected(Corpus(name + ".expected"));
        ASSERT_EQ(office.size(), cases.size());
    }
    const xls::Sheet& sheetOf(const std::string& file) {
        auto load = data::LoadWorkbook(Corpus(file));
        EXPECT_TRUE(load.workbook) << file << ": " << load.problem;
        if (!load.workbook || load.workbook->sheets.empty()) {
            static const xls::Sheet empty;
            return empty;
        }
        books.push_back(load.workbook);
        return load.workbook->sheets[0];
    }
    bool date1904 = false;
    std::string name;
    std::vector<Case> cases;
    std::vector<OfficeText> office;
    std::vector<std::shared_ptr<const xls::Workbook>> books;
};

TEST_P(FormatCorpus, RendererShowsWhatTheOfficeShows) {
    std::size_t overridden = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string got = c.isText() ? FormatText(c.value.substr(2), CodeOf(c))
                                           : FormatNumber(office[i].value, CodeOf(c), date1904);
        EXPECT_EQ(got, Expected(c, office[i]))
            << "case " << i + 1 << " [" << c.format << "] " << c.value
            << (c.excel.empty() ? "" : " (office differs from LibreOffice: " + c.note + ")");
        overridden += !c.excel.empty();
    }
    EXPECT_GE(cases.size(), date1904 ? 50u : 120u);
    EXPECT_LT(overridden * 4, cases.size());  // LibreOffice stays the main oracle
}

TEST_P(FormatCorpus, XlsxCellsShowTheirFormat) {
    const xls::Sheet& sheet = sheetOf(name + ".xlsx");
    ASSERT_EQ(sheet.rowCount(), cases.size() + 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(sheet.shownCell(i + 1, 1), Expected(cases[i], office[i]))
            << "case " << i + 1 << " [" << cases[i].format << "]";
        EXPECT_EQ(sheet.cell(i + 1, 2), cases[i].format);  // the code column is plain text
    }
}

// The cases a saved .xls or .ods cannot carry as the .xlsx has them: LibreOffice saves what it
// made of the code. Cases where LibreOffice's own display differs from the office (cases.tsv
// "excel" column) are left out for the same reason.
bool CarriedBy(const std::string& format, const Case& c) {
    if (!c.excel.empty()) return false;
    static const std::set<std::pair<std::string, std::string>> lost = {
        {"xls", "[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\""},  // .xls export drops [DBNum1] from dates
        {"xls", "#34"},                                      // saved as its own AM/PM code
        {"xls", "#35"},
        {"ods", "aaa"},  // a data style has no Chinese weekday without a Chinese locale
        {"ods", "yyyy-mm-dd aaaa"},
        {"ods", "_ \"¥\"* #,##0.00_ ;_ \"¥\"* \\-#,##0.00_ ;_ \"¥\"* \"-\"??_ ;_ @_ "},  // ?? lost after "-"
    };
    return !lost.count({format, c.format});
}

TEST_P(FormatCorpus, SameValuesInEveryFormat) {
    const xls::Sheet& xlsx = sheetOf(name + ".xlsx");
    for (const std::string format : {"xls", "ods"}) {
        SCOPED_TRACE(format);
        const xls::Sheet& other = sheetOf(name + "." + format);
        ASSERT_EQ(other.rowCount(), xlsx.rowCount());
        std::size_t compared = 0;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            if (!CarriedBy(format, cases[i])) continue;
            ++compared;
            const std::size_t r = i + 1;
            EXPECT_EQ(other.cell(r, 1), xlsx.cell(r, 1))
                << "raw, case " << r << " [" << cases[i].format << "]";
            EXPECT_EQ(other.shownCell(r, 1), xlsx.shownCell(r, 1))
                << "shown, case " << r << " [" << cases[i].format << "]";
            EXPECT_EQ(other.cell(r, 0), xlsx.cell(r, 0));
        }
        EXPECT_GT(compared * 10, cases.size() * 7);
    }
    // A .csv holds the office's shown texts: they read back as they are, in UTF-8 and GB18030.
    for (const std::string& file : {name + ".csv", name + "-gb18030.csv"}) {
        if (date1904 && file.find("gb18030") != std::string::npos) continue;
        SCOPED_TRACE(file);
        const xls::Sheet& csv = sheetOf(file);
        ASSERT_EQ(csv.rowCount(), cases.size() + 1);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            EXPECT_EQ(csv.cell(i + 1, 1), office[i].text) << "case " << i + 1;
            EXPECT_EQ(csv.shownCell(i + 1, 1), office[i].text) << "case " << i + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DateSystems, FormatCorpus, ::testing::Values(false, true), [](const auto& info) {
    return info.param ? std::string("D1904") : std::string("D1900");
});

// What a merge run with shown values reads: the texts of the examples, through the same
// call the grid and the runs use.
TEST(FormatCorpusSheet, OpenSheetGivesShownOrRawValues) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    for (const char* file : {"formats.xlsx", "formats.xls", "formats.ods"}) {
        SCOPED_TRACE(file);
        const std::string connection = data::BuildConnectionString(data::ExcelWorkbook, {}, Corpus(file));
        std::vector<std::string> tables;
        data::ListSheets(connection, tables);
        ASSERT_EQ(tables, (std::vector<std::string>{"格式$"}));
        std::set<std::string> shown, raw;
        for (auto style : {data::ValueStyle::Shown, data::ValueStyle::Raw}) {
            auto cursor = data::OpenSheet(connection, tables[0], nullptr, style);
            ASSERT_TRUE(cursor);
            EXPECT_EQ(cursor->fieldName(1), "值");
            const int field = cursor->fieldIndex("值");
            for (; !cursor->eof(); cursor->moveNext())
                (style == data::ValueStyle::Shown ? shown : raw).insert(cursor->fieldValue(field));
        }
        for (const char* text : {"¥3,000.75", "25%", "001234", "2024年3月5日", "138 1234 5678", "36:15"})
            EXPECT_TRUE(shown.count(text)) << text;
        for (const char* text : {"3000.75", "0.25", "1234", "2024-03-05", "13812345678"})
            EXPECT_TRUE(raw.count(text)) << text;
    }
}

}  // namespace
}  // namespace qm::format
