#pragma once
// Keeps parsed workbooks in memory while their file is unchanged, so the many opens of a
// page-by-page browse parse a workbook once. Owned by start-up and handed to the recordsets.

#include <memory>
#include <string>
#include <string_view>

#include "data/workbook_file.h"

namespace qm::xls {
struct Workbook;
}

namespace qm::data {

class WorkbookCache {
  public:
    WorkbookCache();
    ~WorkbookCache();
    WorkbookCache(const WorkbookCache&) = delete;
    WorkbookCache& operator=(const WorkbookCache&) = delete;

    // The parsed workbook at `path`; parsed again when the file's path, size or modification
    // time differ from the kept one. nullptr when the file is missing or unreadable.
    std::shared_ptr<const xls::Workbook> get(std::string_view path);
    // As get, with the reason when the file cannot be read (the failure itself is not kept, so
    // a repaired file is read again).
    WorkbookLoad load(std::string_view path);
    void clear();

    // How many times a sheet was opened through this cache: a run reads its sheet once.
    int sheetsOpened() const { return sheetsOpened_; }
    void countSheetOpened() { ++sheetsOpened_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int sheetsOpened_ = 0;
};

}  // namespace qm::data
