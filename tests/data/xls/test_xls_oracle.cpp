// Every cell of every workbook we have, read by us and by xlrd, must agree up to the documented
// text conversions: numbers with at most 15 significant digits, dates as ISO text, booleans as
// TRUE/FALSE, errors and blanks as "".

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>

#include "data/xls/workbook_reader.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/realworld.h"
#include "tests/support/tab_fields.h"
#include "xls_test_support.h"

namespace qm::xls {
namespace {

using test::RealWorldFiles;

// The fields of one line xlrd_dump.py printed, unescaped.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields = test::SplitFields(line);
    for (std::string& field : fields) field = test::UnescapeField(field);
    return fields;
}

struct OracleCell {
    char kind;
    std::string value;
};
struct OracleSheet {
    std::string name;
    std::map<std::pair<std::size_t, std::size_t>, OracleCell> cells;
};
struct OracleFile {
    std::string status, reason;
    std::vector<OracleSheet> sheets;
};

std::map<std::string, OracleFile> ReadOracle(const std::vector<std::string>& paths) {
    std::string command = "/usr/bin/python3 " + test::ShellQuote(QM_XLRD_DUMP);
    for (const auto& p : paths) command += " " + test::ShellQuote(p);
    std::istringstream in(test::RunCommand(command).out);
    std::map<std::string, OracleFile> files;
    OracleFile* file = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        auto f = Fields(line);
        if (f[0] == "FILE" && f.size() >= 4) {
            file = &files[f[1]];
            file->status = f[2];
            file->reason = f[3];
        } else if (f[0] == "SHEET" && file) {
            file->sheets.push_back({f[1], {}});
        } else if (f[0] == "CELL" && file && !file->sheets.empty() && f.size() >= 5) {
            file->sheets.back().cells[{std::stoul(f[1]), std::stoul(f[2])}] = {f[3][0], f[4]};
        }
    }
    return files;
}

// Our text matches xlrd's value under the allowed conversions; otherwise a description.
std::string Mismatch(const OracleCell& want, const std::string& got) {
    static const std::regex numberForm(R"(-?(0|[1-9][0-9]*)(\.[0-9]*[1-9])?(E[-+][0-9]+)?)");
    static const std::regex scientific(R"(-?[1-9](\.[0-9]*[1-9])?E[-+][0-9]+)");
    switch (want.kind) {
        case 'T':
            return got == want.value ? "" : "text";
        case 'B':
            return got == (want.value == "1" ? "TRUE" : "FALSE") ? "" : "boolean";
        case 'N': {
            const double expected = std::strtod(want.value.c_str(), nullptr);
            if (!std::regex_match(got, numberForm) && !std::regex_match(got, scientific))
                return "number form";
            std::size_t digits = 0;
            bool leading = true;
            for (char c : got.substr(0, got.find('E'))) {
                if (c < '0' || c > '9') continue;
                if (c != '0') leading = false;
                if (!leading) ++digits;
            }
            if (digits > 15) return "more than 15 digits";
            const double value = std::strtod(got.c_str(), nullptr);
            return std::fabs(value - expected) <= 1e-14 * std::max(std::fabs(value), std::fabs(expected))
                       ? ""
                       : "number value";
        }
        case 'D': {
            const std::string date = want.value.substr(0, 10), time = want.value.substr(11);
            if (got == date || got == time) return "";
            if (got == want.value && time != "00:00:00") return "";
            return "date";
        }
    }
    return "unknown kind";
}

// Returns the number of xlrd cells compared.
std::size_t CompareWithOracle(const std::string& path, const OracleFile& oracle) {
    SCOPED_TRACE(path);
    auto book = ReadWorkbookFile(path);
    if (oracle.status == "encrypted") {
        EXPECT_EQ(book, nullptr) << "an encrypted workbook must not open";
        return 0;
    }
    std::size_t compared = 0;
    EXPECT_EQ(oracle.status, "ok") << "xlrd cannot read it: " << oracle.reason;
    EXPECT_NE(book, nullptr);
    if (oracle.status != "ok" || !book) return 0;
    std::vector<const Sheet*> worksheets;  // xlrd lists worksheets only, not chart sheets
    for (const Sheet& s : book->sheets)
        if (s.kind == SheetKind::Worksheet) worksheets.push_back(&s);
    EXPECT_EQ(worksheets.size(), oracle.sheets.size());
    if (worksheets.size() != oracle.sheets.size()) return 0;
    for (std::size_t i = 0; i < worksheets.size(); ++i) {
        const Sheet& ours = *worksheets[i];
        const OracleSheet& theirs = oracle.sheets[i];
        EXPECT_EQ(ours.name, theirs.name);
        int reported = 0;
        for (const auto& [place, want] : theirs.cells) {
            const std::string got = ours.cell(place.first, place.second);
            ++compared;
            const std::string why = Mismatch(want, got);
            if (!why.empty() && ++reported <= 10)
                ADD_FAILURE() << theirs.name << " R" << place.first << "C" << place.second << ": " << why
                              << ", xlrd " << want.kind << " [" << want.value << "], ours [" << got << "]";
        }
        // Everything we show, xlrd shows too.
        for (std::size_t r = 0; r < ours.rowCount(); ++r)
            for (std::size_t c = 0; c < ours.columnCount(); ++c)
                if (!theirs.cells.count({r, c}) && !ours.cell(r, c).empty() && ++reported <= 10)
                    ADD_FAILURE() << theirs.name << " R" << r << "C" << c << ": xlrd has no value, ours ["
                                  << ours.cell(r, c) << "]";
        EXPECT_EQ(reported, 0) << "mismatches in " << theirs.name;
    }
    return compared;
}

TEST(XlsOracle, RealWorldWorkbooksReadLikeXlrd) {
    QM_SKIP_WITHOUT_REALWORLD("xls");
    const auto paths = RealWorldFiles("xls", ".xls");
    ASSERT_GE(paths.size(), 19u);
    const auto oracle = ReadOracle(paths);
    std::size_t compared = 0;
    for (const auto& path : paths) {
        ASSERT_TRUE(oracle.count(path)) << path;
        compared += CompareWithOracle(path, oracle.at(path));
    }
    EXPECT_GT(compared, 20000u);  // the comparison really ran
}

TEST(XlsOracle, OurFixturesReadLikeXlrd) {
    const std::string folder = testing::FixtureFolder();
    ASSERT_FALSE(folder.empty()) << "make_workbooks.py failed";
    std::vector<std::string> paths;
    for (const auto& p : test::FilesIn(folder, ".xls"))
        if (p.find("/bad-") == std::string::npos) paths.push_back(p);
    ASSERT_EQ(paths.size(), 2u);
    const auto oracle = ReadOracle(paths);
    std::size_t compared = 0;
    for (const auto& path : paths) {
        ASSERT_TRUE(oracle.count(path)) << path;
        compared += CompareWithOracle(path, oracle.at(path));
    }
    EXPECT_GT(compared, 170u);
}

// xlrd refuses these too: the encrypted ones with "Workbook is encrypted", the damaged fixtures
// with "Can't find workbook in OLE2 compound document" (no Workbook stream), "Expected BOF
// record" (a text file) and an index error (cut in the middle).
TEST(XlsOracle, UnreadableWorkbooksAreRefusedByBoth) {
    const auto refusedByBoth = [](const std::vector<std::string>& paths, const std::string& status) {
        const auto oracle = ReadOracle(paths);
        for (const std::string& path : paths) {
            EXPECT_EQ(ReadWorkbookFile(path), nullptr) << path;
            ASSERT_TRUE(oracle.count(path)) << path;
            EXPECT_EQ(oracle.at(path).status, status) << path;
        }
    };
    const std::string folder = testing::FixtureFolder();
    ASSERT_FALSE(folder.empty());
    std::vector<std::string> damaged;
    for (const char* name : {"bad-truncated.xls", "bad-text.xls", "bad-nostream.xls"})
        damaged.push_back(folder + "/" + name);
    refusedByBoth(damaged, "error");

    QM_SKIP_WITHOUT_REALWORLD("xls");
    std::vector<std::string> encrypted;
    for (const char* name : {"password.xls", "35897-type4.xls", "xor-encryption-abc.xls"})
        encrypted.push_back(test::RealWorldFolder("xls") + "/" + name);
    refusedByBoth(encrypted, "encrypted");
}

}  // namespace
}  // namespace qm::xls
