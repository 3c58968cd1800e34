// The number format renderer over format code x value: the first 8 bytes are the value (any bit
// pattern, NaN and infinities included), the next one picks the date system, the rest is the code.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "data/format/number_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    double value;
    std::memcpy(&value, data, 8);
    const bool date1904 = data[8] & 1;
    const std::string_view code(reinterpret_cast<const char*>(data + 9), size - 9);
    const qm::format::NumberFormat format(code);
    (void)format.format(value, date1904);
    (void)format.format(-value, date1904);
    (void)format.format(45356.6, date1904);
    (void)format.formatText(code);
    (void)format.isDateTime();
    return 0;
}
