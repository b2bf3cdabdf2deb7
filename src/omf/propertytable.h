#pragma once
// The properties of one object by property id. Visited in the order the
// reader has always visited them (the tree shows them so, and the media
// descriptor takes the first match): 17 buckets by id / 16, bucket 0 first,
// within a bucket the newest id first; a value replaced keeps its place.
// A TOC can list millions of objects, so an object costs its entries and
// little more: a plain list, searched in turn while it is short, and a hash
// index only for the rare object of many properties. A value's address holds
// until the next insert.

#include "io/flatindex.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

struct TocEntry;
using PropertyRef = const TocEntry*;

class PropertyTable {
public:
    static constexpr std::uint32_t kBuckets = 17;

    struct Entry {
        std::uint32_t key;
        PropertyRef value;
    };

    PropertyTable() = default;
    PropertyTable(const PropertyTable& other)
        : m_entries(other.m_entries),
          m_index(other.m_index != nullptr ? std::make_unique<FlatIndex>(*other.m_index)
                                           : nullptr) {}
    PropertyTable& operator=(const PropertyTable& other) {
        PropertyTable copy(other);
        std::swap(m_entries, copy.m_entries);
        std::swap(m_index, copy.m_index);
        return *this;
    }
    PropertyTable(PropertyTable&&) = default;
    PropertyTable& operator=(PropertyTable&&) = default;
    ~PropertyTable() = default;

    // The value under key, made (null) when the key is new; second is true
    // when it was made.
    std::pair<PropertyRef*, bool> insert(std::uint32_t key) {
        if (PropertyRef* found = find(key))
            return {found, false};
        const auto index = static_cast<std::uint32_t>(m_entries.size());
        m_entries.push_back({key, nullptr});
        if (m_index != nullptr)
            m_index->add(hashOf(key), index);
        else if (m_entries.size() > kListed)
            buildIndex();
        return {&m_entries.back().value, true};
    }

    PropertyRef* find(std::uint32_t key) {
        const std::uint32_t index = indexOf(key);
        return index == FlatIndex::kNone ? nullptr : &m_entries[index].value;
    }
    const PropertyRef* find(std::uint32_t key) const {
        const std::uint32_t index = indexOf(key);
        return index == FlatIndex::kNone ? nullptr : &m_entries[index].value;
    }

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

    template <class Table, class E> class Iter {
    public:
        Iter(Table* table, std::uint32_t bucket, std::size_t next)
            : m_table(table), m_bucket(bucket), m_next(next) {
            settle();
        }
        E& operator*() const { return m_table->m_entries[m_at]; }
        E* operator->() const { return &m_table->m_entries[m_at]; }
        Iter& operator++() {
            settle();
            return *this;
        }
        bool operator==(const Iter& o) const { return m_bucket == o.m_bucket && m_at == o.m_at; }

    private:
        // Moves to the next entry, newest first within a bucket.
        void settle() {
            const auto& entries = m_table->m_entries;
            for (; m_bucket < kBuckets; ++m_bucket, m_next = entries.size()) {
                while (m_next > 0) {
                    --m_next;
                    if (bucketOf(entries[m_next].key) == m_bucket) {
                        m_at = m_next;
                        return;
                    }
                }
            }
            m_at = 0;
        }

        Table* m_table;
        std::uint32_t m_bucket;
        std::size_t m_next;
        std::size_t m_at = 0;
    };
    using iterator = Iter<PropertyTable, Entry>;
    using const_iterator = Iter<const PropertyTable, const Entry>;
    iterator begin() { return {this, 0, m_entries.size()}; }
    iterator end() { return {this, kBuckets, 0}; }
    const_iterator begin() const { return {this, 0, m_entries.size()}; }
    const_iterator end() const { return {this, kBuckets, 0}; }

private:
    // Lists this long are searched in turn.
    static constexpr std::size_t kListed = 16;

    static std::uint32_t bucketOf(std::uint32_t key) { return (key >> 4) % kBuckets; }
    static std::uint32_t hashOf(std::uint32_t key) {
        return FlatIndex::Spread(std::hash<std::uint32_t>{}(key));
    }
    std::uint32_t indexOf(std::uint32_t key) const {
        if (m_index != nullptr)
            return m_index->find(hashOf(key),
                                 [&](std::uint32_t index) { return m_entries[index].key == key; });
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].key == key)
                return static_cast<std::uint32_t>(i);
        }
        return FlatIndex::kNone;
    }
    void buildIndex() {
        m_index = std::make_unique<FlatIndex>();
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            m_index->add(hashOf(m_entries[i].key), static_cast<std::uint32_t>(i));
    }

    std::vector<Entry> m_entries;
    std::unique_ptr<FlatIndex> m_index;
};
