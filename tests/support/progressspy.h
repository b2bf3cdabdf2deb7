#pragma once
// Records what an operation reports to its progress window.

#include "feedback/progress.h"

#include <cstdint>
#include <string>
#include <vector>

class ProgressSpy : public Progress {
public:
    void Step(std::uint64_t current, std::uint64_t total) override {
        steps.push_back(current);
        lastTotal = total;
    }
    void SetText(const std::string& text) override { texts.push_back(text); }

    std::vector<std::uint64_t> steps;
    std::uint64_t lastTotal = 0;
    std::vector<std::string> texts;
};
