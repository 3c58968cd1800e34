#pragma once
// What the window tells the user about a run: the progress line while it goes and the closing
// messages when it ends, made from what the run reports. Nothing here shows anything.

#include <string>
#include <vector>

#include "common/dialogs.h"
#include "merge/merge_run.h"

namespace qm {

struct ClosingMessage {
    std::string text;
    std::string caption = std::string(kDefaultCaption);
    MessageIcon icon = MessageIcon::None;
    bool asksToOpenFolder = false;  // a Yes/No question: Yes opens the output folder
};

// The messages at the end of a run, in the order they are shown: the notice that no bookmark
// was filled when the run met a document without one, then the closing message. None for a run
// that never began (a range past the last record).
std::vector<ClosingMessage> ClosingMessages(const RunOutcome& outcome);

// Why documents failed, by kind, with their numbers: "文件名太长（编号 3、5）；磁盘已满（编号 6）".
std::string FailureCauses(const RunOutcome& outcome);

// The progress line: "已生成 12/300：合同12.doc，剩余约 2 分钟". `secondsSoFar` is the time the
// run has taken; the time left is reckoned from it once a few documents are done.
std::string ProgressText(const RunProgress& progress, double secondsSoFar, bool print);

}  // namespace qm
