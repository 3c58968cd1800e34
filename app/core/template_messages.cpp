#include "app/core/template_messages.h"

#include "word/engine/template.h"

namespace qm {

namespace {

bool Has(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Which part of a damaged file is wrong. The engine's reasons name the structure that failed
// to read; a user can do nothing with the entry names and offsets that follow, so only the
// structure is said.
std::string DamageDetail(std::string_view refusal) {
    if (refusal.starts_with("damaged zip") || refusal.starts_with("not a zip file") ||
        Has(refusal, "not a readable zip"))
        return "压缩包无法读取";
    if (Has(refusal, "DOCTYPE")) return "其中有Word也不接受的DOCTYPE声明";
    if (Has(refusal, "larger than 256 MB")) return "其中一个部件解压后超过 256 MB";
    if (Has(refusal, "not well-formed")) return "文档内容的XML格式有误";
    if (Has(refusal, "cut short") || Has(refusal, "shorter than")) return "文件不完整，可能没有复制或下载完";
    if (Has(refusal, "not a readable compound file")) return "文件结构无法读取";
    if (Has(refusal, "piece table")) return "文本索引表损坏";
    if (Has(refusal, "bookmark tables")) return "书签表损坏";
    if (Has(refusal, "tables are damaged")) return "文档内部的表格损坏";
    if (Has(refusal, "header is damaged")) return "文件头损坏";
    if (Has(refusal, "cannot be read")) return "文档的某个部件无法读取";
    return {};
}

// A Word file, well formed, of a kind that only Word itself reads.
std::string UnsupportedDetail(std::string_view refusal) {
    if (Has(refusal, "Word 95 or older")) return "Word 95 或更早版本的格式";
    if (Has(refusal, "glossary")) return "这是Word的构建基块文档，不是普通文档";
    if (Has(refusal, "obfuscated")) return "文档经过了混淆加密";
    if (Has(refusal, "split over several files")) return "压缩包被分成了多个文件";
    if (Has(refusal, "entries over 4 GB")) return "文件太大";
    if (Has(refusal, "compression method")) return "压缩包使用了本程序不支持的压缩方式";
    return {};
}

std::string Bracketed(const std::string& detail) {
    return detail.empty() ? std::string() : "（" + detail + "）";
}

}  // namespace

TemplateProblem ClassifyTemplateProblem(std::string_view refusal, bool officeUnavailable) {
    // The engine's reasons are texts for now; the kinds are told by the helpers it gives for
    // them, and by the few phrases below that it keeps stable.
    if (engine::IsPasswordRefusal(refusal) || refusal == "an encrypted file")
        return {TemplateProblemKind::Password, {}};
    if (engine::IsDamageRefusal(refusal) || refusal.starts_with("damaged zip") ||
        refusal.starts_with("not a zip file") || Has(refusal, "not a readable zip"))
        return {TemplateProblemKind::Damaged, DamageDetail(refusal)};
    if (officeUnavailable) return {TemplateProblemKind::OfficeUnavailable, {}};
    if (refusal.starts_with("the file cannot be read") || refusal.starts_with("the file could not be read"))
        return {TemplateProblemKind::Missing, {}};
    if (refusal.starts_with("not a Word document")) return {TemplateProblemKind::NotAWordDocument, {}};
    if (refusal.starts_with("no main document part"))
        return {TemplateProblemKind::NotAWordDocument, "压缩包中没有Word文档的正文"};
    if (std::string detail = UnsupportedDetail(refusal); !detail.empty())
        return {TemplateProblemKind::Unsupported, std::move(detail)};
    return {TemplateProblemKind::Unreadable, {}};
}

std::string TemplateProblemText(std::string_view fileName, std::string_view refusal, bool officeUnavailable) {
    const TemplateProblem problem = ClassifyTemplateProblem(refusal, officeUnavailable);
    const std::string text = "无法打开Word模板“" + std::string(fileName) + "”：";
    switch (problem.kind) {
        case TemplateProblemKind::Password:
            return text + "文档设有打开密码，请先在Word中取消密码再使用。";
        case TemplateProblemKind::Damaged:
            return text + "文件已损坏" + Bracketed(problem.detail) +
                   "。可以在Word中打开它，确认内容无误后另存为新的模板再使用。";
        case TemplateProblemKind::OfficeUnavailable:
            return text + "Word程序无法启动。";
        case TemplateProblemKind::Missing:
            return text + "文件不存在，或者没有读取它的权限。";
        case TemplateProblemKind::NotAWordDocument:
            return text + "文件不是Word文档（.doc 或 .docx）" + Bracketed(problem.detail) +
                   "，可能只是改了扩展名。";
        case TemplateProblemKind::Unsupported:
            return text + "本程序无法读取这种Word文档" + Bracketed(problem.detail) +
                   "。请在Word中把它另存为 .docx 或 .doc 格式后再使用。";
        case TemplateProblemKind::Unreadable:
            break;
    }
    return text + "文件无法读取，或者不是Word文档。";
}

}  // namespace qm
