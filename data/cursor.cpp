#include "data/cursor.h"

#include <algorithm>
#include <cmath>

#include "data/names.h"

namespace qm::data {

Cursor::Cursor(std::unique_ptr<Table> table, bool writable) : table_(std::move(table)), writable_(writable) {}

long long Cursor::recordCount() const {
    return table_->rowCount();
}

void Cursor::setPageSize(long long rows) {
    if (rows > 0) pageSize_ = rows;
}

long long Cursor::pageCount() const {
    const long long n = recordCount();
    return n / pageSize_ + (n % pageSize_ != 0 ? 1 : 0);
}

bool Cursor::setAbsolutePage(long long page) {
    if (page < 1 || page > pageCount()) return false;
    storePending();
    position_ = (page - 1) * pageSize_;
    return true;
}

bool Cursor::eof() const {
    // A row being added is the current row, so the cursor is not past the end meanwhile.
    if (edit_ && edit_->isNew) return false;
    return position_ >= recordCount();
}

bool Cursor::moveNext() {
    storePending();
    if (position_ >= recordCount()) return false;
    ++position_;
    return true;
}

bool Cursor::move(double rows) {
    if (!std::isfinite(rows)) return false;
    const double target = std::trunc(rows) + static_cast<double>(position_);
    if (target < 0) return false;
    storePending();
    const long long n = recordCount();
    position_ = target >= static_cast<double>(n) ? n : static_cast<long long>(target);
    return true;
}

bool Cursor::seek(long long position) {
    if (position < 0) return false;
    storePending();
    position_ = std::min(position, recordCount());
    return true;
}

std::string Cursor::valueAt(long long row, int index) const {
    if (index < 0 || index >= fieldCount() || row < 0 || row >= recordCount()) return {};
    return table_->value(row, index);
}

int Cursor::fieldCount() const {
    return table_->fieldCount();
}

std::string Cursor::fieldName(int index) const {
    if (index < 0 || index >= fieldCount()) return {};
    return table_->fieldName(index);
}

int Cursor::fieldIndex(std::string_view name) const {
    const int n = fieldCount();
    for (int i = 0; i < n; ++i)
        if (table_->fieldName(i) == name) return i;
    for (int i = 0; i < n; ++i)
        if (EqualsIgnoringAsciiCase(table_->fieldName(i), name)) return i;
    return -1;
}

std::string Cursor::fieldValue(int index) const {
    if (index < 0 || index >= fieldCount()) return {};
    if (edit_) {
        auto it = edit_->values.find(index);
        if (it != edit_->values.end()) return it->second;
        if (edit_->isNew) return {};
    }
    if (position_ >= recordCount()) return {};
    return table_->value(position_, index);
}

bool Cursor::setFieldValue(int index, std::string_view value) {
    if (!writable_ || index < 0 || index >= fieldCount() || !table_->canWrite(index)) return false;
    if (!edit_) {
        if (position_ >= recordCount()) return false;
        edit_ = Edit{};  // not emplace(): clang does not yet see Edit as default-constructible there
    }
    edit_->values[index] = std::string(value);
    return true;
}

bool Cursor::addNew() {
    if (!writable_) return false;
    storePending();
    edit_ = Edit{};
    edit_->isNew = true;
    return true;
}

bool Cursor::update() {
    return storePending();
}

// Stores and ends the pending edit; true when there was nothing to store. A store that fails
// drops the edit, so the cursor never stays stuck in a half-done change.
bool Cursor::storePending() {
    if (!edit_) return true;
    Edit edit = std::move(*edit_);
    edit_.reset();
    const long long row = edit.isNew ? recordCount() : position_;
    if (!table_->store(row, edit.values)) return false;
    if (edit.isNew) position_ = row;
    return true;
}

namespace {

class SubsetTable : public Table {
  public:
    SubsetTable(std::shared_ptr<const Cursor> all, std::vector<long long> rows)
        : all_(std::move(all)), rows_(std::move(rows)) {}
    long long rowCount() const override { return static_cast<long long>(rows_.size()); }
    int fieldCount() const override { return all_->fieldCount(); }
    std::string fieldName(int field) const override { return all_->fieldName(field); }
    std::string value(long long row, int field) const override {
        return all_->valueAt(rows_[static_cast<std::size_t>(row)], field);
    }
    long long sourceRow(long long row) const override {
        return all_->sheetRow(rows_[static_cast<std::size_t>(row)]);
    }

  private:
    std::shared_ptr<const Cursor> all_;
    std::vector<long long> rows_;
};

}  // namespace

std::unique_ptr<Cursor> RowSubset(std::shared_ptr<const Cursor> all, std::vector<long long> rows) {
    return std::make_unique<Cursor>(std::make_unique<SubsetTable>(std::move(all), std::move(rows)), false);
}

}  // namespace qm::data
