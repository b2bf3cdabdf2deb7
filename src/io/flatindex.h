#pragma once
// An open-addressing hash index from a key to a 32-bit id. It stores only
// the key's hash and the id, one 64-bit word a slot; the caller keeps the
// keys and says whether an id's key matches. Lookups touch one cache line in
// the common case, which matters at a million records.

#include "io/blockpool.h"

#include <cstdint>
#include <utility>
#include <vector>

class FlatIndex {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    FlatIndex() = default;
    FlatIndex(const FlatIndex&) = default;
    FlatIndex& operator=(const FlatIndex&) = default;
    // What is moved from is left empty, its count with it.
    FlatIndex(FlatIndex&& other) noexcept
        : m_slots(std::move(other.m_slots)), m_count(std::exchange(other.m_count, 0)) {
        other.m_slots.clear();
    }
    FlatIndex& operator=(FlatIndex&& other) noexcept {
        m_slots = std::move(other.m_slots);
        m_count = std::exchange(other.m_count, 0);
        other.m_slots.clear();
        return *this;
    }

    // A 64-bit hash spread over 32 bits, as the index wants it.
    static std::uint32_t Spread(std::uint64_t hash) {
        hash ^= hash >> 33;
        hash *= 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 33;
        return static_cast<std::uint32_t>(hash);
    }

    // The id whose key matches, or kNone.
    template <class Matches> std::uint32_t find(std::uint32_t hash, Matches&& matches) const {
        if (m_slots.empty())
            return kNone;
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const std::uint64_t slot = m_slots[i];
            if (slot == 0)
                return kNone;
            if (static_cast<std::uint32_t>(slot >> 32) == hash) {
                const auto id = static_cast<std::uint32_t>(slot) - 1;
                if (matches(id))
                    return id;
            }
        }
    }

    // Adds an id whose key the index does not hold yet.
    void add(std::uint32_t hash, std::uint32_t id) {
        if ((m_count + 1) * 2 > m_slots.size())
            grow();
        place(hash, id);
        ++m_count;
    }

    void clear() {
        m_slots.clear();
        m_slots.shrink_to_fit();
        m_count = 0;
    }

    std::size_t size() const { return m_count; }

private:
    void place(std::uint32_t hash, std::uint32_t id) {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = hash & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] =
            (static_cast<std::uint64_t>(hash) << 32) | (static_cast<std::uint64_t>(id) + 1);
    }

    void grow() {
        // Made whole before it replaces the slots: an allocation that fails
        // leaves the index as it was.
        Slots grown(m_slots.empty() ? 16 : m_slots.size() * 2, 0);
        grown.swap(m_slots);
        for (std::uint64_t slot : grown) {
            if (slot != 0)
                place(static_cast<std::uint32_t>(slot >> 32), static_cast<std::uint32_t>(slot) - 1);
        }
    }

    using Slots = std::vector<std::uint64_t, blocks::LargeAllocator<std::uint64_t>>;
    Slots m_slots;
    std::size_t m_count = 0;
};
