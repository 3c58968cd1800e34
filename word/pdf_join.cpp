#include "word/pdf_join.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/fs.h"
#include "common/unique_fd.h"
#include "word/spawn_setup.h"

extern char** environ;

namespace qm::word {

namespace {

// pdfunite keeps every input open until it writes; far below the usual limit of open files.
constexpr std::size_t kPartsPerRound = 200;
// Where a PDF's end-of-file mark may stand: writers may add a line end or a little padding.
constexpr std::size_t kTailBytes = 1024;

// A path pdfunite cannot take for an option.
std::string Argument(const std::string& path) {
    return !path.empty() && path[0] == '-' ? "./" + path : path;
}

// Runs the program `args[0]` (poppler's, qpdf or lp, found on PATH) with no input, its standard
// output going to the file `output` (none when empty), and waits for it. True when it ended with
// status 0; false otherwise, with the reason in `error` when it could not be run at all (empty
// when it ran and failed).
bool RunTool(std::vector<std::string> args, std::string& error, const std::string& output = {}) {
    error.clear();
    SpawnSetup setup;
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGDEF);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, output.empty() ? "/dev/null" : output.c_str(),
                                     output.empty() ? O_WRONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);

    const std::string program = args.front();
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawned =
        posix_spawnp(&pid, program.c_str(), &setup.actions, &setup.attr, argv.data(), environ);
    if (spawned != 0) {
        const char* package = program == "lp" ? "cups-client" : program == "qpdf" ? "qpdf" : "poppler-utils";
        error = spawned == ENOENT ? program + " (Debian package " + package + ") is not installed"
                                  : program + " could not be started: " + std::strerror(spawned);
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = program + " was lost";
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs pdfunite over `inputs` into `output`; false with the reason.
bool Unite(const std::vector<std::string>& inputs, const std::string& output, std::string& error) {
    std::vector<std::string> args{"pdfunite"};
    for (const std::string& input : inputs) args.push_back(Argument(input));
    args.push_back(Argument(output));
    if (RunTool(std::move(args), error)) return true;
    if (error.empty()) error = "pdfunite could not join the documents";
    return false;
}

// The start and the end of a file, enough to tell a whole PDF from a cut one.
bool ReadEnds(const std::string& path, std::string& ends) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    struct stat st;
    bool ok = ::fstat(fd.get(), &st) == 0;
    const auto size = ok ? static_cast<std::size_t>(st.st_size) : 0;
    std::string head(std::min<std::size_t>(size, 8), '\0');
    std::string tail(std::min<std::size_t>(size, kTailBytes), '\0');
    ok = ok && ::pread(fd.get(), head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
         ::pread(fd.get(), tail.data(), tail.size(), static_cast<off_t>(size - tail.size())) ==
             static_cast<ssize_t>(tail.size());
    // The head and the tail may overlap in a small file; the check reads each for itself.
    ends = head + '\n' + tail;
    return ok;
}

// Removes the files it holds when it goes, unless they were let go.
class Scratch {
  public:
    ~Scratch() {
        for (const std::string& file : files_) ::unlink(file.c_str());
    }
    void Add(const std::string& file) { files_.push_back(file); }
    void Release(const std::string& file) {
        files_.erase(std::remove(files_.begin(), files_.end(), file), files_.end());
    }

  private:
    std::vector<std::string> files_;
};

}  // namespace

bool LooksLikeWholePdf(std::span<const std::uint8_t> bytes) {
    return LooksLikeWholePdf(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool LooksLikeWholePdf(std::string_view bytes) {
    if (!bytes.starts_with("%PDF-")) return false;
    const std::string_view tail = bytes.substr(bytes.size() > kTailBytes ? bytes.size() - kTailBytes : 0);
    return tail.find("%%EOF") != std::string_view::npos;
}

bool JoinPdfFiles(const std::vector<std::string>& parts, std::string_view target, std::string& error) {
    error.clear();
    if (parts.empty()) {
        error = "there is no document to join";
        return false;
    }
    Scratch scratch;
    std::vector<std::string> round = parts;
    while (round.size() > kPartsPerRound) {
        std::vector<std::string> next;
        for (std::size_t i = 0; i < round.size(); i += kPartsPerRound) {
            const std::vector<std::string> chunk(
                round.begin() + static_cast<std::ptrdiff_t>(i),
                round.begin() + static_cast<std::ptrdiff_t>(std::min(round.size(), i + kPartsPerRound)));
            const std::string joined = TemporaryNameBeside(target);
            scratch.Add(joined);
            if (!Unite(chunk, joined, error)) return false;
            next.push_back(joined);
        }
        round = std::move(next);
    }
    const std::string joined = TemporaryNameBeside(target);
    scratch.Add(joined);
    if (!Unite(round, joined, error)) return false;
    std::string ends;
    if (!ReadEnds(joined, ends) || !LooksLikeWholePdf(ends)) {
        error = "the joined file is not a whole PDF";
        return false;
    }
    int code = 0;
    scratch.Release(joined);  // CommitFile removes it itself when the rename fails
    if (!CommitFile(joined, target, code)) {
        error = std::strerror(code);
        return false;
    }
    return true;
}

bool PicturePdfPages(const std::string& pdf, const std::string& prefix, int dpi,
                     std::vector<std::string>& pages, std::string& error) {
    pages.clear();
    if (!RunTool({"pdftoppm", "-r", std::to_string(dpi), "-png", Argument(pdf), Argument(prefix)}, error)) {
        if (error.empty()) error = "pdftoppm could not picture the pages";
        return false;
    }
    // prefix-1.png … prefix-10.png, or prefix-01.png when there are ten pages or more.
    const std::size_t slash = prefix.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : prefix.substr(0, slash);
    const std::string stem = (slash == std::string::npos ? prefix : prefix.substr(slash + 1)) + "-";
    for (const std::string& name : ListFiles(folder, ".png"))
        if (name.starts_with(stem)) pages.push_back(folder + "/" + name);
    std::sort(pages.begin(), pages.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    if (pages.empty()) error = "pdftoppm made no pictures";
    return !pages.empty();
}

bool DocumentStarts(const std::string& pdf, const std::vector<std::string>& marks, std::vector<int>& starts,
                    int& pages, std::string& error) {
    starts.assign(marks.size(), 0);
    pages = 0;
    Scratch scratch;
    const std::string listing = TemporaryNameBeside(pdf);
    scratch.Add(listing);
    std::vector<std::uint8_t> bytes;
    if (!RunTool({"pdfinfo", Argument(pdf)}, error, listing) || !ReadFileBytes(listing, bytes)) {
        if (error.empty()) error = "pdfinfo could not read the PDF";
        return false;
    }
    std::string text(bytes.begin(), bytes.end());
    if (const std::size_t at = text.find("\nPages:"); at != std::string::npos)
        pages = std::atoi(text.c_str() + at + std::strlen("\nPages:"));
    if (!RunTool({"pdfinfo", "-dests", Argument(pdf)}, error, listing) || !ReadFileBytes(listing, bytes)) {
        if (error.empty()) error = "pdfinfo could not list the PDF's destinations";
        return false;
    }
    text.assign(bytes.begin(), bytes.end());
    // "   3 [ XYZ   56  785 null      ] \"name\"": the page, then the name in quotes at the end.
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + begin, end - begin);
        begin = end + 1;
        const std::size_t quote = line.find('"');
        if (quote == std::string_view::npos || line.size() < 2 || line.back() != '"') continue;
        const std::string_view name = line.substr(quote + 1, line.size() - quote - 2);
        const auto mark = std::find(marks.begin(), marks.end(), name);
        if (mark == marks.end()) continue;
        const int page = std::atoi(std::string(line.substr(0, quote)).c_str());
        starts[static_cast<std::size_t>(mark - marks.begin())] = page;
    }
    for (std::size_t i = 0; i < starts.size(); ++i) {
        if (starts[i] < 1 || starts[i] > pages || (i > 0 && starts[i] <= starts[i - 1])) {
            error = "the PDF does not show where each document starts";
            return false;
        }
    }
    return !starts.empty();
}

bool SplitPdfPages(const std::string& pdf, const std::vector<int>& starts, int pages,
                   std::vector<std::vector<std::uint8_t>>& parts, std::string& error) {
    parts.clear();
    Scratch scratch;
    const std::string stem = TemporaryNameBeside(pdf);
    // qpdf splits several times faster than pdfseparate, which serves where it is missing. qpdf
    // pads the page numbers of its names to the width of the last one.
    const int width = static_cast<int>(std::to_string(pages).size());
    bool padded = true;
    const auto pagePath = [&](int page) {
        std::string number = std::to_string(page);
        if (padded && static_cast<int>(number.size()) < width)
            number.insert(0, static_cast<std::size_t>(width) - number.size(), '0');
        return stem + "-" + number + ".pdf";
    };
    for (int page = 1; page <= pages; ++page) scratch.Add(pagePath(page));
    const std::string pattern = Argument(stem + "-%d.pdf");
    if (!RunTool({"qpdf", "--warning-exit-0", "--no-warn", "--split-pages", Argument(pdf), pattern}, error)) {
        padded = false;
        for (int page = 1; page <= pages; ++page) scratch.Add(pagePath(page));
        if (!RunTool({"pdfseparate", Argument(pdf), pattern}, error)) {
            if (error.empty()) error = "pdfseparate could not split the PDF";
            return false;
        }
    }
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const int first = starts[i];
        const int last = i + 1 < starts.size() ? starts[i + 1] - 1 : pages;
        std::string source = pagePath(first);
        if (last > first) {
            std::vector<std::string> inputs;
            for (int page = first; page <= last; ++page) inputs.push_back(pagePath(page));
            source = TemporaryNameBeside(pdf);
            scratch.Add(source);
            if (!Unite(inputs, source, error)) return false;
        }
        std::vector<std::uint8_t> bytes;
        if (!ReadFileBytes(source, bytes) || !LooksLikeWholePdf(bytes)) {
            error = "a split part is not a whole PDF";
            return false;
        }
        parts.push_back(std::move(bytes));
    }
    return true;
}

bool PrintPdf(const std::string& pdf, const std::string& jobName, std::string& error) {
    if (RunTool({"lp", "-s", "-t", jobName, Argument(pdf)}, error)) return true;
    if (error.empty()) error = "the print system refused the job (is there a default printer?)";
    return false;
}

}  // namespace qm::word
