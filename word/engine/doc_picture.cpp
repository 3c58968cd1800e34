#include "word/engine/doc_picture.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace qm::engine::doc {

namespace {

constexpr std::uint16_t kHeaderSize = 0x44;
constexpr std::uint16_t kShapeMapping = 0x0064;  // the picture is a drawing shape in the stream
constexpr std::uint16_t kPictureFrame = 75;
constexpr std::uint32_t kTwipsLimit = 31680;  // 22 inches, the largest natural size stored
constexpr std::int64_t kEmuPerTwip = 635;

void Add16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Add32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Add16(out, v & 0xFFFF);
    Add16(out, v >> 16);
}
// A drawing record's header: version and instance, type, length of what follows.
void AddRecord(std::vector<std::uint8_t>& out, unsigned version, unsigned instance, std::uint16_t type,
               std::uint32_t length) {
    Add16(out, (instance << 4) | version);
    Add16(out, type);
    Add32(out, length);
}

// The natural size stored for one side and the scaling (in tenths of a percent) that shows it
// at `shown` twips. The natural size comes from the file's resolution; where it would not fit
// the header's limits (a huge or a tiny picture), the shown size is stored unscaled instead.
std::pair<std::uint16_t, std::uint16_t> GoalAndScale(int pixels, double dpi, std::uint32_t shown) {
    shown = std::clamp<std::uint32_t>(shown, 1, kTwipsLimit);
    const double natural = pixels / (dpi > 0 ? dpi : 96.0) * 1440.0;
    if (natural >= 1 && natural <= kTwipsLimit) {
        const long goal = std::lround(natural);
        const long scale = std::lround(1000.0 * shown / static_cast<double>(goal));
        if (scale >= 10 && scale <= 5000 && goal > 0)
            return {static_cast<std::uint16_t>(goal), static_cast<std::uint16_t>(scale)};
    }
    return {static_cast<std::uint16_t>(shown), 1000};
}

std::uint64_t Fnv(std::span<const std::uint8_t> bytes, std::uint64_t basis, bool backwards) {
    std::uint64_t h = basis;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        h ^= bytes[backwards ? bytes.size() - 1 - i : i];
        h *= 0x100000001B3ull;
    }
    return h;
}

}  // namespace

std::array<std::uint8_t, 16> BlipDigest(std::span<const std::uint8_t> bytes) {
    const std::uint64_t a = Fnv(bytes, 0xCBF29CE484222325ull, false);
    const std::uint64_t b = Fnv(bytes, 0x84222325CBF29CE4ull ^ bytes.size(), true);
    std::array<std::uint8_t, 16> out{};
    for (std::size_t k = 0; k < 8; ++k) {
        out[k] = static_cast<std::uint8_t>(a >> (8 * k));
        out[8 + k] = static_cast<std::uint8_t>(b >> (8 * k));
    }
    return out;
}

std::optional<std::uint32_t> InlinePictureLocation(const DocFile& d, std::uint32_t cp) {
    if (d.CharAt(cp) != 0x01) return std::nullopt;
    const std::optional<std::uint32_t> fc = d.FcAt(cp);
    if (!fc) return std::nullopt;
    bool special = false, data = false;
    std::optional<std::uint32_t> location;
    ForEachSprm(d.Chpx(*fc), [&](std::uint16_t sprm, std::span<const std::uint8_t> whole) {
        if (sprm == kSprmSpecial && whole.size() >= 3) special = whole[2] != 0;
        if (sprm == kSprmPictureLocation && whole.size() >= 6) location = U32(whole.data() + 2);
        if (sprm == 0x0806 && whole.size() >= 3) data = whole[2] != 0;
    });
    // A form field's special character points to the field's data, not to a picture.
    if (!special || data) return std::nullopt;
    return location;
}

std::optional<PictureBox> ReadPictureBox(std::span<const std::uint8_t> data, std::uint32_t at) {
    if (at > data.size() || data.size() - at < kHeaderSize) return std::nullopt;
    const std::uint8_t* p = data.data() + at;
    if (U32(p) < kHeaderSize || U16(p + 4) != kHeaderSize) return std::nullopt;
    const std::uint32_t goalX = U16(p + 28), goalY = U16(p + 30), mx = U16(p + 32), my = U16(p + 34);
    if (goalX == 0 || goalY == 0 || goalX > 0x7FFF || goalY > 0x7FFF || mx == 0 || my == 0)
        return std::nullopt;
    // A picture: its shape is followed by the blip it shows, or the header names the file it
    // links to. (A horizontal line, or an office's character-anchored text box, has a header
    // and a shape of its own, but no blip.)
    const std::uint32_t lcb = std::min<std::uint32_t>(U32(p), static_cast<std::uint32_t>(data.size() - at));
    std::size_t next = kHeaderSize;
    if (U16(p + 6) == 0x0066 && lcb > kHeaderSize)
        next += 1 + static_cast<std::size_t>(p[kHeaderSize]);  // a file name
    bool shape = false, blip = false;
    while (next + 8 <= lcb) {
        const std::uint16_t type = U16(p + next + 2);
        const std::uint32_t length = U32(p + next + 4);
        if (type == 0xF004) shape = true;
        if (type == 0xF007 && shape) blip = true;
        if (type != 0xF004 && type != 0xF007) break;
        if (length > lcb - next - 8) break;
        next += 8 + length;
    }
    const bool linked = U16(p + 6) == 0x0066;
    if (!blip && !linked) return std::nullopt;
    PictureBox box{goalX * mx / 1000, goalY * my / 1000, !blip};
    if (box.width == 0 || box.height == 0) return std::nullopt;
    return box;
}

std::uint32_t BlipSize(const Picture& picture) {
    return 8 + 17 + static_cast<std::uint32_t>(picture.bytes.size());
}

void AppendBlip(const Picture& picture, std::vector<std::uint8_t>& out) {
    const bool png = picture.kind == ImageKind::Png;
    const std::array<std::uint8_t, 16> uid = BlipDigest(picture.bytes);
    AddRecord(out, 0, png ? 0x6E0 : 0x46A, png ? 0xF01E : 0xF01D, BlipSize(picture) - 8);
    out.insert(out.end(), uid.begin(), uid.end());
    out.push_back(0xFF);
    out.insert(out.end(), picture.bytes.begin(), picture.bytes.end());
}

std::vector<std::uint8_t> BlipEntry(const Picture& picture, std::uint32_t delay, bool embedded) {
    const std::uint8_t kind = picture.kind == ImageKind::Png ? 6 : 5;  // the blip types of PNG and JPEG
    const std::array<std::uint8_t, 16> uid = BlipDigest(picture.bytes);
    std::vector<std::uint8_t> out;
    AddRecord(out, 2, kind, 0xF007, 36 + (embedded ? BlipSize(picture) : 0));
    out.push_back(kind);
    out.push_back(kind);
    out.insert(out.end(), uid.begin(), uid.end());
    Add16(out, 0x00FF);
    Add32(out, BlipSize(picture));
    Add32(out, 1);      // one reference: this picture
    Add32(out, delay);  // where the blip is in WordDocument when it does not follow
    Add32(out, 0);      // no name
    return out;
}

std::optional<PictureShape> PictureIndexAt(std::span<const std::uint8_t> dgg, std::uint8_t label,
                                           std::uint32_t spid) {
    auto record = [&](std::size_t at,
                      std::size_t end) -> std::optional<std::pair<std::uint16_t, std::size_t>> {
        if (at + 8 > end || end > dgg.size() || U32(dgg.data() + at + 4) > end - at - 8) return std::nullopt;
        return std::make_pair(U16(dgg.data() + at + 2), static_cast<std::size_t>(U32(dgg.data() + at + 4)));
    };
    const auto head = record(0, dgg.size());
    if (!head || head->first != 0xF000) return std::nullopt;
    for (std::size_t at = 8 + head->second; at < dgg.size();) {
        const std::uint8_t here = dgg[at];
        const auto dg = record(at + 1, dgg.size());
        if (!dg || dg->first != 0xF002) return std::nullopt;
        const std::size_t dgEnd = at + 9 + dg->second;
        for (std::size_t c = at + 9; here == label;) {
            const auto child = record(c, dgEnd);
            if (!child) break;
            if (child->first == 0xF003) {
                // The top-level shapes of the drawing's group.
                const std::size_t groupEnd = c + 8 + child->second;
                for (std::size_t sp = c + 8, next = 0; sp < groupEnd; sp = next) {
                    const auto shape = record(sp, groupEnd);
                    if (!shape) break;
                    next = sp + 8 + shape->second;
                    if (shape->first != 0xF004) continue;
                    bool match = false;
                    std::optional<std::size_t> pib;
                    std::vector<std::size_t> crops;
                    for (std::size_t r = sp + 8, after = 0; r < next; r = after) {
                        const auto inner = record(r, next);
                        if (!inner) break;
                        after = r + 8 + inner->second;
                        if (inner->first == 0xF00A && inner->second >= 8)
                            match = U32(dgg.data() + r + 8) == spid &&
                                    (U16(dgg.data() + r) >> 4) == kPictureFrame;
                        if (inner->first == 0xF00B) {
                            const std::size_t count = U16(dgg.data() + r) >> 4;
                            for (std::size_t k = 0; k < count && 6 * (k + 1) <= inner->second; ++k) {
                                const std::uint16_t id = U16(dgg.data() + r + 8 + 6 * k);
                                if (id == 0x4104) pib = r + 8 + 6 * k + 2;
                                if (id >= 0x0100 && id <= 0x0103) crops.push_back(r + 8 + 6 * k + 2);
                            }
                        }
                    }
                    if (match && pib) return PictureShape{*pib, crops};
                    if (match) return std::nullopt;
                }
            }
            c += 8 + child->second;
        }
        at = dgEnd;
    }
    return std::nullopt;
}

std::uint32_t BlipCount(std::span<const std::uint8_t> dgg) {
    if (dgg.size() < 8 || U16(dgg.data() + 2) != 0xF000) return 0;
    const std::size_t end =
        std::min<std::size_t>(dgg.size(), 8 + static_cast<std::size_t>(U32(dgg.data() + 4)));
    for (std::size_t at = 8; at + 8 <= end; at += 8 + static_cast<std::size_t>(U32(dgg.data() + at + 4))) {
        if (U16(dgg.data() + at + 2) == 0xF001) return U16(dgg.data() + at) >> 4;
        if (U32(dgg.data() + at + 4) > end - at - 8) break;
    }
    return 0;
}

bool AddBlipEntries(std::vector<std::uint8_t>& dgg, std::span<const std::uint8_t> entries,
                    std::uint32_t count) {
    if (dgg.size() < 8 || U16(dgg.data() + 2) != 0xF000) return false;
    const std::size_t end =
        std::min<std::size_t>(dgg.size(), 8 + static_cast<std::size_t>(U32(dgg.data() + 4)));
    for (std::size_t at = 8; at + 8 <= end;) {
        const std::size_t length = U32(dgg.data() + at + 4);
        if (length > end - at - 8) return false;
        if (U16(dgg.data() + at + 2) == 0xF001) {
            const std::uint32_t instances = (U16(dgg.data() + at) >> 4) + count;
            if (instances > 0xFFF) return false;
            Put16(dgg.data() + at, static_cast<std::uint16_t>(instances << 4 | 0xF));
            Put32(dgg.data() + at + 4, static_cast<std::uint32_t>(length + entries.size()));
            Put32(dgg.data() + 4, static_cast<std::uint32_t>(U32(dgg.data() + 4) + entries.size()));
            dgg.insert(dgg.begin() + static_cast<std::ptrdiff_t>(at + 8 + length), entries.begin(),
                       entries.end());
            return true;
        }
        at += 8 + length;
    }
    return false;
}

std::uint32_t AppendInlinePicture(const Picture& picture, Extent shown, std::uint32_t spid,
                                  std::vector<std::uint8_t>& data) {
    // The shape: a picture frame showing the first blip that follows it, no line around it.
    std::vector<std::uint8_t> shape;
    const std::vector<std::pair<std::uint16_t, std::uint32_t>> properties = {
        {0x007F, 0x00800080},  // the aspect ratio is locked
        {0x4104, 1},           // the blip: the first one after the shape
        {0x01BF, 0x00100010},  // the fill does not catch clicks
        {0x01FF, 0x00080000},  // no line
    };
    AddRecord(shape, 2, kPictureFrame, 0xF00A, 8);
    Add32(shape, spid);
    Add32(shape, 0x00000A00);  // it has an anchor and a shape type
    AddRecord(shape, 3, static_cast<unsigned>(properties.size()), 0xF00B,
              static_cast<std::uint32_t>(6 * properties.size()));
    for (const auto& [id, value] : properties) {
        Add16(shape, id);
        Add32(shape, value);
    }
    std::vector<std::uint8_t> container;
    AddRecord(container, 0xF, 0, 0xF004, static_cast<std::uint32_t>(shape.size()));
    container.insert(container.end(), shape.begin(), shape.end());

    std::vector<std::uint8_t> store = BlipEntry(picture, 0, true);
    AppendBlip(picture, store);

    auto twips = [](std::int64_t emu) {
        return static_cast<std::uint32_t>(
            std::clamp<std::int64_t>((emu + kEmuPerTwip / 2) / kEmuPerTwip, 1, kTwipsLimit));
    };
    const std::uint32_t twipsX = twips(shown.cx), twipsY = twips(shown.cy);
    const auto [goalX, mx] = GoalAndScale(picture.width, picture.dpiX, twipsX);
    const auto [goalY, my] = GoalAndScale(picture.height, picture.dpiY, twipsY);

    const std::uint32_t at = static_cast<std::uint32_t>(data.size());
    const std::uint32_t total = kHeaderSize + static_cast<std::uint32_t>(container.size() + store.size());
    Add32(data, total);
    Add16(data, kHeaderSize);
    Add16(data, kShapeMapping);
    data.resize(data.size() + 6 + 14, 0);  // no metafile extent; the shape header unused
    Add16(data, goalX);
    Add16(data, goalY);
    Add16(data, mx);
    Add16(data, my);
    data.resize(data.size() + 8 + 2 + 16 + 4, 0);  // no crop, no borders
    Add16(data, 0);                                // no properties
    data.insert(data.end(), container.begin(), container.end());
    data.insert(data.end(), store.begin(), store.end());
    return at;
}

std::uint32_t AddRootStream(std::vector<cfb::Entry>& entries, std::u16string_view name) {
    cfb::Entry e;
    e.name = name;
    e.type = cfb::EntryType::Stream;
    for (std::size_t k = 0; k < name.size() && k < 31; ++k) Put16(e.raw.data() + 2 * k, name[k]);
    Put16(e.raw.data() + 0x40, static_cast<std::uint16_t>(2 * (std::min<std::size_t>(name.size(), 31) + 1)));
    e.raw[0x42] = 2;
    const std::uint32_t index = static_cast<std::uint32_t>(entries.size());
    entries.push_back(e);

    // The root's children, found through their tree, the new one among them.
    std::vector<std::uint32_t> children{index};
    std::vector<bool> seen(entries.size(), false);
    std::vector<std::uint32_t> pending{entries[0].child};
    while (!pending.empty()) {
        const std::uint32_t i = pending.back();
        pending.pop_back();
        if (i >= index || seen[i]) continue;
        seen[i] = true;
        children.push_back(i);
        pending.push_back(entries[i].left);
        pending.push_back(entries[i].right);
    }
    // Ordered as the format orders siblings: shorter names first, then by upper-case letters.
    auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
    std::sort(children.begin(), children.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::u16string& x = entries[a].name;
        const std::u16string& y = entries[b].name;
        if (x.size() != y.size()) return x.size() < y.size();
        for (std::size_t k = 0; k < x.size(); ++k)
            if (upper(x[k]) != upper(y[k])) return upper(x[k]) < upper(y[k]);
        return false;
    });
    // A balanced tree: every missing child lies on the deepest level or the one above it, so
    // colouring the deepest level red and the rest black keeps every path's count of black equal.
    int deepest = 0;
    std::function<int(std::size_t, std::size_t, int)> depth = [&](std::size_t lo, std::size_t hi, int d) {
        if (lo >= hi) return d - 1;
        const std::size_t mid = lo + (hi - lo) / 2;
        return std::max(depth(lo, mid, d + 1), depth(mid + 1, hi, d + 1));
    };
    deepest = depth(0, children.size(), 0);
    std::function<std::uint32_t(std::size_t, std::size_t, int)> build = [&](std::size_t lo, std::size_t hi,
                                                                            int d) -> std::uint32_t {
        if (lo >= hi) return cfb::kNoEntry;
        const std::size_t mid = lo + (hi - lo) / 2;
        cfb::Entry& node = entries[children[mid]];
        const std::uint32_t left = build(lo, mid, d + 1), right = build(mid + 1, hi, d + 1);
        node.left = left;
        node.right = right;
        Put32(node.raw.data() + 0x44, left);
        Put32(node.raw.data() + 0x48, right);
        node.raw[0x43] = d == deepest && d > 0 ? 0 : 1;
        return children[mid];
    };
    const std::uint32_t top = build(0, children.size(), 0);
    entries[0].child = top;
    Put32(entries[0].raw.data() + 0x4C, top);
    Put32(entries[index].raw.data() + 0x4C, cfb::kNoEntry);
    return index;
}

}  // namespace qm::engine::doc
