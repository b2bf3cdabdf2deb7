#pragma once
// The record scan read plainly, one candidate at every byte offset, over the
// bytes of a file held in memory: the reference the real scanner is compared
// against.

#include "mediadb/mediarecord.h"

#include <cstdint>
#include <vector>

struct LiteralScan {
    std::vector<MediaRecord> records;
    // Positions reported to the progress window, in order.
    std::vector<std::uint64_t> progress;
};

LiteralScan LiteralDatabaseScan(const std::vector<std::uint8_t>& file);
LiteralScan LiteralBinScan(const std::vector<std::uint8_t>& file);
