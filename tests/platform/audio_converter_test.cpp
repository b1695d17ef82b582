// Rate conversion over a long sound, block by block as the device pulls it: a click deep into the
// source comes out where its time says, so the sound never falls behind what was pulled from the
// source, and the source is pulled only as fast as the output needs it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/audio_converter.h"

namespace audio_converter_test {

namespace {

// 16-bit mono silence with one full-scale frame at `click`; counts the frames handed out.
struct Source {
    int64_t click = 0;
    int64_t given = 0;
    std::vector<int16_t> block;
};

void Input(void* user, uint32_t* packets, const void** data) {
    auto* s = static_cast<Source*>(user);
    s->block.assign(*packets, 0);
    if (s->click >= s->given && s->click < s->given + *packets) s->block[s->click - s->given] = 32767;
    s->given += *packets;
    *data = s->block.data();
}

TEST(AudioConverter, LongSoundsKeepTheirTimeBlockAfterBlock) {
    const struct {
        double from, to;
        int32_t block;
    } rows[] = {
        {16000, 48000, 512}, {44100, 48000, 512}, {22050, 48000, 1024}, {48000, 44100, 512}, {8000, 48000, 4096}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.from << " -> " << r.to << " in blocks of " << r.block);
        const qzAudioFormat format = {16, 2, 1, 3};
        qzAudioConverter* c = nullptr;
        ASSERT_EQ(AudioConverterNew(&format, r.from, r.to, &c), 0);
        const double seconds = 100.0;
        Source source;
        source.click = static_cast<int64_t>(r.from * (seconds - 1));
        std::vector<float> out(static_cast<size_t>(r.block));
        int64_t produced = 0, peakAt = -1;
        float peak = 0;
        while (produced < r.to * seconds) {
            ASSERT_EQ(AudioConverterFill(c, Input, &source, out.data(), r.block), r.block);
            for (int32_t i = 0; i < r.block; i++) {
                if (std::fabs(out[i]) > peak) {
                    peak = std::fabs(out[i]);
                    peakAt = produced + i;
                }
            }
            produced += r.block;
            // What the source gave beyond what the output took is the filter's look-ahead only.
            EXPECT_LT(source.given - produced * r.from / r.to, 64.0) << "after " << produced << " frames";
            if (HasFailure()) break;
        }
        EXPECT_GT(peak, 0.5f);
        // Late by no more than the filter's delay, 32 source frames.
        EXPECT_NEAR(static_cast<double>(peakAt), source.click * r.to / r.from, 32 * r.to / r.from);
        AudioConverterDispose(c);
    }
}

}  // namespace

}  // namespace audio_converter_test
