#include "common/large_memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace qm {
namespace {

constexpr std::size_t kPage = std::size_t{2} << 20;  // a large page

std::size_t RoundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

}  // namespace

std::uint64_t MachineMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long size = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
}

void* AllocateLarge(std::size_t bytes) {
    if (bytes < kLargeBlock) return ::operator new(bytes);
    if (bytes > static_cast<std::size_t>(-1) / 2) throw std::bad_alloc();
    const std::size_t size = RoundUp(bytes, kPage);
    // Map one large page more than needed and cut the ends off, so the block starts on a
    // large-page boundary and every page of it can be a large one.
    void* raw = ::mmap(nullptr, size + kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = RoundUp(start, kPage);
    if (aligned > start) ::munmap(raw, aligned - start);
    const std::uintptr_t end = aligned + size;
    if (start + size + kPage > end) ::munmap(reinterpret_cast<void*>(end), start + size + kPage - end);
    void* block = reinterpret_cast<void*>(aligned);
    ::madvise(block, size, MADV_HUGEPAGE);  // a hint: without large pages the block still works
    return block;
}

void FreeLarge(void* block, std::size_t bytes) noexcept {
    if (!block) return;
    if (bytes < kLargeBlock) {
        ::operator delete(block);
        return;
    }
    ::munmap(block, RoundUp(bytes, kPage));
}

}  // namespace qm
