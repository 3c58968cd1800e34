// Sheet storage, number formats of a workbook and the display text of cells.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "data/format/calendar.h"
#include "data/model/sheet_impl.h"

namespace qm::xls {

bool StringPool::add(std::string_view text, std::uint32_t& index) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max() - bytes_.size()) return false;
    bytes_.append(text);
    return close(index);
}

NumberStyle StyleOf(const format::NumberFormat& format) {
    const format::NumberFormat::DateParts parts = format.dateParts();
    if (parts.day) return parts.time ? NumberStyle::DateTime : NumberStyle::Date;
    return parts.time ? NumberStyle::Time : NumberStyle::Plain;
}

FormatTable::FormatTable() {
    entries_.push_back(Entry{"General", NumberStyle::Plain, format::NumberFormat("General")});
}

std::uint16_t FormatTable::add(std::string_view code, format::NumberFormat shown, NumberStyle style) {
    if (code.empty() || code == "General") return 0;
    for (std::size_t i = 1; i < entries_.size(); ++i)
        if (entries_[i].code == code && entries_[i].style == style) return static_cast<std::uint16_t>(i);
    if (entries_.size() > std::numeric_limits<std::uint16_t>::max()) return 0;
    entries_.push_back(Entry{std::string(code), style, std::move(shown)});
    return static_cast<std::uint16_t>(entries_.size() - 1);
}

std::uint16_t FormatTable::add(std::string_view code) {
    if (code.empty() || code == "General") return 0;
    format::NumberFormat shown(code);
    const NumberStyle style = StyleOf(shown);
    return add(code, std::move(shown), style);
}

std::uint16_t FormatTable::addId(unsigned id, const std::string* stored) {
    const bool followsLanguage = id == 14 || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58);
    const std::string_view builtin = format::BuiltinFormatCode(id);
    const std::string_view code = builtin.empty() || (stored && !followsLanguage)
                                      ? (stored ? std::string_view(*stored) : std::string_view())
                                      : builtin;
    if (code.empty() || code == "General") return 0;
    format::NumberFormat shown(code);
    NumberStyle style = builtin.empty()   ? NumberStyle::Plain
                        : code == builtin ? StyleOf(shown)
                                          : StyleOf(format::NumberFormat(builtin));
    if (style == NumberStyle::Plain && stored)
        style = code == *stored ? StyleOf(shown) : StyleOf(format::NumberFormat(*stored));
    return add(code, std::move(shown), style);
}

namespace {
struct ErrorName {
    std::uint8_t code;
    std::string_view text;
};
constexpr ErrorName kErrors[] = {{0x00, "#NULL!"}, {0x07, "#DIV/0!"},      {0x0F, "#VALUE!"},
                                 {0x17, "#REF!"},  {0x1D, "#NAME?"},       {0x24, "#NUM!"},
                                 {0x2A, "#N/A"},   {0x2B, "#GETTING_DATA"}};
}  // namespace

std::string_view ErrorText(std::uint8_t code) {
    for (const ErrorName& e : kErrors)
        if (e.code == code) return e.text;
    return "";
}

std::uint8_t ErrorCode(std::string_view text) {
    for (const ErrorName& e : kErrors)
        if (e.text == text) return e.code;
    return 0x2A;
}

std::string FormatDateValue(double value, NumberStyle style, bool date1904) {
    // Serial 0 is 1899-12-30 in the 1900 system (day 60, the leap day 1900 never had, is not
    // reproduced) and 1904-01-01 in the 1904 system. Outside year 9999 a value stays a number.
    constexpr double kLastSerial = 2958466.0;
    if (style == NumberStyle::Plain || !(value >= 0) || value >= kLastSerial) return FormatNumber(value);
    const long long seconds = std::llround(value * 86400.0);
    const long long days = seconds / 86400;
    const long long secondOfDay = seconds % 86400;
    char buf[64];
    const unsigned hh = static_cast<unsigned>(secondOfDay / 3600),
                   mm = static_cast<unsigned>(secondOfDay / 60 % 60),
                   ss = static_cast<unsigned>(secondOfDay % 60);
    if (style == NumberStyle::Time && value < 1) {
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", hh, mm, ss);
        return buf;
    }
    long long y;
    unsigned m, d;
    format::CivilFromDays(days - format::SerialOfEpoch(date1904), y, m, d);
    if (style != NumberStyle::Date && secondOfDay != 0)
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02u:%02u:%02u", y, m, d, hh, mm, ss);
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
    return buf;
}

std::string Sheet::Impl::text(const CellSlot& cell) const {
    switch (cell.kind()) {
        case CellKind::Number: {
            const NumberStyle style = formats ? formats->style(cell.format) : NumberStyle::Plain;
            return style == NumberStyle::Plain ? FormatNumber(cell.number)
                                               : FormatDateValue(cell.number, style, date1904);
        }
        case CellKind::SharedText:
            return shared && cell.index < shared->size() ? std::string(shared->get(cell.index))
                                                         : std::string();
        case CellKind::OwnText:
            return cell.index < own.size() ? std::string(own.get(cell.index)) : std::string();
        case CellKind::Bool:
            return cell.flag ? "TRUE" : "FALSE";
        case CellKind::Error:
            return "";  // an error has no value to give
    }
    return "";
}

std::string Sheet::Impl::shownText(const CellSlot& cell) const {
    switch (cell.kind()) {
        case CellKind::Number:
            return formats ? formats->shown(cell.format).format(cell.number, date1904)
                           : FormatNumber(cell.number);
        case CellKind::SharedText:
        case CellKind::OwnText: {
            std::string plain = text(cell);
            return formats && cell.format != 0 ? formats->shown(cell.format).formatText(plain) : plain;
        }
        case CellKind::Bool:
            return cell.flag ? "TRUE" : "FALSE";
        case CellKind::Error:
            return std::string(ErrorText(cell.error));
    }
    return "";
}

namespace {
bool Before(const CellSlot& a, const CellSlot& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}
bool SamePlace(const CellSlot& a, const CellSlot& b) {
    return a.row == b.row && a.column == b.column;
}
}  // namespace

void Sheet::Impl::finish() {
    // Records normally come in row order; only sort when they do not. One pass finds both the
    // order and whether any value is empty, as the cells of a large sheet are too many to stay
    // in the cache between passes.
    bool ordered = true, anyEmpty = false;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0 && !Before(cells[i - 1], cells[i])) ordered = false;
        if (isEmpty(cells[i])) anyEmpty = true;
    }
    if (!ordered) {
        std::stable_sort(cells.begin(), cells.end(), Before);
        // Keep the last record written for a cell.
        std::size_t out = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i + 1 < cells.size() && SamePlace(cells[i], cells[i + 1])) continue;
            cells[out++] = cells[i];
        }
        cells.resize(out);
    }
    if (anyEmpty) std::erase_if(cells, [this](const CellSlot& c) { return isEmpty(c); });
    // Room beyond the cells of a large block was never written and takes no memory (see
    // LargeAllocator); a small block, or one whose cells were dropped, is made to fit.
    const bool large = cells.capacity() * sizeof(CellSlot) >= kLargeBlock;
    if (cells.capacity() > cells.size() + cells.size() / 4 && (!large || !ordered || anyEmpty))
        cells.shrink_to_fit();
    computeExtent();
}

void Sheet::Impl::computeExtent() {
    rows = cells.empty() ? 0 : cells.back().row + std::size_t{1};
    columns = 0;
    // A cell is found by its row's stretch of cells, so reading a whole sheet costs no search
    // over all of its cells.
    rowStarts.assign(rows + 1, 0);
    std::size_t row = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        columns = std::max<std::size_t>(columns, cells[i].column + std::size_t{1});
        while (row <= cells[i].row) rowStarts[row++] = static_cast<std::uint32_t>(i);
    }
    while (row <= rows) rowStarts[row++] = static_cast<std::uint32_t>(cells.size());
}

Sheet::Sheet() : impl_(std::make_unique<Impl>()) {}
Sheet::~Sheet() = default;
Sheet::Sheet(Sheet&&) noexcept = default;
Sheet& Sheet::operator=(Sheet&&) noexcept = default;

std::size_t Sheet::rowCount() const {
    return impl_ ? impl_->rows : 0;
}
std::size_t Sheet::columnCount() const {
    return impl_ ? impl_->columns : 0;
}

std::string Sheet::cell(std::size_t row, std::size_t column) const {
    const CellSlot* slot = find(row, column);
    return slot ? impl_->text(*slot) : std::string();
}

std::string Sheet::shownCell(std::size_t row, std::size_t column) const {
    const CellSlot* slot = find(row, column);
    return slot ? impl_->shownText(*slot) : std::string();
}

const CellSlot* Sheet::find(std::size_t row, std::size_t column) const {
    if (!impl_ || row >= impl_->rows || column >= impl_->columns) return nullptr;
    CellSlot key{};
    key.row = static_cast<std::uint32_t>(row);
    key.column = static_cast<std::uint16_t>(column);
    const auto& cells = impl_->cells;
    const auto begin = cells.begin() + impl_->rowStarts[row], end = cells.begin() + impl_->rowStarts[row + 1];
    auto it = std::lower_bound(begin, end, key, Before);
    if (it == end || !SamePlace(*it, key)) return nullptr;
    return &*it;
}

void Sheet::setText(std::size_t row, std::size_t column, std::string text) {
    if (row >= kMaxRows || column > std::numeric_limits<std::uint16_t>::max()) return;
    if (!impl_) impl_ = std::make_unique<Impl>();
    auto& cells = impl_->cells;
    CellSlot slot{};
    slot.row = static_cast<std::uint32_t>(row);
    slot.column = static_cast<std::uint16_t>(column);
    auto it = std::lower_bound(cells.begin(), cells.end(), slot, Before);
    const bool exists = it != cells.end() && SamePlace(*it, slot);
    if (text.empty()) {
        if (exists) {
            cells.erase(it);
            impl_->computeExtent();
        }
        return;
    }
    slot.setKind(CellKind::OwnText);
    if (!impl_->own.add(text, slot.index)) return;
    if (exists)
        *it = slot;
    else
        cells.insert(it, slot);
    impl_->computeExtent();
}

}  // namespace qm::xls
