#pragma once
// File-system helpers. Paths are UTF-8 with "/" as separator. None of these throws.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Folder of the running executable (/proc/self/exe), without a trailing "/".
// An executable in "/" gives "".
std::string ExecutableFolder();

// Bare names of the regular files in `folder` whose name ends with `extension` (for example
// ".xls"), compared without regard to letter case, sorted by name. A missing folder gives none.
std::vector<std::string> ListFiles(std::string_view folder, std::string_view extension);

// True when `path` names an existing regular file (not a directory).
bool FileExists(std::string_view path);
// True when `path` names an existing directory.
bool DirectoryExists(std::string_view path);
// One version of a file, as the file system tells them apart: the file it is (its device and
// inode) with its size and modification time. A file replaced by another (moved over it, say),
// truncated or written to gets another stamp. All zero for a path that names no regular file.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since the epoch
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(std::string_view path);

// Creates one folder level; true when it exists afterwards.
bool MakeDirectory(std::string_view path);
// Removes `path` only when it is an empty directory; true when it was removed.
bool RemoveEmptyDirectory(std::string_view path);

enum class WholeFileProblem {
    None,
    Missing,     // no file of that name (ENOENT)
    NotRegular,  // a folder, a device, a pipe
    TooLarge,    // over the caller's limit; nothing was read
    Unreadable,  // open or read failed (no permission, I/O error, out of memory); see error
};

// The outcome of ReadWholeFile: the bytes, or what kept them from being read.
template <class Bytes>
struct BasicWholeFile {
    using Problem = WholeFileProblem;
    Problem problem = Problem::None;
    int error = 0;           // errno behind Missing and Unreadable
    std::uint64_t size = 0;  // the file's size, also when TooLarge
    Bytes bytes;             // empty unless ok(); an empty file is ok() with none

    bool ok() const { return problem == Problem::None; }
    explicit operator bool() const { return ok(); }
};
using WholeFile = BasicWholeFile<std::vector<std::uint8_t>>;

inline constexpr std::size_t kNoFileLimit = static_cast<std::size_t>(-1);

// The reading itself, over any byte buffer: `resize` makes the buffer `n` bytes long and gives
// its data. Returns the bytes read; `problem`, `error` and `size` as in BasicWholeFile.
std::size_t ReadWholeFileInto(std::string_view path, std::size_t limit,
                              const std::function<std::uint8_t*(std::size_t)>& resize,
                              WholeFileProblem& problem, int& error, std::uint64_t& size);

// Reads the regular file `path` to its end into a buffer of type `Bytes` (a byte vector with
// any allocator). A file over `limit` bytes is refused before any of it is read, and so is one
// that grows past the limit while it is read. A file that gets shorter while it is read gives
// what was there. Never throws.
template <class Bytes>
BasicWholeFile<Bytes> ReadWholeFileAs(std::string_view path, std::size_t limit) {
    BasicWholeFile<Bytes> file;
    try {
        const std::size_t read = ReadWholeFileInto(
            path, limit,
            [&file](std::size_t n) {
                file.bytes.resize(n);
                return file.bytes.data();
            },
            file.problem, file.error, file.size);
        if (file.ok())
            file.bytes.resize(read);
        else
            file.bytes = Bytes();
    } catch (...) {  // no memory for a file this large
        file.bytes = Bytes();
        file.error = ENOMEM;
        file.problem = WholeFileProblem::Unreadable;
    }
    return file;
}

inline WholeFile ReadWholeFile(std::string_view path, std::size_t limit) {
    return ReadWholeFileAs<std::vector<std::uint8_t>>(path, limit);
}

// ReadWholeFile without a limit, for callers that only need to know whether it worked: false
// (and `bytes` empty) on any problem.
bool ReadFileBytes(std::string_view path, std::vector<std::uint8_t>& bytes);

// A name for a temporary file in the folder of `path` that no file has yet, ending like `path`
// (an office chooses the format by the extension): "<folder>/.~qm-<machine>-<pid>.<random>-<name>",
// where <machine> names this machine (12 hex digits) and <random> is 8 of [0-9a-z].
std::string TemporaryNameBeside(std::string_view path);
// The folder temporary files go to: $TMPDIR, or /tmp when it is not set.
std::string TemporaryFolder();
// 0 when a file can be written into `folder` (one is written and removed again), else the
// errno of what failed (ENOSPC for a full disk, EROFS or EACCES for one that cannot be written).
int CheckWritable(std::string_view folder);
// Makes a new folder "<TemporaryFolder()>/<stem>-<machine>-<pid>-XXXXXX" that only this user may
// enter; its path, or "" when it cannot be made.
std::string MakePrivateFolder(std::string_view stem);
// Removes the folders MakePrivateFolder made in TemporaryFolder() for programs of this machine
// that no longer run (killed before they could remove them). Those of running programs, of
// other machines and any other name stay.
void RemoveStalePrivateFolders();

// Renames `temporary` over `path`. A symbolic link at `path` is replaced, never followed. On
// failure `temporary` is removed and `path` stays as it was; `error` is the errno.
bool CommitFile(std::string_view temporary, std::string_view path, int& error);

// Writes `bytes` to a temporary file beside `path`, reads it back, and renames it over `path`
// only when every byte went in and `check` accepts what was read (a null check accepts any).
// Whatever fails, no empty or partial file stays behind and an earlier file at `path` is kept.
// `error` is the errno of the failure (ENOSPC for a full disk; EIO when the check refused).
bool ReplaceFile(std::string_view path, std::span<const std::uint8_t> bytes,
                 const std::function<bool(std::span<const std::uint8_t>)>& check, int& error);

// Removes the temporary files (TemporaryNameBeside) that programs of this machine which no
// longer run left in `folder`, when one was killed while it saved, and the office lock files
// (".~lock.<temporary name>#") beside them; a folder of such a name goes with what it holds.
// Files of running programs, of other machines, and any other name (a user's file that merely
// begins with ".~qm-") stay.
void RemoveStaleTemporaries(std::string_view folder);

// Writes to its disk what the file system of `folder` still holds in memory, so that files
// written there survive a power cut. False with the errno in `error` when it could not.
bool FlushToDisk(std::string_view folder, int& error);

// True when the file system of `folder` has less than `bytes` free for this user.
bool LowOnSpace(std::string_view folder, std::uint64_t bytes);

}  // namespace qm
