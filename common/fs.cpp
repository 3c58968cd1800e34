#include "common/fs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace qm {

namespace {
fs::path ToPath(std::string_view p) { return fs::path(std::u8string(p.begin(), p.end())); }

bool EndsWithNoCase(std::string_view name, std::string_view ext) {
    if (name.size() < ext.size()) return false;
    return std::equal(ext.begin(), ext.end(), name.end() - ext.size(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}
}  // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    std::string folder = exe.parent_path().string();
    if (folder == "/") return {};
    return folder;
}

std::vector<std::string> ListFiles(std::string_view folder, std::string_view extension) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(ToPath(folder), ec);
    if (ec) return names;
    // Stepped with an error code: a read error part-way ends the listing instead of throwing.
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            std::string name = it->path().filename().string();
            if (EndsWithNoCase(name, extension)) names.push_back(std::move(name));
        }
        if (ec) break;
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool FileExists(std::string_view path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(ToPath(path), ec);
}

bool DirectoryExists(std::string_view path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(ToPath(path), ec);
}

bool MakeDirectory(std::string_view path) {
    std::error_code ec;
    fs::create_directory(ToPath(path), ec);
    return DirectoryExists(path);
}

bool RemoveEmptyDirectory(std::string_view path) {
    std::error_code ec;
    const fs::path p = ToPath(path);
    if (!fs::is_directory(p, ec) || !fs::is_empty(p, ec)) return false;
    return fs::remove(p, ec);
}

}  // namespace qm
