#pragma once
// Looking for processes in /proc: the offices a test started, and whether they are gone.

#include <sys/types.h>

#include <string_view>
#include <vector>

namespace qm::test {

// Process ids of the processes whose command line (arguments joined by spaces) holds `piece`.
// A zombie has an empty command line, so an ended process waiting to be collected is not
// among them.
std::vector<pid_t> ProcessesMentioning(std::string_view piece);

// Live child processes of this process with the command name `name` (the kernel keeps its
// first 15 characters).
int ChildProcessCount(std::string_view name);

// Child processes of this process that ended and were never collected (<defunct>).
int ZombieChildCount();

}  // namespace qm::test
