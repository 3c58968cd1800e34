// Large blocks: mapped on their own and aligned for large pages; small ones from the heap.

#include <gtest/gtest.h>

#include <cstdint>

#include "common/large_memory.h"

namespace qm {
namespace {

TEST(LargeMemory, BlocksOnBothSidesOfTheThresholdHoldTheirBytes) {
    for (std::size_t size : {std::size_t{2}, std::size_t{4096}, (std::size_t{1} << 20) - 1,
                             std::size_t{1} << 20, (std::size_t{3} << 20) + 17}) {
        auto* p = static_cast<std::uint8_t*>(AllocateLarge(size));
        ASSERT_NE(p, nullptr);
        p[0] = 1;
        p[size - 1] = 2;
        EXPECT_EQ(p[0] + p[size - 1], 3) << size;
        if (size >= (std::size_t{1} << 20)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % (2u << 20), 0u);
        }
        FreeLarge(p, size);
    }
    FreeLarge(nullptr, 0);
}

TEST(LargeMemory, ContainersGrowShrinkAndKeepTheirContent) {
    std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> numbers;
    for (std::uint32_t i = 0; i < 1000000; ++i) numbers.push_back(i);  // passes the threshold growing
    EXPECT_EQ(numbers[999999], 999999u);
    numbers.resize(10);
    numbers.shrink_to_fit();  // back to the heap
    EXPECT_EQ(numbers[9], 9u);

    LargeString text;
    for (int i = 0; i < 300000; ++i) text.append("abcd");
    EXPECT_EQ(text.size(), 1200000u);
    EXPECT_EQ(text.substr(1199996), "abcd");

    // A byte buffer sized before a read is not written; the bytes put in stay.
    LargeBytes bytes;
    bytes.resize(5u << 20);
    bytes[(5u << 20) - 1] = 7;
    bytes.resize(6u << 20);
    EXPECT_EQ(bytes[(5u << 20) - 1], 7);
}

}  // namespace
}  // namespace qm
