// Check boxes and drop-downs set by the engine, read back by other readers: the office (through
// office_read.py), Apache POI (ReadForms.java) and antiword.

#include "doc_forms_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace qm::engine::test {
namespace {

// Other readers see the same states: the office through its form field marks, POI in the field
// data; antiword reads the same text as from the template, since a state changes no text.
TEST(DocFormsOffice, TheOfficePoiAndAntiwordReadTheStates) {
    const qm::test::TempFolder folder("doc-forms");
    struct Case {
        fs::path made;
        std::vector<DocFormField> fields;
        Bytes unfilled;
    };
    std::vector<Case> cases;
    const auto forms = Open(Forms());
    ASSERT_TRUE(forms);
    cases.push_back({folder / "forms.doc", {}, Make(*forms, {})});
    WriteBytes(cases.back().made, Make(*forms, {{"Agree", "1"}, {"Paid", "no"}, {"Colour", "jaune"}}));
    if (qm::test::HaveRealWorld("doc")) {
        const auto travel = Open(TravelForm());
        ASSERT_TRUE(travel);
        std::vector<Fill> fills;
        for (std::size_t i = 0; i < kTravelChecks.size(); ++i)
            fills.push_back({kTravelChecks[i], i % 3 ? "0" : "1"});
        cases.push_back({folder / "travel.doc", {}, Make(*travel, {})});
        WriteBytes(cases.back().made, Make(*travel, fills));
    }
    for (Case& c : cases) c.fields = FormFields(ReadBytes(c.made));
    ASSERT_EQ(cases[0].fields.size(), 3u);
    EXPECT_EQ(cases[0].fields[0].state, 1);
    EXPECT_EQ(cases[0].fields[1].state, 0);
    EXPECT_EQ(cases[0].fields[2].state, 2);

    if (qm::test::HaveProgram("soffice")) {
        std::string command = "/usr/bin/python3 " + qm::test::ShellQuote(QM_OFFICE_READ) + " " +
                              qm::test::ShellQuote(folder / "profile");
        for (const Case& c : cases) command += " " + qm::test::ShellQuote(c.made.string());
        const std::string output = qm::test::RunCommand(command + " 2>&1").out;
        for (const Case& c : cases) {
            // The office's list of form fields, as office_read.py prints it.
            std::string forms;
            for (const DocFormField& f : c.fields) {
                if (!forms.empty()) forms += ", ";
                if (f.kind == BookmarkKind::CheckBox) {
                    forms += std::string("{\"type\": \"checkbox\", \"state\": ") +
                             (f.state ? "true" : "false") + "}";
                } else {
                    forms +=
                        "{\"type\": \"dropdown\", \"state\": " + std::to_string(f.state) + ", \"entries\": [";
                    for (std::size_t k = 0; k < f.entries.size(); ++k)
                        forms += (k ? ", \"" : "\"") + f.entries[k] + "\"";
                    forms += "]}";
                }
            }
            EXPECT_NE(output.find("\"forms\": [" + forms + "]"), std::string::npos)
                << c.made << ": expected " << forms << "\n"
                << output;
        }
    }

    const std::string& poi = kPoiClassPath;
    if (HavePoi()) {
        for (const Case& c : cases) {
            const std::string output =
                qm::test::RunCommand("java -cp " + poi + " " + qm::test::ShellQuote(QM_POI_READ_FORMS) + " " +
                                     qm::test::ShellQuote(c.made.string()) + " 2>&1")
                    .out;
            std::string expected;
            for (const DocFormField& f : c.fields)
                expected += "field " + std::to_string(f.kind == BookmarkKind::CheckBox ? 1 : 2) + " " +
                            std::to_string(f.state) + " " + std::to_string(f.entries.size()) + "\n";
            EXPECT_TRUE(output.starts_with("ok ")) << c.made << ": " << output;
            // POI shows the stored state; only fields the fill set are compared.
            EXPECT_NE(output.find("field"), std::string::npos) << output;
            if (c.made.filename() == "forms.doc") {
                EXPECT_EQ(output.substr(output.find('\n') + 1), expected) << output;
            }
        }
    }

    if (qm::test::HaveProgram("antiword")) {
        for (const Case& c : cases) {
            WriteBytes(folder / "unfilled.doc", c.unfilled);
            auto read = [&](const fs::path& path) {
                return qm::test::RunCommand("antiword -m UTF-8.txt " + qm::test::ShellQuote(path.string()) +
                                            " 2>&1");
            };
            const qm::test::CommandResult a = read(folder / "unfilled.doc"), b = read(c.made);
            EXPECT_EQ(b.status, 0) << b.out;
            EXPECT_FALSE(b.out.empty());
            EXPECT_EQ(a.out, b.out) << c.made;
        }
    }
}

}  // namespace
}  // namespace qm::engine::test
