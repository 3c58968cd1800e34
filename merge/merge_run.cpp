#include "merge/merge_run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "common/fs.h"
#include "common/text.h"
#include "data/cursor.h"
#include "data/names.h"
#include "merge/combined_pdf.h"
#include "merge/matching.h"
#include "merge/output_names.h"
#include "word/pdf_join.h"
#include "word/word_host.h"

namespace qm {

namespace {

bool SameError(const std::string& error, int code) {
    return error == std::strerror(code);
}

// The longest value the office is given to convert. The office lays a paragraph out in a time
// that grows faster than its length: 512 kB of text take it 8 s, 2 MB nine minutes, and 100 MB
// all of the machine's memory. No cell of a .xlsx (32,767 characters) comes near it.
constexpr std::size_t kLargestValueForTheOffice = 1u << 20;

double Megabytes(std::size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

std::string PictureProblemWords(engine::PictureProblem problem) {
    switch (problem) {
        case engine::PictureProblem::Missing:
            return "文件不存在";
        case engine::PictureProblem::NotRegular:
            return "不是普通文件";
        case engine::PictureProblem::TooLarge:
            return "文件超过 20 MB";
        case engine::PictureProblem::Unreadable:
            return "文件无法读取";
        case engine::PictureProblem::NotAnImage:
            return "不是 JPEG 或 PNG 图片";
        case engine::PictureProblem::Damaged:
            return "图片已损坏";
        case engine::PictureProblem::None:
            break;
    }
    return {};
}

// Why a bookmark kept the template's text, as the closing messages say it.
std::string LeftReason(const engine::Skip& skip) {
    switch (skip.cause) {
        case engine::Skip::Cause::Inside:
            return "位于书签“" + skip.outer + "”之内，由其值取代";
        case engine::Skip::Cause::NoState:
            return "复选框只接受 1、是、√、☑、true、yes、on（勾选）或 "
                   "0、否、☐、false、no、off、空值（不勾选）";
        case engine::Skip::Cause::NoEntry: {
            const std::size_t colon = skip.why.find(": ");
            return "下拉列表只接受其中的选项：" +
                   (colon == std::string::npos ? std::string() : skip.why.substr(colon + 2));
        }
        case engine::Skip::Cause::Refused:
            break;
    }
    return "本程序无法填写（" + ReasonText(skip.why) + "）";
}

}  // namespace

std::string JoinNumbers(const std::vector<int>& numbers, std::string_view separator) {
    std::vector<int> sorted = numbers;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::string text;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1) ++j;
        if (!text.empty()) text += separator;
        text += IntToText(sorted[i]);
        if (j > i) text += "-" + IntToText(sorted[j]);
        i = j + 1;
    }
    return text;
}

std::string BookmarksLeftText(const std::vector<BookmarkLeft>& left, bool multiRowMode) {
    std::string text;
    for (const BookmarkLeft& b : left) {
        text += "书签“" + b.name + "”保持模板原样（" + (multiRowMode ? "文档 " : "行 ") +
                JoinNumbers(b.where, "、") + "）：" + b.why + "。\r\n";
    }
    return text;
}

std::string BookmarkNotesText(const std::vector<BookmarkNote>& notes, bool multiRowMode) {
    std::string text;
    for (const BookmarkNote& n : notes) {
        const std::string where =
            std::string("（") + (multiRowMode ? "文档 " : "行 ") + JoinNumbers(n.where, "、") + "）";
        switch (n.cause) {
            case engine::Note::Cause::Overlap:
                text += "书签“" + n.name + "”与书签“" + n.other + "”重叠：先填入“" + n.other + "”，“" +
                        n.name + "”只填入其余部分" + where + "。\r\n";
                break;
            case engine::Note::Cause::TooLong:
                text += "书签“" + n.name + "”是最多 " + IntToText(static_cast<long long>(n.limit)) +
                        " 个字符的文字型窗体域，值超出仍完整写入" + where + "。\r\n";
                break;
        }
    }
    return text;
}

std::string PicturesLeftText(const std::vector<PictureLeft>& left) {
    std::string text;
    for (const PictureLeft& p : left)
        text += "图片“" + p.file + "”没有放入（" + p.why + "），书签保持模板原样（行 " +
                JoinNumbers(p.where, "、") + "）。\r\n";
    return text;
}

std::string MergeQuery(const std::vector<std::string>& matchedTitles, std::string_view sheetName) {
    std::string query = "select ";
    for (std::size_t i = 0; i < matchedTitles.size(); ++i) query += (i ? "," : "") + matchedTitles[i];
    query += " from [";
    query += sheetName;
    query += "]";
    return query;
}

MergeRun::MergeRun(MergeJob job, word::WordHost& host, RunObserver& observer)
    : job_(std::move(job)), host_(host), observer_(observer), route_(word::Route::Engine) {}
MergeRun::~MergeRun() = default;

bool MergeRun::IsPrint() const {
    return job_.request.kind == OutputKind::Print;
}

RunOutcome MergeRun::Execute() {
    outcome_.started = true;
    outcome_.print = IsPrint();
    outcome_.singleFile = job_.request.singleFile && !IsPrint();
    outcome_.multiRowMode = job_.multiRowMode;
    outcome_.outputFolder = job_.outputFolder;
    outcome_.referenceName = job_.referenceName;
    if (!Prepare()) return outcome_;
    if (combined_ && !combined_->Begin()) {
        outcome_.joinError = "the folder for its parts cannot be made";
        return End();
    }
    if (job_.multiRowMode)
        RunMultiRowMerge();
    else
        RunSingleRowMerge();
    return End();
}

// Finds the matched columns and moves to the first row; chooses who makes the documents. False
// when the range starts past the last record: the run then ends without a word.
bool MergeRun::Prepare() {
    const RunRequest& request = job_.request;
    start_ = request.start < 1 ? 1 : request.start;
    cursor_ = job_.sheet.get();
    const long long n = cursor_ ? cursor_->recordCount() : 0;
    if (n < start_) return false;
    const long long end = request.end < 1 || request.end > n ? n : request.end;
    cursor_->seek(start_ - 1);
    count_ = TruncToInt(static_cast<double>(end) - start_ + 1);
    total_ = job_.multiRowMode
                 ? (count_ + std::max(job_.slotsPerDocument, 1) - 1) / std::max(job_.slotsPerDocument, 1)
                 : count_;
    outcome_.firstRow = start_;
    outcome_.lastRow = static_cast<int>(end);
    if (n > 0 && cursor_->sheetRow(n - 1) != n - 1)
        for (long long row = 0; row < n; ++row)
            outcome_.sheetRows.push_back(static_cast<int>(cursor_->sheetRow(row)) + 1);
    for (const std::string& title : job_.titles) {
        columns_.push_back(cursor_->fieldIndex(title));
        pictureColumns_.push_back(std::find(job_.pictureTitles.begin(), job_.pictureTitles.end(), title) !=
                                  job_.pictureTitles.end());
    }

    // The engine makes the documents whenever it reads the template; a bookmark it cannot fill
    // stays as the template has it. Only a template it cannot read goes to the office.
    // (A template kept from the office, damaged say, is not its either: the engine's refusal
    // stops the run.)
    const engine::OpenResult read = host_.TemplateAt(request.templatePath);
    route_ = read || engine::KeptFromTheOffice(read.refusal) ? word::Route::Engine : word::Route::Office;
    outcome_.throughOffice = route_ == word::Route::Office;
    if (!IsPrint()) {
        if (request.singleFile) {
            combined_ = std::make_unique<CombinedPdf>(job_.outputFolder + job_.referenceName + ".pdf");
        } else if (!request.nameColumn.empty()) {
            // A column gone from the sheet names every file by its number, as an empty value does.
            nameField_ = cursor_->fieldIndex(request.nameColumn);
            namer_ = std::make_unique<DocumentNamer>(job_.referenceName, request.extension);
        }
    }
    // The working document of the template choice serves when it is still there and was made
    // the same way; otherwise (closed in the office's window, say) it is made again.
    // The template changed since its working document was made: the run's documents come from
    // the file as it is now.
    if (host_.CurrentRoute() != route_ || host_.CurrentTemplatePath() != request.templatePath ||
        !host_.IsDocumentOpen() || StampOf(request.templatePath) != host_.CurrentTemplateStamp()) {
        if (route_ == word::Route::Office && !host_.IsWordRunning()) Report(RunPhase::StartingOffice, {});
        host_.OpenTemplate(request.templatePath, route_);
    }
    templateStamp_ = host_.CurrentTemplateStamp();
    // PDF and ODT files of the engine's documents are converted by the office while the run goes
    // on making the next documents.
    const std::string extension = LowerExtension(request.extension);
    throughOffice_ = route_ == word::Route::Office || IsPrint() || extension == ".pdf" ||
                     extension == ".odt" || combined_ != nullptr;
    // A run that was killed while it saved may have left a temporary file here.
    if (!IsPrint()) RemoveStaleTemporaries(job_.outputFolder);
    RemoveStalePrivateFolders();
    // The office reads and writes every document through the temporary folder: one that cannot
    // be written would fail every document, each with a cause that names another place.
    if (throughOffice_) {
        const std::string folder = TemporaryFolder();
        if (const int error = CheckWritable(folder); error != 0) {
            outcome_.temporaryFolder = folder;
            outcome_.temporaryError = error;
            return false;
        }
    }
    bool officeStarting = false;
    // So are the documents of a print run, into PDFs of a folder of the run's own.
    if (IsPrint() && route_ == word::Route::Engine && host_.Converter())
        printFolder_ = MakePrivateFolder("quillmerge-print");
    if (route_ == word::Route::Engine &&
        (IsPrint() ? !printFolder_.empty() : extension == ".pdf" || extension == ".odt" || combined_)) {
        converter_ = host_.Converter();
        // Until an office runs, the first documents wait for it: the progress says so.
        officeStarting = converter_ && !host_.IsWordRunning() && converter_->officesRunning() == 0;
        if (converter_) converter_->Begin();
    }
    Report(officeStarting ? RunPhase::StartingOffice : RunPhase::Making, {});
    return true;
}

bool MergeRun::Halted() const {
    return outcome_.diskFull || outcome_.folderGone || outcome_.folderReadOnly ||
           !outcome_.temporaryFolder.empty();
}

word::SaveResult MergeRun::TooLarge() const {
    word::SaveResult failed;
    failed.fault = word::SaveFault::ValueTooLarge;
    failed.where = tooLargeColumn_;
    failed.megabytes = Megabytes(tooLargeBytes_);
    failed.error = "the value of " + tooLargeColumn_ + " is too large for the office";
    return failed;
}

void MergeRun::Report(RunPhase phase, const std::string& fileName) {
    RunProgress now;
    now.phase = phase;
    now.done = done_;
    now.total = total_;
    now.fileName = fileName;
    if (converter_) {
        const std::vector<word::OfficeRestart> restarts = converter_->restarts();
        now.officeRestarts = static_cast<int>(restarts.size());
        if (!restarts.empty()) now.lastRestart = restarts.back();
    }
    observer_.progress(now);
}

// True when a document can be made: a working document is there (and, for the office's, the
// office answers). Otherwise the run stops here; the closing message says so.
bool MergeRun::DocumentReady() {
    if (route_ == word::Route::Office && !host_.IsWordRunning()) {
        outcome_.officeLost = true;
        return false;
    }
    // The template could not be opened again (moved or deleted during the run): every further
    // row would fill nothing and fail to save.
    if (!host_.IsDocumentOpen()) {
        outcome_.templateLost = true;
        return false;
    }
    return true;
}

bool MergeRun::Stopping() {
    if (!observer_.stopRequested()) return false;
    outcome_.stopped = true;
    return true;
}

// Writes the value of column `column` into `bookmark`, or into its copies "_c1", "_c2", … in
// repeat mode. True when at least one bookmark was filled.
bool MergeRun::FillField(std::size_t column, const std::string& bookmark) {
    const int field = columns_[column];
    const std::string value = field >= 0 ? cursor_->fieldValue(field) : std::string();
    const bool picture = pictureColumns_[column];
    // A picture column's bookmark takes the picture its value names. Without one (an empty
    // value, a file that cannot be placed) it stays as in the template, and counts as filled so
    // that the row still makes its document.
    std::shared_ptr<const engine::Picture> image;
    if (picture && !data::TrimBlanks(value).empty()) image = PictureFor(value);
    // Too long for the office to lay out: the document is not made, and the run says which
    // column's value it was.
    if (!picture && value.size() > kLargestValueForTheOffice && throughOffice_) {
        if (tooLargeColumn_.empty() || value.size() > tooLargeBytes_) {
            tooLargeColumn_ = job_.titles[column];
            tooLargeBytes_ = value.size();
        }
        return true;
    }
    const auto fill = [&](const std::string& name) {
        if (!picture) return host_.SetBookmarkText(name, value);
        if (!host_.BookmarkExists(name)) return false;
        if (image) host_.SetBookmarkPicture(name, image);
        return true;
    };
    if (!job_.repeatMode) return fill(bookmark);
    bool filled = false;
    for (int n = 1;; ++n) {
        const std::string copy = bookmark + "_c" + IntToText(n);
        if (!host_.BookmarkExists(copy)) break;
        if (fill(copy)) filled = true;
    }
    return filled;
}

std::shared_ptr<const engine::Picture> MergeRun::PictureFor(const std::string& value) {
    const std::string name(data::TrimBlanks(value));
    const std::string path = name.front() == '/' ? name : job_.pictureFolder + name;
    auto it = pictures_.find(path);
    if (it == pictures_.end()) {
        // Photos are mostly one per row: what was read is kept while it stays small, so that a
        // picture on every document (a logo, a seal) is read once.
        constexpr std::size_t kKeptBytes = 64u << 20;
        if (pictureBytes_ > kKeptBytes) {
            std::erase_if(pictures_, [](const auto& p) { return p.second.picture != nullptr; });
            pictureBytes_ = 0;
        }
        it = pictures_.emplace(path, engine::ReadPicture(path)).first;
        if (it->second.picture) pictureBytes_ += it->second.picture->bytes.size();
    }
    if (it->second.picture) return it->second.picture;
    const engine::PictureProblem problem = it->second.problem;
    const int row = static_cast<int>(cursor_->sheetRow(cursor_->position())) + 1;
    auto left = std::find_if(outcome_.picturesLeft.begin(), outcome_.picturesLeft.end(),
                             [&](const PictureLeft& p) { return p.file == name; });
    if (left == outcome_.picturesLeft.end())
        left = outcome_.picturesLeft.insert(outcome_.picturesLeft.end(),
                                            PictureLeft{name,
                                                        PictureProblemWords(problem),
                                                        std::string(engine::PictureProblemText(problem)),
                                                        {},
                                                        problem});
    if (left->where.empty() || left->where.back() != row) left->where.push_back(row);
    return nullptr;
}

// Saves or prints the filled working document as number `number` (rows firstRow..lastRow), then
// makes a fresh working document from the template. False when the run cannot go on.
bool MergeRun::FinishDocument(int number, int firstRow, int lastRow) {
    NoteBookmarksLeft(number);
    NoteBookmarkNotes(number);
    if (IsPrint() && !converter_ && !tooLargeColumn_.empty()) {
        host_.CloseDocument();
        ++ordinal_;
        ++done_;
        outcome_.failures.push_back(Failure(number, {}, TooLarge()));
        outcome_.failedNumbers.push_back(number);
        Report(RunPhase::Making, {});
    } else if (IsPrint()) {
        // Each job is called after the template and the row (the document in multi-row mode)
        // it prints: "劳动合同-12".
        const std::string job =
            StripExtension(NameOfPath(job_.request.templatePath)) + "-" + IntToText(number);
        ++ordinal_;
        if (converter_) {
            // Made into a PDF by the converter, then printed in its turn.
            const Pending pending{
                number, firstRow, lastRow, ordinal_, printFolder_ + "/" + IntToText(ordinal_) + ".pdf", job};
            if (!HandOver(pending)) return false;
        } else {
            const bool made = host_.PrintDocument(job);
            host_.CloseDocument();
            RecordPrint(Pending{number, firstRow, lastRow, ordinal_, {}, job}, made);
        }
    } else {
        const std::string fileName = OutputFileName(number);
        const Pending pending{number, firstRow, lastRow, ordinal_, fileName, {}};
        if (converter_) {
            if (!HandOver(pending)) return false;
        } else {
            const word::SaveResult saved =
                tooLargeColumn_.empty() ? host_.SaveDocumentAs(fileName) : TooLarge();
            host_.CloseDocument();
            Record(pending, saved);
        }
    }
    tooLargeColumn_.clear();
    tooLargeBytes_ = 0;
    // A full disk takes every later document too.
    if (Halted()) return false;
    // Re-opening the template would start a new office if this one died; stop instead.
    if (route_ == word::Route::Office && !host_.IsWordRunning()) {
        outcome_.officeLost = true;
        return false;
    }
    // Replaced or changed meanwhile (another file moved over it, say): the later documents would
    // come from another template, so the run stops. A template that is gone is told by
    // DocumentReady, as before.
    if (const FileStamp now = StampOf(job_.request.templatePath);
        now != FileStamp{} && now != templateStamp_) {
        outcome_.templateChanged = true;
        return false;
    }
    host_.OpenTemplate(job_.request.templatePath, route_);
    if (host_.IsDocumentOpen() && host_.CurrentTemplateStamp() != templateStamp_) {
        outcome_.templateChanged = true;
        return false;
    }
    return true;
}

// The working document, made by the engine, goes to the converter; what it finished meanwhile
// is recorded. False when the run was stopped while the converter had no room.
bool MergeRun::HandOver(const Pending& pending) {
    word::Conversion item;
    std::string error;
    const bool made = tooLargeColumn_.empty() && host_.MakeDocumentFile(item.bytes, item.format, error);
    host_.CloseDocument();
    if (!made) {
        word::SaveResult failed = TooLarge();
        if (tooLargeColumn_.empty()) failed = word::SaveFailed(error, pending.fileName);
        if (IsPrint()) {
            // It still takes its turn: the documents after it wait for it.
            toPrint_.emplace(pending.ordinal, std::make_pair(pending, failed));
            PrintInOrder(false);
        } else {
            Record(pending, failed);
        }
        return true;
    }
    item.key = pending.ordinal;
    item.target = pending.fileName;
    item.pagesOnly = combined_ != nullptr;
    pending_.emplace(pending.ordinal, pending);
    while (!converter_->Add(item, std::chrono::milliseconds(100))) {
        TakeConverted();
        if (Stopping()) {
            pending_.erase(pending.ordinal);
            return false;
        }
    }
    TakeConverted();
    return true;
}

void MergeRun::TakeConverted() {
    for (const word::Converted& c : converter_->Take()) {
        const auto it = pending_.find(c.key);
        if (it == pending_.end()) continue;
        const Pending pending = it->second;
        pending_.erase(it);
        if (IsPrint())
            toPrint_.emplace(pending.ordinal, std::make_pair(pending, c.saved));
        else
            Record(pending, c.saved, c.inPrevious);
    }
    if (IsPrint()) PrintInOrder(false);
    // A disk that filled up, or a folder that went, takes every document still queued.
    if (Halted()) converter_->Stop();
}

void MergeRun::PrintInOrder(bool last) {
    for (auto it = toPrint_.begin(); it != toPrint_.end(); it = toPrint_.erase(it)) {
        const auto& [pending, converted] = it->second;
        if (pending.ordinal != nextToPrint_ && !last) break;
        bool made = false;
        // Once one is missing (stopped before it was made), none after it is printed.
        if (pending.ordinal == nextToPrint_ && converted.ok) {
            std::string error;
            made = word::PrintPdf(pending.fileName, pending.jobName, error);
        }
        ::unlink(pending.fileName.c_str());
        if (pending.ordinal != nextToPrint_) continue;
        ++nextToPrint_;
        RecordPrint(pending, made);
    }
}

void MergeRun::RecordPrint(const Pending& pending, bool made) {
    ++done_;
    if (made) {
        ++outcome_.documentsMade;
        for (int row = pending.firstRow; row <= pending.lastRow; ++row) outcome_.rowsMade.push_back(row);
    } else {
        outcome_.failures.push_back(
            {pending.number, FailureKind::OfficeFailed, "the document could not be printed", 0, 0});
        outcome_.failedNumbers.push_back(pending.number);
    }
    Report(RunPhase::Making, {});
}

// What became of one saved document.
void MergeRun::Record(const Pending& pending, const word::SaveResult& saved, bool inPrevious) {
    ++done_;
    if (saved.ok) {
        if (!flusher_) flusher_ = std::make_unique<DiskFlusher>(job_.outputFolder);
        flusher_->Written();
        if (combined_ && !inPrevious)
            combined_->Add(pending.fileName);
        else if (!combined_)
            madeFiles_.emplace_back(pending.ordinal, pending.fileName);
        ++outcome_.documentsMade;
        for (int row = pending.firstRow; row <= pending.lastRow; ++row) outcome_.rowsMade.push_back(row);
    } else {
        outcome_.failures.push_back(Failure(pending.number, pending.fileName, saved));
        if (saved.diskFull) outcome_.failures.back().kind = FailureKind::DiskFull;
        // A folder that went, or can no longer be written, takes every later document too; so
        // does a temporary folder that failed.
        const FailureKind kind = outcome_.failures.back().kind;
        if (kind == FailureKind::FolderGone) outcome_.folderGone = true;
        if (kind == FailureKind::TemporaryFolder && outcome_.temporaryFolder.empty()) {
            outcome_.temporaryFolder = saved.where;
            outcome_.temporaryError = saved.code;
        }
        if (kind == FailureKind::NoPermission && ::access(job_.outputFolder.c_str(), W_OK) != 0)
            outcome_.folderReadOnly = true;
        outcome_.failedNumbers.push_back(pending.number);
    }
    if (saved.diskFull) outcome_.diskFull = true;
    Report(RunPhase::Making, combined_ ? job_.referenceName + ".pdf" : NameOfPath(pending.fileName));
}

// The documents still with the converter: all of them when the run went to its end, only those
// in hand when it was stopped or cannot go on.
void MergeRun::FinishConversions() {
    if (!converter_) return;
    const bool cut = outcome_.stopped || Halted();
    if (cut) converter_->Stop();
    while (!cut && !converter_->WaitAll(std::chrono::milliseconds(100))) {
        TakeConverted();
        if (Stopping()) {
            converter_->Stop();
            break;
        }
    }
    TakeConverted();
    if (IsPrint()) PrintInOrder(true);
    // Documents no office took are not made; the rows left say so.
    pending_.clear();
    if (!printFolder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::u8path(printFolder_), ignored);
    }
    outcome_.convertedSeparately = converter_->separateReason();
    outcome_.officeRestarts = converter_->restarts();
    converter_ = nullptr;
}

// Why document `number`, to be saved as `fileName`, was not: the save's own words sorted into the
// kinds the closing messages name.
DocumentFailure MergeRun::Failure(int number, const std::string& fileName,
                                  const word::SaveResult& saved) const {
    const std::string& error = saved.error;
    DocumentFailure failure{number, FailureKind::Other, error, saved.code, 0};
    const auto is = [&](int code) {
        return saved.code == code || (saved.code == 0 && SameError(error, code));
    };
    switch (saved.fault) {
        case word::SaveFault::Scratch:
            failure.kind = FailureKind::TemporaryFolder;
            failure.detail = saved.where;
            return failure;
        case word::SaveFault::ValueTooLarge:
            failure.kind = FailureKind::TooLargeForOffice;
            failure.detail = saved.where;
            failure.megabytes = saved.megabytes;
            return failure;
        case word::SaveFault::OfficeNoAnswer:
            failure.kind = FailureKind::OfficeNoAnswer;
            return failure;
        case word::SaveFault::OfficeOutOfMemory:
            failure.kind = FailureKind::TooLargeForOffice;
            failure.detail.clear();
            failure.megabytes = saved.megabytes;
            return failure;
        case word::SaveFault::OfficeStopped:
            failure.kind = FailureKind::OfficeFailed;
            return failure;
        case word::SaveFault::Unknown:
            break;
    }
    if (!DirectoryExists(job_.outputFolder) || is(ENOENT) || is(ENOTDIR))
        failure.kind = FailureKind::FolderGone;
    else if (is(ENOSPC) || is(EDQUOT))
        failure.kind = FailureKind::DiskFull;
    else if (is(ENAMETOOLONG) || NameOfPath(fileName).size() > kMaxFileNameBytes)
        failure.kind = FailureKind::NameTooLong;
    else if (is(EACCES) || is(EPERM) || is(EROFS))
        failure.kind = FailureKind::NoPermission;
    else if (error.find("value") != std::string::npos)
        failure.kind = FailureKind::ValueRefused;
    else if (error.find("office") != std::string::npos)
        failure.kind = FailureKind::OfficeFailed;
    return failure;
}

// Notes the bookmarks the working document leaves as in the template, before it is closed.
void MergeRun::NoteBookmarksLeft(int number) {
    for (const engine::Skip& skip : host_.BookmarksLeft()) {
        const std::string why = LeftReason(skip);
        auto it = std::find_if(outcome_.bookmarksLeft.begin(), outcome_.bookmarksLeft.end(),
                               [&](const BookmarkLeft& b) { return b.name == skip.name && b.why == why; });
        if (it == outcome_.bookmarksLeft.end())
            it = outcome_.bookmarksLeft.insert(outcome_.bookmarksLeft.end(),
                                               BookmarkLeft{skip.name, why, skip.why, {}});
        it->where.push_back(number);
    }
}

// Notes what the user should know of the bookmarks the working document fills, before it is
// closed: each bookmark once for each cause (and each bookmark it overlaps), with the rows it
// concerns.
void MergeRun::NoteBookmarkNotes(int number) {
    for (const engine::Note& note : host_.BookmarkNotes()) {
        auto it = std::find_if(
            outcome_.bookmarkNotes.begin(), outcome_.bookmarkNotes.end(), [&](const BookmarkNote& n) {
                return n.name == note.name && n.cause == note.cause && n.other == note.other;
            });
        if (it == outcome_.bookmarkNotes.end())
            it = outcome_.bookmarkNotes.insert(
                outcome_.bookmarkNotes.end(),
                BookmarkNote{note.name, note.cause, note.other, note.limit, {}});
        if (it->where.empty() || it->where.back() != number) it->where.push_back(number);
    }
}

void MergeRun::BeginDocument() {
    documentValue_ = nameField_ >= 0 ? cursor_->fieldValue(nameField_) : std::string();
}

std::string MergeRun::OutputFileName(int number) {
    ++ordinal_;
    if (combined_) return combined_->PartPath(ordinal_);
    if (namer_) return job_.outputFolder + namer_->Next(documentValue_, number);
    return job_.outputFolder + job_.referenceName + IntToText(number) + job_.request.extension;
}

// The one PDF is written only when it can hold every document of the range; a run that failed
// or was stopped part-way leaves the earlier file of its name alone.
void MergeRun::JoinDocuments() {
    if (!combined_) return;
    const bool whole = outcome_.documentsMade > 0 && outcome_.failedNumbers.empty() && !outcome_.officeLost &&
                       !outcome_.templateLost && !outcome_.templateChanged && !outcome_.diskFull &&
                       !outcome_.stopped;
    if (whole) Report(RunPhase::Joining, job_.referenceName + ".pdf");
    if (whole && combined_->Finish(outcome_.joinError)) {
        outcome_.files.push_back(combined_->target());
    } else if (!outcome_.nothingMatched) {
        outcome_.singleFileFailed = true;
        if (whole && LowOnSpace(job_.outputFolder, 256 * 1024)) outcome_.diskFull = true;
    }
    combined_.reset();
}

std::vector<int> RunOutcome::RowsWithoutDocument() const {
    std::vector<int> missing;
    if (firstRow <= 0) return missing;
    for (int row = firstRow; row <= lastRow; ++row)
        if (!std::binary_search(rowsMade.begin(), rowsMade.end(), row))
            missing.push_back(sheetRows.empty() ? row : sheetRows[static_cast<std::size_t>(row - 1)]);
    return missing;
}

RunOutcome MergeRun::End() {
    FinishConversions();
    // Converted documents come back in the order they were finished.
    std::sort(madeFiles_.begin(), madeFiles_.end());
    for (auto& [ordinal, file] : madeFiles_) outcome_.files.push_back(std::move(file));
    madeFiles_.clear();
    std::sort(outcome_.rowsMade.begin(), outcome_.rowsMade.end());
    std::stable_sort(outcome_.failures.begin(), outcome_.failures.end(),
                     [](const DocumentFailure& a, const DocumentFailure& b) { return a.number < b.number; });
    std::sort(outcome_.failedNumbers.begin(), outcome_.failedNumbers.end());
    JoinDocuments();
    // "完成" means on disk: what the file system still holds in memory is written out, most of
    // it already while the documents were made.
    int error = 0;
    if (flusher_ && outcome_.documentsMade > 0 && !outcome_.folderGone && !flusher_->Finish(error))
        outcome_.flushError = std::strerror(error);
    flusher_.reset();
    cursor_ = nullptr;
    job_.sheet.reset();
    return outcome_;
}

void MergeRun::RunSingleRowMerge() {
    bool nothingFilled = true;
    for (int i = 1; i <= count_; ++i) {
        if (cursor_->eof()) break;
        if (Stopping()) break;
        if (!DocumentReady()) break;
        BeginDocument();
        for (std::size_t c = 0; c < job_.titles.size(); ++c)
            if (FillField(c, job_.titles[c])) nothingFilled = false;
        if (nothingFilled) {
            // A working document that went while filling is not a template without bookmarks.
            if (DocumentReady()) outcome_.nothingMatched = true;
            break;
        }
        cursor_->moveNext();
        const int row = start_ + i - 1;
        // Single-row files are numbered by their sheet row, with or without filters.
        const int number =
            outcome_.sheetRows.empty() ? row : outcome_.sheetRows[static_cast<std::size_t>(row - 1)];
        if (!FinishDocument(number, row, row)) break;
    }
}

void MergeRun::RunMultiRowMerge() {
    int i = 1;
    int documents = 0;
    while (i <= count_) {
        if (Stopping()) break;
        if (!DocumentReady()) break;
        const int firstRow = start_ + i - 1;
        BeginDocument();
        int k = 0;
        bool documentEmpty = true;
        while (true) {
            if (cursor_->eof()) break;
            bool rowFilled = false;
            ++k;
            for (std::size_t c = 0; c < job_.titles.size(); ++c) {
                if (FillField(c, job_.titles[c] + "_" + IntToText(k))) {
                    rowFilled = true;
                    documentEmpty = false;
                }
            }
            if (documentEmpty) break;
            // No bookmark for slot k: this row opens the next document.
            if (!rowFilled) break;
            cursor_->moveNext();
            ++i;
            if (i > count_) break;
        }
        if (documentEmpty) {
            if (DocumentReady()) outcome_.nothingMatched = true;
            break;
        }
        ++documents;
        if (!FinishDocument(documents, firstRow, start_ + i - 2)) break;
        if (cursor_->eof()) break;
    }
}

}  // namespace qm
