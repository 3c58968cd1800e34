#pragma once
// Memory for the large buffers of a workbook parse: the file's bytes, a sheet's cells and its
// texts. Each first touch of a fresh 4 KB page costs a fault, and on a virtual machine a 30 MB
// workbook spends most of its parse in those faults; blocks of 1 MB and more are therefore
// mapped on their own, 2 MB aligned and marked for 2 MB pages where the system offers them
// (one fault per 2 MB). Smaller blocks come from the ordinary heap.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace qm {

// Blocks of this size and more are mapped on their own: a page of one is memory only once it
// is written.
inline constexpr std::size_t kLargeBlock = std::size_t{1} << 20;

// The machine's physical memory in bytes; 0 when it cannot be known.
std::uint64_t MachineMemory();

// At least `bytes` of memory, not zeroed when it comes from the heap; throws std::bad_alloc.
void* AllocateLarge(std::size_t bytes);
// Gives back a block of AllocateLarge with the same `bytes`.
void FreeLarge(void* block, std::size_t bytes) noexcept;

// A standard allocator over AllocateLarge. Elements constructed without a value are left
// uninitialised (default-initialised), so resizing a byte buffer before reading a file into it
// writes nothing.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(AllocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }

    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

using LargeBytes = std::vector<std::uint8_t, LargeAllocator<std::uint8_t>>;
using LargeString = std::basic_string<char, std::char_traits<char>, LargeAllocator<char>>;

}  // namespace qm
