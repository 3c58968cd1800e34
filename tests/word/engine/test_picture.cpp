// Picture files for picture columns: PNG and JPEG headers read for size and resolution, every
// other file and every damaged one refused with its cause, and the sizes a picture is placed at.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <fstream>

#include "tests/support/temp_folder.h"
#include "word/engine/picture.h"

namespace qm::engine {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutBe32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void PutBe16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void Chunk(Bytes& png, const char* type, const Bytes& body) {
    PutBe32(png, static_cast<std::uint32_t>(body.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutBe32(png, static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// `raw` packed as zlib packs a PNG's data.
Bytes Deflated(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(size);
    compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(size);
    return packed;
}

// A grey PNG of `w` by `h` pixels; `ppm` pixels per metre stated when not 0.
Bytes Png(std::uint32_t w, std::uint32_t h, std::uint32_t ppm = 0, bool withData = true) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBe32(header, w);
    PutBe32(header, h);
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey
    Chunk(png, "IHDR", header);
    if (ppm != 0) {
        Bytes phys;
        PutBe32(phys, ppm);
        PutBe32(phys, ppm);
        phys.push_back(1);
        Chunk(png, "pHYs", phys);
    }
    if (withData) Chunk(png, "IDAT", Deflated(Bytes(static_cast<std::size_t>(h) * (w + 1), 0x80)));
    Chunk(png, "IEND", {});
    return png;
}

// An interlaced grey PNG of `w` by `h` pixels: its seven passes' rows.
Bytes Interlaced(std::uint32_t w, std::uint32_t h) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBe32(header, w);
    PutBe32(header, h);
    header.insert(header.end(), {8, 0, 0, 0, 1});
    Chunk(png, "IHDR", header);
    static constexpr int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    Bytes raw;
    for (const auto& [x0, y0, dx, dy] : kPass) {
        const std::uint32_t cols = w > static_cast<std::uint32_t>(x0) ? (w - x0 + dx - 1) / dx : 0;
        const std::uint32_t rows = h > static_cast<std::uint32_t>(y0) ? (h - y0 + dy - 1) / dy : 0;
        if (cols == 0) continue;
        for (std::uint32_t r = 0; r < rows; ++r) raw.insert(raw.end(), cols + 1, 0x40);
    }
    Chunk(png, "IDAT", Deflated(raw));
    Chunk(png, "IEND", {});
    return png;
}

// `png` with byte `at` of its IHDR's body set to `value`, the CRC made right again.
Bytes WithIhdrByte(Bytes png, std::size_t at, std::uint8_t value) {
    png[16 + at] = value;
    const auto crc = static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return png;
}

// `png` whose header claims `w` by `h` pixels, its data as it was.
Bytes Lying(Bytes png, std::uint32_t w, std::uint32_t h) {
    for (std::size_t i = 0; i < 4; ++i) {
        png = WithIhdrByte(std::move(png), i, static_cast<std::uint8_t>(w >> (24 - 8 * i)));
        png = WithIhdrByte(std::move(png), 4 + i, static_cast<std::uint8_t>(h >> (24 - 8 * i)));
    }
    return png;
}

// `png` with its image data replaced by bytes of the same length that zlib does not take.
Bytes GarbledData(Bytes png) {
    const std::size_t idat = 8 + 25;  // after the signature and IHDR
    const std::uint32_t length = static_cast<std::uint32_t>(png[idat]) << 24 | png[idat + 1] << 16 |
                                 png[idat + 2] << 8 | png[idat + 3];
    for (std::size_t i = 0; i < length; ++i) png[idat + 8 + i] = 0xFF;
    const auto crc = static_cast<std::uint32_t>(crc32(0, png.data() + idat + 4, length + 4));
    for (int i = 0; i < 4; ++i) png[idat + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return png;
}

// The segments of a JPEG up to its scan: JFIF with a density, the frame header `sof`, a scan.
Bytes Jpeg(std::uint16_t w, std::uint16_t h, std::uint8_t sof = 0xC0, int units = 1,
           std::uint16_t density = 200) {
    Bytes j = {0xFF, 0xD8, 0xFF, 0xE0};
    PutBe16(j, 16);
    j.insert(j.end(), {'J', 'F', 'I', 'F', 0, 1, 1, static_cast<std::uint8_t>(units)});
    PutBe16(j, density);
    PutBe16(j, density);
    j.insert(j.end(), {0, 0});
    j.insert(j.end(), {0xFF, sof});
    PutBe16(j, 11);
    j.push_back(8);
    PutBe16(j, h);
    PutBe16(j, w);
    j.insert(j.end(), {1, 1, 0x11, 0});
    j.insert(j.end(), {0xFF, 0xDA});
    PutBe16(j, 8);
    j.insert(j.end(), {1, 1, 0, 0, 63, 0, 0x12, 0x34, 0xFF, 0xD9});
    return j;
}

TEST(Picture, HeadersGiveSizeAndResolution) {
    struct Case {
        const char* what;
        Bytes bytes;
        ImageKind kind;
        int width, height;
        double dpi;
    };
    const Case cases[] = {
        {"PNG without a resolution", Png(40, 30), ImageKind::Png, 40, 30, 0},
        {"PNG at 300 dpi", Png(40, 30, 11811), ImageKind::Png, 40, 30, 300},
        {"baseline JPEG at 200 dpi", Jpeg(640, 480), ImageKind::Jpeg, 640, 480, 200},
        {"progressive JPEG, dots a cm", Jpeg(64, 48, 0xC2, 2, 100), ImageKind::Jpeg, 64, 48, 254},
        {"JPEG with an aspect ratio only", Jpeg(64, 48, 0xC1, 0, 1), ImageKind::Jpeg, 64, 48, 0},
        {"PNG of 3000 by 2000", Png(3000, 2000), ImageKind::Png, 3000, 2000, 0},
        {"interlaced PNG", Interlaced(7, 5), ImageKind::Png, 7, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PictureResult read = PictureFromBytes(c.bytes);
        ASSERT_EQ(read.problem, PictureProblem::None);
        EXPECT_EQ(read.picture->kind, c.kind);
        EXPECT_EQ(read.picture->width, c.width);
        EXPECT_EQ(read.picture->height, c.height);
        EXPECT_NEAR(read.picture->dpiX, c.dpi, 0.5);
        EXPECT_EQ(read.picture->bytes, c.bytes) << "embedded as it is";
    }
}

TEST(Picture, OtherAndDamagedFilesAreRefused) {
    Bytes badCrc = Png(4, 4);
    badCrc[20] ^= 1;  // inside IHDR
    Bytes truncatedPng = Png(4, 4);
    truncatedPng.resize(truncatedPng.size() - 5);
    Bytes noFrame = Jpeg(4, 4);
    noFrame.erase(noFrame.begin() + 20, noFrame.begin() + 33);  // the frame header
    Bytes truncatedJpeg = Jpeg(4, 4);
    truncatedJpeg.resize(24);
    const std::string gif("GIF89a\x01\x00\x01\x00", 10);
    Bytes noScan = Jpeg(4, 4);
    noScan.resize(noScan.size() - 4);  // the coded data and the end
    const Bytes onePixel = Png(1, 1);
    const Bytes signatureOnly(onePixel.begin(), onePixel.begin() + 8);
    const struct {
        const char* what;
        Bytes bytes;
        PictureProblem problem;
    } cases[] = {
        {"empty", {}, PictureProblem::NotAnImage},
        {"GIF", Bytes(gif.begin(), gif.end()), PictureProblem::NotAnImage},
        {"text", {'h', 'e', 'l', 'l', 'o'}, PictureProblem::NotAnImage},
        {"PNG with a wrong CRC", badCrc, PictureProblem::Damaged},
        {"PNG cut short", truncatedPng, PictureProblem::Damaged},
        {"PNG without image data", Png(4, 4, 0, false), PictureProblem::Damaged},
        {"PNG of width 0", Png(0, 4), PictureProblem::Damaged},
        {"PNG signature alone", signatureOnly, PictureProblem::Damaged},
        {"JPEG without a frame header", noFrame, PictureProblem::Damaged},
        {"JPEG cut short", truncatedJpeg, PictureProblem::Damaged},
        {"JPEG of height 0 (given later)", Jpeg(4, 0), PictureProblem::Damaged},
        // Headers that claim more than a photo, or than their data holds.
        {"PNG claiming 100000 by 100000", Lying(Png(40, 30), 100000, 100000), PictureProblem::Damaged},
        {"PNG claiming 20000 by 20000", Lying(Png(40, 30), 20000, 20000), PictureProblem::Damaged},
        {"PNG claiming 400 by 300 over the data of 40 by 30", Lying(Png(40, 30), 400, 300),
         PictureProblem::Damaged},
        {"PNG of a colour type no reader takes", WithIhdrByte(Png(4, 4), 9, 5), PictureProblem::Damaged},
        {"PNG of a depth no reader takes", WithIhdrByte(Png(4, 4), 8, 7), PictureProblem::Damaged},
        {"PNG whose data is no zlib stream", GarbledData(Png(40, 30)), PictureProblem::Damaged},
        {"JPEG claiming 65535 by 65535", Jpeg(65535, 65535), PictureProblem::Damaged},
        {"JPEG with no data after the scan header", noScan, PictureProblem::Damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PictureResult read = PictureFromBytes(c.bytes);
        EXPECT_EQ(read.problem, c.problem);
        EXPECT_EQ(read.picture, nullptr);
    }
}

TEST(Picture, FilesThatAreNoPictureFilesAreRefusedWithTheirCause) {
    const test::TempFolder folder("picture");
    const std::string png = folder.path() + "/photo.png";
    const Bytes bytes = Png(8, 6);
    std::ofstream(png, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(ReadPicture(png).problem, PictureProblem::None);
    EXPECT_EQ(ReadPicture(folder.path() + "/none.png").problem, PictureProblem::Missing);
    EXPECT_EQ(ReadPicture(folder.path()).problem, PictureProblem::NotRegular);
    const std::string fifo = folder.path() + "/pipe.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadPicture(fifo).problem, PictureProblem::NotRegular);
    const std::string large = folder.path() + "/large.jpg";
    std::ofstream(large).close();
    ASSERT_EQ(truncate(large.c_str(), static_cast<off_t>(kMaxPictureBytes) + 1), 0);
    EXPECT_EQ(ReadPicture(large).problem, PictureProblem::TooLarge);
}

TEST(Picture, PlacedInlineThreeCentimetresWideOrFittedInABox) {
    const auto picture = PictureFromBytes(Png(400, 300)).picture;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(InlineExtent(*picture), (Extent{1080000, 810000}));
    // A box wider than the picture: as high as the box, centred by whoever places it.
    EXPECT_EQ(FitInBox(*picture, {2000000, 600000}), (Extent{800000, 600000}));
    EXPECT_EQ(FitInBox(*picture, {600000, 2000000}), (Extent{600000, 450000}));
    // Pixels that are not square keep the shape the file gives them.
    Picture wide = *picture;
    wide.dpiX = 48;
    wide.dpiY = 96;
    EXPECT_EQ(InlineExtent(wide), (Extent{1080000, 405000}));
}

}  // namespace
}  // namespace qm::engine
