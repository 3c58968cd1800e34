#include "app/core/run_messages.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/text.h"

namespace qm {

namespace {

constexpr std::string_view kNoBookmarkFilled = "当前Word模板没有与Excel数据表格标题相匹配的书签名称!";
constexpr std::string_view kOpenFolder = "是否打开存放文档所在文件夹？";
constexpr std::string_view kPrintDone =
    "打印作业已经发送到打印机，根据您默认打印机的情况，可能需要手动选择命令才能真正完成打印（如用虚拟打印机打"
    "印到文档时）！";

std::string MegabytesText(double megabytes) {
    char text[32];
    std::snprintf(text, sizeof text, megabytes < 10 ? "%.1f" : "%.0f", megabytes);
    return text;
}

// The temporary folder and what failed in it.
std::string TemporaryFolderText(const std::string& folder, int code) {
    const std::string named = "临时文件夹“" + folder + "”";
    switch (code) {
        case ENOSPC:
        case EDQUOT:
            return named + "已满";
        case EACCES:
        case EPERM:
        case EROFS:
            return named + "不能写入";
        case ENOENT:
        case ENOTDIR:
            return named + "不存在";
        default:
            break;
    }
    return named + "出错（" + std::strerror(code) + "）";
}

std::string KindText(const DocumentFailure& f, bool print) {
    const FailureKind kind = f.kind;
    const std::string& detail = f.detail;
    switch (kind) {
        case FailureKind::OfficeNoAnswer:
            return "Word程序长时间没有响应，已被结束";
        case FailureKind::TooLargeForOffice:
            if (!detail.empty())
                return "“" + detail + "”的值太大（" + MegabytesText(f.megabytes) + " MB），Word程序无法转换";
            return "文档太大，超出Word程序可用的内存（" + MegabytesText(f.megabytes) + " MB）";
        case FailureKind::TemporaryFolder:
            return TemporaryFolderText(detail, f.code);
        case FailureKind::NameTooLong:
            return "文件名太长";
        case FailureKind::FolderGone:
            return "保存文档的文件夹已不存在";
        case FailureKind::DiskFull:
            return "磁盘已满";
        case FailureKind::NoPermission:
            return "没有写入文件夹或文件的权限";
        case FailureKind::OfficeFailed:
            return print ? "打印失败" : "Word程序未能保存或转换文档";
        case FailureKind::ValueRefused:
            return "有值无法写入文档";
        case FailureKind::Other:
            break;
    }
    return detail.empty() ? std::string("出错") : "出错（" + detail + "）";
}

std::string EndText(word::OfficeEnd end) {
    switch (end) {
        case word::OfficeEnd::NoAnswer:
            return "没有响应";
        case word::OfficeEnd::OutOfMemory:
            return "内存不足";
        case word::OfficeEnd::None:
        case word::OfficeEnd::Stopped:
            break;
    }
    return "意外停止";
}

std::string RestartsText(const std::vector<word::OfficeRestart>& restarts) {
    if (restarts.empty()) return {};
    std::vector<std::pair<word::OfficeEnd, int>> counts;
    for (const word::OfficeRestart& r : restarts) {
        auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == r.end; });
        if (it == counts.end()) it = counts.insert(counts.end(), {r.end, 0});
        ++it->second;
    }
    std::string why;
    for (const auto& [end, count] : counts)
        why += (why.empty() ? "" : "，") + EndText(end) + " " + IntToText(count) + " 次";
    return "运行中Word程序重新启动了 " + IntToText(static_cast<long long>(restarts.size())) + " 次（" + why +
           "），其文档已重新转换。\r\n";
}

std::string Numbers(const std::vector<int>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size(); ++i) text += (i ? "、" : "") + IntToText(numbers[i]);
    return text;
}

std::string NothingMadeText(const RunOutcome& o) {
    std::string text = o.print ? "没有打印任何文档：" : "没有生成任何文档：";
    if (o.stopped) {
        text += "已按要求停止。";
    } else if (o.diskFull) {
        text += "磁盘已满。";
    } else if (o.folderGone) {
        text += "保存文件夹已不存在。";
    } else if (o.folderReadOnly) {
        text += "保存文件夹不能写入。";
    } else if (o.officeLost) {
        text += "Word程序已停止运行。";
    } else if (o.templateLost) {
        text += "Word模板无法打开。";
    } else if (o.templateChanged) {
        text += "Word模板在运行中被替换或修改。";
    } else if (!o.temporaryFolder.empty()) {
        text += TemporaryFolderText(o.temporaryFolder, o.temporaryError) + "，Word程序无法转换文档。";
    } else if (!o.failedNumbers.empty()) {
        text += o.print ? "打印失败的编号：" : "保存失败的编号：";
        text += Numbers(o.failedNumbers) + "。";
        if (const std::string causes = FailureCauses(o); !causes.empty()) text += "原因：" + causes + "。";
    } else {
        text += "范围内没有记录。";
    }
    return text;
}

std::string SingleFileFailureText(const RunOutcome& o) {
    std::string text = "未能生成合并的PDF文件“" + o.referenceName + ".pdf”，原有的同名文件保持不变。";
    if (!o.failedNumbers.empty()) {
        text += "编号为 " + Numbers(o.failedNumbers) + " 的文档未能生成";
        if (const std::string causes = FailureCauses(o); !causes.empty()) text += "（" + causes + "）";
        text += "。";
    }
    if (o.diskFull) text += "磁盘已满。";
    if (o.stopped) text += "已按要求停止。";
    if (o.officeLost) text += "Word程序已停止运行。";
    if (o.templateLost) text += "Word模板无法打开。";
    if (o.templateChanged) text += "Word模板在运行中被替换或修改。";
    if (!o.joinError.empty()) text += "合并时出错（" + o.joinError + "）。";
    if (!o.flushError.empty()) text += "文件未能确认写入磁盘（" + o.flushError + "）。";
    text += "是否打开存放文档所在文件夹？";
    return text;
}

std::string FailureText(const RunOutcome& o) {
    if (o.singleFile) return SingleFileFailureText(o);
    // A run the user stopped is not a run that failed: it says so first.
    std::string text = o.stopped
                           ? (o.print ? "已停止：已发送 " : "已停止：已生成 ")
                           : (o.print ? "打印未能全部完成：已发送 " : "完成，但有文档未能生成：已生成 ");
    text += IntToText(o.documentsMade);
    text += " 个";
    if (!o.failedNumbers.empty()) text += "，失败的编号：" + Numbers(o.failedNumbers);
    text += "。";
    if (const std::string causes = FailureCauses(o); !causes.empty()) text += "原因：" + causes + "。";
    const std::string later = o.print ? "其后的文档没有打印。" : "其后的文档没有生成。";
    if (o.diskFull) text += "磁盘已满，" + later;
    if (o.folderGone) text += "保存文件夹已不存在，" + later;
    if (o.folderReadOnly) text += "保存文件夹已不能写入，" + later;

    // A run cut short names the rows that got no document, so they can be made again.
    if (o.templateChanged) text += "Word模板在运行中被替换或修改，" + later;
    if (!o.temporaryFolder.empty())
        text += TemporaryFolderText(o.temporaryFolder, o.temporaryError) + "，" + later;
    if ((o.diskFull || o.stopped || o.folderGone || o.folderReadOnly || o.templateChanged ||
         !o.temporaryFolder.empty()) &&
        o.firstRow > 0) {
        const std::string rows = JoinNumbers(o.RowsWithoutDocument(), "、");
        if (!rows.empty()) text += "没有文档的行：" + rows + "。";
    }
    if (o.officeLost) text += "Word程序已停止运行，" + later;
    if (o.templateLost) text += "Word模板无法打开，" + later;
    if (o.nothingMatched) text += "Word模板中没有可填写的书签，" + later;
    if (!o.flushError.empty())
        text += "已生成的文档未能确认写入磁盘（" + o.flushError + "），断电时可能丢失。";
    if (!o.bookmarksLeft.empty() || !o.bookmarkNotes.empty() || !o.picturesLeft.empty() ||
        !o.officeRestarts.empty())
        text += "\r\n" + BookmarksLeftText(o.bookmarksLeft, o.multiRowMode) +
                BookmarkNotesText(o.bookmarkNotes, o.multiRowMode) + PicturesLeftText(o.picturesLeft) +
                RestartsText(o.officeRestarts);
    if (!o.print && !o.folderGone) text += "是否打开存放文档所在文件夹？";
    return text;
}

std::string DurationText(double seconds) {
    const long long s = std::llround(std::max(seconds, 1.0));
    if (s < 60) return IntToText(s) + " 秒";
    if (s < 3600) return IntToText((s + 30) / 60) + " 分钟";
    return IntToText(s / 3600) + " 小时 " + IntToText((s % 3600 + 30) / 60) + " 分钟";
}

}  // namespace

std::string FailureCauses(const RunOutcome& o) {
    std::vector<std::pair<std::string, std::vector<int>>> groups;
    for (const DocumentFailure& f : o.failures) {
        // What the message says anyway: a failed print job, a full disk.
        if ((o.print && f.kind == FailureKind::OfficeFailed) ||
            (o.diskFull && f.kind == FailureKind::DiskFull) ||
            (o.folderGone && f.kind == FailureKind::FolderGone) ||
            (o.folderReadOnly && f.kind == FailureKind::NoPermission) ||
            (!o.temporaryFolder.empty() && f.kind == FailureKind::TemporaryFolder))
            continue;
        const std::string cause = KindText(f, o.print);
        auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == cause; });
        if (it == groups.end()) it = groups.insert(groups.end(), {cause, {}});
        it->second.push_back(f.number);
    }
    std::string text;
    for (const auto& [cause, numbers] : groups)
        text += (text.empty() ? "" : "；") + cause + "（编号 " + JoinNumbers(numbers, "、") + "）";
    return text;
}

// Why the office converted the documents one at a time, in a line for the closing message; ""
// when it did not.
std::string SeparateText(const std::string& reason) {
    if (reason.empty()) return {};
    static const std::pair<std::string_view, std::string_view> kWhy[] = {
        {"footnotes", "模板有脚注"},
        {"endnotes", "模板有尾注"},
        {"lists", "模板有自动编号"},
        {"field", "模板有按整篇文档计算的域，如总页数"},
        {"more than one section", "模板有多个节"},
        {"differ", "页眉、页脚等随各行而变"},
        {"PDF", "无法分辨各文档的起始页"},
    };
    std::string why = "模板的结构";
    for (const auto& [phrase, text] : kWhy)
        if (reason.find(phrase) != std::string::npos) {
            why = text;
            break;
        }
    return "PDF文件逐份转换（" + why + "），速度较慢，内容不受影响。\r\n";
}

std::vector<ClosingMessage> ClosingMessages(const RunOutcome& o) {
    std::vector<ClosingMessage> messages;
    if (!o.started || (o.firstRow == 0 && o.documentsMade == 0 && !o.nothingMatched)) return messages;
    if (o.nothingMatched) messages.push_back({std::string(kNoBookmarkFilled)});
    const std::string caption(kDefaultCaption);
    if (o.documentsMade == 0) {
        // Nothing to open and nothing done: no "完成", only why. The no-match notice has said why.
        if (!o.nothingMatched) messages.push_back({NothingMadeText(o), caption, MessageIcon::Warning});
        return messages;
    }
    const std::string left = BookmarksLeftText(o.bookmarksLeft, o.multiRowMode) +
                             BookmarkNotesText(o.bookmarkNotes, o.multiRowMode) +
                             PicturesLeftText(o.picturesLeft) + SeparateText(o.convertedSeparately) +
                             RestartsText(o.officeRestarts);
    if (!o.print) {
        // The count, as a stopped run gives it, so that what the message says can be checked
        // against the folder.
        const std::string done = o.singleFile
                                     ? "完成！已将 " + IntToText(o.documentsMade) + " 个文档合为一个PDF文件。"
                                     : "完成！已生成 " + IntToText(o.documentsMade) + " 个文档。";
        if (o.failed())  // a folder that is gone is not offered to be opened
            messages.push_back({FailureText(o), caption, MessageIcon::Warning, !o.folderGone});
        else if (left.empty())
            messages.push_back({done + std::string(kOpenFolder), caption, MessageIcon::Question, true});
        else
            messages.push_back(
                {done + "\r\n" + left + std::string(kOpenFolder), caption, MessageIcon::Warning, true});
    } else if (o.failed()) {
        messages.push_back({FailureText(o), caption, MessageIcon::Warning});
    } else if (!left.empty()) {
        messages.push_back({std::string(kPrintDone) + "\r\n" + left.substr(0, left.size() - 2), caption,
                            MessageIcon::Warning});
    } else {
        messages.push_back({std::string(kPrintDone)});
    }
    return messages;
}

std::string ProgressText(const RunProgress& p, double secondsSoFar, bool print) {
    switch (p.phase) {
        case RunPhase::StartingOffice:
            return "正在启动Word程序……";
        case RunPhase::Joining:
            return "正在合并PDF文件：" + p.fileName;
        case RunPhase::Making:
            break;
    }
    std::string text = (print ? "已发送 " : "已生成 ") + IntToText(p.done) + "/" + IntToText(p.total);
    if (!p.fileName.empty()) text += "：" + p.fileName;
    if (p.officeRestarts > 0)
        text += "（第 " + IntToText(p.lastRestart.office) + " 个Word程序" + EndText(p.lastRestart.end) +
                "，已重新启动）";
    // Three documents give a first fair measure of the pace.
    if (p.done >= 3 && p.done < p.total && secondsSoFar > 0)
        text += "，剩余约 " + DurationText(secondsSoFar / p.done * (p.total - p.done));
    return text;
}

}  // namespace qm
