#pragma once
// PDFs through poppler-utils (Debian), run as programs of their own: one PDF made of several (the
// documents of a run joined for printing or sending, by pdfunite), and a PDF's pages as pictures
// (for the preview, by pdftoppm).

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

// Pictures each page of `pdf` as a PNG at `dpi` dots an inch, named `prefix`-N.png, and lists
// them in page order in `pages`. False with a few words in `error` when there are none.
bool PicturePdfPages(const std::string& pdf, const std::string& prefix, int dpi,
                     std::vector<std::string>& pages, std::string& error);

// True when `bytes` start like a PDF file and end with its end-of-file mark.
bool LooksLikeWholePdf(std::string_view bytes);

}  // namespace qm::word
