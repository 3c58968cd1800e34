#include "word/engine/doc_form.h"

#include <algorithm>

#include "common/cfb/compound_file.h"
#include "common/text.h"

namespace qm::engine {

namespace doc {

namespace {

constexpr std::uint8_t kFormCheckBox = 71, kFormDropDown = 83;
constexpr std::uint16_t kSprmData = 0x0806, kSprmDataLocation = 0x6A03;
constexpr std::size_t kDataHeader = 0x44;  // the picture header before a field's data
constexpr unsigned kUseDefault = 25;       // a stored state that stands for the default
constexpr unsigned kStateShift = 2, kStateMask = 0x1F;
constexpr std::uint32_t kCodeLength = 256;

// Reads the field data bytes in order; every read checks that the bytes are there.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool U16(std::uint16_t& v) {
        if (at_ + 2 > bytes_.size()) return false;
        v = qm::U16(bytes_.data() + at_);
        at_ += 2;
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (at_ + 4 > bytes_.size()) return false;
        v = qm::U32(bytes_.data() + at_);
        at_ += 4;
        return true;
    }
    // UTF-16 text of `n` characters.
    bool Text(std::size_t n, std::string& out) {
        if (at_ + 2 * n > bytes_.size()) return false;
        std::u16string text(n, u'\0');
        for (std::size_t k = 0; k < n; ++k)
            text[k] = static_cast<char16_t>(qm::U16(bytes_.data() + at_ + 2 * k));
        at_ += 2 * n;
        out = qm::Utf16ToUtf8(text);
        return true;
    }
    // A counted string followed by a terminating zero.
    bool String(std::string& out) {
        std::uint16_t n, end;
        return U16(n) && Text(n, out) && U16(end);
    }
    bool Skip(std::size_t n) {
        if (at_ + n > bytes_.size()) return false;
        at_ += n;
        return true;
    }
    std::size_t at() const { return at_; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// The place in the Data stream the character properties at `cp` point to, when they mark the
// character as one that carries field data.
std::optional<std::uint32_t> DataLocation(const DocFile& d, std::uint32_t cp) {
    const std::optional<std::uint32_t> fc = d.FcAt(cp);
    if (!fc) return std::nullopt;
    const std::vector<std::uint8_t> chpx = d.Chpx(*fc);
    bool data = false;
    std::optional<std::uint32_t> location;
    ForEachSprm(chpx, [&](std::uint16_t sprm, std::span<const std::uint8_t> whole) {
        if (sprm == kSprmData && whole.size() >= 3) data = whole[2] != 0;
        if (sprm == kSprmDataLocation && whole.size() >= 6) location = qm::U32(whole.data() + 2);
    });
    if (!data) return std::nullopt;
    return location;
}

}  // namespace

int FormFieldData::State() const {
    const unsigned stored = (bits >> kStateShift) & kStateMask;
    const unsigned state = stored == kUseDefault ? defaultState : stored;
    if (kind == BookmarkKind::CheckBox) return state != 0 ? 1 : 0;
    return static_cast<int>(state);
}

std::uint32_t DataStreamIndex(const DocFile& d) {
    // The root storage's children form a tree through their left and right links.
    if (d.entries.empty()) return cfb::kNoEntry;
    std::vector<std::uint32_t> pending{d.entries[0].child};
    std::vector<bool> seen(d.entries.size(), false);
    while (!pending.empty()) {
        const std::uint32_t i = pending.back();
        pending.pop_back();
        if (i >= d.entries.size() || seen[i]) continue;
        seen[i] = true;
        const cfb::Entry& e = d.entries[i];
        if (e.type == cfb::EntryType::Stream && e.name == u"Data") return i;
        pending.push_back(e.left);
        pending.push_back(e.right);
    }
    return cfb::kNoEntry;
}

std::string ReadFormField(const DocFile& d, std::uint32_t begin, std::uint32_t codeEnd,
                          std::uint8_t fieldType, FormFieldData& out) {
    out = FormFieldData{};
    const bool checkBox = fieldType == kFormCheckBox;
    if (!checkBox && fieldType != kFormDropDown) return "not a check box or drop-down";
    const char* what = checkBox ? "a check box form field" : "a drop-down form field";
    const std::uint32_t dataIndex = DataStreamIndex(d);
    if (dataIndex == cfb::kNoEntry) return std::string(what) + " whose data is missing";
    const std::vector<std::uint8_t>& data = d.streams[dataIndex];
    // The field data hangs on a special character in the field's code, which holds no more than a
    // keyword and that character: a damaged field's code is not read far.
    std::optional<std::uint32_t> location;
    const std::uint32_t last =
        codeEnd <= begin ? begin
                         : static_cast<std::uint32_t>(std::min<std::uint64_t>(codeEnd, begin + kCodeLength));
    for (std::uint32_t cp = begin; cp < last && !location; ++cp)
        if (cp == begin || d.CharAt(cp) == 0x01) location = DataLocation(d, cp);
    auto damaged = [&] { return std::string(what) + " whose data is damaged"; };
    if (!location || static_cast<std::uint64_t>(*location) + 6 > data.size()) return damaged();
    const std::uint32_t size = qm::U32(data.data() + *location);
    const std::uint16_t header = qm::U16(data.data() + *location + 4);
    if (header != kDataHeader || size < kDataHeader ||
        static_cast<std::uint64_t>(*location) + size > data.size())
        return damaged();
    const std::size_t start = *location + kDataHeader;
    Reader r(std::span<const std::uint8_t>(data).subspan(start, size - kDataHeader));
    std::uint32_t version;
    std::uint16_t bits, maxLength, checkBoxSize;
    if (!r.U32(version) || version != 0xFFFFFFFFu || !r.U16(bits)) return damaged();
    out.bitsAt = start + 4;
    out.bits = bits;
    const unsigned type = bits & 3;
    if (type != (checkBox ? 1u : 2u)) return damaged();
    out.kind = checkBox ? BookmarkKind::CheckBox : BookmarkKind::DropDown;
    std::uint16_t defaultState;
    if (!r.U16(maxLength) || !r.U16(checkBoxSize) || !r.String(out.name) || !r.U16(defaultState))
        return damaged();
    out.defaultState = defaultState;
    std::string ignored;
    // Format, help text, status bar text, entry and exit macros.
    for (int k = 0; k < 5; ++k)
        if (!r.String(ignored)) return damaged();
    if (!checkBox) {
        std::uint16_t extended, count, extra;
        // The entries are always stored as UTF-16, which the first number says.
        if (!r.U16(extended) || extended != 0xFFFF || !r.U16(count) || !r.U16(extra)) return damaged();
        for (std::uint16_t k = 0; k < count; ++k) {
            std::string entry;
            std::uint16_t n;
            if (!r.U16(n) || !r.Text(n, entry) || !r.Skip(extra)) return damaged();
            out.entries.push_back(std::move(entry));
        }
        // The state is five bits, and one value of them stands for the default.
        if (out.entries.size() > kUseDefault) return damaged();
        if (out.entries.empty()) return "a drop-down form field without entries";
    }
    return {};
}

std::optional<unsigned> FormFieldState(const FormFieldData& field, std::string_view value) {
    if (field.kind == BookmarkKind::CheckBox) {
        const std::optional<bool> on = CheckBoxState(value);
        if (!on) return std::nullopt;
        return *on ? 1u : 0u;
    }
    if (field.kind == BookmarkKind::DropDown) {
        const int entry = DropDownEntry(field.entries, value);
        if (entry < 0) return std::nullopt;
        return static_cast<unsigned>(entry);
    }
    return std::nullopt;
}

void SetFormFieldState(std::vector<std::uint8_t>& data, const FormFieldData& field, unsigned state) {
    if (field.bitsAt + 2 > data.size()) return;
    const std::uint16_t bits = static_cast<std::uint16_t>((field.bits & ~(kStateMask << kStateShift)) |
                                                          (state & kStateMask) << kStateShift);
    qm::Put16(data.data() + field.bitsAt, bits);
}

}  // namespace doc

bool ReadDocFormFields(std::span<const std::uint8_t> bytes, std::vector<DocFormField>& out,
                       std::string& error) {
    out.clear();
    doc::DocFile d;
    if (!d.Parse(bytes, error)) return false;
    for (const auto& [table, story] :
         {std::pair{doc::kPlcfFldMom, doc::Story::Main}, std::pair{doc::kPlcfFldHdr, doc::Story::Header}}) {
        const std::span<const std::uint8_t> marks = d.TableBytes(table);
        if (marks.empty()) continue;
        doc::Plc plc;
        if (!doc::ReadPlc(marks, 2, plc)) {
            error = "the field table does not read";
            return false;
        }
        const std::uint32_t start = d.StoryStart(story);
        // Where each field's code ends: at its separator, or at its end without one. One pass
        // with the open fields on a stack, so that damaged tables cost no more than whole ones.
        std::vector<std::uint32_t> codeEnd(plc.count(), 0);
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < plc.count(); ++i) {
            const int ch = plc.data[2 * i] & 0x1F;
            if (ch == 0x13) {
                open.push_back(i);
            } else if (!open.empty() && (ch == 0x14 || ch == 0x15)) {
                if (codeEnd[open.back()] == 0) codeEnd[open.back()] = start + plc.cp[i];
                if (ch == 0x15) open.pop_back();
            }
        }
        for (std::size_t i = 0; i < plc.count(); ++i) {
            const std::uint8_t type = plc.data[2 * i + 1];
            if ((plc.data[2 * i] & 0x1F) != 0x13 ||
                (type != doc::kFormCheckBox && type != doc::kFormDropDown))
                continue;
            doc::FormFieldData field;
            const std::string why = doc::ReadFormField(d, start + plc.cp[i], codeEnd[i], type, field);
            if (!why.empty() && field.kind == BookmarkKind::Text) {
                error = why;
                return false;
            }
            out.push_back({field.name, field.kind, field.entries, field.State()});
        }
    }
    return true;
}

}  // namespace qm::engine
