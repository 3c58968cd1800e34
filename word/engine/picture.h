#pragma once
// Pictures a bookmark receives from a picture column: JPEG and PNG files embedded as they are,
// never re-encoded. Their pixel size and resolution come from the PNG header or the JPEG frame
// header, so no image library is needed.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm::engine {

enum class ImageKind { Png, Jpeg };

struct Picture {
    ImageKind kind = ImageKind::Png;
    std::vector<std::uint8_t> bytes;  // the file, byte for byte
    int width = 0;                    // pixels
    int height = 0;
    double dpiX = 0;  // the resolution the file states; 0 when it states none
    double dpiY = 0;

    std::string_view extension() const { return kind == ImageKind::Png ? "png" : "jpeg"; }
    std::string_view contentType() const { return kind == ImageKind::Png ? "image/png" : "image/jpeg"; }
};

// Lengths in English Metric Units, as documents measure drawings (914,400 to the inch).
struct Extent {
    std::int64_t cx = 0;
    std::int64_t cy = 0;
    bool operator==(const Extent&) const = default;
};
inline constexpr std::int64_t kEmuPerCm = 360000;

// The largest picture file taken.
inline constexpr std::size_t kMaxPictureBytes = 20u << 20;

enum class PictureProblem {
    None,
    Missing,     // no such file
    NotRegular,  // a folder, a device, a pipe
    TooLarge,    // over kMaxPictureBytes
    Unreadable,  // no permission, an I/O error
    NotAnImage,  // neither a JPEG nor a PNG
    // A JPEG or PNG whose size cannot be read, whose structure is broken, or whose header claims
    // more than its data holds (or more than 65,535 pixels a side, or 100 million in all).
    Damaged,
};

struct PictureResult {
    std::shared_ptr<const Picture> picture;  // null unless problem is None
    PictureProblem problem = PictureProblem::None;
};

// Reads the picture file at `path`. Never throws.
PictureResult ReadPicture(std::string_view path);
// The same over bytes already read.
PictureResult PictureFromBytes(std::vector<std::uint8_t> bytes);

// A few English words for a problem ("not a JPEG or PNG file"), for messages and logs.
std::string_view PictureProblemText(PictureProblem problem);

// The size of a picture placed inline: 3 cm wide, as high as its aspect ratio makes it.
Extent InlineExtent(const Picture& picture);
// The largest size with the picture's aspect ratio that fits inside `box`.
Extent FitInBox(const Picture& picture, Extent box);

}  // namespace qm::engine
