// A part inflated on a thread of its own ahead of its parse: the parse sees every byte in order,
// in stretches cut where it can parse them, may stop at any stretch, and hears every way the part
// can fail, without a thread left behind.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "data/sheets/zip_package.h"
#include "tests/word/engine/store_zip.h"

namespace qm::sheets {
namespace {

constexpr std::size_t kSlice = std::size_t{1} << 20;

std::string Numbered(std::size_t bytes) {
    std::string text;
    for (std::size_t i = 0; text.size() < bytes; ++i) text += "<n>" + std::to_string(i) + "</n>";
    return text;
}

// After the last "</n>".
std::size_t AfterLastItem(std::string_view xml) {
    const std::size_t at = xml.rfind("</n>");
    return at == std::string_view::npos ? 0 : at + 4;
}

TEST(ZipPackageAhead, APartComesWholeInOrderInStretchesCutWhereAsked) {
    const std::string part = Numbered(std::size_t{9} << 20);
    const std::vector<std::uint8_t> zip = test::StoreZip({{"a.xml", part}, {"b.xml", "<!DOCTYPE x><b/>"}});

    std::string seen;
    std::size_t stretches = 0, lasts = 0;
    EXPECT_EQ(ZipPackage::StreamAhead(zip, "A.XML", SIZE_MAX, kSlice, AfterLastItem,
                                      [&](std::string_view stretch, bool last) {
                                          ++stretches;
                                          if (last) {
                                              ++lasts;
                                          } else {
                                              EXPECT_GT(stretch.size(), kSlice / 2);
                                              EXPECT_TRUE(stretch.ends_with("</n>"));
                                          }
                                          seen.append(stretch);
                                          return true;
                                      }),
              ZipPackage::ReadStatus::Ok);
    EXPECT_EQ(seen, part);
    EXPECT_EQ(lasts, 1u);
    EXPECT_LE(stretches, part.size() / kSlice + 1);

    // Nowhere to cut: the whole part comes as the last stretch.
    stretches = 0;
    seen.clear();
    EXPECT_EQ(ZipPackage::StreamAhead(
                  zip, "a.xml", SIZE_MAX, kSlice, [](std::string_view) { return std::size_t{0}; },
                  [&](std::string_view stretch, bool last) {
                      EXPECT_TRUE(last);
                      ++stretches;
                      seen.append(stretch);
                      return true;
                  }),
              ZipPackage::ReadStatus::Ok);
    EXPECT_EQ(stretches, 1u);
    EXPECT_EQ(seen, part);

    // Stopped after two stretches: the rest is never given, and the inflating thread ends.
    stretches = 0;
    EXPECT_EQ(ZipPackage::StreamAhead(zip, "a.xml", SIZE_MAX, kSlice, AfterLastItem,
                                      [&](std::string_view, bool) { return ++stretches < 2; }),
              ZipPackage::ReadStatus::Ok);
    EXPECT_EQ(stretches, 2u);

    const auto never = [](std::string_view, bool) {
        ADD_FAILURE() << "a stretch of a part that cannot be read";
        return true;
    };
    EXPECT_EQ(ZipPackage::StreamAhead(zip, "c.xml", SIZE_MAX, kSlice, AfterLastItem, never),
              ZipPackage::ReadStatus::Missing);
    EXPECT_EQ(ZipPackage::StreamAhead(zip, "a.xml", kSlice, kSlice, AfterLastItem, never),
              ZipPackage::ReadStatus::TooLarge);
    EXPECT_EQ(ZipPackage::StreamAhead(zip, "b.xml", SIZE_MAX, kSlice, AfterLastItem, never),
              ZipPackage::ReadStatus::Doctype);

    // What the parse throws reaches the caller once the thread has ended.
    EXPECT_THROW(
        ZipPackage::StreamAhead(zip, "a.xml", SIZE_MAX, kSlice, AfterLastItem,
                                [](std::string_view, bool) -> bool { throw std::runtime_error("parse"); }),
        std::runtime_error);

    ZipPackage package;
    ASSERT_TRUE(package.open(zip));
    EXPECT_EQ(package.statedSize("a.xml"), part.size());
    EXPECT_EQ(package.statedSize("c.xml"), 0u);
}

}  // namespace
}  // namespace qm::sheets
