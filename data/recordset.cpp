#include "data/recordset.h"

#include "data/cursor.h"
#include "data/model/workbook.h"
#include "data/names.h"
#include "data/providers.h"
#include "data/workbook_cache.h"
#include "data/workbook_file.h"

namespace qm::data {
namespace {

// Every member keeps the calling rules: whatever goes wrong inside, the caller gets the empty
// value of the member's type.
template <typename Result, typename Body>
Result Guarded(Result empty, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return empty;
    }
}

constexpr int kLockReadOnly = 1;

}  // namespace

Recordset::Recordset(WorkbookCache* cache) : cache_(cache) {}

Recordset::~Recordset() = default;

bool Recordset::open(std::string_view sql, std::string_view connection, int lockType) {
    close();
    return Guarded(false, [&] {
        const ConnectionTarget target = ParseConnection(connection);
        switch (target.kind) {
            case ConnectionTarget::Workbook: {
                std::shared_ptr<const xls::Workbook> workbook =
                    cache_ ? cache_->get(target.file) : LoadWorkbook(target.file).workbook;
                cursor_ = OpenWorkbookQuery(std::move(workbook), sql, style_);
                return cursor_ != nullptr;
            }
            case ConnectionTarget::Database: {
                DatabaseResult result =
                    RunDatabaseStatement(target.file, target.readOnly, sql, lockType != kLockReadOnly);
                cursor_ = std::move(result.cursor);
                return result.ran;
            }
            case ConnectionTarget::None:
                break;
        }
        return false;
    });
}

bool Recordset::isOpen() const {
    return cursor_ != nullptr;
}

// A pending edit is dropped, not stored: only update() stores.
void Recordset::close() {
    cursor_.reset();
}

long long Recordset::recordCount() const {
    return Guarded(0LL, [&] { return cursor_ ? cursor_->recordCount() : 0LL; });
}

void Recordset::setPageSize(long long rows) {
    Guarded(0, [&] {
        if (cursor_) cursor_->setPageSize(rows);
        return 0;
    });
}

bool Recordset::setAbsolutePage(long long page) {
    return Guarded(false, [&] { return cursor_ && cursor_->setAbsolutePage(page); });
}

long long Recordset::pageCount() const {
    return Guarded(0LL, [&] { return cursor_ ? cursor_->pageCount() : 0LL; });
}

bool Recordset::eof() const {
    return Guarded(false, [&] { return cursor_ && cursor_->eof(); });
}

bool Recordset::moveNext() {
    return Guarded(false, [&] { return cursor_ && cursor_->moveNext(); });
}

bool Recordset::move(double rows) {
    return Guarded(false, [&] { return cursor_ && cursor_->move(rows); });
}

int Recordset::fieldCount() const {
    return Guarded(0, [&] { return cursor_ ? cursor_->fieldCount() : 0; });
}

std::string Recordset::fieldName(int index) const {
    return Guarded(std::string(), [&] { return cursor_ ? cursor_->fieldName(index) : std::string(); });
}

std::string Recordset::fieldValue(std::string_view name) const {
    return Guarded(std::string(),
                   [&] { return cursor_ ? cursor_->fieldValue(cursor_->fieldIndex(name)) : std::string(); });
}

std::string Recordset::fieldValue(int index) const {
    return Guarded(std::string(), [&] { return cursor_ ? cursor_->fieldValue(index) : std::string(); });
}

bool Recordset::setFieldValue(std::string_view name, std::string_view value) {
    return Guarded(false,
                   [&] { return cursor_ && cursor_->setFieldValue(cursor_->fieldIndex(name), value); });
}

bool Recordset::addNew() {
    return Guarded(false, [&] { return cursor_ && cursor_->addNew(); });
}

bool Recordset::update() {
    return Guarded(false, [&] { return cursor_ && cursor_->update(); });
}

}  // namespace qm::data
