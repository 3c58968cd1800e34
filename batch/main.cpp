// quillmerge-batch: fills a template with the rows of a worksheet from the command line, with
// the same engine as the desktop program.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/core/program_folder.h"
#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "data/cursor.h"
#include "merge/matching.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "merge/run_plan.h"
#include "word/engine/template.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  quillmerge-batch --workbook FILE --sheet NAME --template FILE [--from N] [--to M]\n"
    "                   [--multi-row] [--repeat] (--save DIR --name REF | --print)\n"
    "                   [--format doc|docx|odt|pdf] [--name-column TITLE | --single-file]\n"
    "                   [--values raw|shown] [--where TEST]... [--picture-column TITLE]...\n"
    "  quillmerge-batch --workbook FILE --sheet NAME --template FILE [--multi-row] [--repeat]\n"
    "                   --check\n"
    "  quillmerge-batch --workbook FILE --list-sheets\n"
    "  quillmerge-batch --template FILE [--workbook FILE --sheet NAME [--multi-row] [--repeat]]\n"
    "                   --list-bookmarks\n"
    "  quillmerge-batch --help\n"
    "\n"
    "Makes one document per worksheet row (or, with --multi-row, fills the numbered slots of\n"
    "each document with consecutive rows) from a template whose bookmarks are named after the\n"
    "column titles, and saves each as DIR/REF<number>.<format> or prints it on the default\n"
    "printer. Files are numbered by row (REF3.doc holds row 3); with --multi-row they are\n"
    "numbered by document from 1. Existing files of the same name are overwritten.\n"
    "\n"
    "  --sheet NAME     the sheet's name, or its table name as --list-sheets prints it (Sheet1$);\n"
    "                   a sheet of exactly that name wins over a table name\n"
    "  --template FILE  bookmark T receives the column titled T (letter case counts)\n"
    "  --from N --to M  rows of the range, counted from 1 below the title row; absent:\n"
    "                   from the first row, to the last row\n"
    "  --where TEST     only rows that pass TEST take part (repeat it: every one must hold);\n"
    "                   --from and --to then count the rows that pass, while files keep\n"
    "                   their sheet row numbers. TEST is a column title and one of\n"
    "                   = != ~ (contains) !~ > < with a value, or ? (not empty) or !?\n"
    "                   (empty): \"部门=销售部\", \"金额>3000\", \"备注?\". Numbers and dates\n"
    "                   compare as such, other text ignoring the case of Latin letters; a\n"
    "                   title holding = ! < > ~ ? goes in brackets: \"[A=B]=1\"\n"
    "  --picture-column TITLE\n"
    "                   the column's values name JPEG or PNG files (relative names from the\n"
    "                   workbook's folder); its bookmarks receive the pictures in place of\n"
    "                   the text: a picture in the bookmark is replaced, keeping its box,\n"
    "                   otherwise the picture is placed 3 cm wide (repeat it for more columns)\n"
    "  --multi-row      bookmarks T_1, T_2, ... take consecutive rows in one document\n"
    "  --repeat         each value goes into the copies T_c1, T_c2, ...\n"
    "  --save DIR       folder of the saved files, made when missing\n"
    "  --name REF       the start of every file name\n"
    "  --print          print each document on the default printer instead\n"
    "  --format         of the saved files; by default the template's own (doc or docx)\n"
    "  --name-column TITLE  name each file REF_<value of column TITLE>.<format> instead\n"
    "                   (the first row of each document with --multi-row); characters a\n"
    "                   file name cannot hold become \"_\", long names are cut, an empty\n"
    "                   value gives REF<number>, and a name met before in the run gets\n"
    "                   \"(2)\", \"(3)\", ... so no file of the run overwrites another\n"
    "  --single-file    with --format pdf: one file DIR/REF.pdf holding every document in\n"
    "                   order, written only when every document was made\n"
    "  --values         raw (the default): numbers and dates as stored (3000.75, 2024-03-05);\n"
    "                   shown: as the sheet shows them under their formats (¥3,000.75)\n"
    "  --check          print which bookmarks the columns fill in the chosen mode, which\n"
    "                   stay empty and which columns fill nothing; exit 0 when every\n"
    "                   bookmark is filled, 1 otherwise\n"
    "  --list-sheets    print the workbook's sheets as table names, one a line (line breaks,\n"
    "                   tabs, NULs and backslashes in a name are written \\n \\t \\0 \\\\)\n"
    "  --list-bookmarks print the template's bookmarks, one a line; then, after a blank line,\n"
    "                   whether this program fills the template or the office does, and why,\n"
    "                   and what a run does with each bookmark. With --workbook and --sheet:\n"
    "                   a run of that sheet in the chosen mode (filled, not filled, left empty\n"
    "                   inside a bookmark the sheet fills, or filled with what remains of its\n"
    "                   range after an overlapping one the sheet fills first); without: what\n"
    "                   depends on the columns a run has, and form fields' maximum lengths\n"
    "  --office-workers N\n"
    "                   office processes that convert PDF and ODT files side by side\n"
    "                   (from 1; by default one for each processor core, at most 4)\n"
    "  --office-memory MB\n"
    "                   the memory each office process may take; a document that needs more\n"
    "                   fails as too large for the office (by default half of the machine's\n"
    "                   memory, at least 1536 MB; from 512)\n"
    "  --office-timeout SECONDS\n"
    "                   how long the office may take to answer, plus a minute for each\n"
    "                   megabyte of the document, before it is taken for hung: it is ended\n"
    "                   and started again, and its documents are converted once more\n"
    "                   (by default 180; from 5)\n"
    "  --no-office      never start the office: a template only the office can fill is\n"
    "                   refused, and so are --print and --format pdf or odt\n"
    "\n"
    "Exit status: 0 when every document was made, 1 when some failed, 2 on bad input\n"
    "(also when the sheet, the filters or the range leave no row to make),\n"
    "128 + the signal's number when interrupted (the office is closed first).\n";

constexpr int kBadInput = 2;
constexpr int kRunFailed = 1;

struct Options {
    std::string workbook, sheet, templatePath, saveDir, name, format, values = "raw", nameColumn;
    std::string from, to, officeWorkers, officeMemory, officeTimeout;
    std::vector<std::string> where;
    std::vector<std::string> pictureColumns;
    bool multiRow = false, repeat = false, print = false, save = false;
    bool listSheets = false, listBookmarks = false, help = false;
    bool singleFile = false, check = false, noOffice = false;
    std::set<std::string> given;  // the options that appeared
};

// The office runs in a process group of its own, so an interrupt from the terminal reaches only
// this process. The run stops before its next document, and the office is ended before leaving.
volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void OnStopSignal(int signal) {
    gStopSignal = signal;
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A second signal ends the program at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool Signalled() {
    return gStopSignal != 0;
}

// The command reads only shipped files below the program folder (the close script), so an
// installed command takes them from the shared folder and makes nothing in the home folder.
std::string ProgramFolder() {
    return qm::FindProgramFolders(qm::CurrentProgramEnvironment()).shared;
}

int Fail(const std::string& message) {
    std::cerr << "quillmerge-batch: " << message << '\n';
    return kBadInput;
}

// The one line for a workbook that lists no sheet: why it cannot be read, or that it has none.
int WorkbookFailure(const std::string& given, const std::string& path, qm::data::WorkbookCache* cache) {
    const std::string problem = qm::data::WorkbookProblemAt(path, cache);
    if (problem.empty()) return Fail("the workbook " + given + " holds no worksheet");
    return Fail("cannot read the workbook " + given + ": " + problem);
}

// Reads the options; an error text on bad usage.
std::optional<std::string> Parse(int argc, char** argv, Options& o) {
    const std::map<std::string, std::string*> valued = {{"--workbook", &o.workbook},
                                                        {"--sheet", &o.sheet},
                                                        {"--template", &o.templatePath},
                                                        {"--from", &o.from},
                                                        {"--to", &o.to},
                                                        {"--save", &o.saveDir},
                                                        {"--name", &o.name},
                                                        {"--format", &o.format},
                                                        {"--name-column", &o.nameColumn},
                                                        {"--values", &o.values},
                                                        {"--office-workers", &o.officeWorkers},
                                                        {"--office-memory", &o.officeMemory},
                                                        {"--office-timeout", &o.officeTimeout}};
    const std::map<std::string, bool*> flags = {{"--multi-row", &o.multiRow},
                                                {"--repeat", &o.repeat},
                                                {"--print", &o.print},
                                                {"--list-sheets", &o.listSheets},
                                                {"--list-bookmarks", &o.listBookmarks},
                                                {"--single-file", &o.singleFile},
                                                {"--check", &o.check},
                                                {"--no-office", &o.noOffice},
                                                {"--help", &o.help},
                                                {"-h", &o.help}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        o.given.insert(arg);
        if (arg == "--where" || arg == "--picture-column") {
            if (i + 1 >= argc) return "option " + arg + " needs a value";
            (arg == "--where" ? o.where : o.pictureColumns).push_back(argv[++i]);
        } else if (auto f = flags.find(arg); f != flags.end()) {
            *f->second = true;
        } else if (auto v = valued.find(arg); v != valued.end()) {
            if (i + 1 >= argc) return "option " + arg + " needs a value";
            *v->second = argv[++i];
            if (arg == "--save") o.save = true;
        } else {
            return "unknown option: " + arg + " (see --help)";
        }
    }
    return std::nullopt;
}

// A row number as given: a whole decimal number from 1. Why not, or "".
std::string RowProblem(const std::string& option, const std::string& text, int& value) {
    const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    const char* end = text.data() + text.size();
    long long wide = 0;
    auto [ptr, ec] = std::from_chars(begin, end, wide);
    if (text.empty() || ptr != end || (ec != std::errc() && ec != std::errc::result_out_of_range))
        return option + " is not a whole number: \"" + text + "\"";
    if (ec == std::errc::result_out_of_range || wide > std::numeric_limits<int>::max())
        return option + " " + text + " is out of range (rows go up to " +
               std::to_string(std::numeric_limits<int>::max()) + ")";
    if (wide < 1) return option + " " + text + " is not a row: rows count from 1";
    value = static_cast<int>(wide);
    return {};
}

// A name as --list-sheets prints it: line breaks, tabs, NULs and other control characters, and
// the backslash itself, written as backslash escapes so that every name is one line.
std::string Escaped(std::string_view name) {
    std::string out;
    for (char c : name) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    out += "\\x";
                    out += kHex[(static_cast<unsigned char>(c) >> 4) & 15];
                    out += kHex[static_cast<unsigned char>(c) & 15];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

// The reverse of Escaped; text that is not a valid escape stays as it is.
std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == '\\')
            out += '\\';
        else if (c == 'n')
            out += '\n';
        else if (c == 'r')
            out += '\r';
        else if (c == 't')
            out += '\t';
        else if (c == '0')
            out += '\0';
        else if (c == 'x' && i + 2 < text.size() + 0 &&
                 std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                 std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += '\\';
            out += c;
        }
    }
    return out;
}

// The sheet's own name of a table name: "'My Sheet$'" -> "My Sheet", "Sheet1$" -> "Sheet1".
std::string SheetOf(const std::string& table) {
    std::string plain = table;
    if (plain.size() >= 2 && plain.front() == '\'' && plain.back() == '\'') {
        plain = plain.substr(1, plain.size() - 2);
        plain = qm::ReplaceAll(plain, "''", "'");
    }
    if (!plain.empty() && plain.back() == '$') plain.pop_back();
    return plain;
}

// The table of `sheet` among `tables`: a sheet of exactly that name wins over a table name as
// listed. The escaped form --list-sheets prints is read too; when it and the name as given name
// two different sheets, the name is ambiguous. "" with `error` set when none or several.
std::string FindTable(const std::vector<std::string>& tables, const std::string& sheet, std::string& error) {
    auto find = [&](const std::string& name) -> std::string {
        for (const std::string& t : tables)
            if (SheetOf(t) == name) return t;
        for (const std::string& t : tables)
            if (t == name) return t;
        return {};
    };
    const std::string asGiven = find(sheet);
    const std::string plain = Unescaped(sheet);
    const std::string asEscaped = plain != sheet ? find(plain) : std::string();
    if (!asGiven.empty() && !asEscaped.empty() && asGiven != asEscaped) {
        error = "has two sheets that " + sheet + " can name: " + Escaped(asGiven) + " and " +
                Escaped(asEscaped) + "; give the other one's name as --list-sheets prints it";
        return {};
    }
    if (asGiven.empty() && asEscaped.empty()) error = "has no sheet " + Escaped(sheet);
    return asGiven.empty() ? asEscaped : asGiven;
}

std::string Absolute(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::absolute(fs::path(std::u8string(path.begin(), path.end())), ec);
    if (ec) return path;
    const std::u8string s = p.lexically_normal().u8string();
    return std::string(s.begin(), s.end());
}

bool Readable(const std::string& path) {
    return qm::FileExists(path) && access(path.c_str(), R_OK) == 0;
}

// "cannot read the template T: why": no such file, not a regular file (a folder, a pipe), or
// what opening it said.
std::string UnreadableTemplate(const std::string& path, const std::string& shown) {
    struct stat st {};
    std::string why;
    if (stat(path.c_str(), &st) != 0)
        why = errno == ENOENT ? "the file does not exist" : std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    else if (access(path.c_str(), R_OK) != 0)
        why = std::strerror(errno);
    return "cannot read the template " + shown + (why.empty() ? "" : ": " + why);
}

// Creates `folder` with its missing parents; the levels it created, deepest last, go into
// `created` so that a run that never starts can take them away again. False when the folder
// cannot be made.
bool CreateFolder(const std::string& folder, std::vector<std::string>& created) {
    std::vector<fs::path> missing;
    std::error_code ec;
    std::string trimmed = folder;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    for (fs::path p(std::u8string(trimmed.begin(), trimmed.end())); !p.empty(); p = p.parent_path()) {
        if (fs::exists(p, ec)) break;
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fs::create_directory(*it, ec) && !fs::is_directory(*it, ec)) return false;
        const std::u8string s = it->u8string();
        created.emplace_back(s.begin(), s.end());
    }
    return qm::DirectoryExists(folder) && access(folder.c_str(), W_OK | X_OK) == 0;
}

// Removes the folders CreateFolder made, when they are still empty.
void RemoveCreated(const std::vector<std::string>& created) {
    for (auto it = created.rbegin(); it != created.rend(); ++it) qm::RemoveEmptyDirectory(*it);
}

// Progress is a bar on a terminal, nothing otherwise; an interrupt stops the run.
class BatchObserver : public qm::RunObserver {
  public:
    ~BatchObserver() override {
        if (drawn_) std::fputs("\r\033[K", stderr);
    }
    void progress(const qm::RunProgress& now) override {
        if (!terminal_ || now.phase != qm::RunPhase::Making) return;
        const int total = std::max(now.total, 0);
        const int done = std::clamp(now.done, 0, total);
        constexpr int kWidth = 40;
        const int filled = total > 0 ? done * kWidth / total : 0;
        std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '-').c_str(), done, total);
        std::fflush(stderr);
        drawn_ = true;
    }
    bool stopRequested() override { return Signalled(); }

  private:
    bool terminal_ = isatty(STDERR_FILENO) != 0;
    bool drawn_ = false;
};

// The temporary folder and what failed in it.
std::string TemporaryFolderWords(const std::string& folder, int code) {
    const std::string named = "the temporary folder " + Escaped(folder);
    if (code == ENOSPC || code == EDQUOT) return named + " is full";
    if (code == EACCES || code == EPERM || code == EROFS) return named + " cannot be written";
    if (code == ENOENT || code == ENOTDIR) return named + " does not exist";
    return named + ": " + std::strerror(code);
}

// How an office ended, in a word or two.
std::string EndWords(qm::word::OfficeEnd end) {
    switch (end) {
        case qm::word::OfficeEnd::NoAnswer:
            return "did not answer";
        case qm::word::OfficeEnd::OutOfMemory:
            return "ran out of memory";
        case qm::word::OfficeEnd::None:
        case qm::word::OfficeEnd::Stopped:
            break;
    }
    return "stopped";
}

// Why a document failed, in a few words.
std::string FailureWords(const qm::DocumentFailure& f) {
    switch (f.kind) {
        case qm::FailureKind::NameTooLong:
            return "the file name is too long";
        case qm::FailureKind::FolderGone:
            return "the output folder is gone";
        case qm::FailureKind::DiskFull:
            return "the disk is full";
        case qm::FailureKind::NoPermission:
            return "no permission to write it";
        case qm::FailureKind::OfficeNoAnswer:
            return "the office did not answer in time and was ended";
        case qm::FailureKind::TooLargeForOffice: {
            char size[32];
            std::snprintf(size, sizeof size, "%.1f MB", f.megabytes);
            if (f.detail.empty())
                return std::string("the document is too large for the office (") + size + ")";
            return "the value of " + Escaped(f.detail) + " is too large for the office (" + size + ")";
        }
        case qm::FailureKind::TemporaryFolder:
            return TemporaryFolderWords(f.detail, f.code);
        case qm::FailureKind::OfficeFailed:
        case qm::FailureKind::ValueRefused:
        case qm::FailureKind::Other:
            break;
    }
    return f.detail.empty() ? std::string("unknown cause") : f.detail;
}

std::string JoinWith(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : std::string(separator)) + item;
    return out;
}

// Names pass through the office as text: bytes that are not UTF-8 would come out as other
// characters, naming another folder or file. What is said of the `option` that holds such a name.
std::string NotTextProblem(std::string_view option) {
    return std::string(option) + " is not valid UTF-8 text; rename the file or folder, or use another";
}

// The --where options as given: "--where 部门=销售部 --where 金额>3000".
std::string WhereList(const Options& o) {
    std::string text;
    for (const std::string& where : o.where) text += (text.empty() ? "--where " : " --where ") + where;
    return text;
}

// What is wrong with a --where, naming the columns when it names none of them.
std::string FilterProblemText(const qm::PlanProblem& problem, const qm::RunPlanner& planner) {
    switch (problem.filterProblem) {
        case qm::FilterProblemKind::NoSuchColumn: {
            std::string columns;
            for (const std::string& title : planner.titles())
                columns += (columns.empty() ? "" : ", ") + title;
            return "--where names no column of the sheet: " + problem.detail + " (its columns: " + columns +
                   ")";
        }
        case qm::FilterProblemKind::NotANumber:
            return "--where: column " + problem.detail + " holds numbers, so > and < need a number";
        case qm::FilterProblemKind::NotADate:
            return "--where: column " + problem.detail + " holds dates, so > and < need a date (2024-03-05)";
    }
    return {};
}

// Why the template given as `shown` gave no working document.
std::string OpenFailure(qm::word::WordHost& host, const std::string& path, const std::string& shown) {
    const qm::engine::OpenResult engine = host.TemplateAt(path);
    if (qm::engine::IsPasswordRefusal(engine.refusal)) return "the template " + shown + ": " + engine.refusal;
    if (qm::engine::IsDamageRefusal(engine.refusal))
        return "the template " + shown + " is damaged (" + engine.refusal +
               "); open it in the office and save it again to repair it";
    const std::string why = engine ? std::string() : " (" + engine.refusal + ")";
    if (!host.HasOffice())
        return "only the office can fill the template " + shown + why + ", and --no-office was given";
    return host.IsWordRunning() ? "the office could not open the template " + shown + why
                                : "the office could not be started to open the template " + shown + why;
}

// The table --sheet names, found as a run finds it; the exit status after the line that says why
// when there is none.
std::optional<int> ChooseTable(const Options& o, qm::data::WorkbookCache& workbooks, std::string& table) {
    const std::string workbook = Absolute(o.workbook);
    const std::vector<std::string> tables = qm::data::SheetTables(workbook, &workbooks);
    if (tables.empty()) return WorkbookFailure(o.workbook, workbook, &workbooks);
    std::string sheetError;
    table = FindTable(tables, o.sheet, sheetError);
    if (table.empty()) return Fail("the workbook " + o.workbook + " " + sheetError);
    return std::nullopt;
}

const char* ModeWords(const Options& o) {
    return o.multiRow ? (o.repeat ? "multi-row, repeat" : "multi-row") : (o.repeat ? "repeat" : "single-row");
}

// What a value does to bookmark `b`.
std::string KindWords(const qm::engine::BookmarkInfo& b) {
    if (b.kind == qm::engine::BookmarkKind::CheckBox) return "check box, set by the value";
    if (b.kind == qm::engine::BookmarkKind::DropDown)
        return "drop-down, set to the entry equal to the value (" + JoinWith(b.entries, ", ") + ")";
    return "filled as text";
}

// "bookmark A" or "bookmarks A, B".
std::string BookmarkWords(const std::vector<std::string>& names) {
    return (names.size() == 1 ? "bookmark " : "bookmarks ") + JoinWith(names, ", ");
}

std::string MaxLengthWords(const qm::engine::BookmarkInfo& b) {
    return "a form text field of at most " + std::to_string(b.maxLength) +
           " characters (a longer value is written whole)";
}

// What a run may make of fillable bookmark `b` depending on which other bookmarks its columns
// fill, and a form field's maximum length; "" when nothing.
std::string Dependencies(const qm::engine::Template& t, const qm::engine::BookmarkInfo& b) {
    const std::vector<qm::engine::BookmarkInfo>& all = t.bookmarks();
    // Only the bookmarks a run can fill as text replace a range.
    const auto names = [&](std::initializer_list<const std::vector<std::size_t>*> lists) {
        std::vector<std::string> out;
        for (const std::vector<std::size_t>* list : lists)
            for (std::size_t i : *list)
                if (i < all.size() && !all[i].hidden && all[i].refusal.empty() &&
                    all[i].kind == qm::engine::BookmarkKind::Text)
                    out.push_back(all[i].name);
        return out;
    };
    std::string text;
    if (const std::vector<std::string> outer = names({&b.within}); !outer.empty())
        text += "; lies inside " + BookmarkWords(outer) + " (left empty where a run fills " +
                (outer.size() == 1 ? outer.front() : "one of them") + " too)";
    if (const std::vector<std::string> other = names({&b.overlapsBefore, &b.overlapsAfter}); !other.empty())
        text += "; overlaps " + BookmarkWords(other) + " (where a run fills " +
                (other.size() == 1 ? other.front() : "one of them") + " first, " + b.name +
                " takes what remains of its range)";
    if (b.maxLength > 0) text += "; " + MaxLengthWords(b);
    return text;
}

// What a run does with each visible bookmark of `t` when it sets the bookmarks of `steps`, in
// their order. The values are ones every bookmark of its kind takes (nothing as text, a state,
// an entry), so that what is said depends on the columns alone, not on any row.
void PrintSheetPlan(const qm::engine::Template& t, const std::vector<qm::FillStep>& steps) {
    std::vector<qm::engine::Fill> fills;
    for (const qm::FillStep& step : steps) {
        const qm::engine::BookmarkInfo* b = t.Find(step.bookmark);
        if (!b) continue;
        std::string value;
        if (b->kind == qm::engine::BookmarkKind::CheckBox) value = "1";
        if (b->kind == qm::engine::BookmarkKind::DropDown && !b->entries.empty()) value = b->entries.front();
        fills.push_back({step.bookmark, value});
    }
    const qm::engine::Template::FillPlan plan = t.Plan(fills);
    std::map<std::string, const qm::engine::Skip*> skips;
    for (const qm::engine::Skip& skip : plan.skips) skips.emplace(skip.name, &skip);
    std::map<std::string, std::vector<std::string>> remainders;
    for (const qm::engine::Note& note : plan.notes)
        if (note.cause == qm::engine::Note::Cause::Overlap) remainders[note.name].push_back(note.other);
    std::set<std::string> filled;
    for (const qm::engine::Fill& fill : fills) filled.insert(fill.name);

    for (const qm::engine::BookmarkInfo& b : t.bookmarks()) {
        if (b.hidden) continue;
        std::cout << "  " << Escaped(b.name) << ": ";
        const auto skip = skips.find(b.name);
        const auto remainder = remainders.find(b.name);
        if (!b.refusal.empty()) {
            std::cout << "left as in the template (" << b.refusal << ")\n";
            continue;
        }
        if (!filled.count(b.name)) {
            std::cout << "not filled: no column of this sheet names it\n";
            continue;
        }
        if (skip != skips.end()) {
            if (skip->second->cause == qm::engine::Skip::Cause::Inside)
                std::cout << "left empty: lies inside " << skip->second->outer
                          << ", which this sheet fills\n";
            else
                std::cout << "left as in the template (" << skip->second->why << ")\n";
            continue;
        }
        if (remainder != remainders.end())
            std::cout << "filled with what remains after " << JoinWith(remainder->second, " and ")
                      << ", which this sheet fills first";
        else
            std::cout << KindWords(b);
        if (b.maxLength > 0) std::cout << "; " << MaxLengthWords(b);
        std::cout << '\n';
    }
}

// The bookmarks, then after a blank line who fills the template and what a run does with each
// bookmark: with --sheet, a run of that sheet in the chosen mode.
int ListBookmarks(const Options& o, qm::data::WorkbookCache& workbooks) {
    if (!o.sheet.empty() && o.workbook.empty())
        return Fail("--list-bookmarks with --sheet needs --workbook FILE");
    const std::string templatePath = Absolute(o.templatePath);
    if (!Readable(templatePath)) return Fail(UnreadableTemplate(templatePath, o.templatePath));
    CatchStopSignals();
    qm::word::WordHost host(o.noOffice ? nullptr : qm::word::MakeLibreOffice(), ProgramFolder());
    // The sheet is read before the template, which may start the office.
    std::optional<qm::RunPlanner> planner;
    std::string table;
    if (!o.sheet.empty()) {
        if (!qm::IsValidUtf8(o.workbook)) return Fail(NotTextProblem("--workbook"));
        if (const std::optional<int> failed = ChooseTable(o, workbooks, table)) return *failed;
        planner.emplace(workbooks, host);
        qm::RunChoice choice;
        choice.workbookPath = Absolute(o.workbook);
        choice.table = table;
        choice.templatePath = templatePath;
        choice.multiRowMode = o.multiRow;
        choice.repeatMode = o.repeat;
        if (planner->OpenSheet(choice)) return Fail("the sheet " + Escaped(o.sheet) + " cannot be read");
    }
    // The engine reads .doc and .docx templates itself; anything else needs the office.
    const qm::engine::OpenResult engine = host.TemplateAt(templatePath);
    if (host.OpenTemplate(templatePath).empty()) return Fail(OpenFailure(host, templatePath, o.templatePath));
    if (Signalled()) return 128 + gStopSignal;
    std::vector<qm::FillStep> steps;
    if (planner) {
        if (planner->OpenTemplate()) return Fail(OpenFailure(host, templatePath, o.templatePath));
        steps = planner->FillSteps();
    }
    const std::vector<std::string> names = qm::SplitList(host.ListBookmarks());
    for (const std::string& name : names) std::cout << Escaped(name) << '\n';
    // After a blank line: who fills this template, and why not this program where it cannot.
    std::cout << '\n';
    if (!engine) {
        std::cout << "filled by: the office (" << engine.refusal << ")\n";
    } else {
        std::cout
            << "filled by: this program, without the office (the office only converts to PDF or ODT, and "
               "prints)\n";
    }
    if (planner) std::cout << "sheet: " << Escaped(SheetOf(table)) << " (" << ModeWords(o) << ")\n";
    if (!engine) {
        // The office fills every bookmark it is given.
        if (planner) {
            std::set<std::string> filled;
            for (const qm::FillStep& step : steps) filled.insert(step.bookmark);
            for (const std::string& name : names)
                std::cout << "  " << Escaped(name) << ": "
                          << (filled.count(name) ? "filled as text"
                                                 : "not filled: no column of this sheet names it")
                          << '\n';
        }
        return 0;
    }
    if (planner) {
        PrintSheetPlan(*engine.value, steps);
        return 0;
    }
    // What a run does with each bookmark, and what may depend on the columns it has.
    for (const qm::engine::BookmarkInfo& b : engine.value->bookmarks()) {
        if (b.hidden) continue;
        std::cout << "  " << Escaped(b.name) << ": ";
        if (!b.refusal.empty())
            std::cout << "left as in the template (" << b.refusal << ")\n";
        else
            std::cout << KindWords(b) << Dependencies(*engine.value, b) << '\n';
    }
    return 0;
}

int Run(const Options& o, qm::RunPlanner& planner, qm::word::WordHost& host, const std::string& folder,
        const std::vector<std::string>& created);

// True when `text` is a whole number from `least` to `most`.
bool WholeNumber(const std::string& text, int least, int most) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= least && value <= most;
}

// The options of a run that saves or prints; an error text when they do not go together.
std::optional<std::string> CheckOutputOptions(const Options& o) {
    if (o.save == o.print) return "choose one of --save DIR --name REF or --print";
    if (o.save && o.saveDir.empty()) return "--save needs a folder";
    if (o.save && o.name.empty()) return "--save needs --name REF";
    if (!o.save && !o.name.empty()) return "--name goes with --save";
    if (!o.save && o.given.count("--format")) return "--format goes with --save";
    if (o.name.find('/') != std::string::npos)
        return "--name must be a file name without a folder: " + o.name;
    if (o.format != "doc" && o.format != "docx" && o.format != "odt" && o.format != "pdf")
        return "unknown --format " + o.format + " (doc, docx, odt or pdf)";
    if (o.given.count("--name-column") && !o.save) return "--name-column goes with --save";
    if (o.given.count("--name-column") && o.nameColumn.empty()) return "--name-column needs a column title";
    if (o.singleFile && (!o.save || o.format != "pdf"))
        return "--single-file goes with --save and --format pdf";
    if (o.noOffice && (o.print || o.format == "pdf" || o.format == "odt"))
        return std::string("--no-office does not go with ") + (o.print ? "--print" : "--format " + o.format) +
               ": the office makes those";
    if (o.given.count("--office-workers")) {
        int workers = 0;
        const auto [end, ec] =
            std::from_chars(o.officeWorkers.data(), o.officeWorkers.data() + o.officeWorkers.size(), workers);
        if (ec != std::errc() || end != o.officeWorkers.data() + o.officeWorkers.size() || workers < 1 ||
            workers > 64)
            return "--office-workers takes a whole number from 1 to 64: \"" + o.officeWorkers + "\"";
        if (o.noOffice) return "--office-workers does not go with --no-office";
    }
    for (const auto& [option, text, least, most] :
         {std::tuple{"--office-memory", &o.officeMemory, 512, 1 << 24},
          std::tuple{"--office-timeout", &o.officeTimeout, 5, 86400}}) {
        if (!o.given.count(option)) continue;
        if (!WholeNumber(*text, least, most))
            return std::string(option) + " takes a whole number from " + std::to_string(least) + " to " +
                   std::to_string(most) + ": \"" + *text + "\"";
        if (o.noOffice) return std::string(option) + " does not go with --no-office";
    }
    if (o.singleFile && o.given.count("--name-column"))
        return "--name-column does not go with --single-file: the one file is named REF.pdf";
    return std::nullopt;
}

// The report of --check on standard output; 0 when every bookmark of the template is filled.
int Check(const Options& o, qm::RunPlanner& planner, qm::word::WordHost& host) {
    CatchStopSignals();
    if (planner.OpenTemplate()) return Fail(OpenFailure(host, planner.choice().templatePath, o.templatePath));
    if (Signalled()) return 128 + gStopSignal;
    const qm::MatchReport report = planner.Report();
    const auto list = [](const char* heading, const std::vector<std::string>& names) {
        if (names.empty()) return;
        std::cout << heading << '\n';
        for (const std::string& name : names) std::cout << "  " << name << '\n';
    };
    std::cout << "mode: " << ModeWords(o) << '\n';
    std::cout << "bookmarks filled: " << report.filled.size() << " of " << report.bookmarkCount() << '\n';
    list("filled bookmarks:", report.filled);
    list("empty bookmarks (no column fills them):", report.empty);
    if (!report.unfillable.empty()) {
        std::cout << "bookmarks left as in the template (this program cannot fill them):\n";
        for (const auto& [name, why] : report.unfillable) std::cout << "  " << name << ": " << why << '\n';
    }
    list("columns that fill no bookmark:", report.unusedTitles);
    return report.complete() ? 0 : kRunFailed;
}

int Main(int argc, char** argv) {
    Options o;
    if (auto error = Parse(argc, argv, o)) return Fail(*error);
    if (o.help) {
        std::cout << kUsage;
        return 0;
    }

    qm::ProgramState state;
    state.programFolder = ProgramFolder();

    if (o.listSheets || o.listBookmarks) {
        if (o.listSheets && o.workbook.empty()) return Fail("--list-sheets needs --workbook FILE");
        if (o.listBookmarks && o.templatePath.empty()) return Fail("--list-bookmarks needs --template FILE");
        if (o.listSheets) {
            // As a run would: a name that is not UTF-8 is refused, not listed as raw bytes.
            if (!qm::IsValidUtf8(o.workbook)) return Fail(NotTextProblem("--workbook"));
            const std::string path = Absolute(o.workbook);
            const std::vector<std::string> tables = qm::data::SheetTables(path, &state.workbooks);
            if (tables.empty()) return WorkbookFailure(o.workbook, path, &state.workbooks);
            for (const std::string& t : tables) std::cout << Escaped(t) << '\n';
        }
        return o.listBookmarks ? ListBookmarks(o, state.workbooks) : 0;
    }

    // Everything that can be checked is checked before the office starts and before anything
    // is written.
    if (o.workbook.empty()) return Fail("--workbook FILE is missing (see --help)");
    if (o.sheet.empty()) return Fail("--sheet NAME is missing");
    if (o.templatePath.empty()) return Fail("--template FILE is missing");
    // Without --format the documents take the template's own format.
    if (o.format.empty()) o.format = qm::LowerExtension(o.templatePath) == ".docx" ? "docx" : "doc";
    if (o.check) {
        for (const char* option :
             {"--save", "--print", "--name", "--format", "--name-column", "--single-file", "--from", "--to"})
            if (o.given.count(option)) return Fail(std::string("--check makes nothing: leave out ") + option);
    } else if (auto error = CheckOutputOptions(o)) {
        return Fail(*error);
    }
    for (const auto& [option, value] :
         {std::pair{"--workbook", &o.workbook}, std::pair{"--template", &o.templatePath},
          std::pair{"--save", &o.saveDir}, std::pair{"--name", &o.name}}) {
        if (!qm::IsValidUtf8(*value)) return Fail(NotTextProblem(option));
    }
    if (o.values != "raw" && o.values != "shown")
        return Fail("unknown --values " + o.values + " (raw or shown)");
    state.valueStyle = o.values == "shown" ? qm::data::ValueStyle::Shown : qm::data::ValueStyle::Raw;
    int from = 1, to = 0;
    if (o.given.count("--from"))
        if (const std::string problem = RowProblem("--from", o.from, from); !problem.empty())
            return Fail(problem);
    if (o.given.count("--to"))
        if (const std::string problem = RowProblem("--to", o.to, to); !problem.empty()) return Fail(problem);
    if (to >= 1 && to < std::max(from, 1))
        return Fail("--to " + o.to + " is before --from " + (o.given.count("--from") ? o.from : "1"));

    const std::string workbook = Absolute(o.workbook);
    std::string table;
    if (const std::optional<int> failed = ChooseTable(o, state.workbooks, table)) return *failed;
    const std::string templatePath = Absolute(o.templatePath);

    // The office, when the template or a run starts it, ends with the host, however the
    // command ends.
    qm::word::WordHost host(o.noOffice ? nullptr : qm::word::MakeLibreOffice(), state.programFolder);
    host.SetMoreOffices(qm::word::MakeLibreOffice, o.officeWorkers.empty() ? qm::word::DefaultOfficeWorkers()
                                                                           : std::stoi(o.officeWorkers));
    qm::word::OfficeLimits limits;
    limits.memory = o.officeMemory.empty() ? qm::word::DefaultOfficeMemory()
                                           : static_cast<std::uint64_t>(std::stoi(o.officeMemory)) << 20;
    if (!o.officeTimeout.empty()) limits.answer = std::chrono::seconds(std::stoi(o.officeTimeout));
    host.SetOfficeLimits(limits);
    qm::RunPlanner planner(state.workbooks, host);
    qm::RunChoice choice;
    choice.workbookPath = workbook;
    choice.table = table;
    choice.templatePath = templatePath;
    choice.multiRowMode = o.multiRow;
    choice.repeatMode = o.repeat;
    choice.valueStyle = state.valueStyle;
    choice.pictureColumns = o.pictureColumns;
    for (const std::string& text : o.where) {
        std::string error;
        const std::optional<qm::RowFilter> filter = qm::ParseWhere(text, error);
        if (!filter) return Fail(error);
        choice.filters.push_back(*filter);
    }
    if (const auto problem = planner.OpenSheet(choice)) {
        if (problem->kind == qm::PlanProblemKind::NoRowMatches)
            return Fail("no row of the sheet " + Escaped(SheetOf(table)) + " passes " + WhereList(o) +
                        "; nothing was made");
        if (problem->kind == qm::PlanProblemKind::FilterProblem)
            return Fail(FilterProblemText(*problem, planner));
        return Fail("the sheet " + Escaped(o.sheet) + " cannot be read");
    }
    const std::vector<std::string>& titles = planner.titles();

    if (!Readable(templatePath)) return Fail(UnreadableTemplate(templatePath, o.templatePath));
    if (o.check) return Check(o, planner, host);
    if (!o.nameColumn.empty() && std::find(titles.begin(), titles.end(), o.nameColumn) == titles.end())
        return Fail("sheet " + o.sheet + " has no column " + o.nameColumn + " for --name-column");
    for (const std::string& title : o.pictureColumns)
        if (std::find(titles.begin(), titles.end(), title) == titles.end())
            return Fail("sheet " + o.sheet + " has no column " + title + " for --picture-column");

    // A range that starts after the last row makes nothing; say so without starting the office.
    // A sheet without rows below its titles makes nothing whatever the range.
    if (planner.recordCount() == 0)
        return Fail("the sheet " + Escaped(SheetOf(table)) +
                    " has no rows below its title row; nothing was made");
    // Every way of choosing no row ends alike: with why, and the status of bad input.
    if (planner.SetRows(from, to)) {
        const int records = planner.recordCount();
        return Fail("the sheet " + Escaped(SheetOf(table)) + " has " + std::to_string(records) +
                    (records == 1 ? " row" : " rows") +
                    (o.where.empty() ? "" : " that pass " + WhereList(o)) + ", the range starts at row " +
                    std::to_string(std::max(from, 1)) + "; nothing was made");
    }

    // Rows a > or < left out for a value of another kind are not silently gone.
    if (const long long unlike = planner.rowsNotCompared(); unlike > 0)
        std::cerr << "quillmerge-batch: note: " << unlike << (unlike == 1 ? " row is" : " rows are")
                  << " left out because > or < met a value that is not a number (or date) there\n";

    // The folder is made before the office starts, and taken away again when the run cannot
    // start after all. From here on a stop signal is answered by cleaning up first.
    CatchStopSignals();
    std::string folder;
    std::vector<std::string> created;
    if (o.save) {
        folder = Absolute(o.saveDir);
        if (folder.empty() || folder.back() != '/') folder += '/';
        if (!CreateFolder(folder, created)) {
            RemoveCreated(created);
            return Fail("the output folder " + o.saveDir + " cannot be created or written");
        }
    }
    return Run(o, planner, host, folder, created);
}

// "3, 5-8, 11" for a sorted list of row numbers.
int Run(const Options& o, qm::RunPlanner& planner, qm::word::WordHost& host, const std::string& folder,
        const std::vector<std::string>& created) {
    // A run that makes nothing leaves no empty folder behind.
    struct Tidy {
        const std::vector<std::string>& created;
        bool keep = false;
        ~Tidy() {
            if (!keep) RemoveCreated(created);
        }
    } tidy{created};
    const std::optional<qm::PlanProblem> problem = planner.OpenTemplate();
    if (problem) return Fail(OpenFailure(host, planner.choice().templatePath, o.templatePath));
    if (Signalled()) {
        // Stopped before the first document: nothing was made, and the line says so.
        std::cerr << "quillmerge-batch: interrupted before the first document; no document was made\n";
        return 128 + gStopSignal;
    }
    if (const auto matching = planner.CheckMatching()) {
        if (matching->kind == qm::PlanProblemKind::NoTitleMatches)
            return Fail("no column title of sheet " + Escaped(o.sheet) + " matches a bookmark of " +
                        o.templatePath);
        return Fail("no bookmark of " + o.templatePath + " has the exact name a column of sheet " +
                    Escaped(o.sheet) + " fills in this mode (TITLE" + (o.multiRow ? "_1" : "") +
                    (o.repeat ? "_c1" : "") + ")");
    }

    // Bookmarks the run leaves as the template has them are named, not silently passed over.
    const qm::MatchReport report = planner.Report();
    if (!report.empty.empty()) {
        std::string names;
        for (const std::string& name : report.empty) names += (names.empty() ? "" : ", ") + Escaped(name);
        std::cerr << "quillmerge-batch: bookmarks no column fills stay as in the template: " << names << '\n';
    }

    qm::RunOutput output;
    output.kind = o.print ? qm::OutputKind::Print : qm::OutputKind::Save;
    output.folder = folder;
    output.referenceName = o.name;
    output.extension = "." + o.format;
    output.nameColumn = o.nameColumn;
    output.singleFile = o.singleFile;

    qm::RunOutcome outcome;
    {
        BatchObserver observer;
        qm::MergeRun run(planner.TakeJob(output), host, observer);
        outcome = run.Execute();
    }
    const bool failed = outcome.failed();
    tidy.keep = outcome.documentsMade > 0;
    // Bookmarks the documents left as in the template: named once each, with the rows.
    for (const qm::BookmarkLeft& b : outcome.bookmarksLeft)
        std::cerr << "quillmerge-batch: bookmark " << Escaped(b.name) << " left as in the template ("
                  << (o.multiRow ? "documents " : "rows ") << qm::JoinNumbers(b.where, ", ")
                  << "): " << b.reason << '\n';
    // Bookmarks filled with something to know: named once each (and with the bookmark each
    // overlaps), with the rows.
    for (const qm::BookmarkNote& n : outcome.bookmarkNotes) {
        const std::string where = (o.multiRow ? "documents " : "rows ") + qm::JoinNumbers(n.where, ", ");
        if (n.cause == qm::engine::Note::Cause::Overlap)
            std::cerr << "quillmerge-batch: bookmark " << Escaped(n.name) << " overlaps bookmark "
                      << Escaped(n.other) << ", filled first (" << where << "): " << Escaped(n.name)
                      << " took what remained of its range\n";
        else
            std::cerr << "quillmerge-batch: bookmark " << Escaped(n.name)
                      << " is a form text field of at most " << n.limit << " characters (" << where
                      << "): the longer value was written whole\n";
    }
    // Picture files that could not be placed: named once each, with the rows that name them.
    for (const qm::PictureLeft& p : outcome.picturesLeft)
        std::cerr << "quillmerge-batch: picture " << Escaped(p.file) << " not placed (rows "
                  << qm::JoinNumbers(p.where, ", ") << "): " << p.reason
                  << "; its bookmarks are left as in the template\n";
    if (!outcome.officeRestarts.empty()) {
        std::string which;
        for (const qm::word::OfficeRestart& r : outcome.officeRestarts)
            which +=
                (which.empty() ? "" : ", ") + ("office " + std::to_string(r.office) + " " + EndWords(r.end));
        std::cerr << "quillmerge-batch: the office was started again " << outcome.officeRestarts.size()
                  << (outcome.officeRestarts.size() == 1 ? " time" : " times") << " (" << which
                  << "); its documents were converted again\n";
    }
    if (!outcome.convertedSeparately.empty())
        std::cerr
            << "quillmerge-batch: the office converted the documents one at a time (slower, same pages): "
            << outcome.convertedSeparately << '\n';
    if (failed) {
        // The run's closing message is meant for the window; here the same facts make one line.
        std::vector<std::string> problems;
        if (outcome.nothingMatched) problems.push_back("no bookmark of the template was filled");
        // One part for each cause, with the documents it took.
        std::vector<std::pair<std::string, std::vector<int>>> causes;
        for (const qm::DocumentFailure& f : outcome.failures) {
            const std::string words = FailureWords(f);
            auto it =
                std::find_if(causes.begin(), causes.end(), [&](const auto& c) { return c.first == words; });
            if (it == causes.end()) it = causes.insert(causes.end(), {words, {}});
            it->second.push_back(f.number);
        }
        for (const auto& [words, numbers] : causes) {
            std::string list;
            for (int n : numbers) list += (list.empty() ? "" : ", ") + qm::IntToText(n);
            problems.push_back((numbers.size() == 1 ? "document " : "documents ") + list +
                               (o.print ? " could not be printed" : " could not be saved") + " (" + words +
                               ")");
        }
        if (outcome.diskFull) problems.push_back("the disk is full; later documents were not made");
        if (outcome.folderGone)
            problems.push_back("the output folder is gone; later documents were not made");
        if (outcome.folderReadOnly)
            problems.push_back("the output folder can no longer be written; later documents were not made");
        if (outcome.stopped) problems.push_back("interrupted; the documents made so far are kept");
        if (outcome.officeLost)
            problems.push_back("the office stopped answering; later documents were not made");
        if (outcome.templateLost)
            problems.push_back("the template could not be opened again; later documents were not made");
        if (outcome.templateChanged)
            problems.push_back("the template changed during the run; later documents were not made");
        if (!outcome.temporaryFolder.empty())
            problems.push_back(TemporaryFolderWords(outcome.temporaryFolder, outcome.temporaryError) +
                               (outcome.documentsMade + outcome.failures.size() > 0
                                    ? "; later documents were not made"
                                    : "; the office cannot convert the documents (set TMPDIR to a folder "
                                      "that can be written)"));
        if (!outcome.flushError.empty())
            problems.push_back("the documents could not be put on disk (" + outcome.flushError +
                               "); they may be lost in a power cut");
        if (outcome.singleFileFailed)
            problems.push_back("the one PDF was not written; an earlier file of its name is kept");
        std::string line;
        for (const std::string& p : problems) line += (line.empty() ? "" : "; ") + p;
        std::cerr << "quillmerge-batch: " << line << '\n';
        // Which rows of the range have no document (none has, when the one PDF was not written).
        if (outcome.firstRow > 0 && !outcome.nothingMatched && !o.singleFile) {
            const std::vector<int> missing = outcome.RowsWithoutDocument();
            if (!missing.empty())
                std::cerr << "quillmerge-batch: rows without a document: " << qm::JoinNumbers(missing, ", ")
                          << '\n';
        }
    }
    if (o.save && outcome.documentsMade == 0) {
        std::cout << "0 documents saved\n";
    } else if (o.singleFile) {
        if (!outcome.files.empty())
            std::cout << "1 PDF file holding " << outcome.documentsMade
                      << (outcome.documentsMade == 1 ? " document" : " documents") << " saved as "
                      << outcome.files.front() << '\n';
        else
            std::cout << "0 files saved\n";
    } else if (o.save && outcome.folderGone) {
        // The folder the documents went to is gone, and they with it: it is not named as theirs.
        std::cout << "0 documents saved: the output folder was removed during the run, with the "
                  << outcome.documentsMade << (outcome.documentsMade == 1 ? " document" : " documents")
                  << " saved in it\n";
    } else if (o.save) {
        std::cout << outcome.documentsMade << (outcome.documentsMade == 1 ? " document" : " documents")
                  << " saved in " << folder << '\n';
    } else {
        std::cout << outcome.documentsMade << (outcome.documentsMade == 1 ? " document" : " documents")
                  << " sent to the default printer\n";
    }
    if (outcome.stopped) return 128 + gStopSignal;
    return failed ? kRunFailed : 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "quillmerge-batch: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "quillmerge-batch: unexpected failure\n";
    }
    return kRunFailed;
}
