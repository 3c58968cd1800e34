// Documents made by the .doc engine, read back by the office as a user's word processor would:
// each must load, list the bookmarks of its template and show every value.

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/text.h"
#include "doc_engine_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace qm::engine::test {
namespace {

TEST(DocEngineOffice, TheOfficeShowsEveryValueAndKeepsEveryBookmark) {
    if (!qm::test::HaveProgram("soffice")) GTEST_SKIP() << "the office is not installed";
    const qm::test::TempFolder folder("engine-office");
    // Our own templates, and the real-world files where they are at hand.
    std::vector<fs::path> files = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) files.push_back(p);
    std::ofstream manifest(folder / "manifest.tsv");
    int count = 0;
    for (const fs::path& path : files) {
        OpenResult r = OpenTemplateFile(path.string());
        if (!r) continue;
        const std::vector<Fill> fills = FillEverything(*r.value);
        Bytes made;
        std::string error;
        ASSERT_TRUE(r.value->Make(fills, made, error)) << path << ": " << error;
        const std::string out = folder / ("made-" + std::to_string(count++) + ".doc");
        WriteBytes(out, made);
        manifest << path.string() << '\t' << out;
        for (const Fill& f : fills) manifest << '\t' << f.value;
        manifest << '\n';
    }
    manifest.close();
    const std::string output =
        qm::test::RunCommand("/usr/bin/python3 " + qm::test::ShellQuote(QM_OFFICE_READ) + " --compare " +
                             qm::test::ShellQuote(folder / "profile") + " " +
                             qm::test::ShellQuote(folder / "manifest.tsv") + " 2>&1")
            .out;
    int ok = 0;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        if (line == "ok")
            ++ok;
        else
            ADD_FAILURE() << line;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    EXPECT_EQ(ok, count) << output;
}

// What the second reader (PoiRead.java) says of one file.
struct PoiView {
    std::string error;
    int paragraphs = -1;
    std::set<std::string> bookmarks;
    std::string text;
};

// Our text as PoiRead writes it: UTF-8, characters below U+0020 and the backslash escaped.
std::string PoiEscaped(const std::u16string& text) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] >= 0x20 && text[i] != u'\\') continue;
        out += Utf16ToUtf8(std::u16string_view(text).substr(from, i - from));
        if (i < text.size()) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(text[i]));
            out += buffer;
        }
        from = i + 1;
    }
    return out;
}

// A strict reader of the binary format opens every made document: its text is ours, its
// bookmarks are the template's, and it finds the template's paragraphs less those whose marks
// a value replaced.
TEST(DocEngineOffice, ASecondReaderReadsEveryDocumentAsWeDo) {
    const std::string& jars = kPoiClassPath;
    if (!HavePoi()) GTEST_SKIP() << "java or its binary document reader is not installed";
    const qm::test::TempFolder folder("engine-poi");
    const auto compiled =
        qm::test::RunCommand("javac -cp " + jars + " -d " + qm::test::ShellQuote(folder.path()) + " " +
                             qm::test::ShellQuote(QM_POI_READ) + " 2>&1");
    ASSERT_EQ(compiled.status, 0) << compiled.out;

    std::vector<fs::path> files = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) files.push_back(p);
    struct Case {
        std::string name, made;
        int removedMarks = 0;
        std::u16string text;
    };
    std::vector<Case> cases;
    std::string arguments;
    for (const fs::path& path : files) {
        OpenResult r = OpenTemplateFile(path.string());
        if (!r) continue;
        const std::vector<Fill> fills = FillEverything(*r.value);
        Bytes made;
        std::string error;
        ASSERT_TRUE(r.value->Make(fills, made, error)) << path << ": " << error;
        Case c;
        c.name = path.string();
        c.made = folder / ("made-" + std::to_string(cases.size()) + ".doc");
        WriteBytes(c.made, made);
        DocContents before, after;
        ASSERT_TRUE(ReadDocContents(ReadBytes(path), before, error) && ReadDocContents(made, after, error));
        c.text = after.text;
        for (const Fill& f : fills) {
            const auto [s, e] = Replaced(before, *r.value, f.name);
            for (std::uint32_t cp = s; cp < e && cp < before.storyLengths[0]; ++cp)
                if (before.text[cp] == 0x0D || before.text[cp] == 0x07 || before.text[cp] == 0x0C)
                    ++c.removedMarks;
        }
        arguments += " " + qm::test::ShellQuote(c.name) + " " + qm::test::ShellQuote(c.made);
        cases.push_back(std::move(c));
    }
    const auto run = qm::test::RunCommand("java -cp " + jars + ":" + qm::test::ShellQuote(folder.path()) +
                                          " PoiRead" + arguments + " 2>/dev/null");
    std::map<std::string, PoiView> views;
    std::istringstream lines(run.out);
    std::string line, file;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space),
                          rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "FILE")
            file = rest;
        else if (key == "ERROR")
            views[file].error = rest;
        else if (key == "PARAGRAPHS")
            views[file].paragraphs = std::stoi(rest);
        else if (key == "BOOKMARK")
            views[file].bookmarks.insert(rest.substr(0, rest.find(' ')));
        else if (key == "TEXT")
            views[file].text = rest;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PoiView& t = views[c.name];
        const PoiView& m = views[c.made];
        if (!t.error.empty()) continue;  // a template the reader cannot open proves nothing
        EXPECT_EQ(m.error, "");
        EXPECT_EQ(m.paragraphs, t.paragraphs - c.removedMarks);
        EXPECT_EQ(m.bookmarks, t.bookmarks);
        EXPECT_EQ(m.text, PoiEscaped(c.text));
        EXPECT_GT(m.text.size(), 0u);
    }
    EXPECT_EQ(views.size(), 2 * cases.size()) << run.out.substr(0, 2000);
}

}  // namespace
}  // namespace qm::engine::test
