#pragma once
// What the .doc engine tests share: the templates they fill, a fill of every fillable bookmark
// with a value that names it, and the text the made document must then hold.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/realworld.h"
#include "word/engine/doc_file.h"
#include "word/engine/doc_template.h"
#include "word/engine/picture.h"
#include "word/engine/template.h"

namespace qm::engine::test {

namespace fs = std::filesystem;
using qm::test::Bytes;
using qm::test::ReadBytes;
using qm::test::RealWorldFolder;
using qm::test::WriteBytes;

// The class path of the binary format's second reader (compiled and run by the tests that use
// it), and whether it and java are installed.
inline const std::string kPoiClassPath =
    "/usr/share/java/poi.jar:/usr/share/java/poi-scratchpad.jar:"
    "/usr/share/java/commons-collections4.jar:/usr/share/java/commons-math3.jar:"
    "/usr/share/java/commons-codec.jar:/usr/share/java/commons-io.jar:"
    "/usr/share/java/log4j-1.2.jar";
inline bool HavePoi() {
    return qm::test::HaveProgram("javac") && qm::test::HaveProgram("java") &&
           fs::exists("/usr/share/java/poi-scratchpad.jar");
}

// A picture made by ImageMagick: `size` pixels ("120x80") of the colour `name` begins with, at
// `dpi`, written into `folder`.
inline std::shared_ptr<const Picture> MakePicture(const std::string& folder, const std::string& name,
                                                  const std::string& size, int dpi) {
    const std::string path = folder + "/" + name;
    qm::test::RunCommand("convert -size " + size + " xc:" + name.substr(0, name.find('.')) + " -density " +
                         std::to_string(dpi) + " -units PixelsPerInch " + qm::test::ShellQuote(path));
    return ReadPicture(path).picture;
}

// The real-world .doc files, sorted; empty when the folder is absent.
inline std::vector<std::string> RealWorldDocs() {
    return qm::test::RealWorldFiles("doc", ".doc");
}

// Our own templates: the test templates and the shipped samples.
inline std::vector<fs::path> OwnTemplates() {
    std::vector<fs::path> files = {fs::path(QM_ENGINE_FIXTURES) / "places.doc",
                                   fs::path(QM_ENGINE_FIXTURES) / "stories.doc",
                                   fs::path(QM_ENGINE_FIXTURES) / "marks.doc"};
    for (const char* name : {"劳动合同.doc", "工作证.doc", "工资条.doc"})
        files.push_back(fs::path(QM_PROGRAM_DIR) / "模板" / name);
    return files;
}

// `bytes` with bookmark `from` called `to`, an ASCII name of the same length: a user's bookmark
// where Word left one of its own.
inline Bytes RenamedBookmark(const Bytes& bytes, const std::string& from, const std::string& to) {
    doc::DocFile d;
    std::string error;
    EXPECT_TRUE(d.Parse(bytes, error)) << error;
    EXPECT_EQ(from.size(), to.size());
    const auto utf16 = [](const std::string& name) {
        std::vector<std::uint8_t> out;
        for (char c : name) out.insert(out.end(), {static_cast<std::uint8_t>(c), 0});
        return out;
    };
    const std::vector<std::uint8_t> a = utf16(from), b = utf16(to);
    std::vector<std::uint8_t> table = d.table();
    const auto names = table.begin() + d.Fc(doc::kSttbfBkmk);
    const auto at = std::search(names, names + d.Lcb(doc::kSttbfBkmk), a.begin(), a.end());
    EXPECT_NE(at, names + d.Lcb(doc::kSttbfBkmk)) << from;
    if (at != names + d.Lcb(doc::kSttbfBkmk)) std::copy(b.begin(), b.end(), at);
    std::vector<std::span<const std::uint8_t>> streams(d.streams.begin(), d.streams.end());
    streams[d.tableIndex] = table;
    return cfb::Write(d.entries, streams);
}

// marks.doc: Word's own hidden bookmarks partly inside the user's, touching and nested pairs.
inline const fs::path& Marks() {
    static const fs::path path = fs::path(QM_ENGINE_FIXTURES) / "marks.doc";
    return path;
}

// One fill of marks.doc and what it does. `lines` are the main text's paragraphs that change
// (by index), each with its bookmarks written into it: "{Name:" where one starts, ":Name}" where
// it ends, "{Name}" for a collapsed one. The template's paragraphs read:
//   0 Lead {_Hlt100:in {Left:[LE:_Hlt100}FT]:Left} out.
//   1 Go {Typed:[TY{_GoBack}PED]:Typed} back.
//   2 Link {Right:[RI{OLE_LINK1:GHT]:Right} on:OLE_LINK1} end.
//   3 Pair {First:[FIR{_Ref300:ST]:First}{Second:[SEC:_Ref300}OND]:Second}{Third} done.
//   4 Nest {Block:[A {Word:[WORD]:Word} B]:Block} end.
//   5 Cross {CrossA:[A {CrossB:AB]:CrossA} B]:CrossB} end.
// The values occur nowhere else in the text, so a reader showing one shows the fill.
struct MarksCase {
    const char* what;
    std::vector<Fill> fills;
    std::vector<std::pair<std::size_t, std::string>> lines;
    std::vector<std::string> skipped;  // the bookmarks Skips names
};

inline const std::vector<MarksCase>& MarksCases() {
    static const std::vector<MarksCase> cases = {
        {"a hidden bookmark ending inside the value ends at its start",
         {{"Left", "left"}},
         {{0, "Lead {_Hlt100:in :_Hlt100}{Left:left:Left} out."}},
         {}},
        {"a hidden point inside the value stands at its start",
         {{"Typed", "typed"}},
         {{1, "Go {_GoBack}{Typed:typed:Typed} back."}},
         {}},
        {"a hidden bookmark starting inside the value starts where it starts",
         {{"Right", "right"}},
         {{2, "Link {OLE_LINK1:{Right:right:Right} on:OLE_LINK1} end."}},
         {}},
        {"touching bookmarks filled together",
         {{"First", "uno"}, {"Second", "dos"}},
         {{3, "Pair {First:{_Ref300:uno:_Ref300}:First}{Second:dos:Second}{Third} done."}},
         {}},
        {"the first of two touching bookmarks",
         {{"First", "uno"}},
         {{3, "Pair {_Ref300:{First:uno:First}{Second:[SEC:_Ref300}OND]:Second}{Third} done."}},
         {}},
        {"the second of two touching bookmarks, and the point at its end",
         {{"Second", "dos"}, {"Third", "tres"}},
         {{3, "Pair {First:[FIR{_Ref300:ST]:_Ref300}:First}{Second:dos:Second}{Third:tres:Third} done."}},
         {}},
        {"the outer of two nested bookmarks",
         {{"Block", "block"}},
         {{4, "Nest {Word}{Block:block:Block} end."}},
         {}},
        {"the inner of two nested bookmarks",
         {{"Word", "word"}},
         {{4, "Nest {Block:[A {Word:word:Word} B]:Block} end."}},
         {}},
        {"nested bookmarks filled together: the outer wins",
         {{"Word", "word"}, {"Block", "block"}},
         {{4, "Nest {Word}{Block:block:Block} end."}},
         {"Word"}},
        {"every bookmark at once",
         {{"Left", "left"},
          {"Typed", "typed"},
          {"Right", "right"},
          {"First", "uno"},
          {"Second", "dos"},
          {"Third", "tres"},
          {"Block", "block"},
          {"Word", "word"},
          {"CrossA", "cross"}},
         {{0, "Lead {_Hlt100:in :_Hlt100}{Left:left:Left} out."},
          {1, "Go {_GoBack}{Typed:typed:Typed} back."},
          {2, "Link {OLE_LINK1:{Right:right:Right} on:OLE_LINK1} end."},
          {3, "Pair {First:{_Ref300:uno:_Ref300}:First}{Second:dos:Second}{Third:tres:Third} done."},
          {4, "Nest {Word}{Block:block:Block} end."}},
         {"Word", "CrossA"}},
        {"hidden bookmarks named in a fill are left quietly",
         {{"OLE_LINK1", "ole"}, {"_GoBack", "back"}, {"_Hlt100", "link"}, {"_Ref300", "ref"}},
         {},
         {}},
        {"two user bookmarks that truly overlap stay as they are",
         {{"CrossA", "cross"}, {"CrossB", "cross"}},
         {},
         {"CrossA", "CrossB"}},
    };
    return cases;
}

inline std::u16string ToWord(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp;
        std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (cp == '\n') cp = 0x0B;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

// Every visible bookmark the engine can fill, each with a value that names it; bookmarks
// nested in one already chosen are left out so the fills go together.
inline std::vector<Fill> FillEverything(const Template& t) {
    std::vector<Fill> fills;
    for (const BookmarkInfo& b : t.bookmarks())
        if (!b.hidden && b.kind == BookmarkKind::Text) fills.push_back({b.name, "«" + b.name + " 值»"});
    std::vector<Fill> kept;
    const std::vector<Skip> skips = t.Skips(fills);
    for (const Fill& f : fills)
        if (std::none_of(skips.begin(), skips.end(), [&](const Skip& s) { return s.name == f.name; }))
            kept.push_back(f);
    return kept;
}

// The text of `original` with each filled bookmark's text (or form field result) replaced by
// its value, followed by the drawing anchors the fill keeps (`kept`, one string a fill, when
// given): what the made document must read.
inline std::u16string ExpectedText(const DocContents& original, const std::vector<Fill>& fills,
                                   const std::vector<std::pair<std::uint32_t, std::uint32_t>>& ranges,
                                   const std::vector<std::u16string>& kept = {}) {
    std::u16string text = original.text;
    std::vector<std::size_t> order(fills.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return ranges[a].first > ranges[b].first; });
    for (std::size_t i : order)
        text.replace(ranges[i].first, ranges[i].second - ranges[i].first,
                     ToWord(fills[i].value) + (i < kept.size() ? kept[i] : u""));
    return text;
}

// What follows a filled bookmark's value in the made document: drawing anchors of its old text
// that could not be taken out. Nullopt when the bookmark does not start with the value, or
// holds anything else after it, or more anchors than its old text had.
inline std::optional<std::u16string> KeptAnchors(const std::u16string& made, const std::u16string& value,
                                                 const std::u16string& old) {
    if (made.compare(0, value.size(), value) != 0) return std::nullopt;
    const std::u16string rest = made.substr(value.size());
    const auto anchors = [](const std::u16string& s) {
        return std::count_if(s.begin(), s.end(), [](char16_t c) { return c == 0x08 || c == 0x01; });
    };
    if (anchors(rest) != static_cast<std::ptrdiff_t>(rest.size()) || anchors(rest) > anchors(old))
        return std::nullopt;
    return rest;
}

inline const DocBookmark* FindMark(const DocContents& contents, const std::string& name) {
    for (const DocBookmark& b : contents.bookmarks)
        if (b.name == name) return &b;
    return nullptr;
}

// The text a fill replaces: the bookmark's, or a form field's result.
inline std::pair<std::uint32_t, std::uint32_t> Replaced(const DocContents& c, const Template& t,
                                                        const std::string& name) {
    const DocBookmark* b = FindMark(c, name);
    if (!t.Find(name)->formField) return {b->start, b->end};
    const std::u16string& text = c.text;
    std::uint32_t separator = b->end - 1;
    while (separator > b->start && text[separator] != 0x14) --separator;
    return {separator + 1, b->end - 1};
}

}  // namespace qm::engine::test
