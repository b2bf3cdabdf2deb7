#pragma once
// Memory for the large stores of a catalog, taken from the system in regions
// the kernel may back with large pages. A million records in small pages are
// a quarter of a million page faults, each a trap into the kernel (and on a
// virtual machine out of it): the first load of a day paid about a second
// for them.

#include <cstddef>
#include <new>

namespace blocks {

// The size and alignment of a block.
inline constexpr std::size_t kBlockBytes = 64 * 1024;
// From this size on, arrays are mapped on their own, in large pages.
inline constexpr std::size_t kLargeBytes = 2 * 1024 * 1024;

// A block of kBlockBytes; std::bad_alloc when the system has none.
void* TakeBlock();
// Gives back a block TakeBlock gave. A region whose blocks are all back is
// returned to the system. Blocks go to the fullest region with room, so the
// blocks that come and go (a folder's index, folder after folder) share the
// regions of the records that stay.
void GiveBlock(void* block);
// Regions held from the system now.
std::size_t RegionsHeld();

// While one lives, the heap grows in steps of 16 MiB, each advised for large
// pages before most of it is touched: for work that makes millions of small
// allocations that stay, such as a load's names and indexes. Elsewhere the
// heap grows in malloc's own small steps.
class LargeHeapSteps {
public:
    LargeHeapSteps();
    ~LargeHeapSteps();
    LargeHeapSteps(const LargeHeapSteps&) = delete;
    LargeHeapSteps& operator=(const LargeHeapSteps&) = delete;
};

// Zero-filled memory of bytes, in large pages where the kernel has them;
// std::bad_alloc when the system has none.
void* TakeLarge(std::size_t bytes);
void GiveLarge(void* memory, std::size_t bytes);

// An allocator for arrays that grow large (the hash indexes, the catalog's
// array of records): small ones from the heap, large ones mapped apart.
template <class T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= kLargeBytes)
            return static_cast<T*>(TakeLarge(bytes));
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* memory, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= kLargeBytes)
            GiveLarge(memory, bytes);
        else
            ::operator delete(memory);
    }
    template <class U> bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
};

} // namespace blocks
