#pragma once
// Runs quillmerge-batch from the program folder as a user would and collects what it said.

#include <string>
#include <vector>

#include "tests/support/command.h"

namespace qm::test {

// quillmerge-batch of the built program folder with `args`, standard input from /dev/null.
inline CommandResult RunBatch(const std::vector<std::string>& args) {
    std::string command = ShellQuote(std::string(QM_PROGRAM_DIR) + "/quillmerge-batch");
    for (const std::string& a : args) command += " " + ShellQuote(a);
    return RunCommand(command);
}

}  // namespace qm::test
