#include "word/engine/picture.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "common/fs.h"

namespace qm::engine {
namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
std::uint16_t Be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The largest picture taken, in pixels: PNG allows sides of 2^31 - 1, JPEG of 65,535; a picture
// of more than a hundred million pixels is no photo, and a header that claims one lies.
constexpr std::uint32_t kMaxSide = 65535;
constexpr std::uint64_t kMaxPixels = 100'000'000;

bool Plausible(std::uint64_t w, std::uint64_t h) {
    return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// The bytes of filtered scanlines the header of a PNG implies: each row's filter byte and its
// pixels, for each of the seven passes of an interlaced one; 0 for a header no reader takes.
std::uint64_t PngDataSize(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colour,
                          std::uint8_t interlace) {
    int channels = 0;
    switch (colour) {
        case 0:
            channels = (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16) ? 1 : 0;
            break;
        case 3:
            channels = (depth == 1 || depth == 2 || depth == 4 || depth == 8) ? 1 : 0;
            break;
        case 2:
        case 4:
        case 6:
            channels = (depth == 8 || depth == 16) ? (colour == 2 ? 3 : colour == 4 ? 2 : 4) : 0;
            break;
        default:
            break;
    }
    if (channels == 0 || interlace > 1) return 0;
    const std::uint64_t bits = static_cast<std::uint64_t>(channels) * depth;
    const auto rows = [&](std::uint64_t width, std::uint64_t height) {
        return width == 0 || height == 0 ? 0 : height * (1 + (width * bits + 7) / 8);
    };
    if (interlace == 0) return rows(w, h);
    // Adam7: each pass's first column and row, and its steps.
    static constexpr int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::uint64_t total = 0;
    for (const auto& [x0, y0, dx, dy] : kPass)
        total += rows(w > static_cast<std::uint32_t>(x0) ? (w - x0 + dx - 1) / dx : 0,
                      h > static_cast<std::uint32_t>(y0) ? (h - y0 + dy - 1) / dy : 0);
    return total;
}

// Whether the IDAT data inflates to at least `expected` bytes without an error: the pixels the
// header claims are there. Inflated into a scratch buffer, and only as far as needed.
bool InflatesTo(const std::vector<std::pair<const std::uint8_t*, std::size_t>>& data,
                std::uint64_t expected) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    std::uint8_t scratch[16384];
    std::uint64_t produced = 0;
    int status = Z_OK;
    for (const auto& [bytes, size] : data) {
        z.next_in = const_cast<Bytef*>(bytes);
        z.avail_in = static_cast<uInt>(size);
        while (z.avail_in > 0 && status == Z_OK && produced < expected) {
            const uInt before = z.avail_in;
            z.next_out = scratch;
            z.avail_out = sizeof scratch;
            status = inflate(&z, Z_NO_FLUSH);
            const std::size_t out = sizeof scratch - z.avail_out;
            produced += out;
            // No progress for want of input: the next chunk goes on.
            if (status == Z_BUF_ERROR) status = out > 0 || z.avail_in < before ? Z_OK : Z_DATA_ERROR;
        }
        if (status != Z_OK || produced >= expected) break;
    }
    inflateEnd(&z);
    return produced >= expected && (status == Z_OK || status == Z_STREAM_END);
}

// Walks every chunk, checking lengths and CRCs: IHDR first, at least one IDAT, IEND last.
PictureProblem ReadPng(Picture& p) {
    const std::vector<std::uint8_t>& b = p.bytes;
    std::size_t at = sizeof kPngSignature;
    bool header = false, end = false;
    std::uint64_t expected = 0;
    std::vector<std::pair<const std::uint8_t*, std::size_t>> data;
    while (!end) {
        if (b.size() - at < 12) return PictureProblem::Damaged;
        const std::uint32_t length = Be32(&b[at]);
        if (length > b.size() - at - 12) return PictureProblem::Damaged;
        const std::uint8_t* type = &b[at + 4];
        const std::uint8_t* body = type + 4;
        const auto crc = static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), type, length + 4));
        if (crc != Be32(body + length)) return PictureProblem::Damaged;
        const std::string_view name(reinterpret_cast<const char*>(type), 4);
        if (!header && name != "IHDR") return PictureProblem::Damaged;
        if (name == "IHDR") {
            if (header || length != 13) return PictureProblem::Damaged;
            header = true;
            const std::uint32_t w = Be32(body), h = Be32(body + 4);
            if (!Plausible(w, h)) return PictureProblem::Damaged;
            expected = PngDataSize(w, h, body[8], body[9], body[12]);
            if (expected == 0 || body[10] != 0 || body[11] != 0) return PictureProblem::Damaged;
            p.width = static_cast<int>(w);
            p.height = static_cast<int>(h);
        } else if (name == "pHYs" && length == 9 && body[8] == 1) {
            // Pixels per metre.
            p.dpiX = Be32(body) * 0.0254;
            p.dpiY = Be32(body + 4) * 0.0254;
        } else if (name == "IDAT") {
            data.emplace_back(body, length);
        } else if (name == "IEND") {
            end = true;
        }
        at += 12 + length;
    }
    // The pixels must be there: a header that claims more than the data holds is a lie.
    return !data.empty() && InflatesTo(data, expected) ? PictureProblem::None : PictureProblem::Damaged;
}

bool IsFrameHeader(std::uint8_t marker) {
    // SOF0 to SOF15, without DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Reads the segments up to the start of the scan: the frame header's size and the JFIF density.
PictureProblem ReadJpeg(Picture& p) {
    const std::vector<std::uint8_t>& b = p.bytes;
    std::size_t at = 2;
    bool frame = false;
    for (;;) {
        if (at >= b.size() || b[at] != 0xFF) return PictureProblem::Damaged;
        while (at < b.size() && b[at] == 0xFF) ++at;  // fill bytes
        if (at >= b.size()) return PictureProblem::Damaged;
        const std::uint8_t marker = b[at++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0xD8 || marker == 0xD9) return PictureProblem::Damaged;
        if (b.size() - at < 2) return PictureProblem::Damaged;
        const std::size_t length = Be16(&b[at]);
        if (length < 2 || length > b.size() - at) return PictureProblem::Damaged;
        const std::uint8_t* body = &b[at + 2];
        const std::size_t size = length - 2;
        // The scan follows its header: some coded data must.
        if (marker == 0xDA)
            return frame && b.size() > at + length ? PictureProblem::None : PictureProblem::Damaged;
        if (IsFrameHeader(marker)) {
            if (frame || size < 6) return PictureProblem::Damaged;
            frame = true;
            const int h = Be16(body + 1), w = Be16(body + 3);
            // A height of 0 is given later (DNL), which no reader of documents follows.
            if (!Plausible(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h)))
                return PictureProblem::Damaged;
            p.width = w;
            p.height = h;
        } else if (marker == 0xE0 && size >= 12 && std::memcmp(body, "JFIF\0", 5) == 0) {
            const int units = body[7];
            const double x = Be16(body + 8), y = Be16(body + 10);
            if (units == 1) {
                p.dpiX = x;
                p.dpiY = y;
            } else if (units == 2) {
                p.dpiX = x * 2.54;
                p.dpiY = y * 2.54;
            }
        }
        at += length;
    }
}

}  // namespace

PictureResult PictureFromBytes(std::vector<std::uint8_t> bytes) {
    try {
        auto picture = std::make_shared<Picture>();
        picture->bytes = std::move(bytes);
        const std::vector<std::uint8_t>& b = picture->bytes;
        PictureProblem problem = PictureProblem::NotAnImage;
        if (b.size() >= sizeof kPngSignature &&
            std::equal(std::begin(kPngSignature), std::end(kPngSignature), b.begin())) {
            picture->kind = ImageKind::Png;
            problem = ReadPng(*picture);
        } else if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
            picture->kind = ImageKind::Jpeg;
            problem = ReadJpeg(*picture);
        }
        // A resolution beyond reason is no resolution.
        for (double* dpi : {&picture->dpiX, &picture->dpiY})
            if (!(*dpi >= 1 && *dpi <= 100000)) *dpi = 0;
        if (problem != PictureProblem::None) return {nullptr, problem};
        return {std::move(picture), PictureProblem::None};
    } catch (...) {
        return {nullptr, PictureProblem::Unreadable};
    }
}

PictureResult ReadPicture(std::string_view path) {
    WholeFile file = ReadWholeFile(path, kMaxPictureBytes);
    switch (file.problem) {
        case WholeFileProblem::None:
            return PictureFromBytes(std::move(file.bytes));
        case WholeFileProblem::Missing:
            return {nullptr, PictureProblem::Missing};
        case WholeFileProblem::NotRegular:
            return {nullptr, PictureProblem::NotRegular};
        case WholeFileProblem::TooLarge:
            return {nullptr, PictureProblem::TooLarge};
        default:
            return {nullptr, PictureProblem::Unreadable};
    }
}

std::string_view PictureProblemText(PictureProblem problem) {
    switch (problem) {
        case PictureProblem::None:
            return "";
        case PictureProblem::Missing:
            return "the picture file does not exist";
        case PictureProblem::NotRegular:
            return "the picture path is not a regular file";
        case PictureProblem::TooLarge:
            return "the picture file is larger than 20 MB";
        case PictureProblem::Unreadable:
            return "the picture file cannot be read";
        case PictureProblem::NotAnImage:
            return "not a JPEG or PNG file";
        case PictureProblem::Damaged:
            return "the picture is damaged or its size cannot be read";
    }
    return "";
}

Extent InlineExtent(const Picture& picture) {
    return FitInBox(picture, {3 * kEmuPerCm, std::int64_t{1} << 40});
}

Extent FitInBox(const Picture& picture, Extent box) {
    if (picture.width <= 0 || picture.height <= 0 || box.cx <= 0 || box.cy <= 0) return box;
    // The picture's own shape, with pixels that are not square where the file says so.
    const double w = picture.width / (picture.dpiX > 0 ? picture.dpiX : 96.0);
    const double h = picture.height / (picture.dpiY > 0 ? picture.dpiY : 96.0);
    const double scale = std::min(static_cast<double>(box.cx) / w, static_cast<double>(box.cy) / h);
    return {std::max<std::int64_t>(1, std::llround(w * scale)),
            std::max<std::int64_t>(1, std::llround(h * scale))};
}

}  // namespace qm::engine
