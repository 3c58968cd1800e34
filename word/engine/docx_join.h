#pragma once
// Documents made from one .docx template, joined into a single .docx so that the office can
// convert them all with one load and one export. Each document becomes a section of its own
// whose page numbers start at 1, and a bookmark at its start (JoinedDocumentMark) tells where its
// pages begin once converted. Documents whose pages would come out otherwise when joined (notes
// that number on, lists that count on, fields over the whole document, parts that differ from
// one document to the next) are refused, with the reason; they are converted one by one.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qm::engine::docx {

// The bookmark marking the start of the `n`th joined document (from 1): letters and digits
// only, so that a PDF export keeps the name as it is.
std::string JoinedDocumentMark(int n);

// Joins `documents` (whole .docx files made from one template, in order) into `out`. False with
// the reason in `refusal` when they cannot be joined with each one's pages kept as they are;
// `out` is then empty.
bool JoinDocx(std::span<const std::vector<std::uint8_t>> documents, std::vector<std::uint8_t>& out,
              std::string& refusal);

}  // namespace qm::engine::docx
