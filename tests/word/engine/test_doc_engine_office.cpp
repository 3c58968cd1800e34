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

// What the second reader (PoiRead.java) says of one file. It pairs the n-th start with the
// n-th end in the order of the ends, so of nested bookmarks it tells the wrong range; each
// list of positions, sorted, is still what the file holds.
struct PoiView {
    std::string error;
    int paragraphs = -1;
    std::set<std::string> bookmarks;
    std::vector<std::uint32_t> starts, ends;  // sorted
    std::string text;
};

// Our reading of the bookmark positions, as PoiView keeps them.
void SortedPositions(const DocContents& c, std::vector<std::uint32_t>& starts,
                     std::vector<std::uint32_t>& ends) {
    starts.clear();
    ends.clear();
    for (const DocBookmark& b : c.bookmarks) {
        starts.push_back(b.start);
        ends.push_back(b.end);
    }
    std::sort(starts.begin(), starts.end());
    std::sort(ends.begin(), ends.end());
}

// Runs PoiRead (compiled into `classes`) over `files`: each file's view.
std::map<std::string, PoiView> PoiViews(const std::string& classes, const std::vector<std::string>& files) {
    std::string arguments;
    for (const std::string& f : files) arguments += " " + qm::test::ShellQuote(f);
    const auto run = qm::test::RunCommand("java -cp " + kPoiClassPath + ":" + qm::test::ShellQuote(classes) +
                                          " PoiRead" + arguments + " 2>/dev/null");
    std::map<std::string, PoiView> views;
    std::istringstream lines(run.out);
    std::string line, file;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space),
                          rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "FILE") {
            file = rest;
        } else if (key == "ERROR") {
            views[file].error = rest;
        } else if (key == "PARAGRAPHS") {
            views[file].paragraphs = std::stoi(rest);
        } else if (key == "BOOKMARK") {
            std::istringstream fields(rest);
            std::string name;
            std::uint32_t start = 0, end = 0;
            fields >> name >> start >> end;
            views[file].bookmarks.insert(name);
            views[file].starts.push_back(start);
            views[file].ends.push_back(end);
        } else if (key == "TEXT") {
            views[file].text = rest;
        }
    }
    for (auto& [name, view] : views) {
        std::sort(view.starts.begin(), view.starts.end());
        std::sort(view.ends.begin(), view.ends.end());
    }
    return views;
}

// Compiles PoiRead into `folder`; "" or what the compiler said.
std::string CompilePoiRead(const std::string& folder) {
    const auto compiled =
        qm::test::RunCommand("javac -cp " + kPoiClassPath + " -d " + qm::test::ShellQuote(folder) + " " +
                             qm::test::ShellQuote(QM_POI_READ) + " 2>&1");
    return compiled.status == 0 ? "" : "javac failed: " + compiled.out;
}

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
    if (!HavePoi()) GTEST_SKIP() << "java or its binary document reader is not installed";
    const qm::test::TempFolder folder("engine-poi");
    ASSERT_EQ(CompilePoiRead(folder.path()), "");

    std::vector<fs::path> files = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) files.push_back(p);
    struct Case {
        std::string name, made;
        int removedMarks = 0;
        std::u16string text;
        std::vector<std::uint32_t> starts, ends;
    };
    std::vector<Case> cases;
    std::vector<std::string> arguments;
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
        SortedPositions(after, c.starts, c.ends);
        for (const Fill& f : fills) {
            const auto [s, e] = Replaced(before, *r.value, f.name);
            for (std::uint32_t cp = s; cp < e && cp < before.storyLengths[0]; ++cp)
                if (before.text[cp] == 0x0D || before.text[cp] == 0x07 || before.text[cp] == 0x0C)
                    ++c.removedMarks;
        }
        arguments.push_back(c.name);
        arguments.push_back(c.made);
        cases.push_back(std::move(c));
    }
    std::map<std::string, PoiView> views = PoiViews(folder.path(), arguments);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PoiView& t = views[c.name];
        const PoiView& m = views[c.made];
        if (!t.error.empty()) continue;  // a template the reader cannot open proves nothing
        EXPECT_EQ(m.error, "");
        EXPECT_EQ(m.paragraphs, t.paragraphs - c.removedMarks);
        EXPECT_EQ(m.bookmarks, t.bookmarks);
        EXPECT_EQ(m.starts, c.starts);
        EXPECT_EQ(m.ends, c.ends);
        EXPECT_EQ(m.text, PoiEscaped(c.text));
        EXPECT_GT(m.text.size(), 0u);
    }
    EXPECT_EQ(views.size(), 2 * cases.size());
}

// The fills of marks.doc (MarksCases): Word's hidden bookmarks across the user's, touching and
// nested pairs. The office loads each document, lists the template's bookmarks and shows the
// values; the second reader finds every bookmark, hidden ones too, where the engine put it.
TEST(DocEngineOffice, HiddenTouchingAndNestedBookmarksReadBack) {
    const bool office = qm::test::HaveProgram("soffice"), poi = HavePoi();
    if (!office && !poi) GTEST_SKIP() << "neither the office nor the binary document reader is installed";
    const qm::test::TempFolder folder("engine-marks");
    const OpenResult r = OpenTemplateFile(Marks().string());
    ASSERT_TRUE(r) << r.refusal;
    std::ofstream manifest(folder / "manifest.tsv");
    std::vector<std::string> files{Marks().string()};
    std::map<std::string, DocContents> ours;
    for (const MarksCase& c : MarksCases()) {
        Bytes made;
        std::string error;
        ASSERT_TRUE(r.value->Make(c.fills, made, error)) << c.what << ": " << error;
        const std::string path = folder / ("marks-" + std::to_string(files.size()) + ".doc");
        WriteBytes(path, made);
        ASSERT_TRUE(ReadDocContents(made, ours[path], error)) << error;
        files.push_back(path);
        manifest << Marks().string() << '\t' << path;
        for (const Fill& f : c.fills) {
            const bool skipped = std::find(c.skipped.begin(), c.skipped.end(), f.name) != c.skipped.end();
            if (!skipped && !r.value->Find(f.name)->hidden) manifest << '\t' << f.value;
        }
        manifest << '\n';
    }
    manifest.close();
    if (office) {
        const std::string output =
            qm::test::RunCommand("/usr/bin/python3 " + qm::test::ShellQuote(QM_OFFICE_READ) + " --compare " +
                                 qm::test::ShellQuote(folder / "profile") + " " +
                                 qm::test::ShellQuote(folder / "manifest.tsv") + " 2>&1")
                .out;
        EXPECT_EQ(output, [] {
            std::string all;
            for (std::size_t i = 0; i < MarksCases().size(); ++i) all += "ok\n";
            return all;
        }());
    }
    if (!poi) return;
    ASSERT_EQ(CompilePoiRead(folder.path()), "");
    std::map<std::string, PoiView> views = PoiViews(folder.path(), files);
    const PoiView& t = views[Marks().string()];
    ASSERT_EQ(t.error, "");
    EXPECT_EQ(t.bookmarks.size(), 14u);
    for (std::size_t i = 1; i < files.size(); ++i) {
        SCOPED_TRACE(MarksCases()[i - 1].what);
        const PoiView& m = views[files[i]];
        EXPECT_EQ(m.error, "");
        EXPECT_EQ(m.paragraphs, t.paragraphs);
        EXPECT_EQ(m.bookmarks, t.bookmarks);
        std::vector<std::uint32_t> starts, ends;
        SortedPositions(ours[files[i]], starts, ends);
        EXPECT_EQ(m.starts, starts);
        EXPECT_EQ(m.ends, ends);
        EXPECT_EQ(m.text, PoiEscaped(ours[files[i]].text));
    }
}

}  // namespace
}  // namespace qm::engine::test
