// The .docx engine on files that are not what they claim: every one is refused or handled,
// none crashes, and whatever it makes from a damaged template is still a whole document.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "common/zip_names.h"
#include "tests/word/engine/docx_test_support.h"
#include "tests/word/engine/store_zip.h"

namespace qm::test {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Bytes Pack(const Entries& entries) {
    std::vector<std::pair<std::string_view, std::string_view>> views(entries.begin(), entries.end());
    return StoreZip(views);
}

Entries Unpack(const Bytes& bytes) {
    Entries entries;
    const auto items = ReadWithLibzip(bytes);
    if (items)
        for (const ZipItem& item : *items) entries.emplace_back(item.name, item.data);
    return entries;
}

// Where the central directory record of the first entry starts.
std::size_t FirstCentralRecord(const Bytes& bytes) {
    const std::size_t end = bytes.size() - 22;
    return bytes[end + 16] | bytes[end + 17] << 8 | bytes[end + 18] << 16 | bytes[end + 19] << 24;
}

TEST(DocxEngineInput, RefusesWhatIsNoDocumentWithAReason) {
    Bytes encrypted = ReadBytes(DocxFixture("shapes.docx"));
    encrypted[FirstCentralRecord(encrypted) + 8] |= 1;
    // The first part of a zip split over several files: on its own, a damaged one.
    Bytes split = ReadBytes(DocxFixture("shapes.docx"));
    for (std::size_t at = split.size() - 22; at > 0; --at)
        if (split[at] == 0x50 && split[at + 1] == 0x4B && split[at + 2] == 5 && split[at + 3] == 6) {
            split[at + 4] = 1;  // the number of this disk
            break;
        }
    const std::string text = "PK\x03\x04 but nothing more";
    const struct {
        std::string what;
        Bytes bytes;
        std::string refusal;
    } cases[] = {
        {"empty", {}, "not a zip file"},
        {"text", Bytes(text.begin(), text.end()), "not a zip file"},
        {"workbook", ReadBytes(fs::path(QM_XLS_FIXTURES) / "people.xls"), "not a zip file"},
        {"no document", ReadBytes(DocxFixture("nodocument.docx")),
         "no main document part (word/document.xml)"},
        {"broken XML", ReadBytes(DocxFixture("broken.docx")), "word/document.xml: not well-formed XML"},
        {"encrypted entry", encrypted, "an encrypted file"},
        {"split zip", split, "damaged zip: split over several files"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const engine::OpenResult r = engine::OpenDocxTemplate(c.bytes);
        EXPECT_FALSE(r);
        EXPECT_EQ(r.refusal.substr(0, c.refusal.size()), c.refusal);
    }
    // Damaged, it goes to no office to be repaired there without a word.
    EXPECT_TRUE(engine::KeptFromTheOffice(engine::OpenDocxTemplate(split).refusal));
    ASSERT_FALSE(ReadBytes(fs::path(QM_XLS_FIXTURES) / "people.xls").empty());
}

// A DOCTYPE anywhere in the package (entity declarations: a "billion laughs", an external
// file) refuses the template, as Word refuses it, rather than copying it into every document.
TEST(DocxEngineInput, ADoctypeInAnyPartRefusesTheTemplate) {
    const Entries original = Unpack(ReadBytes(DocxFixture("shapes.docx")));
    ASSERT_FALSE(original.empty());
    const std::string doctype = "<!DOCTYPE x [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>";
    for (const std::string part : {"word/document.xml", "customXml/item1.xml", "[Content_Types].xml"}) {
        SCOPED_TRACE(part);
        Entries entries = original;
        bool placed = false;
        for (auto& [name, data] : entries) {
            if (name != part) continue;
            const std::size_t prolog = data.rfind("?>", 200);
            data.insert(prolog == std::string::npos ? 0 : prolog + 2, doctype);
            placed = true;
        }
        if (!placed) entries.emplace_back(part, "<?xml version=\"1.0\"?>" + doctype + "<x>&b;</x>");
        const engine::OpenResult r = engine::OpenDocxTemplate(Pack(entries));
        EXPECT_FALSE(r);
        EXPECT_EQ(r.refusal, part + " declares a DOCTYPE, which Word refuses too");
        EXPECT_TRUE(engine::IsDamageRefusal(r.refusal));  // never handed to the office
    }
}

// Entry names that leave the package, and a part that would inflate past 256 MB, refuse the
// template before anything is inflated or copied into a document.
TEST(DocxEngineInput, EscapingNamesAndHugePartsRefuseTheTemplate) {
    const Entries original = Unpack(ReadBytes(DocxFixture("shapes.docx")));
    ASSERT_FALSE(original.empty());
    for (const std::string name : {"../../escape.txt", "/etc/escape.txt", "word/../../x.txt", "C:evil.txt"}) {
        SCOPED_TRACE(name);
        Entries entries = original;
        entries.emplace_back(name, "payload");
        const engine::OpenResult r = engine::OpenDocxTemplate(Pack(entries));
        EXPECT_FALSE(r);
        EXPECT_EQ(r.refusal, "damaged zip: an entry named " + name + " outside the package");
        EXPECT_TRUE(engine::IsDamageRefusal(r.refusal));
    }
    EXPECT_FALSE(UnsafeEntryName("word/media/..image1.png"));

    // The last entry claims to inflate to 300 MB: local and central records agree on it.
    Entries entries = original;
    entries.emplace_back("word/media/huge.bin", std::string(64, '\0'));
    Bytes bytes = Pack(entries);
    const std::uint32_t huge = 300u << 20;
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    const std::size_t end = bytes.size() - 22;
    const std::size_t directory =
        bytes[end + 16] | bytes[end + 17] << 8 | bytes[end + 18] << 16 | bytes[end + 19] << 24;
    std::size_t central = directory, local = 0;
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        central += 46 + (bytes[central + 28] | bytes[central + 29] << 8);
    }
    local = bytes[central + 42] | bytes[central + 43] << 8 | bytes[central + 44] << 16 |
            bytes[central + 45] << 24;
    put32(local + 22, huge);
    put32(central + 24, huge);
    bytes[local + 8] = bytes[central + 10] = 8;  // deflated, so the sizes may differ
    const engine::OpenResult r = engine::OpenDocxTemplate(bytes);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.refusal, "word/media/huge.bin is larger than 256 MB uncompressed");
}

TEST(DocxEngineInput, TruncatedFilesAreRefused) {
    std::vector<fs::path> files = {DocxFixture("shapes.docx"), DocxFixture("streamed.docx")};
    for (const fs::path& sample : SampleDocxTemplates()) files.push_back(sample);
    for (const fs::path& path : files) {
        const Bytes bytes = ReadBytes(path);
        ASSERT_TRUE(engine::VerifyDocxContainer(bytes)) << path;
        for (std::size_t n = 0; n < bytes.size(); n += n + 200 < bytes.size() ? 7 : 1) {
            const Bytes cut(bytes.begin(), bytes.begin() + n);
            EXPECT_FALSE(engine::OpenDocxTemplate(cut)) << path << " cut at " << n;
            EXPECT_FALSE(engine::VerifyDocxContainer(cut)) << path << " cut at " << n;
        }
    }
}

// Bytes after the end record (padding a mail or download program added) or before the first
// entry (a header another program put in front) do not make a zip unreadable.
TEST(DocxEngineInput, BytesAroundTheZipAreTolerated) {
    const Bytes good = ReadBytes(DocxFixture("shapes.docx"));
    Bytes padded = good;
    padded.insert(padded.end(), 1000, 0);
    Bytes prefixed(300 + good.size(), 'x');
    std::copy(good.begin(), good.end(), prefixed.begin() + 300);
    for (const Bytes& bytes : {padded, prefixed}) {
        SCOPED_TRACE(bytes.size() == padded.size() ? "padded" : "prefixed");
        const auto t = OpenDocx(bytes);
        ASSERT_TRUE(t);
        Bytes out;
        std::string error;
        ASSERT_TRUE(t->Make(std::vector<engine::Fill>{{"Name", "值"}}, out, error)) << error;
        EXPECT_TRUE(engine::VerifyDocxContainer(out));
        EXPECT_EQ(BookmarkText(EntryText(out, "word/document.xml"), "Name"), "值");
    }
}

TEST(DocxEngineInput, ContainerCheckFindsDamage) {
    const Bytes good = ReadBytes(DocxFixture("streamed.docx"));
    ASSERT_TRUE(engine::VerifyDocxContainer(good));
    Bytes appended = good;
    appended.push_back(0);
    EXPECT_FALSE(engine::VerifyDocxContainer(appended));
    Bytes badCrc = good;
    badCrc[FirstCentralRecord(badCrc) + 16] ^= 0x55;
    EXPECT_FALSE(engine::VerifyDocxContainer(badCrc));
    // The structure alone: the whole zip, its entries where the directory puts them.
    const auto structure = [](const Bytes& bytes) {
        return engine::VerifyContainer(bytes, engine::Format::Docx, engine::ContainerCheck::Structure);
    };
    EXPECT_TRUE(structure(good));
    EXPECT_FALSE(structure(appended));
    for (const std::size_t cut : {good.size() - 1, good.size() / 2, std::size_t{30}})
        EXPECT_FALSE(structure(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)))) << cut;
    // A changed byte inside the compressed data of every entry in turn.
    const auto items = ReadWithLibzip(good);
    ASSERT_TRUE(items);
    for (const ZipItem& item : *items) {
        if (item.raw.size() < 4) continue;
        const Bytes raw(item.raw.begin(), item.raw.end());
        const auto at = std::search(good.begin(), good.end(), raw.begin(), raw.end());
        ASSERT_NE(at, good.end());
        Bytes damaged = good;
        damaged[at - good.begin() + item.raw.size() / 2] ^= 0x10;
        EXPECT_FALSE(engine::VerifyDocxContainer(damaged)) << item.name;
        // What only inflating finds: why a run's first document is checked whole.
        EXPECT_TRUE(structure(damaged)) << item.name;
        EXPECT_FALSE(engine::OpenDocxTemplate(damaged)) << item.name;
    }
}

// A template that opened makes documents that are whole and keep every bookmark in its story.
// (What a bookmark lies in may change: a filled range takes tables and fields with it.)
void CheckMadeFrom(const engine::Template& t) {
    Bytes out;
    std::string error;
    const std::vector<engine::Fill> fills = FillEverything(t, "\n<&>\t", {"Inner"});
    if (!t.Make(fills, out, error)) {
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(out.empty());
        return;
    }
    ASSERT_TRUE(engine::VerifyDocxContainer(out));
    const engine::OpenResult again = engine::OpenDocxTemplate(out);
    ASSERT_TRUE(again) << again.refusal;
    const auto places = [](const engine::Template& of) {
        std::vector<std::string> out;
        for (const engine::BookmarkInfo& b : of.bookmarks()) out.push_back(b.name + " " + b.story);
        return out;
    };
    EXPECT_EQ(places(*again.value), places(t));
}

TEST(DocxEngineInput, FlippedBitsAreCaughtOrHarmless) {
    const Bytes good = ReadBytes(DocxFixture("streamed.docx"));
    std::mt19937 random(20240501);
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = good;
        bytes[random() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        const engine::OpenResult r = engine::OpenDocxTemplate(bytes);
        if (!r) {
            EXPECT_FALSE(r.refusal.empty());
            continue;
        }
        // Only the bytes no check covers changed: times, attributes, the version fields.
        EXPECT_TRUE(engine::VerifyDocxContainer(bytes));
        CheckMadeFrom(*r.value);
    }
}

// Positions of the empty-element tags of `xml` ("<w:bookmarkEnd w:id="1"/>" and the like).
std::vector<std::pair<std::size_t, std::size_t>> EmptyTags(const std::string& xml) {
    std::vector<std::pair<std::size_t, std::size_t>> tags;
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        const std::size_t close = xml.find('>', at);
        if (close == std::string::npos) break;
        if (xml[close - 1] == '/') tags.emplace_back(at, close + 1 - at);
    }
    return tags;
}

TEST(DocxEngineInput, ReshuffledPartsAreRefusedOrFilledWhole) {
    const Entries entries = Unpack(ReadBytes(DocxFixture("shapes.docx")));
    ASSERT_TRUE(engine::OpenDocxTemplate(Pack(entries)));
    std::mt19937 random(7);
    int opened = 0;
    for (int round = 0; round < 2000; ++round) {
        Entries damaged = entries;
        for (auto& [name, data] : damaged) {
            if (name != "word/document.xml" && name != "word/header1.xml") continue;
            // Bookmark tags, field characters, breaks and proofing marks dropped, copied and
            // moved, so that the part stays well-formed while its structure changes.
            for (int k = 1 + random() % 4; k > 0; --k) {
                const auto tags = EmptyTags(data);
                const auto [at, size] = tags[random() % tags.size()];
                const std::string tag = data.substr(at, size);
                const std::size_t to = tags[random() % tags.size()].first;
                switch (random() % 4) {
                    case 0:
                        data.erase(at, size);
                        break;
                    case 1:
                        data.insert(to, tag);
                        break;
                    case 2:
                        data.insert(to, tag);
                        data.erase(to <= at ? at + size : at, size);
                        break;
                    default:
                        data[at + random() % size] = "<>/=\"' :w01"[random() % 12];
                }
            }
        }
        const engine::OpenResult r = engine::OpenDocxTemplate(Pack(damaged));
        if (!r) continue;
        ++opened;
        CheckMadeFrom(*r.value);
    }
    EXPECT_GT(opened, 700);
}

}  // namespace
}  // namespace qm::test
