#pragma once
// Running a command line as a user would at a shell, and what it said.

#include <string>
#include <string_view>

namespace qm::test {

struct CommandResult {
    // The exit status (127: no such command); -1 when no shell could be started or the shell
    // was ended by a signal.
    int status = -1;
    std::string out;  // everything it wrote to standard output
    std::string err;  // and to standard error
};

// Runs `command` with /bin/sh, standard input from /dev/null, and waits for it. Redirections
// inside `command` (2>&1, 2>/dev/null, ...) apply as written.
CommandResult RunCommand(const std::string& command);

// `text` quoted for the shell: 'it'\''s'.
std::string ShellQuote(std::string_view text);

// Whether `program` is found on PATH (tests of an optional tool skip without it).
bool HaveProgram(std::string_view program);

}  // namespace qm::test
