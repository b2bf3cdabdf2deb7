#include "mediadb/essencetext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Drop-frame labels counted one frame at a time from 00:00:00;00: after
// the last frame of a second the next second; at a new minute that is not
// a tenth the first `skipped` frame numbers do not exist.
class DropFrameClock {
public:
    explicit DropFrameClock(int fps) : m_fps(fps), m_skipped(fps / 15) {}
    void Next() {
        if (++m_f < m_fps)
            return;
        m_f = 0;
        if (++m_s < 60)
            return;
        m_s = 0;
        ++m_m;
        if (m_m % 10 != 0)
            m_f = m_skipped;
    }
    std::string Text() const {
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d;%02d", m_m / 60, m_m % 60, m_s, m_f);
        return text;
    }

private:
    int m_fps;
    int m_skipped;
    int m_f = 0;
    int m_s = 0;
    int m_m = 0;
};

TEST(Timecode, DropFrameAgreesWithCountingFrameByFrame) {
    for (const auto& [num, fps] : {std::pair{30000, 30}, std::pair{60000, 60}}) {
        const PackedRate rate = PackRate(num, 1001);
        DropFrameClock clock(fps);
        // Past the first hour, so that every kind of minute comes by.
        for (std::uint64_t n = 0; n < std::uint64_t(fps) * 3700; ++n) {
            ASSERT_EQ(FormatTimecode(n, rate), clock.Text()) << n << " at " << fps;
            clock.Next();
        }
    }
    const PackedRate ntsc = PackRate(30000, 1001);
    EXPECT_EQ(FormatTimecode(1799, ntsc), "00:00:59;29");
    EXPECT_EQ(FormatTimecode(1800, ntsc), "00:01:00;02");
    EXPECT_EQ(FormatTimecode(17981, ntsc), "00:09:59;29");
    EXPECT_EQ(FormatTimecode(17982, ntsc), "00:10:00;00");
    // A day of 29.97 holds 2,589,408 frames; the count goes on past 24.
    EXPECT_EQ(FormatTimecode(2589408, ntsc), "24:00:00;00");
    EXPECT_EQ(FormatTimecode(4, PackRate(60000, 1001)), "00:00:00;04");
}

TEST(PackedRates, KeepTheRateWhateverFormItIsGivenInAndNeverAnother) {
    EXPECT_EQ(PackRate(60000, 2002), PackRate(30000, 1001));
    EXPECT_EQ(RateNumerator(PackRate(192000, 1)), 192000u);
    EXPECT_EQ(PackRate(1 << 20, 1), 0u);
    EXPECT_EQ(PackRate(25, 4096), 0u);
    EXPECT_EQ(PackRate(25, -1), 0u);
    // 23.976 counts 24 frames a second and drops none.
    EXPECT_EQ(FormatTimecode(24 * 60, PackRate(24000, 1001)), "00:01:00:00");
    EXPECT_EQ(RateText(PackRate(30000, 1001)), "29.97");
}

TEST(EssenceOfARecord, SoundIsToldInWholeFramesOfItsVideoRate) {
    MediaRecord picture;
    picture.duration = 58;
    picture.rate = PackRate(24000, 1001);
    EXPECT_DOUBLE_EQ(DurationSeconds(picture), 58 * 1001 / 24000.0);

    MediaRecord sound;
    sound.sampleRate = 48000;
    sound.channels = 1;
    sound.rate = PackRate(30000, 1001);
    // Frame by frame against samples * rate / sample rate, rounded down,
    // over a minute boundary where numbers are dropped.
    for (std::uint64_t samples : {0ull, 1601ull, 1602ull, 144144ull, 2882880ull, 2884481ull}) {
        sound.duration = samples;
        const auto frames = static_cast<std::uint64_t>(static_cast<long double>(samples) * 30000 /
                                                       (48000.0L * 1001));
        EXPECT_EQ(DurationFrames(sound), frames) << samples;
    }
    sound.duration = 2884482; // 1801.0 frames: one past a minute
    EXPECT_EQ(DurationText(sound), "00:01:00;03");
    EXPECT_DOUBLE_EQ(DurationSeconds(sound), 2884482 / 48000.0);
    EXPECT_EQ(ResolutionText(sound), "");
    EXPECT_EQ(FrameRateText(sound), "");
    // Years of samples do not overflow.
    sound.duration = ~std::uint64_t{0};
    sound.rate = PackRate(60000, 1001);
    EXPECT_GT(DurationFrames(sound), std::uint64_t{1} << 50);
}

} // namespace
