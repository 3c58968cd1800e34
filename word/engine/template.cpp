#include "word/engine/template.h"

#include <algorithm>
#include <unordered_map>

#include "common/fs.h"
#include "word/engine/doc_template.h"
#include "word/engine/docx_template.h"

namespace qm::engine {

std::vector<std::string> Template::VisibleNames() const {
    std::vector<std::string> names;
    for (const BookmarkInfo& b : bookmarks())
        if (!b.hidden) names.push_back(b.name);
    return names;
}

const BookmarkInfo* Template::Find(std::string_view name) const {
    if (!byName_.empty()) {
        const auto it = byName_.find(name);
        return it == byName_.end() ? nullptr : &bookmarks()[it->second];
    }
    for (const BookmarkInfo& b : bookmarks())
        if (b.name == name) return &b;
    return nullptr;
}

void Template::IndexNames() {
    byName_.clear();
    const std::vector<BookmarkInfo>& all = bookmarks();
    for (std::size_t i = 0; i < all.size(); ++i) byName_.try_emplace(all[i].name, i);
}

namespace {

// `value` without surrounding spaces (ASCII, ideographic) and with ASCII letters in lower case.
std::string Folded(std::string_view value) {
    auto space = [](std::string_view v, bool front) {
        const std::string_view ideographic = "\xE3\x80\x80";
        if (v.empty()) return std::size_t{0};
        const char c = front ? v.front() : v.back();
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\xA0')
            return std::size_t{1};
        if (front ? v.starts_with(ideographic) : v.ends_with(ideographic)) return ideographic.size();
        if (front ? v.starts_with("\xC2\xA0") : v.ends_with("\xC2\xA0")) return std::size_t{2};
        return std::size_t{0};
    };
    for (std::size_t n; (n = space(value, true)) != 0;) value.remove_prefix(n);
    for (std::size_t n; (n = space(value, false)) != 0;) value.remove_suffix(n);
    std::string out(value);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string JoinQuoted(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

}  // namespace

std::optional<bool> CheckBoxState(std::string_view value) {
    static const char* const kOn[] = {"1", "\xE6\x98\xAF", "\xE2\x88\x9A", "\xE2\x98\x91", "true", "yes",
                                      "on"};
    static const char* const kOff[] = {"", "0", "\xE5\x90\xA6", "\xE2\x98\x90", "false", "no", "off"};
    const std::string v = Folded(value);
    for (const char* on : kOn)
        if (v == on) return true;
    for (const char* off : kOff)
        if (v == off) return false;
    return std::nullopt;
}

int DropDownEntry(const std::vector<std::string>& entries, std::string_view value) {
    const std::string v = Folded(value);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (Folded(entries[i]) == v) return static_cast<int>(i);
    return -1;
}

void SetWithin(const std::vector<Place>& places, std::vector<BookmarkInfo>& infos) {
    // Sorted by group and start, an outer range comes before what it holds.
    std::vector<std::size_t> order(places.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const Place& x = places[a];
        const Place& y = places[b];
        if (x.group != y.group) return x.group < y.group;
        if (x.begin != y.begin) return x.begin < y.begin;
        if (x.end != y.end) return x.end > y.end;
        return a < b;
    });
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t a = order[k];
        const Place& outer = places[a];
        if (!outer.fillable) continue;
        for (std::size_t m = k + 1; m < order.size(); ++m) {
            const std::size_t b = order[m];
            const Place& inner = places[b];
            if (inner.group != outer.group || inner.begin > outer.end) break;
            const bool same = inner.begin == outer.begin && inner.end == outer.end;
            const bool inside =
                inner.end <= outer.end &&
                !(inner.begin == inner.end && inner.begin == outer.end && outer.begin != outer.end);
            if ((same && a < b) || (!same && inside)) infos[b].within.push_back(a);
        }
    }
}

Template::FillPlan Template::Plan(std::span<const Fill> fills) const {
    const std::vector<BookmarkInfo>& all = bookmarks();
    FillPlan plan;
    plan.values.assign(all.size(), nullptr);
    plan.after.assign(all.size(), kOwn);
    plan.before.assign(all.size(), kOwn);
    // The last value of each named bookmark, and where it stands among the fills.
    std::unordered_map<std::string_view, std::size_t> index;
    for (std::size_t i = 0; i < all.size(); ++i) index.try_emplace(all[i].name, i);
    std::vector<std::size_t> order(all.size(), 0);
    for (std::size_t k = 0; k < fills.size(); ++k) {
        const auto it = index.find(fills[k].name);
        if (it == index.end() || all[it->second].hidden) continue;
        plan.values[it->second] = &fills[k];
        order[it->second] = k;
    }
    // Whose value replaces a range: a text bookmark filled and not refused.
    auto replaces = [&](std::size_t i) {
        return plan.values[i] && all[i].refusal.empty() && all[i].kind == BookmarkKind::Text;
    };
    std::vector<std::pair<std::size_t, Skip>> skips;
    std::vector<bool> skipped(all.size(), false);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const BookmarkInfo& b = all[i];
        if (!plan.values[i]) continue;
        const std::string& value = plan.values[i]->value;
        auto skip = [&](Skip s) {
            skips.emplace_back(i, std::move(s));
            skipped[i] = true;
        };
        if (!b.refusal.empty()) {
            skip({b.name, b.refusal, Skip::Cause::Refused, {}});
            continue;
        }
        const auto outer = std::find_if(b.within.begin(), b.within.end(),
                                        [&](std::size_t k) { return k < all.size() && replaces(k); });
        if (outer != b.within.end()) {
            skip({b.name, "lies inside bookmark " + all[*outer].name + ", whose value replaces it",
                  Skip::Cause::Inside, all[*outer].name});
        } else if (b.kind == BookmarkKind::CheckBox && !CheckBoxState(value)) {
            skip({b.name,
                  "a check box takes 1, \xE6\x98\xAF, \xE2\x88\x9A, \xE2\x98\x91, true, yes or on to check "
                  "it, "
                  "and 0, \xE5\x90\xA6, \xE2\x98\x90, false, no, off or nothing to clear it",
                  Skip::Cause::NoState,
                  {}});
        } else if (b.kind == BookmarkKind::DropDown && DropDownEntry(b.entries, value) < 0) {
            skip({b.name,
                  "a drop-down takes one of its entries: " + JoinQuoted(b.entries),
                  Skip::Cause::NoEntry,
                  {}});
        }
    }
    for (std::size_t i = 0; i < all.size(); ++i)
        if (skipped[i]) plan.values[i] = nullptr;

    // Overlapping bookmarks, in the order of the fills: each takes what remains of its range
    // after those filled before it.
    std::vector<std::size_t> filled;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (replaces(i) && (!all[i].overlapsBefore.empty() || !all[i].overlapsAfter.empty()))
            filled.push_back(i);
    std::sort(filled.begin(), filled.end(),
              [&](std::size_t x, std::size_t y) { return order[x] < order[y]; });
    auto earlier = [&](std::size_t other, std::size_t i) {
        return other < all.size() && replaces(other) && order[other] < order[i];
    };
    for (std::size_t i : filled) {
        const BookmarkInfo& b = all[i];
        std::size_t after = kOwn, before = kOwn;
        for (auto it = b.overlapsBefore.rbegin(); it != b.overlapsBefore.rend() && after == kOwn; ++it)
            if (earlier(*it, i)) after = *it;
        for (auto it = b.overlapsAfter.begin(); it != b.overlapsAfter.end() && before == kOwn; ++it)
            if (earlier(*it, i)) before = *it;
        if (after == kOwn && before == kOwn) continue;
        if (std::string why = RemainderRefusal(i, after, before); !why.empty()) {
            skips.emplace_back(i, Skip{b.name, std::move(why), Skip::Cause::Refused, {}});
            plan.values[i] = nullptr;
            continue;
        }
        plan.after[i] = after;
        plan.before[i] = before;
        for (std::size_t other : {after, before})
            if (other != kOwn) plan.notes.push_back({b.name, Note::Cause::Overlap, all[other].name, 0});
    }
    // Form text fields given more than they take: the value is written whole all the same.
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!replaces(i) || all[i].maxLength == 0 || plan.values[i]->picture) continue;
        const std::string& value = plan.values[i]->value;
        const std::size_t characters =
            static_cast<std::size_t>(std::count_if(value.begin(), value.end(), [](char c) {
                return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            }));
        if (characters > all[i].maxLength)
            plan.notes.push_back({all[i].name, Note::Cause::TooLong, {}, all[i].maxLength});
    }
    std::stable_sort(skips.begin(), skips.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    for (auto& [i, skip] : skips) plan.skips.push_back(std::move(skip));
    std::stable_sort(plan.notes.begin(), plan.notes.end(),
                     [&](const Note& x, const Note& y) { return index.at(x.name) < index.at(y.name); });
    return plan;
}

std::vector<Skip> Template::Skips(std::span<const Fill> fills) const {
    return Plan(fills).skips;
}

std::vector<Note> Template::Notes(std::span<const Fill> fills) const {
    return Plan(fills).notes;
}

std::string Template::RemainderRefusal(std::size_t index, std::size_t after, std::size_t before) const {
    const std::vector<BookmarkInfo>& all = bookmarks();
    (void)index;
    return "overlaps bookmark " + all[after != kOwn ? after : before].name;
}

namespace {

bool IsCompoundFile(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return bytes.size() >= 8 && std::equal(bytes.begin(), bytes.begin() + 8, kSignature);
}

bool IsZip(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' && bytes[2] == 3 && bytes[3] == 4;
}

}  // namespace

OpenResult OpenTemplate(std::span<const std::uint8_t> bytes) {
    try {
        if (IsCompoundFile(bytes)) return OpenDocTemplate(bytes);
        if (IsZip(bytes)) return OpenDocxTemplate(bytes);
        return {nullptr, "not a Word document (.doc or .docx)"};
    } catch (...) {
        return {nullptr, "the file could not be read"};
    }
}

OpenResult OpenTemplateFile(std::string_view path) {
    try {
        const WholeFile file = ReadWholeFile(path, kNoFileLimit);
        if (!file) return {nullptr, "the file cannot be read"};
        return OpenTemplate(file.bytes);
    } catch (...) {
        return {nullptr, "the file cannot be read"};
    }
}

bool VerifyContainer(std::span<const std::uint8_t> bytes, Format format, ContainerCheck check) {
    try {
        if (format == Format::Doc) return VerifyDocContainer(bytes);
        return check == ContainerCheck::Whole ? VerifyDocxContainer(bytes) : VerifyDocxStructure(bytes);
    } catch (...) {
        return false;
    }
}

}  // namespace qm::engine
