// Every cell of every workbook we have, read by us and by xlrd, must agree up to the documented
// text conversions: numbers with at most 15 significant digits, dates as ISO text, booleans as
// TRUE/FALSE, errors and blanks as "".

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>

#include "data/xls/workbook.h"
#include "xls_test_support.h"

namespace qm::xls {
namespace {

using testing::Quote;
using testing::RunCommand;

const char* kRealWorld = QM_REALWORLD_DIR "/xls";

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto tab = line.find('\t', start);
        parts.push_back(Unescape(line.substr(start, tab - start)));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return parts;
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
    std::string command = "/usr/bin/python3 " + Quote(std::string(QM_SOURCE_DIR) + "/tests/data/xls/xlrd_dump.py");
    for (const auto& p : paths) command += " " + Quote(p);
    std::istringstream in(RunCommand(command));
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

std::vector<std::string> WorkbooksIn(const std::string& folder) {
    std::vector<std::string> paths;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            std::string lower = name;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            if (lower.size() > 4 && lower.substr(lower.size() - 4) == ".xls")
                paths.push_back(folder + "/" + name);
        }
        ::closedir(d);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(XlsOracle, RealWorldWorkbooksReadLikeXlrd) {
    const auto paths = WorkbooksIn(kRealWorld);
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
    for (const auto& p : WorkbooksIn(folder))
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
    std::vector<std::string> paths;
    for (const char* name : {"password.xls", "35897-type4.xls", "xor-encryption-abc.xls"})
        paths.push_back(std::string(kRealWorld) + "/" + name);
    const std::string folder = testing::FixtureFolder();
    ASSERT_FALSE(folder.empty());
    for (const char* name : {"bad-truncated.xls", "bad-text.xls", "bad-nostream.xls"})
        paths.push_back(folder + "/" + name);
    const auto oracle = ReadOracle(paths);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(ReadWorkbookFile(paths[i]), nullptr) << paths[i];
        ASSERT_TRUE(oracle.count(paths[i])) << paths[i];
        EXPECT_EQ(oracle.at(paths[i]).status, i < 3 ? "encrypted" : "error") << paths[i];
    }
}

}  // namespace
}  // namespace qm::xls
