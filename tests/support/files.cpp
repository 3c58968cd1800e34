#include "tests/support/files.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace qm::test {

namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) return false;
    return std::equal(
        end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()), [](char a, char b) {
            const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
            return lower(a) == lower(b);
        });
}

bool Write(const fs::path& path, const char* data, std::size_t size) {
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteBytes(const fs::path& path, const Bytes& bytes) {
    return Write(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool WriteText(const fs::path& path, std::string_view text) {
    return Write(path, text.data(), text.size());
}

std::vector<std::string> EntryNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FilesIn(const fs::path& folder, std::string_view extension) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        if (EndsWithIgnoringCase(it->path().filename().string(), extension))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool CopyWithDamagedFirstEntry(const std::filesystem::path& from, const std::filesystem::path& to) {
    Bytes bytes = ReadBytes(from);
    if (bytes.size() < 64 || bytes[0] != 'P' || bytes[1] != 'K' || bytes[2] != 3 || bytes[3] != 4)
        return false;
    const std::size_t nameLength = bytes[26] | (bytes[27] << 8);
    const std::size_t extraLength = bytes[28] | (bytes[29] << 8);
    const std::size_t data = 30 + nameLength + extraLength;
    if (data + 8 > bytes.size()) return false;
    for (std::size_t i = 2; i < 6; ++i) bytes[data + i] ^= 0xFF;
    return WriteBytes(to, bytes);
}

}  // namespace qm::test
