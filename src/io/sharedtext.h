#pragma once
// An immutable text whose copies share one allocation: copying it copies a
// pointer and counts a reference. A million records that name the same folder
// or project hold it once, and an empty text takes no storage at all. The
// count is atomic, so copies may be dropped on any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

class SharedText {
public:
    SharedText() = default;
    explicit SharedText(std::string_view text) {
        if (text.empty())
            return;
        void* memory = ::operator new(sizeof(Block) + text.size() + 1);
        m_block = new (memory) Block{};
        m_block->size = static_cast<std::uint32_t>(text.size());
        char* chars = charsOf(m_block);
        std::memcpy(chars, text.data(), text.size());
        chars[text.size()] = '\0';
    }
    SharedText(const SharedText& other) noexcept : m_block(other.m_block) {
        if (m_block != nullptr)
            m_block->references.fetch_add(1, std::memory_order_relaxed);
    }
    SharedText(SharedText&& other) noexcept : m_block(std::exchange(other.m_block, nullptr)) {}
    SharedText& operator=(const SharedText& other) noexcept {
        SharedText copy(other);
        std::swap(m_block, copy.m_block);
        return *this;
    }
    SharedText& operator=(SharedText&& other) noexcept {
        SharedText taken(std::move(other));
        std::swap(m_block, taken.m_block);
        return *this;
    }
    ~SharedText() { release(); }

    // Zero-terminated; "" when empty.
    const char* c_str() const { return m_block != nullptr ? charsOf(m_block) : ""; }
    std::size_t size() const { return m_block != nullptr ? m_block->size : 0; }
    bool empty() const { return m_block == nullptr; }
    std::string_view view() const { return {c_str(), size()}; }
    std::string str() const { return std::string(view()); }
    // Whether both share one allocation (or both are empty).
    bool sharesWith(const SharedText& other) const { return m_block == other.m_block; }

private:
    struct Block {
        std::atomic<std::uint32_t> references{1};
        std::uint32_t size = 0;
    };
    static char* charsOf(Block* block) { return reinterpret_cast<char*>(block + 1); }

    void release() {
        if (m_block != nullptr &&
            m_block->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            m_block->~Block();
            ::operator delete(m_block);
        }
        m_block = nullptr;
    }

    Block* m_block = nullptr;
};
