#pragma once
// What the tests of .doc check boxes and drop-downs share: the fixture the office makes from
// forms.fodt, the real travel form and its check boxes, and reading back the form fields.

#include "doc_engine_support.h"
#include "word/engine/doc_form.h"

namespace qm::engine::test {

inline const fs::path& Forms() {
    static const fs::path path = fs::path(QM_ENGINE_FIXTURES) / "forms.doc";
    return path;
}

inline fs::path TravelForm() {
    return fs::path(RealWorldFolder("doc")) / ("au.edu.utas.www___data_assets_word_doc_0003_154335_"
                                               "International-Travel-Approval-Request-Form.doc");
}

inline const std::vector<std::string> kTravelChecks = {"Check11", "Check12", "Check14", "Check15",
                                                       "Check16", "Check17", "Check19", "Check3",
                                                       "Check5",  "Check20", "Check21", "Check22"};

inline std::shared_ptr<const Template> Open(const fs::path& path) {
    OpenResult r = OpenTemplateFile(path.string());
    EXPECT_TRUE(r) << path << ": " << r.refusal;
    return r.value;
}

inline Bytes Make(const Template& t, const std::vector<Fill>& fills) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(t.Make(fills, out, error)) << error;
    return out;
}

inline std::vector<DocFormField> FormFields(const Bytes& bytes) {
    std::vector<DocFormField> fields;
    std::string error;
    EXPECT_TRUE(ReadDocFormFields(bytes, fields, error)) << error;
    return fields;
}

}  // namespace qm::engine::test
