// The .doc engine on our own templates and on files saved by real word processors: which
// bookmarks it fills, what a made document holds, and what it refuses.

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "common/text.h"
#include "doc_engine_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"
#include "word/engine/doc_file.h"

namespace qm::engine::test {
namespace {

Bytes Make(const Template& t, const std::vector<Fill>& fills) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(t.Make(fills, out, error)) << error;
    return out;
}

std::shared_ptr<const Template> Open(const fs::path& path) {
    OpenResult r = OpenTemplateFile(path.string());
    EXPECT_TRUE(r) << path << ": " << r.refusal;
    return r.value;
}

DocContents Contents(const Bytes& bytes) {
    DocContents c;
    std::string error;
    EXPECT_TRUE(ReadDocContents(bytes, c, error)) << error;
    return c;
}

const fs::path& Places() {
    static const fs::path path = fs::path(QM_ENGINE_FIXTURES) / "places.doc";
    return path;
}

TEST(DocEngine, ListsEveryBookmarkWithWhereItIsAndWhyNot) {
    const auto t = Open(Places());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->format(), Format::Doc);
    EXPECT_EQ(t->VisibleNames(), (std::vector<std::string>{"Name", "Strong", "Point", "Outer", "Inner",
                                                           "Paragraphs", "Cell", "Header", "Footer"}));
    EXPECT_TRUE(t->Find("Cell")->inTable);
    EXPECT_FALSE(t->Find("Name")->inTable);
    EXPECT_EQ(t->Find("Header")->story, "header");
    EXPECT_EQ(t->Find("Footer")->story, "footer");
    for (const char* name :
         {"Name", "Strong", "Point", "Outer", "Inner", "Paragraphs", "Cell", "Header", "Footer"})
        EXPECT_EQ(t->Find(name)->refusal, "") << name;
    EXPECT_EQ(t->Find("name"), nullptr);  // letter case counts
}

// Every real file is either refused with a reason or filled: its text outside the values and
// all its other streams unchanged, every bookmark kept, each filled one spanning its value.
TEST(DocEngine, RealFilesAreFilledOrRefusedWithAReason) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    int filled = 0;
    for (const fs::path path : RealWorldDocs()) {
        SCOPED_TRACE(path.filename().string());
        const Bytes original = ReadBytes(path);
        OpenResult r = OpenTemplate(original);
        if (!r) {
            EXPECT_FALSE(r.refusal.empty());
            const std::string name = path.filename().string();
            if (name.find("password") != std::string::npos) {
                EXPECT_NE(r.refusal.find("encrypted"), std::string::npos);
            }
            continue;
        }
        const Template& t = *r.value;
        const std::vector<Fill> fills = FillEverything(t);
        const Bytes made = Make(t, fills);
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(CheckDocStructure(made), "");
        EXPECT_TRUE(VerifyContainer(made, Format::Doc));

        const DocContents before = Contents(original), after = Contents(made);
        std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
        std::vector<std::u16string> kept;
        for (const Fill& f : fills) {
            ranges.push_back(Replaced(before, t, f.name));
            const std::optional<std::u16string> anchors =
                t.Find(f.name)->formField ? std::u16string()
                                          : KeptAnchors(FindMark(after, f.name)->text, ToWord(f.value),
                                                        FindMark(before, f.name)->text);
            ASSERT_TRUE(anchors) << f.name;
            kept.push_back(*anchors);
        }
        EXPECT_TRUE(after.text == ExpectedText(before, fills, ranges, kept));
        ASSERT_EQ(after.bookmarks.size(), before.bookmarks.size());
        std::vector<std::string> namesBefore, namesAfter;
        for (const DocBookmark& b : before.bookmarks) namesBefore.push_back(b.name);
        for (const DocBookmark& b : after.bookmarks) namesAfter.push_back(b.name);
        std::sort(namesBefore.begin(), namesBefore.end());
        std::sort(namesAfter.begin(), namesAfter.end());
        EXPECT_EQ(namesBefore, namesAfter);

        // Streams other than the text and its tables are copied byte for byte.
        cfb::File a, b;
        ASSERT_TRUE(a.Open(original));
        ASSERT_TRUE(b.Open(made));
        ASSERT_EQ(a.entries().size(), b.entries().size());
        for (std::uint32_t i = 0; i < a.entries().size(); ++i) {
            const cfb::Entry& e = a.entries()[i];
            if (e.type != cfb::EntryType::Stream || e.name == u"WordDocument" || e.name == u"0Table" ||
                e.name == u"1Table")
                continue;
            cfb::Stream sa, sb;
            if (!a.Read(i, sa)) continue;
            ASSERT_TRUE(b.Read(i, sb));
            EXPECT_TRUE(std::equal(sa.bytes.begin(), sa.bytes.end(), sb.bytes.begin(), sb.bytes.end()));
        }

        // A made document is a template again, with the same bookmarks to fill.
        OpenResult again = OpenTemplate(made);
        ASSERT_TRUE(again) << again.refusal;
        EXPECT_EQ(again.value->VisibleNames(), t.VisibleNames());
        for (const BookmarkInfo& b : t.bookmarks())
            if (!b.hidden && b.kind == BookmarkKind::Text && b.refusal.empty()) ++filled;
    }
    // Every text bookmark of the readable files (the others are check boxes and a drop-down,
    // and Word's own OLE_LINK1).
    EXPECT_GE(filled, 33);
}

TEST(DocEngine, RefusalsNameTheReason) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    const fs::path docs = RealWorldFolder("doc");
    OpenResult encrypted = OpenTemplateFile((docs / "password_password_cryptoapi.doc").string());
    EXPECT_FALSE(encrypted);
    EXPECT_NE(encrypted.refusal.find("encrypted"), std::string::npos);
    EXPECT_NE(encrypted.refusal.find("remove the password first"), std::string::npos) << encrypted.refusal;
    // Bookmarks around whole fields and across paragraphs are filled, and so is one holding
    // a text box (which stays).
    const auto links = Open(docs / "supported-hyperlink-features.doc");
    for (const char* name : {"htmlbookmark", "inbookmark", "cross"})
        EXPECT_EQ(links->Find(name)->refusal, "");
    EXPECT_TRUE(links->Find("_Hlt435979441")->hidden);
    const auto fields = Open(docs / "Bug53380_4.doc");
    EXPECT_EQ(fields->Find("zHdrDate")->story, "header");
    EXPECT_EQ(fields->Find("zHdrDate")->refusal, "");
}

// Filling each bookmark with the text it already holds gives back the template's text as an
// independent reader shows it. The comparison is with a document made without fills: it
// differs from the template only in being read through its piece table, which antiword reads
// better than the plain text of some real files.
TEST(DocEngine, TheSameTextReadsTheSameInAntiword) {
    if (!qm::test::HaveProgram("antiword")) GTEST_SKIP() << "antiword is not installed";
    const qm::test::TempFolder folder("antiword");
    // Our own templates, and the real-world files where they are at hand.
    std::vector<fs::path> files = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) files.push_back(p);
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        const Bytes original = ReadBytes(path);
        OpenResult r = OpenTemplate(original);
        if (!r) continue;
        const DocContents before = Contents(original);
        std::vector<Fill> fills;
        for (const Fill& f : FillEverything(*r.value)) {
            const auto range = Replaced(before, *r.value, f.name);
            std::string text;
            for (char16_t c : before.text.substr(range.first, range.second - range.first)) {
                if (c >= 0x80 || c == 0x0B || c < 0x20) {  // the identity fill needs plain text
                    text.clear();
                    break;
                }
                text += static_cast<char>(c);
            }
            if (!text.empty() || range.first == range.second) fills.push_back({f.name, text});
        }
        const Bytes made = Make(*r.value, fills);
        WriteBytes(folder / "a.doc", Make(*r.value, {}));
        WriteBytes(folder / "b.doc", made);
        auto read = [&](const char* name) {
            return qm::test::RunCommand("antiword -m UTF-8.txt " + qm::test::ShellQuote(folder / name) +
                                        " 2>&1")
                .out;
        };
        EXPECT_EQ(read("a.doc"), read("b.doc"));
    }
}

// Every value of a full fill shows in antiword, which reads the text through the piece table,
// the paragraph tables and the notes' and text boxes' tables (it leaves headers out).
TEST(DocEngine, AntiwordShowsEveryValue) {
    if (!qm::test::HaveProgram("antiword")) GTEST_SKIP() << "antiword is not installed";
    const qm::test::TempFolder folder("antiword-values");
    std::vector<fs::path> files = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) files.push_back(p);
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        OpenResult r = OpenTemplateFile(path.string());
        if (!r) continue;
        const std::vector<Fill> fills = FillEverything(*r.value);
        WriteBytes(folder / "made.doc", Make(*r.value, fills));
        const auto read =
            qm::test::RunCommand("antiword -w 0 -m UTF-8.txt " + qm::test::ShellQuote(folder / "made.doc"));
        EXPECT_EQ(read.status, 0) << read.err;
        for (const Fill& f : fills) {
            const std::string& story = r.value->Find(f.name)->story;
            if (story == "header" || story == "footer" || r.value->Find(f.name)->formField) continue;
            EXPECT_NE(read.out.find(f.value), std::string::npos) << f.name;
        }
    }
}

TEST(DocEngine, ValuesKeepWhatADocumentCanHold) {
    const auto t = Open(Places());
    ASSERT_TRUE(t);
    const std::string longValue(32767, 'x');
    const std::vector<std::pair<std::string, std::u16string>> cases = {
        {"two\nlines", u"two\vlines"},
        {"windows\r\nbreak\rold", u"windows\vbreak\vold"},
        {"a\tb", u"a\tb"},
        {"", u""},
        {"张三 ☺ 𠀀", u"张三 ☺ 𠀀"},
        {std::string("bell\x07null\x01", 10) + "unit\x1f" + "del\x7f", u"bellnullunitdel"},
        {"bad \xff byte", u"bad \xFFFD byte"},
        {"no\xEF\xBF\xBF"
         "char",
         u"no\uFFFDchar"},
        {longValue, std::u16string(32767, u'x')},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value.substr(0, 40));
        const Bytes made = Make(*t, {{"Name", value}});
        EXPECT_EQ(CheckDocStructure(made), "");
        const DocContents c = Contents(made);
        EXPECT_TRUE(FindMark(c, "Name")->text == expected);
        EXPECT_NE(c.text.find(u"Name: " + expected + u", welcome."), std::u16string::npos);
    }
}

// Every control character but tab and the line breaks goes on its own; the rest of the value
// stays (the office used to drop a value holding one, whole).
TEST(DocEngine, EveryControlCharacterGoesOnItsOwn) {
    const auto t = Open(Places());
    ASSERT_TRUE(t);
    for (int c = 1; c < 0x20; ++c) {
        if (c == '\t' || c == '\n' || c == '\r') continue;
        std::string value = "a";
        value += static_cast<char>(c);
        value += "b";
        const DocContents contents = Contents(Make(*t, {{"Name", value}}));
        EXPECT_TRUE(FindMark(contents, "Name")->text == u"ab") << c;
    }
    const DocContents del = Contents(Make(*t, {{"Name",
                                                "a\x7f"
                                                "b"}}));
    EXPECT_TRUE(FindMark(del, "Name")->text == u"ab");
    const DocContents nul = Contents(Make(*t, {{"Name", std::string("a\0b", 3)}}));
    EXPECT_TRUE(FindMark(nul, "Name")->text == u"ab");
}

TEST(DocEngine, TheValueTakesTheFormattingOfTheTextItReplaces) {
    const Bytes original = ReadBytes(Places());
    const auto t = OpenTemplate(original).value;
    const Bytes made = Make(*t, {{"Strong", "BOLD"}, {"Name", "plain"}});
    doc::DocFile d;
    std::string error;
    ASSERT_TRUE(d.Parse(made, error)) << error;
    const DocContents c = Contents(made);
    auto bold = [&](const std::string& name) {
        bool found = false;
        const std::vector<std::uint8_t> chpx = d.Chpx(*d.FcAt(FindMark(c, name)->start));
        doc::ForEachSprm(chpx, [&](std::uint16_t sprm, std::span<const std::uint8_t> bytes) {
            if (sprm == 0x0835 && bytes[2] != 0) found = true;  // bold
        });
        return found;
    };
    EXPECT_TRUE(bold("Strong"));
    EXPECT_FALSE(bold("Name"));
}

TEST(DocEngine, NestedAndCollapsedBookmarksAreKept) {
    const auto t = Open(Places());
    {
        // The outer one filled: the inner one is kept, collapsed where the value starts.
        const DocContents c = Contents(Make(*t, {{"Outer", "NEW"}}));
        EXPECT_TRUE(FindMark(c, "Outer")->text == u"NEW");
        EXPECT_EQ(FindMark(c, "Inner")->start, FindMark(c, "Outer")->start);
        EXPECT_EQ(FindMark(c, "Inner")->end, FindMark(c, "Outer")->start);
    }
    {
        // The inner one filled: the outer one grows around it.
        const DocContents c = Contents(Make(*t, {{"Inner", "in"}}));
        EXPECT_TRUE(FindMark(c, "Outer")->text == u"[A in B]");
        EXPECT_TRUE(FindMark(c, "Inner")->text == u"in");
    }
    {
        // A collapsed bookmark spans its value, and a filled document can be filled again.
        const Bytes once = Make(*t, {{"Point", "first"}});
        EXPECT_TRUE(FindMark(Contents(once), "Point")->text == u"first");
        const auto again = OpenTemplate(once).value;
        const DocContents c = Contents(Make(*again, {{"Point", "second"}}));
        EXPECT_TRUE(FindMark(c, "Point")->text == u"second");
        EXPECT_NE(c.text.find(u"Point secondhere."), std::u16string::npos);
    }
}

// A filled bookmark inside another filled one gives way: the outer value replaces its whole
// range, and the inner bookmark stays, empty, at the value's start.
TEST(DocEngine, TheOuterOfTwoFilledBookmarksWins) {
    const auto t = Open(Places());
    const std::vector<Fill> fills{{"Outer", "a"}, {"Inner", "b"}};
    const std::vector<Skip> skips = t->Skips(fills);
    ASSERT_EQ(skips.size(), 1u);
    EXPECT_EQ(skips[0].name, "Inner");
    EXPECT_EQ(skips[0].why, "lies inside bookmark Outer, whose value replaces it");
    const DocContents c = Contents(Make(*t, fills));
    EXPECT_TRUE(FindMark(c, "Outer")->text == u"a");
    EXPECT_EQ(FindMark(c, "Inner")->start, FindMark(c, "Outer")->start);
    EXPECT_EQ(FindMark(c, "Inner")->end, FindMark(c, "Inner")->start);
    // Names that are no bookmark are left alone; the last of two values wins.
    Bytes out;
    std::string error;
    EXPECT_TRUE(t->Make(std::vector<Fill>{{"Nobody", "x"}, {"Name", "one"}, {"Name", "two"}}, out, error));
    EXPECT_TRUE(FindMark(Contents(out), "Name")->text == u"two");
}

// The main text's paragraphs with the bookmarks written into them as MarksCase describes. At
// one place, ranges that end close first (the one that started last first), then collapsed
// bookmarks, then ranges that start (the one that ends last first).
std::vector<std::string> MarkedLines(const DocContents& c) {
    const std::uint32_t length = c.storyLengths[0];
    std::vector<std::u16string> lines(1);
    for (std::uint32_t cp = 0; cp <= length; ++cp) {
        std::vector<const DocBookmark*> ends, points, starts;
        for (const DocBookmark& b : c.bookmarks) {
            if (b.start == b.end && b.start == cp) points.push_back(&b);
            if (b.start != b.end && b.end == cp) ends.push_back(&b);
            if (b.start != b.end && b.start == cp) starts.push_back(&b);
        }
        std::sort(ends.begin(), ends.end(), [](const DocBookmark* x, const DocBookmark* y) {
            return x->start != y->start ? x->start > y->start : x->name > y->name;
        });
        std::sort(points.begin(), points.end(),
                  [](const DocBookmark* x, const DocBookmark* y) { return x->name < y->name; });
        std::sort(starts.begin(), starts.end(), [](const DocBookmark* x, const DocBookmark* y) {
            return x->end != y->end ? x->end > y->end : x->name < y->name;
        });
        for (const DocBookmark* b : ends) lines.back() += u":" + ToWord(b->name) + u"}";
        for (const DocBookmark* b : points) lines.back() += u"{" + ToWord(b->name) + u"}";
        for (const DocBookmark* b : starts) lines.back() += u"{" + ToWord(b->name) + u":";
        if (cp == length) break;
        if (c.text[cp] == u'\r')
            lines.emplace_back();
        else
            lines.back() += c.text[cp];
    }
    std::vector<std::string> out;
    for (const std::u16string& line : lines) out.push_back(Utf16ToUtf8(line));
    return out;
}

// A line of MarkedLines without its bookmarks: the text a reader shows.
std::string Unmarked(const std::string& line) {
    std::string out;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t close = line.find_first_of(":}", i + 1);
        // "{Name:", "{Name}" or ":Name}" is a mark.
        const bool mark =
            close != std::string::npos && (line[i] == '{' || (line[i] == ':' && line[close] == '}'));
        if (mark)
            i = close + 1;
        else
            out += line[i++];
    }
    return out;
}

// `bytes` with the end marks of bookmarks `a` and `b`, which end at one place, stored the other
// way round: the tables still agree, and the bookmarks are the same.
Bytes WithEndsSwapped(const Bytes& bytes, const std::string& a, const std::string& b) {
    doc::DocFile d;
    std::string error;
    EXPECT_TRUE(d.Parse(bytes, error)) << error;
    const DocContents c = Contents(bytes);
    std::vector<std::uint8_t> table = d.table();
    // Each start's data: the index of its end, then flags; the names follow the starts.
    const std::size_t count = c.bookmarks.size(), data = d.Fc(doc::kPlcfBkf) + 4 * (count + 1);
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < count; ++i)
        if (c.bookmarks[i].name == a || c.bookmarks[i].name == b) at.push_back(data + 4 * i);
    EXPECT_EQ(at.size(), 2u);
    if (at.size() != 2) return bytes;
    EXPECT_EQ(FindMark(c, a)->end, FindMark(c, b)->end);
    std::swap(table[at[0]], table[at[1]]);
    std::swap(table[at[0] + 1], table[at[1] + 1]);
    std::vector<std::span<const std::uint8_t>> streams(d.streams.begin(), d.streams.end());
    streams[d.tableIndex] = table;
    return cfb::Write(d.entries, streams);
}

// Word drops bookmarks of its own anywhere (_GoBack at the last edit, _Hlt and _Ref where a
// link or cross-reference points, OLE_LINK around a pasted link), across the user's: they never
// stop a fill, and where a value replaces one of their marks, the mark stands at the value's
// start. Touching bookmarks take values together or apart; of nested ones, the inner is filled
// when the outer is not, and the outer wins when both are.
TEST(DocEngine, HiddenTouchingAndNestedBookmarksAsWordLeavesThem) {
    const Bytes original = ReadBytes(Marks());
    const auto t = Open(Marks());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->VisibleNames(), (std::vector<std::string>{"Left", "Typed", "Right", "First", "Second",
                                                           "Third", "Block", "Word", "CrossA", "CrossB"}));
    const std::map<std::string, std::string> refusals = {
        {"_Hlt100", "a hidden bookmark"},       {"_GoBack", "a hidden bookmark"},
        {"OLE_LINK1", "a hidden bookmark"},     {"_Ref300", "a hidden bookmark"},
        {"CrossA", "overlaps bookmark CrossB"}, {"CrossB", "overlaps bookmark CrossA"}};
    for (const BookmarkInfo& b : t->bookmarks()) {
        const auto it = refusals.find(b.name);
        EXPECT_EQ(b.refusal, it == refusals.end() ? "" : it->second) << b.name;
        EXPECT_EQ(b.hidden, it != refusals.end() && it->second == "a hidden bookmark") << b.name;
    }
    // The office kept every mark where the fixture puts it.
    const DocContents before = Contents(original);
    const std::vector<std::string> lines = MarkedLines(before);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Lead {_Hlt100:in {Left:[LE:_Hlt100}FT]:Left} out.",
                         "Go {Typed:[TY{_GoBack}PED]:Typed} back.",
                         "Link {Right:[RI{OLE_LINK1:GHT]:Right} on:OLE_LINK1} end.",
                         "Pair {First:[FIR{_Ref300:ST]:First}{Second:[SEC:_Ref300}OND]:Second}{Third} done.",
                         "Nest {Block:[A {Word:[WORD]:Word} B]:Block} end.",
                         "Cross {CrossA:[A {CrossB:AB]:CrossA} B]:CrossB} end.",
                         "Last paragraph.",
                         "",
                     }));
    const bool antiword = qm::test::HaveProgram("antiword");
    const qm::test::TempFolder folder("marks");
    // Marks at one place may be stored in either order. With Second's end stored after the
    // collapsed Third's, a fill that gives Third a value sorts them again.
    const Bytes swapped = WithEndsSwapped(original, "Second", "Third");
    ASSERT_NE(swapped, original);
    const auto other = OpenTemplate(swapped).value;
    ASSERT_TRUE(other);
    EXPECT_EQ(MarkedLines(Contents(swapped)), lines);
    for (const Template* each : {t.get(), other.get()}) {
        for (const MarksCase& c : MarksCases()) {
            SCOPED_TRACE(std::string(each == other.get() ? "ends swapped: " : "") + c.what);
            std::vector<std::string> skipped;
            for (const Skip& skip : each->Skips(c.fills)) skipped.push_back(skip.name);
            EXPECT_EQ(skipped, c.skipped);
            EXPECT_TRUE(each->Notes(c.fills).empty());
            const Bytes made = Make(*each, c.fills);
            ASSERT_EQ(CheckDocStructure(made), "");
            std::vector<std::string> expected = lines;
            for (const auto& [i, line] : c.lines) expected[i] = line;
            const DocContents after = Contents(made);
            EXPECT_EQ(MarkedLines(after), expected);
            // Every bookmark stays, hidden ones too, its name where its start is.
            ASSERT_EQ(after.bookmarks.size(), before.bookmarks.size());
            for (std::size_t i = 0; i < after.bookmarks.size(); ++i)
                EXPECT_EQ(after.bookmarks[i].name, before.bookmarks[i].name);
            // Filled again, the document offers the same bookmarks, for the same reasons.
            const OpenResult again = OpenTemplate(made);
            ASSERT_TRUE(again) << again.refusal;
            for (const BookmarkInfo& b : each->bookmarks()) {
                EXPECT_EQ(again.value->Find(b.name)->refusal, b.refusal) << b.name;
                EXPECT_EQ(again.value->Find(b.name)->hidden, b.hidden) << b.name;
            }
            if (!antiword) continue;
            WriteBytes(folder / "made.doc", made);
            const auto read = qm::test::RunCommand("antiword -w 0 -m UTF-8.txt " +
                                                   qm::test::ShellQuote(folder / "made.doc"));
            EXPECT_EQ(read.status, 0) << read.err;
            for (std::size_t i = 0; i + 1 < expected.size(); ++i)
                EXPECT_NE(read.out.find("\n" + Unmarked(expected[i]) + "\n"), std::string::npos)
                    << Unmarked(expected[i]) << "\n"
                    << read.out;
        }
    }
}

TEST(DocEngine, HeadersAndFootersChangeTheirStoryOnly) {
    const Bytes original = ReadBytes(Places());
    const auto t = OpenTemplate(original).value;
    const DocContents before = Contents(original);
    const DocContents after = Contents(Make(*t, {{"Header", "页眉值"}, {"Footer", "F"}, {"Name", "N"}}));
    EXPECT_EQ(CheckDocStructure(Make(*t, {{"Header", "页眉值"}, {"Footer", "F"}, {"Name", "N"}})), "");
    EXPECT_EQ(after.storyLengths[0], before.storyLengths[0] + 1 - 6);  // "[NAME]" -> "N"
    EXPECT_EQ(after.storyLengths[2], before.storyLengths[2] + 3 - 8 + 1 - 8);
    EXPECT_TRUE(FindMark(after, "Header")->text == u"页眉值");
    EXPECT_TRUE(FindMark(after, "Footer")->text == u"F");
    EXPECT_NE(after.text.find(u"编号 页眉值 页眉"), std::u16string::npos);
}

TEST(DocEngine, FormFieldsGetANewResultAndKeepTheirField) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    const auto t = Open(fs::path(RealWorldFolder("doc")) / "Bug47286.doc");
    EXPECT_TRUE(t->Find("Text1")->formField);
    const DocContents c = Contents(Make(*t, {{"Text1", "Иванов"}}));
    EXPECT_TRUE(FindMark(c, "Text1")->text == u" FORMTEXT \x01\x14Иванов\x15");
}

// The anchors (drawing shape ids by position) of a made document's main text or headers, each
// checked to sit on a drawing's character.
std::map<std::uint32_t, std::uint32_t> Anchors(const Bytes& bytes, bool headers) {
    doc::DocFile d;
    std::string error;
    EXPECT_TRUE(d.Parse(bytes, error)) << error;
    doc::Plc plc;
    std::map<std::uint32_t, std::uint32_t> out;
    const int table = headers ? doc::kPlcSpaHdr : doc::kPlcSpaMom;
    if (d.Lcb(table) == 0 || !doc::ReadPlc(d.TableBytes(table), 26, plc)) return out;
    const std::uint32_t start = d.StoryStart(headers ? doc::Story::Header : doc::Story::Main);
    for (std::size_t i = 0; i < plc.count(); ++i) {
        const char16_t c = d.CharAt(start + plc.cp[i]);
        EXPECT_TRUE(c == 0x08 || c == 0x01) << "anchor " << i << " on " << static_cast<int>(c);
        out[start + plc.cp[i]] = doc::U32(plc.data.data() + 26 * i);
    }
    return out;
}

std::vector<std::uint8_t> TableCopy(const Bytes& bytes, int table) {
    doc::DocFile d;
    std::string error;
    EXPECT_TRUE(d.Parse(bytes, error)) << error;
    const std::span<const std::uint8_t> t = d.TableBytes(table);
    return {t.begin(), t.end()};
}

// Word's OLE_LINK bookmarks mark a pasted link (testControlCharacters.doc has one around a field
// result in its first page's footer): not listed, never filled, named in a fill without a word,
// and kept where they are.
TEST(DocEngine, WordsLinkBookmarksAreHiddenAndKept) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    const Bytes original = ReadBytes(fs::path(RealWorldFolder("doc")) / "testControlCharacters.doc");
    const auto t = OpenTemplate(original).value;
    ASSERT_TRUE(t);
    const BookmarkInfo* link = t->Find("OLE_LINK1");
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->hidden);
    EXPECT_EQ(link->story, "footer");
    EXPECT_EQ(link->refusal, "a hidden bookmark");
    EXPECT_TRUE(t->VisibleNames().empty());  // its other bookmark is a heading's _Toc
    const std::vector<Fill> fills{{"OLE_LINK1", "页脚值"}};
    EXPECT_TRUE(t->Skips(fills).empty());
    EXPECT_TRUE(t->Notes(fills).empty());
    const Bytes made = Make(*t, fills);
    EXPECT_EQ(CheckDocStructure(made), "");
    const DocContents before = Contents(original), after = Contents(made);
    EXPECT_TRUE(after.text == before.text);
    ASSERT_EQ(after.bookmarks.size(), before.bookmarks.size());
    for (std::size_t i = 0; i < before.bookmarks.size(); ++i) {
        EXPECT_EQ(after.bookmarks[i].name, before.bookmarks[i].name);
        EXPECT_EQ(after.bookmarks[i].start, before.bookmarks[i].start);
        EXPECT_EQ(after.bookmarks[i].end, before.bookmarks[i].end);
    }
}

// A footer bookmark holding a text box's anchor: the value replaces its text, the anchor stays
// after the value inside the bookmark, with its shape, its drawing and the box's own text. The
// bookmark is Word's OLE_LINK1, renamed as a user's.
TEST(DocEngine, ATextBoxInAFilledBookmarkStaysAfterTheValue) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    const Bytes original = RenamedBookmark(
        ReadBytes(fs::path(RealWorldFolder("doc")) / "testControlCharacters.doc"), "OLE_LINK1", "FooterBox");
    const auto t = OpenTemplate(original).value;
    ASSERT_TRUE(t);
    const Bytes made = Make(*t, {{"FooterBox", "页脚值"}});
    EXPECT_EQ(CheckDocStructure(made), "");
    const DocContents before = Contents(original), after = Contents(made);
    const DocBookmark* mark = FindMark(after, "FooterBox");
    const DocBookmark* old = FindMark(before, "FooterBox");
    const std::optional<std::u16string> kept = KeptAnchors(mark->text, u"页脚值", old->text);
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept->empty());
    // The anchors kept moved with their characters, their shapes still in the drawing data;
    // another drawing of the range, one that can be taken out, went with the text.
    const auto anchorsBefore = Anchors(original, true), anchorsAfter = Anchors(made, true);
    const auto count = [](const auto& anchors, std::uint32_t from, std::uint32_t to) {
        return std::count_if(anchors.begin(), anchors.end(),
                             [&](const auto& a) { return a.first >= from && a.first < to; });
    };
    const std::size_t oldInMark = count(anchorsBefore, old->start, old->end);
    EXPECT_EQ(count(anchorsAfter, mark->start, mark->end), static_cast<std::ptrdiff_t>(kept->size()));
    EXPECT_EQ(anchorsAfter.size(), anchorsBefore.size() - (oldInMark - kept->size()));
    const std::vector<std::uint8_t> dgg = TableCopy(made, doc::kDggInfo);
    for (const auto& [cp, id] : anchorsAfter) {
        bool found = false;
        for (std::size_t i = 0; i + 12 <= dgg.size(); ++i)
            found = found || (dgg[i + 2] == 0x0A && dgg[i + 3] == 0xF0 && doc::U32(dgg.data() + i + 8) == id);
        EXPECT_TRUE(found) << id;
    }
    const auto boxStory = [](const DocContents& c) {
        std::uint32_t start = 0;
        for (std::size_t k = 0; k < 7; ++k) start += c.storyLengths[k];
        return c.text.substr(start, c.storyLengths[7]);
    };
    EXPECT_GT(before.storyLengths[7], 0u);
    EXPECT_TRUE(boxStory(after) == boxStory(before));
    EXPECT_EQ(static_cast<std::int64_t>(after.storyLengths[2]) - before.storyLengths[2],
              static_cast<std::int64_t>(3 + kept->size()) - (old->end - old->start));
    // The value takes the properties of the text, not of the drawings' characters before it.
    doc::DocFile a, b;
    std::string error;
    ASSERT_TRUE(a.Parse(original, error) && b.Parse(made, error)) << error;
    const std::uint32_t text = old->start + static_cast<std::uint32_t>(old->text.find_first_not_of(u'\x08'));
    ASSERT_GT(text, old->start);
    EXPECT_EQ(b.Chpx(*b.FcAt(mark->start)), a.Chpx(*a.FcAt(text)));
    // Filled again, the anchors stay once more.
    const auto again = OpenTemplate(made).value;
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Find("FooterBox")->refusal, "");
    const Bytes twice = Make(*again, {{"FooterBox", "x"}});
    EXPECT_EQ(CheckDocStructure(twice), "");
    EXPECT_TRUE(FindMark(Contents(twice), "FooterBox")->text == u"x" + *kept);
    EXPECT_EQ(Anchors(twice, true).size(), anchorsAfter.size());
}

const fs::path& Stories() {
    static const fs::path path = fs::path(QM_ENGINE_FIXTURES) / "stories.doc";
    return path;
}

// The entries of a table of positions in a made document.
std::size_t Entries(const Bytes& bytes, int table, std::size_t cb) {
    doc::DocFile d;
    std::string error;
    EXPECT_TRUE(d.Parse(bytes, error)) << error;
    doc::Plc plc;
    return d.Lcb(table) != 0 && doc::ReadPlc(d.TableBytes(table), cb, plc) ? plc.count() : 0;
}

// The list of ActiveX controls names each control's field by its index among the fields, so in
// a document that has one, no fill may take fields away.
TEST(DocEngine, FieldsStayWhereActiveXControlsCountThem) {
    const Bytes original = ReadBytes(Stories());
    doc::DocFile d;
    std::string error;
    ASSERT_TRUE(d.Parse(original, error)) << error;
    std::vector<Bytes> streams = d.streams;
    Bytes& word = streams[d.wordIndex];
    doc::Put32(word.data() + d.fcLcbOffset + 8 * doc::kPlcocx, 0);
    doc::Put32(word.data() + d.fcLcbOffset + 8 * doc::kPlcocx + 4, 4);
    const std::vector<std::span<const std::uint8_t>> spans(streams.begin(), streams.end());
    const auto t = OpenTemplate(cfb::Write(d.entries, spans)).value;
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Find("Linked")->refusal, "holds a field, in a document with ActiveX controls");
    EXPECT_EQ(t->Find("Spans")->refusal, "");
}

TEST(DocEngine, BookmarksInEveryStoryAndAroundParagraphsFieldsAndDrawings) {
    const Bytes original = ReadBytes(Stories());
    const auto t = OpenTemplate(original).value;
    ASSERT_TRUE(t);
    for (const char* name : {"Spans", "AtStart", "AtEnd", "Linked", "InLink", "Drawing", "InNote",
                             "HeadLines", "InEndnote", "InBox", "InHeaderBox"})
        EXPECT_EQ(t->Find(name)->refusal, "") << name;
    // A note's mark would leave the note's text without its place; a table's cells and a
    // section's properties live in the marks that end them.
    EXPECT_EQ(t->Find("WithNote")->refusal, "holds a footnote or endnote mark");
    EXPECT_EQ(t->Find("Cells")->refusal, "spans a table cell mark");
    EXPECT_EQ(t->Find("Sections")->refusal, "spans a section break");
    EXPECT_EQ(t->Find("InNote")->story, "footnote");
    EXPECT_EQ(t->Find("InBox")->story, "textbox");
    const DocContents before = Contents(original);
    const Bytes made = Make(*t, {{"Spans", "S"},
                                 {"AtEnd", "E"},
                                 {"Linked", "L"},
                                 {"Drawing", "D"},
                                 {"InNote", "注"},
                                 {"HeadLines", "H"},
                                 {"InEndnote", "末"},
                                 {"InBox", "B"},
                                 {"InHeaderBox", "HB"}});
    EXPECT_EQ(CheckDocStructure(made), "");
    const DocContents after = Contents(made);
    // Paragraph marks go with the text; a point bookmark at the start stays at the value's
    // start, one at the end gets its own value after it.
    EXPECT_NE(after.text.find(u"First SE last.\r"), std::u16string::npos);
    EXPECT_EQ(FindMark(after, "AtStart")->start, FindMark(after, "Spans")->start);
    EXPECT_EQ(FindMark(after, "AtStart")->end, FindMark(after, "Spans")->start);
    EXPECT_TRUE(FindMark(after, "AtEnd")->text == u"E");
    EXPECT_EQ(FindMark(after, "AtEnd")->start, FindMark(after, "Spans")->end);
    // The two fields of "Linked" and the drawing's anchor go with their text; the hyperlink
    // holding "InLink" stays.
    EXPECT_EQ(Entries(made, doc::kPlcfFldMom, 2), Entries(original, doc::kPlcfFldMom, 2) - 6);
    EXPECT_EQ(Entries(made, doc::kPlcSpaMom, 26), Entries(original, doc::kPlcSpaMom, 26) - 1);
    // The drawing goes from the drawing data too; the text box stays.
    auto shapes = [](const Bytes& bytes) {
        doc::DocFile d;
        std::string error;
        EXPECT_TRUE(d.Parse(bytes, error)) << error;
        std::multiset<std::uint32_t> ids;  // every shape record's id
        const std::span<const std::uint8_t> dgg = d.TableBytes(doc::kDggInfo);
        for (std::size_t i = 0; i + 12 <= dgg.size(); ++i)
            if (dgg[i + 2] == 0x0A && dgg[i + 3] == 0xF0 && doc::U32(dgg.data() + i + 4) == 8)
                ids.insert(doc::U32(dgg.data() + i + 8));
        return ids;
    };
    const std::multiset<std::uint32_t> shapesBefore = shapes(original), shapesAfter = shapes(made);
    EXPECT_EQ(shapesAfter.size(), shapesBefore.size() - 1);
    doc::DocFile withAnchors;
    std::string parseError;
    ASSERT_TRUE(withAnchors.Parse(made, parseError));
    doc::Plc anchors;
    ASSERT_TRUE(doc::ReadPlc(withAnchors.TableBytes(doc::kPlcSpaMom), 26, anchors));
    for (std::size_t i = 0; i < anchors.count(); ++i)
        EXPECT_EQ(shapesAfter.count(doc::U32(anchors.data.data() + 26 * i)), 1u);
    EXPECT_NE(after.text.find(u"Link L end.\rShown \x13 HYPERLINK"), std::u16string::npos);
    // Each story changes its own length only.
    EXPECT_EQ(after.storyLengths[1], before.storyLengths[1] + 1 - 6);
    EXPECT_EQ(after.storyLengths[2], before.storyLengths[2] + 1 - 7);
    EXPECT_EQ(after.storyLengths[5], before.storyLengths[5] + 1 - 5);
    EXPECT_EQ(after.storyLengths[6], before.storyLengths[6] + 1 - 5);
    EXPECT_EQ(after.storyLengths[7], before.storyLengths[7] + 2 - 6);
    EXPECT_NE(after.text.find(u"Endnote 末 text."), std::u16string::npos);
    EXPECT_NE(after.text.find(u"In HB box"), std::u16string::npos);
    EXPECT_NE(after.text.find(u"Note 注 text."), std::u16string::npos);
    EXPECT_NE(after.text.find(u"Head H done"), std::u16string::npos);
    EXPECT_NE(after.text.find(u"Box B text"), std::u16string::npos);
    // The joined paragraph keeps the properties of its surviving mark: the last one's.
    doc::DocFile a, b;
    std::string error;
    ASSERT_TRUE(a.Parse(original, error) && b.Parse(made, error)) << error;
    const std::uint32_t gamma = static_cast<std::uint32_t>(before.text.find(u" last.\r") + 6);
    const std::uint32_t joined = static_cast<std::uint32_t>(after.text.find(u" last.\r") + 6);
    EXPECT_EQ(b.Papx(*b.FcAt(joined)), a.Papx(*a.FcAt(gamma)));
    // Filled again, the document gives the same bookmarks their new values.
    const auto again = OpenTemplate(made).value;
    ASSERT_TRUE(again);
    EXPECT_TRUE(FindMark(Contents(Make(*again, {{"Spans", "twice"}})), "Spans")->text == u"twice");
}

// Damaged files are refused or, when they still read, make documents that read back; they
// never crash the engine or leave it reading outside the file.
// A bookmark table that points past the text would make every document fail its check on
// save, so such a template is refused when it is opened, before any document is made.
// A text box anchored as a character and a group of drawings: neither can be taken out of the
// drawing data cleanly, so their anchors stay after the value; a bookmark nested in the filled
// one is kept, empty, at the value's start.
TEST(DocEngine, DrawingsThatCannotBeTakenOutStayAfterTheValue) {
    const Bytes original = ReadBytes(Stories());
    const auto t = OpenTemplate(original).value;
    ASSERT_TRUE(t);
    for (const char* name : {"WithBox", "InWithBox", "WithGroup"})
        EXPECT_EQ(t->Find(name)->refusal, "") << name;
    const DocContents before = Contents(original);
    const Bytes made = Make(*t, {{"WithBox", "盒值"}, {"WithGroup", "G"}});
    EXPECT_EQ(CheckDocStructure(made), "");
    const DocContents after = Contents(made);
    const std::optional<std::u16string> kept =
        KeptAnchors(FindMark(after, "WithBox")->text, u"盒值", FindMark(before, "WithBox")->text);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->size(), 1u);
    // A group whose anchor names the whole group goes as one drawing.
    EXPECT_TRUE(FindMark(after, "WithGroup")->text == u"G");
    EXPECT_NE(after.text.find(u"Kept box text"), std::u16string::npos);
    EXPECT_EQ(FindMark(after, "InWithBox")->start, FindMark(after, "WithBox")->start);
    EXPECT_EQ(FindMark(after, "InWithBox")->end, FindMark(after, "WithBox")->start);
    EXPECT_EQ(Anchors(made, false).size(), Anchors(original, false).size() - 1);
    const std::uint32_t box = Anchors(made, false).at(FindMark(after, "WithBox")->end - 1);
    const std::vector<std::uint8_t> dgg = TableCopy(made, doc::kDggInfo);
    bool found = false;
    for (std::size_t i = 0; i + 12 <= dgg.size(); ++i)
        found = found || (dgg[i + 2] == 0x0A && dgg[i + 3] == 0xF0 && doc::U32(dgg.data() + i + 8) == box);
    EXPECT_TRUE(found);
    // The value takes the properties of the text, not of the drawing's character.
    doc::DocFile d;
    std::string error;
    ASSERT_TRUE(d.Parse(made, error)) << error;
    EXPECT_EQ(d.Chpx(*d.FcAt(FindMark(after, "WithGroup")->start)).size(),
              d.Chpx(*d.FcAt(FindMark(after, "WithGroup")->start - 1)).size());
    const auto again = OpenTemplate(made).value;
    ASSERT_TRUE(again);
    const DocContents twice = Contents(Make(*again, {{"WithBox", "x"}}));
    EXPECT_EQ(FindMark(twice, "WithBox")->text.substr(0, 1), u"x");
    EXPECT_EQ(FindMark(twice, "WithBox")->text.size(), 2u);
}

// A drawing whose anchor names a shape inside a group cannot be cut out alone: its anchor stays.
// (The office writes the group's own shape to the anchor; the template is changed to name the
// group's first member instead.)
TEST(DocEngine, AShapeInsideAGroupStaysAfterTheValue) {
    const Bytes original = ReadBytes(Stories());
    doc::DocFile d;
    std::string error;
    ASSERT_TRUE(d.Parse(original, error)) << error;
    const DocContents contents = Contents(original);
    const DocBookmark* group = FindMark(contents, "WithGroup");
    doc::Plc anchors;
    ASSERT_TRUE(doc::ReadPlc(d.TableBytes(doc::kPlcSpaMom), 26, anchors));
    std::size_t entry = anchors.count();
    for (std::size_t i = 0; i < anchors.count(); ++i)
        if (anchors.cp[i] >= group->start && anchors.cp[i] < group->end) entry = i;
    ASSERT_LT(entry, anchors.count());
    const std::uint32_t member = doc::U32(anchors.data.data() + 26 * entry) + 1;
    const std::vector<std::uint8_t> dgg = TableCopy(original, doc::kDggInfo);
    bool found = false;
    for (std::size_t i = 0; i + 12 <= dgg.size(); ++i)
        found = found || (dgg[i + 2] == 0x0A && dgg[i + 3] == 0xF0 && doc::U32(dgg.data() + i + 8) == member);
    ASSERT_TRUE(found);
    std::vector<std::uint8_t> table = d.table();
    const std::size_t at = d.Fc(doc::kPlcSpaMom) + 4 * (anchors.count() + 1) + 26 * entry;
    for (int k = 0; k < 4; ++k)
        table[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(member >> (8 * k));
    std::vector<std::span<const std::uint8_t>> streams(d.streams.begin(), d.streams.end());
    streams[d.tableIndex] = table;
    const Bytes changed = cfb::Write(d.entries, streams);
    const auto t = OpenTemplate(changed).value;
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Find("WithGroup")->refusal, "");
    const Bytes made = Make(*t, {{"WithGroup", "G"}});
    EXPECT_EQ(CheckDocStructure(made), "");
    EXPECT_TRUE(FindMark(Contents(made), "WithGroup")->text == u"G\x08");
    EXPECT_EQ(TableCopy(made, doc::kDggInfo), dgg);
    EXPECT_EQ(Anchors(made, false).size(), anchors.count());
}

TEST(DocEngine, ABookmarkEndingPastTheTextRefusesTheTemplate) {
    const Bytes original = ReadBytes(Places());
    doc::DocFile d;
    std::string error;
    ASSERT_TRUE(d.Parse(original, error)) << error;
    ASSERT_TRUE(OpenTemplate(original));
    // The ends table holds one position per bookmark and one closing position: move the
    // last bookmark's end, and the closing one, past the end of all text.
    const std::uint32_t fc = d.Fc(doc::kPlcfBkl), count = d.Lcb(doc::kPlcfBkl) / 4;
    ASSERT_GE(count, 2u);
    std::vector<std::uint8_t> table = d.table();
    for (std::uint32_t i = count - 2; i < count; ++i) {
        const std::uint32_t past = d.TextEnd() + 10 + i;
        for (int b = 0; b < 4; ++b)
            table[fc + 4 * i + static_cast<std::uint32_t>(b)] = static_cast<std::uint8_t>(past >> (8 * b));
    }
    std::vector<std::span<const std::uint8_t>> streams(d.streams.begin(), d.streams.end());
    streams[d.tableIndex] = table;
    const OpenResult r = OpenTemplate(cfb::Write(d.entries, streams));
    EXPECT_FALSE(r);
    EXPECT_NE(r.refusal.find("damaged"), std::string::npos) << r.refusal;
}

TEST(DocEngine, DamagedFilesNeverCrash) {
    std::vector<fs::path> files = OwnTemplates();
    // And one real file, where the real-world files are at hand.
    if (qm::test::HaveRealWorld("doc")) files.push_back(fs::path(RealWorldFolder("doc")) / "Bug51890.doc");
    std::mt19937 random(7);
    for (const fs::path& path : files) {
        const Bytes original = ReadBytes(path);
        for (std::size_t cut = 0; cut < original.size(); cut += original.size() / 40 + 1) {
            const Bytes part(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut));
            OpenResult r = OpenTemplate(part);
            if (r) {
                Bytes out;
                std::string error;
                if (r.value->Make(FillEverything(*r.value), out, error)) {
                    EXPECT_TRUE(VerifyContainer(out, Format::Doc));
                }
            }
        }
        for (int flip = 0; flip < 300; ++flip) {
            Bytes bad = original;
            for (int k = 0; k < 4; ++k)
                bad[random() % bad.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            OpenResult r = OpenTemplate(bad);
            if (!r) {
                EXPECT_FALSE(r.refusal.empty());
                continue;
            }
            Bytes out;
            std::string error;
            if (r.value->Make(FillEverything(*r.value), out, error)) {
                EXPECT_TRUE(VerifyContainer(out, Format::Doc));
            }
        }
    }
    EXPECT_FALSE(OpenTemplate(Bytes{}));
    EXPECT_FALSE(OpenTemplate(Bytes(4096, 0x41)));
    Bytes text = {'P', 'K', 3, 4, 'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'};
    EXPECT_FALSE(OpenTemplate(text));
    // A workbook renamed to .doc is a compound file without a WordDocument stream.
    const fs::path workbook = fs::path(QM_PROGRAM_DIR) / "数据" / "员工信息.xls";
    OpenResult xls = OpenTemplateFile(workbook.string());
    EXPECT_FALSE(xls);
    EXPECT_NE(xls.refusal.find("WordDocument"), std::string::npos);
}

}  // namespace
}  // namespace qm::engine::test
