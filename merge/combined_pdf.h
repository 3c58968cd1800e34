#pragma once
// The documents of a save run that go into one PDF: each is saved as a part in a hidden folder
// beside the target, and the parts are joined only when the run has made every one of them.

#include <string>
#include <vector>

namespace qm {

class CombinedPdf {
  public:
    // `target` is the full path of the one PDF.
    explicit CombinedPdf(std::string target);
    // Removes the parts and their folder, whatever happened.
    ~CombinedPdf();
    CombinedPdf(const CombinedPdf&) = delete;
    CombinedPdf& operator=(const CombinedPdf&) = delete;

    // Makes the folder of the parts beside the target; false when it cannot be made there.
    bool Begin();
    // Where part `ordinal` (from 1) is saved; "" before Begin.
    std::string PartPath(int ordinal) const;
    // A part saved; the parts go into the PDF in the order of their ordinals, whatever the order
    // they were added in.
    void Add(std::string part);
    // Joins the parts into the target (see word::JoinPdfFiles); false with the reason when no
    // PDF was written, the earlier file of its name then kept as it was.
    bool Finish(std::string& error);

    const std::string& target() const { return target_; }

  private:
    std::string target_;
    std::string folder_;  // ends with "/"; "" until made
    std::vector<std::string> parts_;
};

}  // namespace qm
