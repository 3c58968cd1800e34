#include "tests/support/command.h"

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace qm::test {

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    // Standard error goes to a file: reading two pipes in turn could block on the one not read.
    const TempFolder scratch("command");
    const std::string err = scratch / "stderr";
    const std::string line = "( " + command + "\n) </dev/null 2>" + ShellQuote(err);
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return result;
    char buffer[65536];
    std::size_t n;
    while ((n = ::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != -1 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.err = ReadText(err);
    return result;
}

std::string ShellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool HaveProgram(std::string_view program) {
    return RunCommand("command -v " + ShellQuote(program) + " >/dev/null 2>&1").status == 0;
}

}  // namespace qm::test
