// Compound files written here around a real workbook stream: large files whose FAT needs extra
// DIFAT sectors, 4096-byte sectors, and damage to the DIFAT chain.

#include <gtest/gtest.h>

#include <cstring>

#include "data/xls/compound_file.h"
#include "data/xls/workbook_reader.h"
#include "tests/support/files.h"
#include "xls_test_support.h"

namespace qm::xls {
namespace {

constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD, kDifSect = 0xFFFFFFFC;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    std::memcpy(&b[at], &v, 4);
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    std::memcpy(&b[at], &v, 2);
}
std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

// A compound file holding `stream` as "Workbook" in consecutive sectors, followed by the
// directory, the FAT sectors and the DIFAT sectors.
std::vector<std::uint8_t> WrapStream(const std::vector<std::uint8_t>& stream, unsigned shift) {
    const std::size_t size = std::size_t{1} << shift, perFat = size / 4;
    const std::size_t data = (stream.size() + size - 1) / size;
    std::size_t fat = 1, difat = 0;
    while (true) {  // the FAT must also map itself and the DIFAT
        const std::size_t total = data + 1 + fat + difat;
        const std::size_t needFat = (total + perFat - 1) / perFat;
        const std::size_t needDifat = needFat > 109 ? (needFat - 109 + perFat - 2) / (perFat - 1) : 0;
        if (needFat == fat && needDifat == difat) break;
        fat = needFat;
        difat = needDifat;
    }
    const std::size_t total = data + 1 + fat + difat;
    std::vector<std::uint8_t> file((total + 1) * size, 0);
    auto at = [&](std::size_t sector) { return (sector + 1) * size; };
    std::memcpy(&file[at(0)], stream.data(), stream.size());
    const std::size_t dir = data, fat0 = data + 1, difat0 = fat0 + fat;
    std::vector<std::uint32_t> table(fat * perFat, kFree);
    for (std::size_t i = 0; i < data; ++i)
        table[i] = i + 1 == data ? kEnd : static_cast<std::uint32_t>(i + 1);
    table[dir] = kEnd;
    for (std::size_t i = 0; i < fat; ++i) table[fat0 + i] = kFatSect;
    for (std::size_t i = 0; i < difat; ++i) table[difat0 + i] = kDifSect;
    for (std::size_t i = 0; i < table.size(); ++i) Put32(file, at(fat0) + 4 * i, table[i]);

    static const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(&file[0], signature, 8);
    Put16(file, 0x18, 0x3E);
    Put16(file, 0x1A, shift == 12 ? 4 : 3);
    Put16(file, 0x1C, 0xFFFE);
    Put16(file, 0x1E, static_cast<std::uint16_t>(shift));
    Put16(file, 0x20, 6);
    Put32(file, 0x2C, static_cast<std::uint32_t>(fat));
    Put32(file, 0x30, static_cast<std::uint32_t>(dir));
    Put32(file, 0x38, 4096);
    Put32(file, 0x3C, kEnd);
    Put32(file, 0x44, difat ? static_cast<std::uint32_t>(difat0) : kEnd);
    Put32(file, 0x48, static_cast<std::uint32_t>(difat));
    for (std::size_t i = 0; i < 109; ++i)
        Put32(file, 0x4C + 4 * i, i < fat ? static_cast<std::uint32_t>(fat0 + i) : kFree);
    for (std::size_t d = 0, k = 109; d < difat; ++d) {
        for (std::size_t i = 0; i + 1 < perFat; ++i, ++k)
            Put32(file, at(difat0 + d) + 4 * i, k < fat ? static_cast<std::uint32_t>(fat0 + k) : kFree);
        Put32(file, at(difat0 + d) + 4 * (perFat - 1),
              d + 1 < difat ? static_cast<std::uint32_t>(difat0 + d + 1) : kEnd);
    }
    auto entry = [&](std::size_t index, const char* name, std::uint8_t type, std::uint32_t child,
                     std::uint32_t start, std::uint32_t bytes) {
        const std::size_t e = at(dir) + 128 * index;
        std::size_t n = 0;
        for (; name[n]; ++n) file[e + 2 * n] = static_cast<std::uint8_t>(name[n]);
        Put16(file, e + 0x40, static_cast<std::uint16_t>(2 * n + 2));
        file[e + 0x42] = type;
        Put32(file, e + 0x44, kFree);
        Put32(file, e + 0x48, kFree);
        Put32(file, e + 0x4C, child);
        Put32(file, e + 0x74, start);
        Put32(file, e + 0x78, bytes);
    };
    entry(0, "Root Entry", 5, 1, kEnd, 0);
    entry(1, "Workbook", 2, kFree, 0, static_cast<std::uint32_t>(stream.size()));
    for (std::size_t i = 2; i < size / 128; ++i) {
        Put32(file, at(dir) + 128 * i + 0x44, kFree);
        Put32(file, at(dir) + 128 * i + 0x48, kFree);
        Put32(file, at(dir) + 128 * i + 0x4C, kFree);
    }
    return file;
}

class Rewrapped : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string folder = testing::FixtureFolder();
        ASSERT_FALSE(folder.empty());
        original_ = test::ReadBytes(folder + "/people.xls");
        WorkbookStream stream;
        ASSERT_TRUE(OpenWorkbookStream(original_, stream));
        stream_.assign(stream.bytes.begin(), stream.bytes.end());
    }
    static void ExpectSameCells(const Workbook& a, const Workbook& b) {
        ASSERT_EQ(a.sheets.size(), b.sheets.size());
        for (std::size_t s = 0; s < a.sheets.size(); ++s) {
            ASSERT_EQ(a.sheets[s].rowCount(), b.sheets[s].rowCount());
            ASSERT_EQ(a.sheets[s].columnCount(), b.sheets[s].columnCount());
            for (std::size_t r = 0; r < a.sheets[s].rowCount(); ++r)
                for (std::size_t c = 0; c < a.sheets[s].columnCount(); ++c)
                    ASSERT_EQ(a.sheets[s].cell(r, c), b.sheets[s].cell(r, c)) << s << " " << r << " " << c;
        }
    }
    std::vector<std::uint8_t> original_, stream_;
};

TEST_F(Rewrapped, LargeFileWithDifatSectorsAndLargeSectors) {
    auto expected = ParseWorkbook(original_);
    ASSERT_NE(expected, nullptr);
    auto padded = stream_;
    padded.resize(9u << 20);  // 9 MiB: more than 109 FAT sectors of 512 bytes
    auto big = WrapStream(padded, 9);
    ASSERT_GT(U32At(big, 0x48), 0u) << "the file needs DIFAT sectors";
    auto book = ParseWorkbook(big);
    ASSERT_NE(book, nullptr);
    ExpectSameCells(*expected, *book);

    auto v4 = ParseWorkbook(WrapStream(stream_, 12));
    ASSERT_NE(v4, nullptr);
    ExpectSameCells(*expected, *v4);
}

TEST_F(Rewrapped, BrokenDifatChainIsRefused) {
    auto padded = stream_;
    padded.resize(9u << 20);
    const auto big = WrapStream(padded, 9);
    const std::uint32_t difat0 = U32At(big, 0x44);
    const std::size_t nextPointer = (difat0 + 1) * 512 + 508;
    auto loop = big;
    Put32(loop, 0x48, 5);              // claims more DIFAT sectors than there are
    Put32(loop, nextPointer, difat0);  // and the chain points back at itself
    Put32(loop, 0x2C, U32At(big, 0x2C) + 127 * 4);
    EXPECT_EQ(ParseWorkbook(loop), nullptr);
    auto beyond = big;
    Put32(beyond, 0x44, 0x7FFFFFF0);
    EXPECT_EQ(ParseWorkbook(beyond), nullptr);
}

}  // namespace
}  // namespace qm::xls
