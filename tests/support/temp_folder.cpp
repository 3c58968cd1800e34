#include "tests/support/temp_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qm::test {

namespace {

// Gives the owner every right on the folders below `path`, so that remove_all can enter and
// empty folders a test made read-only.
void MakeRemovable(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec) || !fs::is_directory(path, ec)) return;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::directory_iterator it(path, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) MakeRemovable(it->path());
}

}  // namespace

TempFolder::TempFolder(std::string_view stem) {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / ("qm-" + std::string(stem) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder like " + pattern);
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (ec || fs::exists(path_, ec)) {
        MakeRemovable(path_);
        fs::remove_all(path_, ec);
    }
}

std::string TempFolder::operator/(std::string_view name) const {
    return path_ + "/" + std::string(name);
}

}  // namespace qm::test
