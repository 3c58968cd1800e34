#pragma once
// Entry names of zip archives that must not be trusted.

#include <string_view>

namespace qm {

// True for an entry name that is absolute ("/x", "C:x", "\\x") or climbs out of the archive's
// folder through a ".." part.
inline bool UnsafeEntryName(std::string_view name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

}  // namespace qm
