#pragma once
// File-system helpers. Paths are UTF-8 with "/" as separator. None of these throws.

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Folder of the running executable (/proc/self/exe), without a trailing "/".
// An executable in "/" gives "".
std::string ExecutableFolder();

// Bare names of the regular files in `folder` whose name ends with `extension` (for example
// ".xls"), compared without regard to letter case, sorted by name. A missing folder gives none.
std::vector<std::string> ListFiles(std::string_view folder, std::string_view extension);

// True when `path` names an existing regular file (not a directory).
bool FileExists(std::string_view path);
// True when `path` names an existing directory.
bool DirectoryExists(std::string_view path);
// Creates one folder level; true when it exists afterwards.
bool MakeDirectory(std::string_view path);
// Removes `path` only when it is an empty directory; true when it was removed.
bool RemoveEmptyDirectory(std::string_view path);

}  // namespace qm
