#pragma once
// Reading and writing whole files and listing folders, for setting up and checking tests.
// Paths are the platform's byte strings (UTF-8 names work as they are).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

using Bytes = std::vector<std::uint8_t>;

// The whole file; empty when it is missing or cannot be read.
Bytes ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);

// Writes the file anew, making missing parent folders; false when it cannot be written.
bool WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
bool WriteText(const std::filesystem::path& path, std::string_view text);

// The names of everything in `folder` (files and folders, hidden ones too), sorted; empty
// when the folder is missing or cannot be read.
std::vector<std::string> EntryNames(const std::filesystem::path& folder);

// The full paths of the files in `folder` (not its folders) whose names end in `extension`,
// letter case ignored (files copied from Windows often end in ".XLS"); "" takes every file.
// Sorted; empty when the folder is missing.
std::vector<std::string> FilesIn(const std::filesystem::path& folder, std::string_view extension = "");

// Copies the zip archive `from` to `to` with a few bytes of its first entry's data flipped, so
// that the entry no longer matches its checksum; false when `from` is no zip.
bool CopyWithDamagedFirstEntry(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace qm::test
