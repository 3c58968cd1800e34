#pragma once
// A zip of stored (uncompressed) entries with correct checksums, written without the engine, so
// that the tests and the fuzz target can pack any part, damaged or not, into a valid container.

#include <zlib.h>

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::test {

inline std::vector<std::uint8_t> StoreZip(
    const std::vector<std::pair<std::string_view, std::string_view>>& entries) {
    std::vector<std::uint8_t> out;
    const auto put = [&](std::size_t v, int size) {
        for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto append = [&](std::string_view s) { out.insert(out.end(), s.begin(), s.end()); };
    std::vector<std::size_t> offsets, crcs;
    for (const auto& [name, data] : entries) {
        offsets.push_back(out.size());
        crcs.push_back(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        put(0x04034b50, 4), put(20, 2), put(0, 2), put(0, 2), put(0, 4), put(crcs.back(), 4);
        put(data.size(), 4), put(data.size(), 4), put(name.size(), 2), put(0, 2);
        append(name), append(data);
    }
    const std::size_t directory = out.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& [name, data] = entries[i];
        put(0x02014b50, 4), put(20, 2), put(20, 2), put(0, 2), put(0, 2), put(0, 4), put(crcs[i], 4);
        put(data.size(), 4), put(data.size(), 4), put(name.size(), 2), put(0, 4), put(0, 4), put(0, 4);
        put(offsets[i], 4), append(name);
    }
    const std::size_t directorySize = out.size() - directory;
    put(0x06054b50, 4), put(0, 4), put(entries.size(), 2), put(entries.size(), 2);
    put(directorySize, 4), put(directory, 4), put(0, 2);
    return out;
}

}  // namespace qm::test
