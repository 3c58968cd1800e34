#pragma once
// One PDF made of several: the documents of a run joined for printing or sending. The pages are
// copied by pdfunite (Debian poppler-utils), run as a program of its own.

#include <string>
#include <string_view>
#include <vector>

namespace qm::word {

// Joins the PDF files `parts`, in order, into one PDF at `target`. The result is written beside
// `target` and put in its place only when every part went in and the file reads as a whole PDF,
// so a failure leaves no partial file and an earlier file at `target` as it was. Large runs are
// joined in rounds, so the number of files open at once stays small. False with a few words in
// `error` when it failed; no parts is a failure.
bool JoinPdfFiles(const std::vector<std::string>& parts, std::string_view target, std::string& error);

// True when `bytes` start like a PDF file and end with its end-of-file mark.
bool LooksLikeWholePdf(std::string_view bytes);

}  // namespace qm::word
