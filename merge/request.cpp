#include "merge/request.h"

#include "common/fs.h"
#include "common/text.h"

namespace qm {

std::string ReadRowRange(int modeIndex, std::string_view startText, std::string_view endText,
                         int recordsPerPage) {
    if (modeIndex == 0) {
        std::string range(startText);
        range += ' ';
        range += endText;
        return range;
    }
    if (modeIndex == 1) {
        const double p1 = TextToNumber(startText);
        const double p2 = TextToNumber(endText);
        const int start = TruncToInt((p1 - 1) * recordsPerPage + 1);
        const int end = TruncToInt(p2 * recordsPerPage);
        return IntToText(start) + " " + IntToText(end);
    }
    return {};
}

bool SplitRowRange(std::string_view range, std::string& startText, std::string& endText) {
    const std::vector<std::string> parts = SplitText(range, " ");
    if (parts.size() != 2) return false;
    startText = parts[0];
    endText = parts[1];
    return true;
}

std::string ProposedOutputFolder(std::string_view programFolder, std::string_view templateItem) {
    std::string folder(programFolder);
    folder += "/用户文档/";
    folder += StripExtension(templateItem);
    folder += '/';
    return folder;
}

DialogStart DialogStartFor(std::string_view folder, std::string_view name) {
    std::string existing(folder);
    std::string missing;
    while (!existing.empty() && !DirectoryExists(existing)) {
        std::string_view rest(existing);
        while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
        const std::size_t slash = rest.rfind('/');
        // A relative path that names no folder at all: the dialog starts where it starts.
        if (slash == std::string_view::npos) return {std::string(folder), std::string(name)};
        missing = std::string(rest.substr(slash + 1)) + "/" + missing;
        existing = std::string(rest.substr(0, slash + 1));
    }
    return {existing, missing + std::string(name)};
}

std::string FolderToRemember(std::string_view chosenFolder, std::string_view templateBase) {
    std::string folder(chosenFolder);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos || folder.substr(slash + 1) != templateBase)
        return folder == "/" ? folder : folder + "/";
    return slash == 0 ? std::string("/") : folder.substr(0, slash + 1);
}

}  // namespace qm
