#include "tests/support/processes.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>

#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace qm::test {

namespace {

// The ids of every process, from the numeric folders of /proc.
std::vector<pid_t> AllProcesses() {
    std::vector<pid_t> pids;
    std::error_code ec;
    fs::directory_iterator it("/proc", ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return pids;
}

}  // namespace

std::vector<pid_t> ProcessesMentioning(std::string_view piece) {
    std::vector<pid_t> found;
    for (pid_t pid : AllProcesses()) {
        std::string cmdline = ReadText("/proc/" + std::to_string(pid) + "/cmdline");
        if (cmdline.empty()) continue;
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(piece) != std::string::npos) found.push_back(pid);
    }
    return found;
}

namespace {

struct ProcessStat {
    std::string name;
    std::string state;
    std::string parent;
};

// From /proc/<pid>/stat: pid (comm) state ppid ...; the name may hold spaces and ")".
bool ReadStat(pid_t pid, ProcessStat& out) {
    const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t open = stat.find('(');
    const std::size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    out.name = stat.substr(open + 1, close - open - 1);
    std::istringstream rest(stat.substr(close + 1));
    rest >> out.state >> out.parent;
    return true;
}

}  // namespace

int ChildProcessCount(std::string_view name) {
    int count = 0;
    const std::string self = std::to_string(getpid());
    ProcessStat stat;
    for (pid_t pid : AllProcesses())
        if (ReadStat(pid, stat) && stat.name == name && stat.parent == self && stat.state != "Z") ++count;
    return count;
}

int ZombieChildCount() {
    int count = 0;
    const std::string self = std::to_string(getpid());
    ProcessStat stat;
    for (pid_t pid : AllProcesses())
        if (ReadStat(pid, stat) && stat.parent == self && stat.state == "Z") ++count;
    return count;
}

}  // namespace qm::test
