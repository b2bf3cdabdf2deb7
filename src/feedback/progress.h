#pragma once
#include <cstdint>
#include <string>

// What a long operation reports its progress to: done so far of the whole,
// typically bytes or items, and a caption saying what it is doing. The
// progress window implements it.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void Step(std::uint64_t current, std::uint64_t total) = 0;
    virtual void SetText(const std::string& text) = 0;
};
