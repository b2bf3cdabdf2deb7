#pragma once
// Values in the order they were added, numbered from 0, that keep their
// address until the store is cleared. Small stores live in small pieces of
// the heap that double as they grow; past two blocks' worth every further
// segment is a block of the pool, so a million values touch few pages.

#include "io/blockpool.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

template <class T> class SegmentedStore {
public:
    SegmentedStore() = default;
    SegmentedStore(const SegmentedStore& other) {
        try {
            for (std::size_t i = 0; i < other.m_size; ++i)
                emplace_back(other[i]);
        } catch (...) {
            clear();
            throw;
        }
    }
    SegmentedStore(SegmentedStore&& other) noexcept
        : m_segments(std::move(other.m_segments)), m_size(std::exchange(other.m_size, 0)) {
        other.m_segments.clear();
    }
    SegmentedStore& operator=(SegmentedStore other) noexcept {
        std::swap(m_segments, other.m_segments);
        std::swap(m_size, other.m_size);
        return *this;
    }
    ~SegmentedStore() { clear(); }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    T& operator[](std::size_t i) {
        const auto [segment, offset] = placeOf(i);
        return m_segments[segment][offset];
    }
    const T& operator[](std::size_t i) const {
        const auto [segment, offset] = placeOf(i);
        return m_segments[segment][offset];
    }

    template <class... Args> T& emplace_back(Args&&... args) {
        const auto [segment, offset] = placeOf(m_size);
        if (segment == m_segments.size()) {
            if (m_segments.size() == m_segments.capacity())
                m_segments.reserve(std::max<std::size_t>(8, 2 * m_segments.size()));
            m_segments.push_back(allocate(segment));
        }
        T* made =
            ::new (static_cast<void*>(m_segments[segment] + offset)) T(std::forward<Args>(args)...);
        ++m_size;
        return *made;
    }

    void clear() noexcept {
        for (std::size_t i = 0; i < m_size; ++i)
            (*this)[i].~T();
        for (std::size_t s = 0; s < m_segments.size(); ++s)
            release(s, m_segments[s]);
        m_segments.clear();
        m_segments.shrink_to_fit();
        m_size = 0;
    }

    // Values the first segment holds: about a kilobyte's worth, so that a
    // store of one value (a project of one file) costs little.
    static constexpr std::size_t kFirst =
        std::max<std::size_t>(1, std::bit_floor(1024 / sizeof(T)));
    // Values a segment from the pool holds: a power of two, as many as a
    // block takes, and never fewer than the first segment.
    static constexpr std::size_t kPerBlock =
        std::max(kFirst, std::bit_floor(blocks::kBlockBytes / sizeof(T)));

private:
    // Segment 0 holds kFirst values and segment k (from 1 on) kFirst << (k - 1)
    // up to kPerBlock, which every later segment holds: segments before the
    // last doubling one end at kFirst << k.
    static constexpr std::size_t kDoublings = std::bit_width(kPerBlock / kFirst);

    static std::pair<std::size_t, std::size_t> placeOf(std::size_t i) {
        if (i < kFirst)
            return {0, i};
        if (i < 2 * kPerBlock) {
            const std::size_t segment = std::bit_width(i / kFirst);
            return {segment, i - (kFirst << (segment - 1))};
        }
        const std::size_t beyond = i - 2 * kPerBlock;
        return {kDoublings + 1 + beyond / kPerBlock, beyond % kPerBlock};
    }
    static std::size_t capacityOf(std::size_t segment) {
        if (segment == 0)
            return kFirst;
        return segment <= kDoublings ? kFirst << (segment - 1) : kPerBlock;
    }
    static bool fromPool(std::size_t segment) {
        return capacityOf(segment) == kPerBlock && kPerBlock * sizeof(T) <= blocks::kBlockBytes;
    }
    static T* allocate(std::size_t segment) {
        if (fromPool(segment))
            return static_cast<T*>(blocks::TakeBlock());
        return static_cast<T*>(
            ::operator new (capacityOf(segment) * sizeof(T), std::align_val_t{alignof(T)}));
    }
    static void release(std::size_t segment, T* memory) noexcept {
        if (fromPool(segment))
            blocks::GiveBlock(memory);
        else
            ::operator delete (memory, std::align_val_t{alignof(T)});
    }

    std::vector<T*> m_segments;
    std::size_t m_size = 0;
};
