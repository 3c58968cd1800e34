// Every cell of the real-world workbooks, shown by us and by the office. LibreOffice reads each
// file (office_dump.py); a formula cell is left out because the office computes it again (NOW(),
// links to other sheets) while we give its cached result. Where LibreOffice's zh-CN display
// differs from the Chinese office of our users the comparison allows that difference only:
// the built-in short date (yyyy/m/d, LibreOffice Y-M-D), AM/PM (LibreOffice 上午/下午) and
// month names without a locale tag (English in the office, "3月" in LibreOffice).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "data/model/workbook.h"
#include "data/workbook_file.h"
#include "tests/support/command.h"
#include "tests/support/realworld.h"
#include "tests/support/tab_fields.h"

namespace qm::format {
namespace {

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

// The office's text with LibreOffice's zh-CN spellings of the allowed differences replaced.
bool SameAsOffice(const std::string& ours, std::string office) {
    if (ours == office) return true;
    if (Replace(ours, "/", "-") == office) return true;
    office = Replace(Replace(office, "上午", "AM"), "下午", "PM");
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 12; m >= 1; --m) office = Replace(office, std::to_string(m) + "月", kMonths[m - 1]);
    return ours == office;
}

// Cells where LibreOffice reads the code otherwise than it is written.
const std::set<std::string> kKnown = {
    // "#,##0_);(#,##0)" in a BIFF5 file: LibreOffice drops the room "_)" leaves.
    "biff5_numfmt_1_russian.xls|Sheet1|7|0",
    "biff5_numfmt_1_russian.xls|Sheet1|8|0",
};

TEST(FormatRealWorld, EveryCellShowsWhatTheOfficeShows) {
    QM_SKIP_WITHOUT_REALWORLD("xls");
    std::vector<std::string> files;
    for (const std::string& path : test::RealWorldFiles("xls"))
        if (data::IsWorkbookFileName(path)) files.push_back(path);
    ASSERT_FALSE(files.empty());
    const std::string dump = std::string(QM_BINARY_DIR) + "/tests/realworld-office.dump";
    std::string command =
        "/usr/bin/python3 " + test::ShellQuote(QM_OFFICE_DUMP) + " " + test::ShellQuote(dump);
    for (const auto& f : files) command += " " + test::ShellQuote(f);
    const test::CommandResult office = test::RunCommand(command + " >/dev/null");
    ASSERT_EQ(office.status, 0) << "the office could not read the workbooks: " << office.err;

    std::ifstream in(dump);
    std::string line, file, sheetName;
    std::shared_ptr<const xls::Workbook> book;
    const xls::Sheet* sheet = nullptr;
    std::size_t compared = 0, formulas = 0, unread = 0;
    int reported = 0;
    while (std::getline(in, line)) {
        const auto f = test::SplitFields(line);
        if (f[0] == "FILE") {
            file = test::UnescapeField(f[1]);
            book = data::LoadWorkbook(file).workbook;
            sheet = nullptr;
        } else if (f[0] == "ERROR") {
            EXPECT_FALSE(book) << file << ": the office cannot read it, we can";
            ++unread;
        } else if (f[0] == "SHEET") {
            sheetName = test::UnescapeField(f[1]);
            sheet = nullptr;
            // Sheets by name: the office keeps chart sheets among its sheets, we do not list them.
            if (book)
                for (const xls::Sheet& s : book->sheets)
                    if (s.name == sheetName && s.kind == xls::SheetKind::Worksheet) sheet = &s;
        } else if (f[0] == "CELL" && f.size() >= 5) {
            if (f[3] == "F") {
                ++formulas;
                continue;
            }
            ASSERT_TRUE(book) << file;
            const std::size_t row = std::stoul(f[1]), column = std::stoul(f[2]);
            const std::string office = test::UnescapeField(f[4]);
            const std::string ours = sheet ? sheet->shownCell(row, column) : "(no such sheet)";
            const std::string name = file.substr(file.rfind('/') + 1);
            ++compared;
            if (!SameAsOffice(ours, office) &&
                !kKnown.count(name + "|" + sheetName + "|" + f[1] + "|" + f[2]) && ++reported <= 20)
                ADD_FAILURE() << name << " " << sheetName << " R" << row << "C" << column << ": office ["
                              << office << "], ours [" << ours << "]";
        }
    }
    EXPECT_EQ(reported, 0);
    EXPECT_GT(compared, 20000u);
    EXPECT_GT(formulas, 500u);
    EXPECT_EQ(unread, 3u);  // the three encrypted workbooks
    std::remove(dump.c_str());
}

}  // namespace
}  // namespace qm::format
