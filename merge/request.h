#pragma once
// The parts of a merge request that need no window: the row range from the range controls
// and the proposed output folder.

#include <string>
#include <string_view>

namespace qm {

// From the selection mode index (0 by record, 1 by page) and the two range texts: "start end"
// as typed in mode 0, the computed record numbers in mode 1, "" for any other index.
std::string ReadRowRange(int modeIndex, std::string_view startText, std::string_view endText,
                         int recordsPerPage);

// Splits a ReadRowRange result at " "; false unless it gives exactly two parts.
bool SplitRowRange(std::string_view range, std::string& startText, std::string& endText);

// programFolder + "/用户文档/" + StripExtension(templateItem) + "/".
std::string ProposedOutputFolder(std::string_view programFolder, std::string_view templateItem);

// Where a save dialog that proposes `folder` + `name` opens without making any folder: the
// deepest folder of `folder` that exists (ending with "/"), and `name` behind the folders still
// missing ("名单/名单.doc"), so that the path the dialog gives back is the one proposed. The
// folders are made only once the user has confirmed the names (a cancelled dialog leaves
// nothing behind). `folder` ends with "/"; one that exists opens as it is.
struct DialogStart {
    std::string folder;
    std::string name;
};
DialogStart DialogStartFor(std::string_view folder, std::string_view name);

// The folder to remember after a save into `chosenFolder` (ending with "/") from the template
// whose base name is `templateBase`: its parent when the folder is named after the template,
// so that the next run proposes "<parent>/<template>/" again; the folder itself otherwise.
std::string FolderToRemember(std::string_view chosenFolder, std::string_view templateBase);

}  // namespace qm
