#pragma once
// An MXF file's essence as the media file list, its export and the report
// tell it: duration as timecode, displayed size, frame rate; and the numbers
// behind them.

#include "mediadb/mediarecord.h"

#include <cstdint>
#include <string>

// Whether a record holds a sound file's facts (else a picture's, or none).
inline bool IsSound(const MediaRecord& record) {
    return record.sampleRate != 0;
}

// Timecode hh:mm:ss:ff of `frames` at `rate`, counted at the rate's whole
// frames per second; at 29.97 and 59.94 drop-frame (";" before the frames:
// the first two, or four, frame numbers of each minute are skipped, except
// every tenth minute). Hours go past 24. Empty when the rate is none.
std::string FormatTimecode(std::uint64_t frames, PackedRate rate);

// The record's duration in frames at its rate: a picture's frames; sound's
// samples in whole frames of the video rate it is told at. 0 when unknown.
std::uint64_t DurationFrames(const MediaRecord& record);
// The duration in seconds; 0 when unknown.
double DurationSeconds(const MediaRecord& record);

// "00:01:00;02"; "1920 x 1080"; "29.97". Empty when unknown, and for sound
// the size and the frame rate.
std::string DurationText(const MediaRecord& record);
std::string ResolutionText(const MediaRecord& record);
std::string FrameRateText(const MediaRecord& record);
// A rate in decimal, up to three places, without trailing zeros: "25",
// "29.97", "23.976". Empty for none.
std::string RateText(PackedRate rate);
