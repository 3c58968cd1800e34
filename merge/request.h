#pragma once
// The parts of a merge request that need no window: the row range from the range controls,
// the proposed output folder, and the confirmation text of a save request.

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

// The folder to remember after a save into `chosenFolder` (ending with "/") from the template
// whose base name is `templateBase`: its parent when the folder is named after the template,
// so that the next run proposes "<parent>/<template>/" again; the folder itself otherwise.
std::string FolderToRemember(std::string_view chosenFolder, std::string_view templateBase);

// The confirmation text shown before a save run. `firstNumber` and `lastNumber` are the
// texts of the first and last file numbers (in single-row mode the start and end texts as
// given; in multi-row mode "1" and the document count).
std::string ConfirmationText(std::string_view chosenFolder, std::string_view referenceName,
                             std::string_view firstNumber, std::string_view lastNumber,
                             std::string_view extension = ".doc");

}  // namespace qm
