#include "app/core/program_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/fs.h"
#include "common/text.h"
#include "common/unique_fd.h"

// Where the shipped files lie relative to the installed executables; the build passes the
// value that matches its install directories.
#ifndef QM_SHARED_FROM_BIN
#define QM_SHARED_FROM_BIN "../share/quillmerge"
#endif

namespace fs = std::filesystem;

namespace qm {
namespace {

constexpr std::string_view kStore = "Quillmerge.mdb";
constexpr std::string_view kSeededFolders[] = {"数据", "模板"};
constexpr std::string_view kEmptyFolders[] = {"用户文档"};
constexpr std::string_view kLinkedFolders[] = {"vbs", "帮助及教程"};

fs::path ToPath(std::string_view p) {
    return fs::path(std::u8string(p.begin(), p.end()));
}

std::string FromPath(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

std::string Join(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += '/';
    path += name;
    return path;
}

// "/usr/bin/../share/quillmerge/" -> "/usr/share/quillmerge": the folder is shown to the user
// and compared, so it is kept in one form.
std::string Normal(std::string_view path) {
    std::string s = FromPath(ToPath(path).lexically_normal());
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool HoldsStore(std::string_view folder) {
    return FileExists(Join(folder, kStore));
}

bool Writable(const std::string& folder) {
    return access(folder.empty() ? "/" : folder.c_str(), W_OK | X_OK) == 0;
}

// Present in any form, a dangling link included: whatever the user put there stays.
bool Present(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string Reason(int error) {
    return std::strerror(error);
}

// The data home of the XDG base directories; a relative $XDG_DATA_HOME is to be ignored.
std::string DataHome(const ProgramEnvironment& environment) {
    if (!environment.xdgDataHome.empty() && environment.xdgDataHome[0] == '/')
        return Normal(environment.xdgDataHome);
    if (!environment.home.empty() && environment.home[0] == '/')
        return Normal(environment.home + "/.local/share");
    return {};
}

// Folders below the data home that are missing are made private, as the XDG base directories
// ask of a program that creates them.
bool MakeFolderPath(const std::string& folder, std::string& problem) {
    std::string level;
    for (const fs::path& part : ToPath(folder)) {
        const std::string name = FromPath(part);
        if (name == "/") {
            level = "";
            continue;
        }
        level += "/" + name;
        // Levels that exist are not made again: mkdir may refuse them for a reason of its own
        // (a home on a file server) where there is nothing to make.
        if (DirectoryExists(level)) continue;
        if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            problem = "cannot make the folder " + level + ": " + Reason(errno);
            return false;
        }
    }
    if (!DirectoryExists(folder)) {
        problem = folder + " is not a folder";
        return false;
    }
    return true;
}

// The process's file-creation mask, read without changing it (other threads may be making
// files at the same moment).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

// Renames without replacing anything: a second program started at the same moment may have
// put its copy there first, and a file of the user's is never replaced. True when `to` now
// holds what was at `from`.
bool MoveIntoPlace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    // Some file systems do not know RENAME_NOREPLACE; there a plain rename into a free name
    // is the next best thing.
    if ((errno == EINVAL || errno == ENOSYS) && !Present(to)) return rename(from.c_str(), to.c_str()) == 0;
    return false;
}

void RemoveAll(const std::string& path) {
    std::error_code ignored;
    fs::remove_all(ToPath(path), ignored);
}

// Copies `source` to `target` through a hidden file beside it, so that `target` never exists
// half-written: a half-copied settings store would keep every later start from storing a
// setting. The copy belongs to the user and can be written by them.
bool CopyIntoPlace(const std::string& source, const std::string& target, std::string& problem) {
    std::string temporary = FolderOfPath(target) + "." + NameOfPath(target) + ".seed-XXXXXX";
    // Made only to reserve a free name; the copy below writes it by name.
    if (!UniqueFd(mkstemp(temporary.data()))) {
        problem = "cannot write in " + FolderOfPath(target) + ": " + Reason(errno);
        return false;
    }
    std::error_code ec;
    fs::copy_file(ToPath(source), ToPath(temporary), fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::permissions(ToPath(temporary), fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, ec);
    if (ec) {
        problem = "cannot copy " + source + ": " + ec.message();
        RemoveAll(temporary);
        return false;
    }
    if (!MoveIntoPlace(temporary, target)) {
        const int error = errno;
        RemoveAll(temporary);
        if (Present(target)) return true;  // a concurrent start was quicker
        problem = "cannot make " + target + ": " + Reason(error);
        return false;
    }
    return true;
}

// A folder filled with the regular files of `source` (none when it is missing), made complete
// in a hidden folder and then moved into place.
bool SeedFolder(const std::string& source, const std::string& target, std::string& problem) {
    std::string temporary = FolderOfPath(target) + "." + NameOfPath(target) + ".seed-XXXXXX";
    if (!mkdtemp(temporary.data())) {
        problem = "cannot write in " + FolderOfPath(target) + ": " + Reason(errno);
        return false;
    }
    std::error_code ec;
    fs::directory_iterator it(ToPath(source), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const fs::path copy = ToPath(temporary) / it->path().filename();
        fs::copy_file(it->path(), copy, ec);
        if (!ec)
            fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
        if (ec) break;
    }
    // A missing source leaves the folder empty; any other failure leaves no folder, so the
    // next start tries again.
    if (ec && ec != std::errc::no_such_file_or_directory) {
        problem = "cannot copy the samples of " + source + ": " + ec.message();
        RemoveAll(temporary);
        return false;
    }
    // mkdtemp makes the folder private; it gets the mode a plain mkdir would have given it.
    chmod(temporary.c_str(), 0777 & ~CurrentUmask());
    if (!MoveIntoPlace(temporary, target)) {
        const int error = errno;
        RemoveAll(temporary);
        if (Present(target)) return true;
        problem = "cannot make " + target + ": " + Reason(error);
        return false;
    }
    return true;
}

// `link` made to point at `target`. A link that points elsewhere (an install at another prefix)
// is replaced in one step; anything that is not a link is the user's and stays.
bool LinkFolder(const std::string& target, const std::string& link, std::string& problem) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) return true;
        std::error_code ec;
        if (FromPath(fs::read_symlink(ToPath(link), ec)) == target) return true;
    }
    const std::string temporary =
        FolderOfPath(link) + "." + NameOfPath(link) + ".link-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link.c_str()) != 0) {
        problem = "cannot link " + link + " to " + target + ": " + Reason(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

ProgramEnvironment CurrentProgramEnvironment() {
    ProgramEnvironment environment;
    environment.executableFolder = ExecutableFolder();
    if (const char* dataHome = std::getenv("XDG_DATA_HOME")) environment.xdgDataHome = dataHome;
    if (const char* home = std::getenv("HOME"); home && *home) {
        environment.home = home;
    } else {
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
            environment.home = found->pw_dir;
    }
    return environment;
}

ProgramFolders FindProgramFolders(const ProgramEnvironment& environment) {
    const std::string& executable = environment.executableFolder;
    ProgramFolders folders{executable, executable, false, {}};
    if (HoldsStore(executable) && Writable(executable)) return folders;

    // A complete program folder that this user cannot write (unpacked by an administrator)
    // serves as the shipped files just as well as an installed share folder.
    std::string shared;
    if (HoldsStore(executable)) {
        shared = executable;
    } else {
        shared = Normal(Join(executable, QM_SHARED_FROM_BIN));
        if (!HoldsStore(shared)) return folders;
    }

    const std::string dataHome = DataHome(environment);
    if (dataHome.empty()) {
        return {shared, shared, false,
                "no home folder is known (XDG_DATA_HOME and HOME are unset); running from " + shared +
                    ", the settings are not kept"};
    }
    const std::string own = dataHome + "/quillmerge";
    if (own == shared) return {shared, shared, false, {}};
    return {own, shared, true, {}};
}

std::string PrepareProgramFolder(const ProgramFolders& folders) {
    if (!folders.perUser) return {};
    std::string problem;
    if (!MakeFolderPath(folders.folder, problem)) return problem;

    // Every part is tried, so that one that cannot be made does not keep the others away.
    std::vector<std::string> problems;
    auto note = [&problems, &problem](bool ok) {
        if (!ok) problems.push_back(problem);
    };
    const std::string store = Join(folders.folder, kStore);
    if (!Present(store)) note(CopyIntoPlace(Join(folders.shared, kStore), store, problem));
    for (std::string_view name : kSeededFolders) {
        const std::string target = Join(folders.folder, name);
        if (!Present(target)) note(SeedFolder(Join(folders.shared, name), target, problem));
    }
    for (std::string_view name : kEmptyFolders) {
        const std::string target = Join(folders.folder, name);
        if (mkdir(target.c_str(), 0777) != 0 && errno != EEXIST) {
            problem = "cannot make the folder " + target + ": " + Reason(errno);
            note(false);
        }
    }
    for (std::string_view name : kLinkedFolders) {
        const std::string target = Join(folders.shared, name);
        if (DirectoryExists(target)) note(LinkFolder(target, Join(folders.folder, name), problem));
    }

    std::string all;
    for (const std::string& p : problems) all += (all.empty() ? "" : "; ") + p;
    return all;
}

ProgramFolders OpenProgramFolder(const ProgramEnvironment& environment) {
    ProgramFolders folders = FindProgramFolders(environment);
    const std::string problem = PrepareProgramFolder(folders);
    if (problem.empty()) return folders;
    folders.problem = problem;
    // A folder that exists serves, even when a part of it could not be made; without one the
    // shipped files at least let the program start and show its samples.
    if (!DirectoryExists(folders.folder)) {
        folders.problem += "; running from " + folders.shared + ", the settings are not kept";
        folders.folder = folders.shared;
        folders.perUser = false;
    }
    return folders;
}

ProgramFolders OpenProgramFolder() {
    return OpenProgramFolder(CurrentProgramEnvironment());
}

}  // namespace qm
