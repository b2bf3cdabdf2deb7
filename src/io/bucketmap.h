#pragma once
// The keyed map whose order is the program's order of projects, of files
// within a project, of directory entries and of databases: 17 buckets chosen
// by a hash of the key, buckets visited 0 to 16, and within a bucket the
// newest key first. Lookups go through a separate hash index, so they cost the
// same however long a bucket grows. Entries are only ever removed all at once;
// values keep their address until then.

#include "io/flatindex.h"
#include "io/segmentedstore.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

template <class Key, class Value, class Traits> class BucketMap {
public:
    static constexpr std::uint32_t kBuckets = 17;
    using KeyView = typename Traits::KeyView;
    // The value holds its key (Traits::keyOf gives it): the entry's key
    // shares it rather than copying the text.
    static constexpr bool kKeyInValue = requires(const Value& v) { Traits::keyOf(v); };

    struct Entry {
        Key key;
        Value value;
    };

    // A place in the map's order; false when it is past the end.
    struct Position {
        std::int32_t bucket = -1;
        std::uint32_t slot = 0;
        explicit operator bool() const { return bucket >= 0; }
        bool operator==(const Position&) const = default;
    };

    // The hash a key is looked up by: a caller that looks one key up in
    // several maps of these traits computes it once and passes it on.
    static std::uint32_t hashOf(KeyView key) {
        return FlatIndex::Spread(typename Traits::Hash{}(key));
    }

    Value* find(KeyView key) { return find(key, hashOf(key)); }
    const Value* find(KeyView key) const { return find(key, hashOf(key)); }
    // hash must be hashOf(key).
    Value* find(KeyView key, std::uint32_t hash) {
        assert(hash == hashOf(key));
        const std::uint32_t index = indexOf(key, hash);
        return index == FlatIndex::kNone ? nullptr : &m_entries[index].value;
    }
    const Value* find(KeyView key, std::uint32_t hash) const {
        assert(hash == hashOf(key));
        const std::uint32_t index = indexOf(key, hash);
        return index == FlatIndex::kNone ? nullptr : &m_entries[index].value;
    }

    // The value under key, made when the key is new (a copy of initial, or
    // value-initialised); second is true when it was made.
    std::pair<Value*, bool> insert(KeyView key) requires(!kKeyInValue) {
        return insert(key, Value{});
    }
    // Where the value holds its own key, initial must hold this one.
    std::pair<Value*, bool> insert(KeyView key, const Value& initial) {
        return insert(key, hashOf(key), initial);
    }
    // hash must be hashOf(key).
    std::pair<Value*, bool> insert(KeyView key, std::uint32_t hash, const Value& initial) {
        assert(hash == hashOf(key));
        return place(key, hash, [&] {
            if constexpr (kKeyInValue) {
                assert(Traits::view(Traits::keyOf(initial)) == key);
                Entry& made = m_entries.emplace_back(Entry{Key{}, initial});
                made.key = Traits::keyOf(made.value);
                return &made;
            } else {
                return &m_entries.emplace_back(Entry{Key(key), initial});
            }
        });
    }
    // The same, the entry taking over the key when it is new.
    std::pair<Value*, bool> insertMoved(Key&& key, const Value& initial) requires(!kKeyInValue) {
        const KeyView view = Traits::view(key);
        return place(view, hashOf(view), [&] {
            return &m_entries.emplace_back(Entry{std::move(key), initial});
        });
    }

    // Hands each entry to f(key, value) in the order they were added, the
    // key to be taken, and leaves the map empty.
    template <class F> void drain(F&& f) requires(!kKeyInValue) {
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            f(std::move(m_entries[i].key), m_entries[i].value);
        clear();
    }

    void clear() {
        m_index.clear();
        m_entries.clear();
        for (auto& bucket : m_buckets)
            bucket.clear();
        for (auto& bucket : m_buckets)
            bucket.shrink_to_fit();
    }

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

    Position first() const { return settle(0); }
    Position next(Position p) const {
        if (!p)
            return p;
        if (p.slot > 0)
            return {p.bucket, p.slot - 1};
        return settle(p.bucket + 1);
    }
    Entry& at(Position p) {
        return m_entries[m_buckets[static_cast<std::size_t>(p.bucket)][p.slot]];
    }
    const Entry& at(Position p) const {
        return m_entries[m_buckets[static_cast<std::size_t>(p.bucket)][p.slot]];
    }
    // The position of a key, or a false position.
    Position positionOf(KeyView key) const {
        const std::uint32_t index = indexOf(key, hashOf(key));
        if (index == FlatIndex::kNone)
            return {};
        const std::uint32_t bucket = Traits::bucket(key) % kBuckets;
        const auto& chain = m_buckets[bucket];
        for (std::uint32_t slot = 0; slot < chain.size(); ++slot) {
            if (chain[slot] == index)
                return {static_cast<std::int32_t>(bucket), slot};
        }
        return {};
    }

    // Iteration in the map's order.
    template <class Map, class E> class Iter {
    public:
        Iter(Map* map, Position p) : m_map(map), m_pos(p) {}
        E& operator*() const { return m_map->at(m_pos); }
        E* operator->() const { return &m_map->at(m_pos); }
        Iter& operator++() {
            m_pos = m_map->next(m_pos);
            return *this;
        }
        bool operator==(const Iter& o) const { return m_pos == o.m_pos; }

    private:
        Map* m_map;
        Position m_pos;
    };
    using iterator = Iter<BucketMap, Entry>;
    using const_iterator = Iter<const BucketMap, const Entry>;
    iterator begin() { return {this, first()}; }
    iterator end() { return {this, Position{}}; }
    const_iterator begin() const { return {this, first()}; }
    const_iterator end() const { return {this, Position{}}; }

private:
    std::uint32_t indexOf(KeyView key, std::uint32_t hash) const {
        return m_index.find(
            hash, [&](std::uint32_t index) { return Traits::view(m_entries[index].key) == key; });
    }

    // The entry of key, made by make() when the key is new.
    template <class Make>
    std::pair<Value*, bool> place(KeyView key, std::uint32_t hash, Make&& make) {
        const std::uint32_t existing = indexOf(key, hash);
        if (existing != FlatIndex::kNone)
            return {&m_entries[existing].value, false};
        const auto index = static_cast<std::uint32_t>(m_entries.size());
        Entry& entry = *make();
        m_index.add(hash, index);
        m_buckets[Traits::bucket(Traits::view(entry.key)) % kBuckets].push_back(index);
        return {&entry.value, true};
    }

    // The newest entry of the first non-empty bucket from b on.
    Position settle(std::int32_t b) const {
        for (; b < static_cast<std::int32_t>(kBuckets); ++b) {
            const auto& chain = m_buckets[static_cast<std::size_t>(b)];
            if (!chain.empty())
                return {b, static_cast<std::uint32_t>(chain.size() - 1)};
        }
        return {};
    }

    // Entries in the order they were added; a bucket lists its entries'
    // indices oldest first and is walked backwards.
    SegmentedStore<Entry> m_entries;
    std::array<std::vector<std::uint32_t>, kBuckets> m_buckets;
    FlatIndex m_index;
};

// Text keys: hash = hash * 33 + byte, the bytes taken as signed, in unsigned
// 32-bit arithmetic.
struct StringKeyTraits {
    using KeyView = std::string_view;
    using Hash = std::hash<std::string_view>;
    static std::string_view view(const std::string& key) { return key; }
    static std::uint32_t bucket(std::string_view key) {
        std::uint32_t hash = 0;
        for (char c : key)
            hash = hash * 33 + static_cast<std::uint32_t>(
                                   static_cast<std::int32_t>(static_cast<signed char>(c)));
        return hash;
    }
};

// Number keys: hash = key / 16.
struct NumberKeyTraits {
    using KeyView = std::uint32_t;
    using Hash = std::hash<std::uint32_t>;
    static std::uint32_t view(std::uint32_t key) { return key; }
    static std::uint32_t bucket(std::uint32_t key) { return key >> 4; }
};

template <class Value> using StringMap = BucketMap<std::string, Value, StringKeyTraits>;
template <class Value> using NumberMap = BucketMap<std::uint32_t, Value, NumberKeyTraits>;
