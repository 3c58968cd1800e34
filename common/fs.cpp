#include "common/fs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <system_error>

#include "common/unique_fd.h"

namespace fs = std::filesystem;

namespace qm {

namespace {
fs::path ToPath(std::string_view p) {
    return fs::path(std::u8string(p.begin(), p.end()));
}

bool EndsWithNoCase(std::string_view name, std::string_view ext) {
    if (name.size() < ext.size()) return false;
    return std::equal(ext.begin(), ext.end(), name.end() - ext.size(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}
}  // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    std::string folder = exe.parent_path().string();
    if (folder == "/") return {};
    return folder;
}

std::vector<std::string> ListFiles(std::string_view folder, std::string_view extension) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(ToPath(folder), ec);
    if (ec) return names;
    // Stepped with an error code: a read error part-way ends the listing instead of throwing.
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            std::string name = it->path().filename().string();
            if (EndsWithNoCase(name, extension)) names.push_back(std::move(name));
        }
        if (ec) break;
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool FileExists(std::string_view path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(ToPath(path), ec);
}

bool DirectoryExists(std::string_view path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(ToPath(path), ec);
}

FileStamp StampOf(std::string_view path) {
    struct stat st {};
    if (::stat(std::string(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool MakeDirectory(std::string_view path) {
    std::error_code ec;
    fs::create_directory(ToPath(path), ec);
    return DirectoryExists(path);
}

bool RemoveEmptyDirectory(std::string_view path) {
    std::error_code ec;
    const fs::path p = ToPath(path);
    if (!fs::is_directory(p, ec) || !fs::is_empty(p, ec)) return false;
    return fs::remove(p, ec);
}

std::size_t ReadWholeFileInto(std::string_view path, std::size_t limit,
                              const std::function<std::uint8_t*(std::size_t)>& resize,
                              WholeFileProblem& problem, int& error, std::uint64_t& fileSize) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come; the file
    // type is checked before anything is read, and reading a regular file ignores the flag.
    const UniqueFd fd(::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        error = errno;
        problem = error == ENOENT ? WholeFileProblem::Missing : WholeFileProblem::Unreadable;
        return 0;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = errno;
        problem = WholeFileProblem::Unreadable;
        return 0;
    }
    if (!S_ISREG(st.st_mode)) {
        problem = WholeFileProblem::NotRegular;
        return 0;
    }
    fileSize = static_cast<std::uint64_t>(st.st_size);
    if (fileSize > limit) {
        problem = WholeFileProblem::TooLarge;
        return 0;
    }
    // Read to the end rather than to the size seen: the file may change meanwhile. One byte
    // more than it had is room to notice that it grew. The buffer is not cleared first: the
    // reads fill it.
    std::size_t capacity = static_cast<std::size_t>(fileSize) + 1;
    std::uint8_t* data = resize(capacity);
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {
            if (size > limit) {
                problem = WholeFileProblem::TooLarge;
                break;
            }
            // Never more than one byte past the limit, and no overflow without one.
            const std::size_t cap = limit == kNoFileLimit ? limit : limit + 1;
            capacity = size + std::min(std::max<std::size_t>(size, 65536), cap - size);
            data = resize(capacity);
        }
        const ssize_t n = ::read(fd.get(), data + size, capacity - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            problem = WholeFileProblem::Unreadable;
            break;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    if (size > limit && problem == WholeFileProblem::None) problem = WholeFileProblem::TooLarge;
    if (problem != WholeFileProblem::None) return 0;
    fileSize = size;
    return size;
}

bool ReadFileBytes(std::string_view path, std::vector<std::uint8_t>& bytes) {
    WholeFile file = ReadWholeFile(path, kNoFileLimit);
    bytes = std::move(file.bytes);
    return file.ok();
}

namespace {

// This machine in the names of temporary files: a folder may be shared with other machines,
// whose processes this one cannot see. The machine id stays across restarts, so what a crash
// left is still known as ours afterwards.
const std::string& MachineTag() {
    static const std::string tag = [] {
        std::string id;
        for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
            std::vector<std::uint8_t> bytes;
            if (!ReadFileBytes(file, bytes)) continue;
            for (std::uint8_t c : bytes)
                if (std::isxdigit(c) && id.size() < 12) id += static_cast<char>(std::tolower(c));
            if (id.size() == 12) return id;
            id.clear();
        }
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx",
                      static_cast<unsigned long long>(std::hash<std::string>{}(std::string("host:") + host)));
        return std::string(hex, 12);
    }();
    return tag;
}

constexpr std::string_view kTemporaryStart = ".~qm-";
constexpr std::size_t kTagLength = 8;

// True when `name` is a temporary name this machine's TemporaryNameBeside makes, with the id of
// the process that made it in `owner`.
bool IsOurTemporary(std::string_view name, pid_t& owner) {
    const std::string start = std::string(kTemporaryStart) + MachineTag() + "-";
    if (!name.starts_with(start)) return false;
    std::size_t at = start.size();
    const std::size_t digits = at;
    while (at < name.size() && at - digits < 10 && name[at] >= '0' && name[at] <= '9') ++at;
    if (at == digits || at - digits > 9 || at >= name.size() || name[at] != '.') return false;
    owner = static_cast<pid_t>(std::stol(std::string(name.substr(digits, at - digits))));
    ++at;
    for (std::size_t k = 0; k < kTagLength; ++k, ++at)
        if (at >= name.size() ||
            !((name[at] >= '0' && name[at] <= '9') || (name[at] >= 'a' && name[at] <= 'z')))
            return false;
    return at < name.size() && name[at] == '-';
}

}  // namespace

namespace {

// Writes every byte to `fd`; 0, or the errno of what stopped it (ENOSPC for a write that took
// nothing).
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && *tmp ? tmp : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

int CheckWritable(std::string_view folder) {
    if (!DirectoryExists(folder)) return ENOENT;
    const std::string probe = TemporaryNameBeside(std::string(folder) + "/write-check");
    // A few pages, as a small document takes: a full disk refuses them even where an empty file
    // would still be made.
    const std::vector<std::uint8_t> bytes(64 * 1024, 0);
    UniqueFd fd(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return errno;
    int error = WriteAll(fd.get(), bytes);
    if (error == 0 && ::fsync(fd.get()) != 0 && errno != EINVAL) error = errno;
    if (!fd.close() && error == 0) error = errno;
    ::unlink(probe.c_str());
    return error;
}

namespace {

// "<stem>-<machine>-" begins a private folder of this machine; the process id and six
// characters of mkdtemp's follow.
bool IsOurPrivateFolder(std::string_view name, pid_t& owner) {
    for (std::string_view stem : {"quillmerge-office-files", "quillmerge-print"}) {
        const std::string start = std::string(stem) + "-" + MachineTag() + "-";
        if (!name.starts_with(start)) continue;
        std::size_t at = start.size();
        const std::size_t digits = at;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
        if (at == digits || at - digits > 9 || at >= name.size() || name[at] != '-') return false;
        if (name.size() - at - 1 != 6) return false;
        owner = static_cast<pid_t>(std::stol(std::string(name.substr(digits, at - digits))));
        return true;
    }
    return false;
}

}  // namespace

std::string MakePrivateFolder(std::string_view stem) {
    std::string pattern = TemporaryFolder() + "/" + std::string(stem) + "-" + MachineTag() + "-" +
                          std::to_string(::getpid()) + "-XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

void RemoveStalePrivateFolders() {
    std::error_code ec;
    fs::directory_iterator it(ToPath(TemporaryFolder()), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        pid_t owner = 0;
        if (!IsOurPrivateFolder(it->path().filename().string(), owner)) continue;
        if (owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
        // Only a folder of this user's (as mkdtemp makes it), never what a link points to.
        struct stat st;
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

std::string TemporaryNameBeside(std::string_view path) {
    static std::mt19937_64 random{std::random_device{}()};
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
    std::string name(path.substr(folder.size()));
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    // The final name goes into the temporary one, so a file left by a crash says what it was;
    // a name too long for that is left out.
    if (name.size() > 200) name = extension;
    for (;;) {
        static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        std::string tag;
        for (std::uint64_t v = random(), k = 0; k < kTagLength; ++k, v /= 36) tag += kDigits[v % 36];
        const std::string candidate = folder + std::string(kTemporaryStart) + MachineTag() + "-" +
                                      std::to_string(::getpid()) + "." + tag + "-" + name;
        // Taken names are tried again; any other answer (a folder that is not there) is for the
        // caller's open to report.
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0) return candidate;
    }
}

bool CommitFile(std::string_view temporary, std::string_view path, int& error) {
    const std::string from(temporary), to(path);
    // rename replaces a link at the destination with the file; it never writes through it.
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    error = errno;
    ::unlink(from.c_str());
    return false;
}

bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes,
                 const std::function<bool(std::span<const std::uint8_t>)>& check, int& error) {
    error = 0;
    for (int attempt = 0;; ++attempt) {
        const std::string temporary = TemporaryNameBeside(path);
        UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd) {
            if (errno == EEXIST && attempt < 10) continue;
            error = errno;
            return false;
        }
        error = WriteAll(fd.get(), bytes);
        if (!fd.close() && error == 0) error = errno;
        if (error == 0) {
            // What the file system holds now, not what was meant to go in.
            std::vector<std::uint8_t> back;
            if (!ReadFileBytes(temporary, back) || back.size() != bytes.size() ||
                !std::equal(back.begin(), back.end(), bytes.begin()) || (check && !check(back)))
                error = EIO;
        }
        if (error != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        return CommitFile(temporary, path, error);
    }
}

void RemoveStaleTemporaries(std::string_view folder) {
    std::error_code ec;
    fs::directory_iterator it(ToPath(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // A temporary file of ours, or the lock file an office made beside one it had open.
        std::string_view ours = name;
        if (ours.starts_with(".~lock.") && ours.ends_with("#")) ours = ours.substr(7, ours.size() - 8);
        pid_t owner = 0;
        if (!IsOurTemporary(ours, owner)) continue;
        // Only a program that no longer runs leaves its files to anybody.
        if (owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
        std::error_code ignored;
        const fs::file_status status = it->symlink_status(ignored);
        // A folder of such a name holds the parts of a PDF being joined.
        if (fs::is_directory(status))
            fs::remove_all(it->path(), ignored);
        else
            fs::remove(it->path(), ignored);
    }
}

bool LowOnSpace(std::string_view folder, std::uint64_t bytes) {
    struct statvfs st;
    if (::statvfs(std::string(folder.empty() ? "." : folder).c_str(), &st) != 0) return false;
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize < bytes;
}

bool FlushToDisk(std::string_view folder, int& error) {
    error = 0;
    const UniqueFd fd(::open(std::string(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || ::syncfs(fd.get()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

}  // namespace qm
