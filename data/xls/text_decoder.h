#pragma once
// Conversions of the workbook's texts to UTF-8: UTF-16 and Latin-1 halves of BIFF8 strings,
// and byte strings in the workbook's code page (BIFF5).

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::xls {

// Appends UTF-16LE code units (`count` units at `p`) as UTF-8; a lone surrogate becomes U+FFFD.
void AppendUtf16(std::string& out, const std::uint8_t* p, std::size_t count);
// Appends bytes whose UTF-16 high byte is zero (Latin-1) as UTF-8.
void AppendLatin1(std::string& out, const std::uint8_t* p, std::size_t count);

// Byte strings of a Windows code page to UTF-8. Unknown code pages read as 1252.
class CodePageDecoder {
  public:
    CodePageDecoder() = default;
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    void setCodePage(unsigned codePage);
    void append(std::string& out, const std::uint8_t* p, std::size_t count);

  private:
    void* handle_ = nullptr;  // iconv_t
    bool tried_ = false;
    unsigned codePage_ = 1252;
};

}  // namespace qm::xls
