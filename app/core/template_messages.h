#pragma once
// What the window tells the user about a template that gave no working document: the kind of
// problem in the user's words, with a detail only where it tells the user something, and the
// match line shown while such a template is chosen. The engine says why in English for the
// batch command; this is the one place that turns its reasons into kinds.

#include <string>
#include <string_view>

namespace qm {

enum class TemplateProblemKind {
    Password,           // under an open password
    Damaged,            // the file contradicts itself; never handed to the office
    NotAWordDocument,   // neither a .doc nor a .docx inside, whatever its name
    Unsupported,        // a Word file of a kind the program does not read (Word 95, say)
    Missing,            // gone, or not readable for this user
    OfficeUnavailable,  // only the office could read it, and it does not start
    Unreadable,         // anything else
};

struct TemplateProblem {
    TemplateProblemKind kind = TemplateProblemKind::Unreadable;
    // Which part of the file is wrong, in the user's words ("压缩包无法读取"); "" when knowing it
    // would not help.
    std::string detail;
};

// The kind of `refusal` (the engine's reason; "" when it gave none). `officeUnavailable`: the
// template went to the office, which did not start; a password or damage still comes first,
// since no office would help there.
TemplateProblem ClassifyTemplateProblem(std::string_view refusal, bool officeUnavailable);

// "无法打开Word模板“<fileName>”：文件已损坏（压缩包无法读取）。…", with what the user can do.
std::string TemplateProblemText(std::string_view fileName, std::string_view refusal, bool officeUnavailable);

// The match line beside the template chooser while the chosen template cannot be opened.
inline constexpr std::string_view kTemplateNotOpened = "模板无法打开";

}  // namespace qm
