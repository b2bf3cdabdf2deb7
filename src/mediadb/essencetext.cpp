#include "mediadb/essencetext.h"

#include <charconv>
#include <cstdio>

namespace {

// Whole frames per second of a rate: 30 for 29.97.
std::uint64_t nominalFrames(PackedRate rate) {
    const std::uint64_t num = RateNumerator(rate);
    const std::uint64_t den = RateDenominator(rate);
    return (num + den / 2) / den;
}

bool isDropFrameRate(PackedRate rate) {
    return rate == PackRate(30000, 1001) || rate == PackRate(60000, 1001);
}

} // namespace

std::string FormatTimecode(std::uint64_t frames, PackedRate rate) {
    if (rate == 0)
        return {};
    const std::uint64_t fps = nominalFrames(rate);
    if (fps == 0)
        return {};
    const bool drop = isDropFrameRate(rate);
    if (drop) {
        // Frame numbers skipped a minute, and the frames of ten minutes.
        const std::uint64_t skipped = fps / 15;
        const std::uint64_t perMinute = fps * 60 - skipped;
        const std::uint64_t perTenMinutes = fps * 600 - 9 * skipped;
        const std::uint64_t tens = frames / perTenMinutes;
        const std::uint64_t rest = frames % perTenMinutes;
        // The first minute of ten keeps its numbers; each later one skips.
        frames += 9 * skipped * tens;
        if (rest >= skipped)
            frames += skipped * ((rest - skipped) / perMinute);
    }
    const std::uint64_t seconds = frames / fps;
    // Written by hand: the find bar tells a million of these a keystroke.
    // Held within the string itself up to 15 characters: no allocation.
    std::string text;
    auto put = [&text](std::uint64_t value, char after) {
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        if (end - digits < 2)
            text += '0';
        text.append(digits, static_cast<std::size_t>(end - digits));
        if (after != '\0')
            text += after;
    };
    put(seconds / 3600, ':');
    put(seconds / 60 % 60, ':');
    put(seconds % 60, drop ? ';' : ':');
    put(frames % fps, '\0');
    return text;
}

std::uint64_t DurationFrames(const MediaRecord& record) {
    if (record.rate == 0)
        return 0;
    if (!IsSound(record))
        return record.duration;
    // samples * num / (sampleRate * den), in whole frames; the numerator
    // has 20 bits, so only counts of years overflow, and those are divided
    // first.
    const std::uint64_t num = RateNumerator(record.rate);
    const std::uint64_t per = std::uint64_t{record.sampleRate} * RateDenominator(record.rate);
    if (record.duration <= UINT64_MAX / num)
        return record.duration * num / per;
    return record.duration / per * num + record.duration % per * num / per;
}

double DurationSeconds(const MediaRecord& record) {
    if (IsSound(record))
        return static_cast<double>(record.duration) / record.sampleRate;
    if (record.rate == 0)
        return 0;
    return static_cast<double>(record.duration) * RateDenominator(record.rate) /
           RateNumerator(record.rate);
}

std::string DurationText(const MediaRecord& record) {
    if (record.rate == 0 || record.duration == 0)
        return {};
    return FormatTimecode(DurationFrames(record), record.rate);
}

std::string ResolutionText(const MediaRecord& record) {
    if (IsSound(record) || record.width == 0 || record.height == 0)
        return {};
    return std::to_string(record.width) + " x " + std::to_string(record.height);
}

std::string FrameRateText(const MediaRecord& record) {
    return IsSound(record) ? std::string() : RateText(record.rate);
}

std::string RateText(PackedRate rate) {
    if (rate == 0)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%.3f",
                  static_cast<double>(RateNumerator(rate)) / RateDenominator(rate));
    std::string out = text;
    while (out.back() == '0')
        out.pop_back();
    if (out.back() == '.')
        out.pop_back();
    return out;
}
