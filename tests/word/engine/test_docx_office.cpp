// The office as the judge of what the .docx engine makes: LibreOffice opens every document,
// shows every value, and keeps the bookmarks the template had.

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <sstream>

#include "tests/support/command.h"
#include "tests/support/processes.h"
#include "tests/support/realworld.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"
#include "tests/word/engine/docx_layouts.h"
#include "tests/word/engine/docx_test_support.h"

namespace qm::test {
namespace {

class DocxOffice : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveProgram("soffice")) GTEST_SKIP() << "soffice is not installed";
        fs::create_directories(folder_ / "in");
    }

    void TearDown() override {
        // The office ran under `timeout`, which ends its whole process group; make sure.
        EXPECT_TRUE(WaitFor([&] { return ProcessesMentioning(folder_.string()).empty(); }, 20000))
            << "an office process outlived the test";
    }

    // One office run converting `files` to `filter` into `out`, with a profile of its own.
    void Convert(const std::vector<fs::path>& files, const std::string& filter, const fs::path& out) {
        std::string command = "timeout -k 10 300 soffice -env:UserInstallation=file://" +
                              (folder_ / "profile").string() +
                              " --headless --invisible --norestore --convert-to " + ShellQuote(filter) +
                              " --outdir " + ShellQuote(out.string());
        for (const fs::path& f : files) command += " " + ShellQuote(f.string());
        const CommandResult r = RunCommand(command + " >/dev/null");
        EXPECT_EQ(r.status, 0) << command << "\n" << r.err;
    }

    const TempFolder scratch_{"docx-office"};
    const fs::path folder_ = scratch_.path();
};

// The text of an OpenDocument file's content and styles (where headers and footers live):
// line breaks, tabs and runs of spaces as characters, each paragraph on its own line.
std::string OdtText(const Bytes& odt) {
    std::string text;
    for (const char* part : {"content.xml", "styles.xml"}) {
        pugi::xml_document doc;
        const std::string xml = EntryText(odt, part);
        if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata)) continue;
        struct Walker : pugi::xml_tree_walker {
            std::string* out;
            bool for_each(pugi::xml_node& n) override {
                const std::string_view name = n.name();
                if (n.type() == pugi::node_pcdata) *out += n.value();
                if (name == "text:line-break") *out += "\n";
                if (name == "text:tab") *out += "\t";
                if (name == "text:s") *out += std::string(n.attribute("text:c").as_int(1), ' ');
                if (name == "text:p" || name == "text:h") *out += "\n";
                return true;
            }
        } walker;
        walker.out = &text;
        doc.traverse(walker);
    }
    return text;
}

// The names of every bookmark and form field the office kept, sorted; not the names it makes up
// itself for fields it found without one ("__Fieldmark__" and a number that changes).
std::multiset<std::string> OdtBookmarks(const Bytes& odt) {
    std::multiset<std::string> names;
    for (const char* part : {"content.xml", "styles.xml"}) {
        pugi::xml_document doc;
        const std::string xml = EntryText(odt, part);
        if (!doc.load_buffer(xml.data(), xml.size())) continue;
        for (const char* kind :
             {"text:bookmark", "text:bookmark-start", "field:fieldmark", "field:fieldmark-start"}) {
            for (const pugi::xpath_node& n : doc.select_nodes((std::string("//") + kind).c_str())) {
                const std::string name = n.node().attribute("text:name").value();
                if (!name.starts_with("__Fieldmark__")) names.insert(name);
            }
        }
    }
    return names;
}

// The office names a second bookmark or form field of the same name "<name> Copy 1" (as it
// makes one of a bookmark around a linked picture, or in deleted text): the names without that.
std::multiset<std::string> Uncopied(const std::multiset<std::string>& names) {
    std::multiset<std::string> out;
    for (std::string name : names) {
        if (const std::size_t copy = name.find(" Copy "); copy != std::string::npos) name.resize(copy);
        out.insert(name);
    }
    return out;
}

TEST_F(DocxOffice, OpensEveryMadeDocumentShowingItsValuesAndBookmarks) {
    struct Job {
        fs::path source;
        std::vector<std::string> skip;  // bookmarks inside others that are filled
        std::string stem;
        std::vector<engine::Fill> fills;
        std::vector<std::string> mainStory;
    };
    std::vector<Job> jobs(4);
    jobs[0].source = DocxFixture("shapes.docx");
    jobs[1].source = DocxFixture("streamed.docx");
    jobs[2].source = DocxFixture("prefixed.docx");
    jobs[3].source = DocxFixture("elsewhere.docx");
    jobs[0].skip = jobs[1].skip = {"Inner"};
    for (const fs::path& sample : SampleDocxTemplates()) jobs.emplace_back().source = sample;

    std::vector<fs::path> templates, made;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job& job = jobs[i];
        job.stem = "doc" + std::to_string(i);
        const Bytes bytes = ReadBytes(job.source);
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t) << job.source;
        job.fills = FillEverything(*t, " 第二行\nline\t值 & <b>", job.skip);
        for (const engine::Fill& f : job.fills)
            if (t->Find(f.name)->story == "main") job.mainStory.push_back(f.value);
        Bytes out;
        std::string error;
        ASSERT_TRUE(t->Make(job.fills, out, error)) << job.source << ": " << error;
        templates.push_back(folder_ / "in" / (job.stem + "-template.docx"));
        made.push_back(folder_ / "in" / (job.stem + "-made.docx"));
        ASSERT_TRUE(WriteBytes(templates.back(), bytes));
        ASSERT_TRUE(WriteBytes(made.back(), out));
    }
    std::vector<fs::path> all = templates;
    all.insert(all.end(), made.begin(), made.end());
    Convert(all, "odt", folder_ / "odt");
    Convert(made, "txt:Text (encoded):UTF8", folder_ / "txt");

    for (const Job& job : jobs) {
        SCOPED_TRACE(job.source.string());
        const Bytes templateOdt = ReadBytes(folder_ / "odt" / (job.stem + "-template.odt"));
        const Bytes madeOdt = ReadBytes(folder_ / "odt" / (job.stem + "-made.odt"));
        const Bytes madeTxt = ReadBytes(folder_ / "txt" / (job.stem + "-made.txt"));
        ASSERT_FALSE(templateOdt.empty()) << "the office did not open the template";
        ASSERT_FALSE(madeOdt.empty()) << "the office did not open the made document";
        ASSERT_FALSE(madeTxt.empty()) << "the office did not open the made document";
        const std::string odtText = OdtText(madeOdt);
        const std::string txt(madeTxt.begin(), madeTxt.end());
        for (const engine::Fill& f : job.fills) EXPECT_NE(odtText.find(f.value), std::string::npos) << f.name;
        for (const std::string& value : job.mainStory) EXPECT_NE(txt.find(value), std::string::npos) << value;
        // A bookmark in deleted text the office reads as a second one of its name.
        const std::multiset<std::string> kept = Uncopied(OdtBookmarks(madeOdt)),
                                         had = Uncopied(OdtBookmarks(templateOdt));
        std::vector<std::string> lost, gained;
        std::set_difference(had.begin(), had.end(), kept.begin(), kept.end(), std::back_inserter(lost));
        std::set_difference(kept.begin(), kept.end(), had.begin(), had.end(), std::back_inserter(gained));
        EXPECT_EQ(lost, std::vector<std::string>{});
        EXPECT_EQ(gained, std::vector<std::string>{});
        EXPECT_FALSE(OdtBookmarks(madeOdt).empty());
    }
}

// The real-world Word documents, as the office saves them in .docx: every one opens, and what
// is made from it keeps the bookmarks the office sees.
TEST_F(DocxOffice, RealWorldDocumentsSavedAsDocx) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    std::vector<fs::path> sources;
    for (const std::string& path : RealWorldFiles("doc", ".doc"))
        if (fs::path(path).filename().string().find("password") == std::string::npos) sources.push_back(path);
    Convert(sources, "docx:MS Word 2007 XML", folder_ / "docx");

    std::vector<fs::path> converted, made;
    for (const fs::path& source : sources) {
        SCOPED_TRACE(source.filename().string());
        converted.push_back(folder_ / "docx" / source.filename().replace_extension(".docx"));
        const Bytes bytes = ReadBytes(converted.back());
        ASSERT_FALSE(bytes.empty());
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t);
        // Every fillable bookmark that is not inside another one already filled.
        std::vector<engine::Fill> fills;
        Bytes out;
        std::string error;
        for (const engine::Fill& f : FillEverything(*t, " 新值")) {
            fills.push_back(f);
            if (!t->Make(fills, out, error)) fills.pop_back();
        }
        ASSERT_TRUE(t->Make(fills, out, error)) << error;
        ASSERT_TRUE(engine::VerifyDocxContainer(out));
        made.push_back(folder_ / "in" / source.filename().replace_extension(".docx"));
        ASSERT_TRUE(WriteBytes(made.back(), out));
    }
    Convert(converted, "odt", folder_ / "odt-template");
    Convert(made, "odt", folder_ / "odt-made");
    for (const fs::path& source : sources) {
        SCOPED_TRACE(source.filename().string());
        const fs::path odt = source.filename().replace_extension(".odt");
        const Bytes before = ReadBytes(folder_ / "odt-template" / odt);
        const Bytes after = ReadBytes(folder_ / "odt-made" / odt);
        ASSERT_FALSE(after.empty()) << "the office did not open the made document";
        EXPECT_EQ(OdtBookmarks(after), OdtBookmarks(before));
    }
}

// The nodes of an OpenDocument part named `name` (with its prefix), in document order.
std::vector<pugi::xml_node> OdtNodes(const Bytes& odt, const char* name) {
    static std::vector<pugi::xml_document> kept;  // the nodes live as long as their document
    pugi::xml_document& doc = kept.emplace_back();
    const std::string xml = EntryText(odt, "content.xml");
    std::vector<pugi::xml_node> out;
    if (!doc.load_buffer(xml.data(), xml.size())) return out;
    for (const pugi::xpath_node& n : doc.select_nodes((std::string("//") + name).c_str()))
        out.push_back(n.node());
    return out;
}

// python-docx's reading of `files`, one JSON line each (see docx_read.py).
std::vector<std::string> PythonDocx(const std::vector<fs::path>& files) {
    std::string command = "/usr/bin/python3 " + ShellQuote(QM_DOCX_READ);
    for (const fs::path& f : files) command += " " + ShellQuote(f.string());
    const CommandResult r = RunCommand(command);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    EXPECT_EQ(lines.size(), files.size());
    lines.resize(files.size());
    return lines;
}

// What the engine now fills beyond plain runs, as the office and python-docx read it: joined
// paragraphs, fields and pictures replaced, text boxes, content controls, check boxes and
// drop-downs; and Word's own files filled whole.
TEST_F(DocxOffice, FeaturesAndWordFilesReadBackInTheOfficeAndPythonDocx) {
    const Bytes bytes = ReadBytes(DocxFixture("features.docx"));
    const auto t = OpenDocx(bytes);
    ASSERT_TRUE(t);
    std::vector<engine::Fill> fills = {{"CheckControl", "0"},      {"CheckInside", "no"},
                                       {"LegacyCheck", "0"},       {"LegacyChecked", "1"},
                                       {"LegacyList", "Shanghai"}, {"ListControl", "Green"}};
    std::vector<std::string> values;
    for (const engine::BookmarkInfo& b : t->bookmarks()) {
        if (!b.refusal.empty() || b.kind != engine::BookmarkKind::Text || b.name == "InJoinedTable") continue;
        fills.push_back({b.name, "«" + b.name + "» 值"});
        values.push_back(fills.back().value);
    }
    Bytes out;
    std::string error;
    ASSERT_TRUE(t->Make(fills, out, error)) << error;
    std::vector<fs::path> templates{folder_ / "in" / "features-template.docx"},
        made{folder_ / "in" / "features-made.docx"};
    ASSERT_TRUE(WriteBytes(templates[0], bytes));
    ASSERT_TRUE(WriteBytes(made[0], out));
    std::vector<std::vector<std::string>> expected{values};
    std::vector<std::pair<std::string, Bytes>> words;
    for (const std::string& file : RealWorldFiles("docx", ".docx"))
        words.emplace_back(fs::path(file).stem().string(), ReadBytes(file));
    for (EditedWordFile& f : WordFilesWithBookmarksAdded(RealWorldFolder("docx")))
        words.emplace_back(fs::path(f.file).stem().string() + "-" + f.bookmark, std::move(f.bytes));
    for (const auto& [stem, word] : words) {
        const std::string file = stem;
        const auto wt = OpenDocx(word);
        ASSERT_TRUE(wt) << file;
        const std::vector<engine::Fill> all = FillEverything(*wt, " 值");
        ASSERT_TRUE(wt->Make(all, out, error)) << error;
        templates.push_back(folder_ / "in" / (stem + "-template.docx"));
        made.push_back(folder_ / "in" / (stem + "-made.docx"));
        ASSERT_TRUE(WriteBytes(templates.back(), word));
        ASSERT_TRUE(WriteBytes(made.back(), out));
        auto& v = expected.emplace_back();
        for (const engine::Fill& f : all) v.push_back(f.value);
    }
    std::vector<fs::path> both = templates;
    both.insert(both.end(), made.begin(), made.end());
    Convert(both, "odt", folder_ / "odt");

    const std::vector<std::string> python = PythonDocx(made);
    for (std::size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(made[i].filename().string());
        const Bytes madeOdt = ReadBytes(folder_ / "odt" / made[i].filename().replace_extension(".odt"));
        const Bytes templateOdt =
            ReadBytes(folder_ / "odt" / templates[i].filename().replace_extension(".odt"));
        ASSERT_FALSE(madeOdt.empty()) << "the office did not open the made document";
        ASSERT_FALSE(templateOdt.empty()) << "the office did not open the template";
        const std::string text = OdtText(madeOdt);
        for (const std::string& v : expected[i]) {
            EXPECT_NE(text.find(v), std::string::npos) << v;
            EXPECT_NE(python[i].find(v), std::string::npos) << v << " not read by python-docx";
        }
        EXPECT_NE(python[i].find("\"ok\": true"), std::string::npos) << python[i];
        // The office names a second bookmark of the same name (as it makes one of a bookmark
        // around a linked picture) "<name> Copy 1"; the made document holds one.
        EXPECT_EQ(Uncopied(OdtBookmarks(madeOdt)), Uncopied(OdtBookmarks(templateOdt)));
    }

    // The states the office shows: content control check boxes, form field check boxes, the
    // drop-down's entry; python-docx reads the same.
    const Bytes odt = ReadBytes(folder_ / "odt" / "features-made.odt");
    std::vector<std::string> controls, fields, selected;
    for (pugi::xml_node n : OdtNodes(odt, "loext:content-control"))
        if (n.attribute("loext:checkbox").as_bool())
            controls.push_back(n.attribute("loext:checked").as_bool() ? "true" : "false");
    // A form field's parameter is left out when it has its default value.
    for (pugi::xml_node n : OdtNodes(odt, "field:fieldmark")) {
        const std::string_view type = n.attribute("field:type").value();
        const auto param = [&](std::string_view name, const char* absent) {
            for (pugi::xml_node p : n.children("field:param"))
                if (name == p.attribute("field:name").value())
                    return std::string(p.attribute("field:value").value());
            return std::string(absent);
        };
        if (type.ends_with("FORMCHECKBOX")) fields.push_back(param("Checkbox_Checked", "false"));
        if (type.ends_with("FORMDROPDOWN")) selected.push_back(param("Dropdown_Selected", "0"));
    }
    // (The third is the bound check box, left as in the template.)
    EXPECT_EQ(controls, (std::vector<std::string>{"false", "false", "false"}));
    EXPECT_EQ(fields, (std::vector<std::string>{"false", "true"}));
    EXPECT_EQ(selected, std::vector<std::string>{"1"});
    EXPECT_NE(python[0].find(R"("checked": ["0", "0", "0", "0", "1"], "selected": [1])"), std::string::npos)
        << python[0];
    EXPECT_NE(OdtText(odt).find("Green"), std::string::npos);
}

// pandoc's plain text of each of `files`, or "<refused: ...>" where it refuses one.
std::vector<std::string> Pandoc(const std::vector<fs::path>& files) {
    std::vector<std::string> out;
    for (const fs::path& f : files) {
        const CommandResult r = RunCommand("pandoc --wrap=none -f docx -t plain " + ShellQuote(f.string()));
        out.push_back(r.status == 0 ? r.out : "<refused: " + r.err + ">");
    }
    return out;
}

// Every layout Word writes, filled: the office, python-docx and pandoc open each document, show
// each value, and the office keeps every bookmark it saw in the template; python-docx's text of
// the body is the case's, line for line.
TEST_F(DocxOffice, WordLayoutsReadBackInEveryReader) {
    if (!HaveProgram("pandoc")) GTEST_SKIP() << "pandoc is not installed";
    struct Item {
        std::string what;
        std::vector<std::string> values, lines;
    };
    std::vector<Item> items;
    std::vector<fs::path> templates, made;
    int n = 0;
    for (const layouts::Layout& layout : layouts::WordLayouts()) {
        const Bytes bytes = layouts::PackageOf(layouts::DocumentOf(layout.body));
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t) << layout.name;
        for (const layouts::Filled& run : layout.runs) {
            Item item{layout.name, {}, run.lines};
            const std::vector<engine::Skip> skips = t->Skips(run.fills);
            for (const engine::Fill& f : run.fills)
                if (t->Find(f.name)->kind == engine::BookmarkKind::Text && !f.value.empty() &&
                    std::none_of(skips.begin(), skips.end(),
                                 [&](const engine::Skip& s) { return s.name == f.name; }))
                    item.values.push_back(f.value);
            Bytes out;
            std::string error;
            ASSERT_TRUE(t->Make(run.fills, out, error)) << layout.name << ": " << error;
            const std::string stem = "layout" + std::to_string(++n);
            templates.push_back(folder_ / "in" / (stem + "-template.docx"));
            made.push_back(folder_ / "in" / (stem + "-made.docx"));
            ASSERT_TRUE(WriteBytes(templates.back(), bytes));
            ASSERT_TRUE(WriteBytes(made.back(), out));
            items.push_back(std::move(item));
        }
    }
    std::vector<fs::path> both = templates;
    both.insert(both.end(), made.begin(), made.end());
    Convert(both, "odt", folder_ / "odt");
    const std::vector<std::string> python = PythonDocx(made), plain = Pandoc(made),
                                   before = Pandoc(templates);
    for (std::size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(items[i].what + " (" + made[i].filename().string() + ")");
        const Bytes madeOdt = ReadBytes(folder_ / "odt" / made[i].filename().replace_extension(".odt"));
        const Bytes templateOdt =
            ReadBytes(folder_ / "odt" / templates[i].filename().replace_extension(".odt"));
        ASSERT_FALSE(madeOdt.empty()) << "the office did not open the made document";
        ASSERT_FALSE(templateOdt.empty()) << "the office did not open the template";
        const std::string text = OdtText(madeOdt);
        for (const std::string& v : items[i].values) {
            EXPECT_NE(text.find(v), std::string::npos) << v << " not shown by the office";
            // pandoc shows nothing of block custom XML or of a simple field's result, in the
            // template as in the document.
            if (before[i].find_first_not_of(" \n") != std::string::npos) {
                EXPECT_NE(plain[i].find(v), std::string::npos) << v << " not read by pandoc: " << plain[i];
            }
        }
        EXPECT_EQ(plain[i].find("<refused"), std::string::npos) << plain[i];
        // The office may see more in the made document than in the template: it loses a mark
        // Word wrote inside a form field's code or in deleted text, which the document has moved.
        const std::multiset<std::string> had = Uncopied(OdtBookmarks(templateOdt)),
                                         kept = Uncopied(OdtBookmarks(madeOdt));
        EXPECT_TRUE(std::includes(kept.begin(), kept.end(), had.begin(), had.end()))
            << ::testing::PrintToString(had) << " not all in " << ::testing::PrintToString(kept);
        std::string lines;
        for (const std::string& line : items[i].lines) lines += (lines.empty() ? "" : "\n") + line;
        std::string quoted;
        for (const char c : lines) {
            if (c == '"' || c == '\\') quoted += '\\';
            if (c == '\n')
                quoted += "\\n";
            else
                quoted += c;
        }
        EXPECT_NE(python[i].find("\"ok\": true"), std::string::npos) << python[i];
        EXPECT_NE(python[i].find("\"text\": \"" + quoted + "\""), std::string::npos) << python[i];
    }
}

}  // namespace
}  // namespace qm::test
