#pragma once
// Conversions of the workbook's texts to UTF-8: UTF-16 and Latin-1 halves of BIFF8 strings,
// and byte strings in the workbook's code page (BIFF5).

#include <cstdint>
#include <string>
#include <string_view>

#include "common/large_memory.h"

namespace qm::xls {

// Appends UTF-16LE code units (`count` units at `p`) as UTF-8; a lone surrogate becomes U+FFFD.
// For std::string and LargeString (the string pools of sheets).
template <class String>
void AppendUtf16(String& out, const std::uint8_t* p, std::size_t count);
// Appends bytes whose UTF-16 high byte is zero (Latin-1) as UTF-8.
template <class String>
void AppendLatin1(String& out, const std::uint8_t* p, std::size_t count);

// Byte strings of a Windows code page to UTF-8. Unknown code pages read as 1252.
class CodePageDecoder {
  public:
    CodePageDecoder() = default;
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    void setCodePage(unsigned codePage);
    template <class String>
    void append(String& out, const std::uint8_t* p, std::size_t count);

  private:
    void* handle_ = nullptr;  // iconv_t
    bool tried_ = false;
    unsigned codePage_ = 1252;
};

}  // namespace qm::xls
