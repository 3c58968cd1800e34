#pragma once
// PDFs through poppler-utils and qpdf (Debian), run as programs of their own: one PDF made of
// several (the documents of a run joined for printing or sending, by pdfunite), a PDF's pages as
// pictures (for the preview, by pdftoppm), a joined PDF split again per document, and a PDF sent
// to the printer.

#include <cstdint>
#include <span>
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

// The first page (from 1) of each of the documents joined in `pdf`, found by the named
// destinations `marks` (one for each, in order) that their start bookmarks became, and the
// number of pages in all. False with the reason when a mark is missing or the marks are not in
// page order: the pages then cannot be told apart.
bool DocumentStarts(const std::string& pdf, const std::vector<std::string>& marks, std::vector<int>& starts,
                    int& pages, std::string& error);
// Splits `pdf` of `pages` pages into one PDF for each document starting at `starts` (see
// DocumentStarts), as bytes, in order, with qpdf (pdfseparate where it is missing). False with
// the reason when the pages cannot be split.
bool SplitPdfPages(const std::string& pdf, const std::vector<int>& starts, int pages,
                   std::vector<std::vector<std::uint8_t>>& parts, std::string& error);

// Sends `pdf` to the default printer as one job called `jobName` (CUPS's lp); false with the
// reason when the print system did not take it (no default printer, say).
bool PrintPdf(const std::string& pdf, const std::string& jobName, std::string& error);

// True when `bytes` start like a PDF file and end with its end-of-file mark.
bool LooksLikeWholePdf(std::string_view bytes);
bool LooksLikeWholePdf(std::span<const std::uint8_t> bytes);

}  // namespace qm::word
