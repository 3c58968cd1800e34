#include "word/engine/picture.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

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
// The largest side taken, in pixels: PNG allows 2^31 - 1, and a picture of a million pixels a
// side is no photo.
constexpr std::uint32_t kMaxSide = 1u << 20;

// Walks every chunk, checking lengths and CRCs: IHDR first, at least one IDAT, IEND last.
PictureProblem ReadPng(Picture& p) {
    const std::vector<std::uint8_t>& b = p.bytes;
    std::size_t at = sizeof kPngSignature;
    bool header = false, data = false, end = false;
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
            if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return PictureProblem::Damaged;
            p.width = static_cast<int>(w);
            p.height = static_cast<int>(h);
        } else if (name == "pHYs" && length == 9 && body[8] == 1) {
            // Pixels per metre.
            p.dpiX = Be32(body) * 0.0254;
            p.dpiY = Be32(body + 4) * 0.0254;
        } else if (name == "IDAT") {
            data = true;
        } else if (name == "IEND") {
            end = true;
        }
        at += 12 + length;
    }
    return data ? PictureProblem::None : PictureProblem::Damaged;
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
        if (marker == 0xDA) return frame ? PictureProblem::None : PictureProblem::Damaged;
        if (IsFrameHeader(marker)) {
            if (frame || size < 6) return PictureProblem::Damaged;
            frame = true;
            const int h = Be16(body + 1), w = Be16(body + 3);
            // A height of 0 is given later (DNL), which no reader of documents follows.
            if (w == 0 || h == 0) return PictureProblem::Damaged;
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
