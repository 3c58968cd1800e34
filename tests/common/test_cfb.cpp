// The compound-file container: files written here read back with the same directory and
// streams, real files survive a rewrite, and damaged input is refused without reading outside it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cfb/compound_file.h"
#include "tests/support/files.h"
#include "tests/support/realworld.h"

namespace qm::cfb {
namespace {

using test::Bytes;
using test::ReadBytes;

// Every entry's name and type and every stream's bytes, by path below the root.
struct Tree {
    std::vector<std::pair<std::u16string, Bytes>> streams;
    std::vector<std::u16string> storages;
};

void Collect(const File& file, std::uint32_t storage, const std::u16string& prefix, Tree& tree) {
    for (std::uint32_t i : file.Children(storage)) {
        const Entry& e = file.entries()[i];
        const std::u16string path = prefix + u"/" + e.name;
        if (e.type == EntryType::Storage) {
            tree.storages.push_back(path);
            Collect(file, i, path, tree);
        } else if (e.type == EntryType::Stream) {
            Stream s;
            EXPECT_TRUE(file.Read(i, s));
            tree.streams.emplace_back(path, Bytes(s.bytes.begin(), s.bytes.end()));
        }
    }
}

Tree TreeOf(const Bytes& bytes) {
    File file;
    EXPECT_TRUE(file.Open(bytes));
    Tree tree;
    Collect(file, 0, u"", tree);
    std::sort(tree.streams.begin(), tree.streams.end());
    std::sort(tree.storages.begin(), tree.storages.end());
    return tree;
}

// Rewrites `bytes` with every stream as it is.
Bytes Rewrite(const Bytes& bytes, std::vector<Bytes>* replace = nullptr) {
    File file;
    if (!file.Open(bytes)) return {};
    std::vector<Bytes> data(file.entries().size());
    std::vector<std::span<const std::uint8_t>> spans(data.size());
    for (std::uint32_t i = 0; i < data.size(); ++i) {
        Stream s;
        if (file.entries()[i].type == EntryType::Stream && file.Read(i, s))
            data[i].assign(s.bytes.begin(), s.bytes.end());
        if (replace && i < replace->size() && !(*replace)[i].empty()) data[i] = (*replace)[i];
        spans[i] = data[i];
    }
    return Write(file.entries(), spans);
}

// A directory entry of a hand-made tree.
Entry Make(const std::u16string& name, EntryType type, std::uint32_t left, std::uint32_t right,
           std::uint32_t child) {
    Entry e;
    e.name = name;
    e.type = type;
    for (std::size_t i = 0; i < name.size(); ++i) {
        e.raw[2 * i] = static_cast<std::uint8_t>(name[i]);
        e.raw[2 * i + 1] = static_cast<std::uint8_t>(name[i] >> 8);
    }
    const std::uint16_t nameBytes = static_cast<std::uint16_t>(2 * (name.size() + 1));
    e.raw[0x40] = static_cast<std::uint8_t>(nameBytes);
    e.raw[0x42] = static_cast<std::uint8_t>(type);
    e.raw[0x43] = 1;  // black
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) e.raw[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    put(0x44, left);
    put(0x48, right);
    put(0x4C, child);
    return e;
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return b;
}

TEST(CompoundFile, WrittenFilesReadBackWithEveryStream) {
    // Root with streams of every size class (empty, mini, at the cutoff, several sectors) and a
    // storage holding one more stream.
    std::vector<Entry> entries = {
        Make(u"Root Entry", EntryType::Root, kNoEntry, kNoEntry, 3),
        Make(u"Empty", EntryType::Stream, kNoEntry, kNoEntry, kNoEntry),
        Make(u"Small", EntryType::Stream, 1, kNoEntry, kNoEntry),
        Make(u"WordDocument", EntryType::Stream, 2, 4, kNoEntry),
        Make(u"ObjectPool", EntryType::Storage, kNoEntry, 6, 5),
        Make(u"Inner", EntryType::Stream, kNoEntry, kNoEntry, kNoEntry),
        Make(u"Cutoff", EntryType::Stream, kNoEntry, kNoEntry, kNoEntry),
    };
    std::vector<Bytes> data = {
        {}, {}, Pattern(100, 1), Pattern(70000, 2), {}, Pattern(4095, 3), Pattern(4096, 4)};
    std::vector<std::span<const std::uint8_t>> spans(data.begin(), data.end());
    const Bytes file = Write(entries, spans);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.size() % 512, 0u);

    File read;
    ASSERT_TRUE(read.Open(file));
    for (std::uint32_t i : {2u, 3u, 6u}) {
        Stream s;
        ASSERT_TRUE(read.Read(i, s)) << i;
        EXPECT_TRUE(s.complete);
        EXPECT_EQ(Bytes(s.bytes.begin(), s.bytes.end()), data[i]) << i;
    }
    const std::uint32_t pool = read.Find(0, u"objectpool");
    ASSERT_NE(pool, kNoEntry);
    const std::uint32_t inner = read.Find(pool, u"Inner");
    ASSERT_NE(inner, kNoEntry);
    Stream s;
    ASSERT_TRUE(read.Read(inner, s));
    EXPECT_EQ(Bytes(s.bytes.begin(), s.bytes.end()), data[5]);
    EXPECT_TRUE(read.Read(1, s));
    EXPECT_TRUE(s.bytes.empty());
    EXPECT_EQ(read.Find(0, u"Missing"), kNoEntry);
}

// Enough data that the FAT outgrows the 109 places of the header and needs DIFAT sectors.
TEST(CompoundFile, LargeFilesNeedDifatSectors) {
    std::vector<Entry> entries = {Make(u"Root Entry", EntryType::Root, kNoEntry, kNoEntry, 1),
                                  Make(u"Big", EntryType::Stream, kNoEntry, kNoEntry, kNoEntry)};
    std::vector<Bytes> data = {{}, Pattern(8 * 1024 * 1024, 9)};
    std::vector<std::span<const std::uint8_t>> spans(data.begin(), data.end());
    const Bytes file = Write(entries, spans);
    File read;
    ASSERT_TRUE(read.Open(file));
    Stream s;
    ASSERT_TRUE(read.Read(1, s));
    EXPECT_TRUE(Bytes(s.bytes.begin(), s.bytes.end()) == data[1]);
}

TEST(CompoundFile, DamagedInputIsRefused) {
    std::vector<Entry> entries = {Make(u"Root Entry", EntryType::Root, kNoEntry, kNoEntry, 1),
                                  Make(u"S", EntryType::Stream, kNoEntry, kNoEntry, kNoEntry)};
    std::vector<Bytes> data = {{}, Pattern(9000, 5)};
    std::vector<std::span<const std::uint8_t>> spans(data.begin(), data.end());
    const Bytes good = Write(entries, spans);
    File read;
    EXPECT_FALSE(read.Open(Bytes(100, 0)));
    Bytes bad = good;
    bad[0] = 0;
    EXPECT_FALSE(read.Open(bad));
    // Every cut of the file either opens and reads within bounds or is refused.
    for (std::size_t size = 0; size < good.size(); size += 97) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        File f;
        if (!f.Open(cut)) continue;
        Stream st;
        if (f.Read(1, st)) {
            EXPECT_LE(st.bytes.size(), data[1].size());
        }
    }
    // A loop in the FAT is found, not followed forever.
    Bytes looped = good;
    File ok;
    ASSERT_TRUE(ok.Open(good));
    const std::uint32_t first = ok.entries()[1].start;
    const std::size_t fatSector = looped[0x4C] | looped[0x4D] << 8;
    const std::size_t at = (fatSector + 1) * 512 + 4 * (first + 1);
    for (int k = 0; k < 4; ++k) looped[at + k] = static_cast<std::uint8_t>(first >> (8 * k));
    File loop;
    if (loop.Open(looped)) {
        Stream st;
        EXPECT_FALSE(loop.Read(1, st));
    }
}

// Files saved by real office programs keep every storage and stream through a rewrite, also
// when one stream changes size.
TEST(CompoundFile, RealFilesSurviveARewrite) {
    QM_SKIP_WITHOUT_REALWORLD("doc");
    QM_SKIP_WITHOUT_REALWORLD("xls");
    int checked = 0;
    for (const char* folder : {"doc", "xls"}) {
        for (const std::string& path : test::RealWorldFiles(folder)) {
            const Bytes original = ReadBytes(path);
            File file;
            if (!file.Open(original)) continue;
            const Bytes rewritten = Rewrite(original);
            ASSERT_FALSE(rewritten.empty()) << path;
            const Tree before = TreeOf(original), after = TreeOf(rewritten);
            EXPECT_EQ(before.storages, after.storages) << path;
            ASSERT_EQ(before.streams.size(), after.streams.size()) << path;
            for (std::size_t i = 0; i < before.streams.size(); ++i) {
                EXPECT_EQ(before.streams[i].first, after.streams[i].first);
                EXPECT_TRUE(before.streams[i].second == after.streams[i].second) << path;
            }
            // A stream that grows from the mini stream into sectors of its own.
            std::vector<Bytes> replace(file.entries().size());
            for (std::uint32_t i = 0; i < replace.size(); ++i)
                if (file.entries()[i].type == EntryType::Stream) {
                    replace[i] = Pattern(5000 + i, static_cast<std::uint8_t>(i));
                    break;
                }
            File grown;
            ASSERT_TRUE(grown.Open(Rewrite(original, &replace))) << path;
            ++checked;
        }
    }
    EXPECT_GT(checked, 25);
}

}  // namespace
}  // namespace qm::cfb
