// What the window says of a template that gave no working document: each of the engine's
// refusals in the user's words, with no English left in them.

#include <gtest/gtest.h>

#include <string>

#include "app/core/template_messages.h"
#include "word/engine/template.h"

namespace qm {
namespace {

TEST(TemplateMessages, EveryRefusalIsToldByKindInTheUsersWords) {
    struct Case {
        std::string refusal;
        bool officeUnavailable;
        TemplateProblemKind kind;
        const char* says;  // a part of the message
    };
    const Case cases[] = {
        {"not a zip file", false, TemplateProblemKind::Damaged, "文件已损坏（压缩包无法读取）"},
        {"damaged zip: the sizes of word/document.xml disagree", false, TemplateProblemKind::Damaged,
         "文件已损坏（压缩包无法读取）"},
        {"damaged zip: split over several files", false, TemplateProblemKind::Damaged, "文件已损坏"},
        {"word/document.xml is not well-formed XML", false, TemplateProblemKind::Damaged, "XML格式有误"},
        {"the piece table runs past the text", false, TemplateProblemKind::Damaged, "文本索引表损坏"},
        // Damage comes first: no office would help, started or not.
        {"the piece table runs past the text", true, TemplateProblemKind::Damaged, "文件已损坏"},
        {std::string(engine::kPasswordRefusal), false, TemplateProblemKind::Password, "打开密码"},
        {"the file cannot be read", false, TemplateProblemKind::Missing, "文件不存在，或者没有读取它的权限"},
        {"not a Word document (unknown header)", false, TemplateProblemKind::NotAWordDocument,
         "文件不是Word文档"},
        {"no main document part (word/document.xml)", false, TemplateProblemKind::NotAWordDocument,
         "压缩包中没有Word文档的正文"},
        {"a document of Word 95 or older", false, TemplateProblemKind::Unsupported, "Word 95 或更早版本"},
        {"", true, TemplateProblemKind::OfficeUnavailable, "Word程序无法启动"},
        {"something new the engine says", false, TemplateProblemKind::Unreadable, "文件无法读取"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyTemplateProblem(c.refusal, c.officeUnavailable).kind, c.kind) << c.refusal;
        const std::string text = TemplateProblemText("合同.docx", c.refusal, c.officeUnavailable);
        EXPECT_TRUE(text.starts_with("无法打开Word模板“合同.docx”：")) << text;
        EXPECT_NE(text.find(c.says), std::string::npos) << c.refusal << " → " << text;
        // The engine's English stays out of the window's words: without the file's name, "Word"
        // and the extensions, no small Latin letter is left.
        std::string rest = text;
        for (const char* known : {"合同.docx", "Word", ".docx", ".doc"})
            for (std::size_t at; (at = rest.find(known)) != std::string::npos;)
                rest.erase(at, std::string(known).size());
        EXPECT_EQ(rest.find_first_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace qm
