#include "io/blockpool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace blocks {
namespace {

constexpr std::size_t kRegionBytes = 32 * 1024 * 1024;
constexpr std::size_t kBlocksPerRegion = kRegionBytes / kBlockBytes;

// Bytes rounded up to whole pages, as the system maps and unmaps them.
std::size_t wholePages(std::size_t bytes) {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// Anonymous memory of bytes aligned to align, advised for large pages (a
// kernel without them gives small ones).
std::byte* mapAligned(std::size_t bytes, std::size_t align) {
    bytes = wholePages(bytes);
    const std::size_t span = bytes + align;
    void* mapped =
        ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + align - 1) & ~(align - 1);
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    const std::uintptr_t end = aligned + bytes;
    if (start + span > end)
        ::munmap(reinterpret_cast<void*>(end), start + span - end);
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<std::byte*>(aligned);
}

struct Region {
    std::byte* base = nullptr;
    std::size_t used = 0;          // blocks handed out and not given back
    std::size_t fresh = 0;         // blocks never handed out yet lie from here on
    std::vector<std::byte*> given; // blocks given back
};

struct Pool {
    std::mutex mutex;
    std::vector<Region> regions;
};

Pool& pool() {
    static Pool* shared = new Pool; // blocks may be given back after main
    return *shared;
}

// Malloc maps each buffer above a threshold apart, and raises that threshold
// (up to 32 MiB) whenever it frees one such buffer, so that the temporaries
// made and freed over and over (a sort's keys, a list's rows, a report's
// pieces) come from its heap, faulted in once. The large arrays it freed
// before are now mapped here, so it never learns: set the threshold it would
// have reached, and keep twice that free at the top of the heap. Settings
// given to malloc in the environment are left as they are.
bool tuneHeap() {
    if (std::getenv("GLIBC_TUNABLES") != nullptr ||
        std::getenv("MALLOC_MMAP_THRESHOLD_") != nullptr ||
        std::getenv("MALLOC_TRIM_THRESHOLD_") != nullptr ||
        std::getenv("MALLOC_TOP_PAD_") != nullptr)
        return false;
    constexpr int kThreshold = 32 * 1024 * 1024;
    ::mallopt(M_MMAP_THRESHOLD, kThreshold);
    ::mallopt(M_TRIM_THRESHOLD, 2 * kThreshold);
    return true;
}

// The heap's top when it was last advised; guarded by the pool's mutex.
std::uintptr_t g_heapAdvised = 0;

// Advises for large pages what the heap has grown by since the last call.
// Grown in large steps (LargeHeapSteps), most of each step is advised before
// it is touched, and the catalog's texts and indexes, millions of small
// allocations, then fault in a large page at a time instead of 512 small
// ones.
void adviseHeap() {
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto top = reinterpret_cast<std::uintptr_t>(::sbrk(0)) & ~(page - 1);
    if (g_heapAdvised == 0 || top < g_heapAdvised) {
        g_heapAdvised = top;
        return;
    }
    if (top > g_heapAdvised)
        ::madvise(reinterpret_cast<void*>(g_heapAdvised), top - g_heapAdvised, MADV_HUGEPAGE);
    g_heapAdvised = top;
}

bool heapTuned() {
    static const bool tuned = tuneHeap();
    return tuned;
}

std::mutex g_stepsMutex;
std::atomic<int> g_steps{0}; // LargeHeapSteps alive; changed under g_stepsMutex

} // namespace

LargeHeapSteps::LargeHeapSteps() {
    const std::lock_guard lock(g_stepsMutex);
    if (g_steps++ == 0 && heapTuned())
        ::mallopt(M_TOP_PAD, 16 * 1024 * 1024);
}

LargeHeapSteps::~LargeHeapSteps() {
    const std::lock_guard lock(g_stepsMutex);
    if (--g_steps == 0 && heapTuned())
        ::mallopt(M_TOP_PAD, 128 * 1024); // malloc's own
}

void* TakeBlock() {
    const bool tuned = heapTuned();
    Pool& p = pool();
    const std::lock_guard lock(p.mutex);
    if (tuned && g_steps.load(std::memory_order_relaxed) > 0)
        adviseHeap();
    // The fullest region first keeps the others free to be returned.
    Region* best = nullptr;
    for (Region& region : p.regions) {
        const bool room = !region.given.empty() || region.fresh < kBlocksPerRegion;
        if (room && (best == nullptr || region.used > best->used))
            best = &region;
    }
    if (best == nullptr) {
        // Everything that may fail before the memory is mapped: giving a
        // block back then never allocates.
        Region region;
        region.given.reserve(kBlocksPerRegion);
        p.regions.reserve(p.regions.size() + 1);
        region.base = mapAligned(kRegionBytes, kRegionBytes);
        p.regions.push_back(std::move(region));
        best = &p.regions.back();
    }
    ++best->used;
    if (!best->given.empty()) {
        std::byte* block = best->given.back();
        best->given.pop_back();
        return block;
    }
    return best->base + kBlockBytes * best->fresh++;
}

void GiveBlock(void* block) {
    if (block == nullptr)
        return;
    Pool& p = pool();
    const std::lock_guard lock(p.mutex);
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    const auto found = std::find_if(p.regions.begin(), p.regions.end(), [&](const Region& r) {
        return reinterpret_cast<std::uintptr_t>(r.base) == (address & ~(kRegionBytes - 1));
    });
    if (found == p.regions.end())
        return;
    found->given.push_back(static_cast<std::byte*>(block));
    if (--found->used != 0)
        return;
    ::munmap(found->base, kRegionBytes);
    p.regions.erase(found);
}

std::size_t RegionsHeld() {
    Pool& p = pool();
    const std::lock_guard lock(p.mutex);
    return p.regions.size();
}

void* TakeLarge(std::size_t bytes) {
    heapTuned();
    return mapAligned(bytes, kLargeBytes);
}

void GiveLarge(void* memory, std::size_t bytes) {
    if (memory != nullptr)
        ::munmap(memory, wholePages(bytes));
}

} // namespace blocks
