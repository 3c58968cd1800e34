#pragma once
// Inline pictures of a .doc: a picture character (0x01) whose character properties point into
// the Data stream, where a picture header (its natural size and scaling) is followed by a
// drawing shape and the picture file itself, stored as it is. Private to the document engine.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/cfb/compound_file.h"
#include "word/engine/doc_file.h"
#include "word/engine/picture.h"

namespace qm::engine::doc {

inline constexpr std::uint16_t kSprmSpecial = 0x0855, kSprmPictureLocation = 0x6A03;

// The size a picture is shown at, in twips, as its header gives it: natural size times scaling.
struct PictureBox {
    std::uint32_t width = 0, height = 0;
    // A picture of a linked file, not held in the document: Word keeps it in the result of
    // an INCLUDEPICTURE field, which goes with it.
    bool linked = false;
};

// The place in the Data stream of the inline picture at `cp`, when that character is a picture
// character whose properties point to one.
std::optional<std::uint32_t> InlinePictureLocation(const DocFile& d, std::uint32_t cp);

// The shown size of the picture whose header starts at `at` in `data`; nullopt when the header
// does not read or gives no size.
std::optional<PictureBox> ReadPictureBox(std::span<const std::uint8_t> data, std::uint32_t at);

// Appends to `data` the header, shape and blip of `picture` shown at `shown` (EMU), the shape
// numbered `spid`. Returns where it starts (the picture character's location).
std::uint32_t AppendInlinePicture(const Picture& picture, Extent shown, std::uint32_t spid,
                                  std::vector<std::uint8_t>& data);

// The blip record of `picture` (its header, digest, tag and file), appended to `out`, and its size.
void AppendBlip(const Picture& picture, std::vector<std::uint8_t>& out);
std::uint32_t BlipSize(const Picture& picture);
// A blip store entry for `picture`: followed by its blip when `embedded`, else naming the place
// `delay` of the blip in the WordDocument stream.
std::vector<std::uint8_t> BlipEntry(const Picture& picture, std::uint32_t delay, bool embedded);

// Floating pictures: the drawing data of the table stream (`dgg`) holds a shape for each, which
// shows the blip store's entry its picture property names (counted from 1).
struct PictureShape {
    std::size_t indexAt = 0;           // where the picture property's value sits in `dgg`
    std::vector<std::size_t> cropsAt;  // and the values of the crops from its four sides
};
// The picture frame `spid` among the top-level shapes of drawing `label` (0 the main text, 1 the
// headers); nullopt when it is no such picture.
std::optional<PictureShape> PictureIndexAt(std::span<const std::uint8_t> dgg, std::uint8_t label,
                                           std::uint32_t spid);
// The count of entries in the blip store; 0 without one.
std::uint32_t BlipCount(std::span<const std::uint8_t> dgg);
// Appends `count` blip store entries to the store in `dgg`. False without a store.
bool AddBlipEntries(std::vector<std::uint8_t>& dgg, std::span<const std::uint8_t> entries,
                    std::uint32_t count);

// A 16-byte digest of `bytes`, the key readers use to tell blips apart.
std::array<std::uint8_t, 16> BlipDigest(std::span<const std::uint8_t> bytes);

// Adds an empty stream called `name` below the root storage of `entries`, rebuilding the
// tree of the root's children so that it stays ordered and balanced. Returns its index.
std::uint32_t AddRootStream(std::vector<cfb::Entry>& entries, std::u16string_view name);

}  // namespace qm::engine::doc
