// Shared steps of the sound tests: files made by real tools (sox, ffmpeg) and their decoding by
// ffmpeg as the reference, hand-made IFF and WAVE files, reading WAVE captures, measuring levels
// and frequencies, and a fixture that opens the sound output on the headless driver's audio
// device stepped by hand.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "libs/oracle.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "media/sound/sound_events.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "support/headless_start.h"

namespace soundtest {

using libtest::ReadFile;
using libtest::TempDir;
using libtest::WriteFile;

// Runs a shell command quietly; true when it succeeded.
inline bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// What a command prints.
inline std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

// ffmpeg's decoding of a file as interleaved 16-bit little-endian PCM at the file's own rate and
// channel count (at most two).
inline std::vector<int16_t> FfmpegS16(const std::string& path, int channels) {
    std::string raw = path + ".ref.raw";
    std::string command = "ffmpeg -nostdin -v error -y -i '" + path + "' -ac " + std::to_string(channels) +
                          " -f s16le -acodec pcm_s16le '" + raw + "'";
    EXPECT_TRUE(Shell(command)) << command;
    std::string bytes = ReadFile(raw);
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

inline void PutBE32(std::string* s, uint32_t v) {
    for (int i = 3; i >= 0; i--) s->push_back(static_cast<char>(v >> (8 * i)));
}
inline void PutBE16(std::string* s, uint32_t v) {
    s->push_back(static_cast<char>(v >> 8));
    s->push_back(static_cast<char>(v));
}
inline void PutLE32(std::string* s, uint32_t v) {
    for (int i = 0; i < 4; i++) s->push_back(static_cast<char>(v >> (8 * i)));
}
inline void PutLE16(std::string* s, uint32_t v) {
    s->push_back(static_cast<char>(v));
    s->push_back(static_cast<char>(v >> 8));
}

// An IFF chunk: id, big-endian size, body and a pad byte for an odd size.
inline std::string IffChunk(const char* id, const std::string& body, uint32_t declared = UINT32_MAX) {
    std::string s(id, 4);
    PutBE32(&s, declared == UINT32_MAX ? static_cast<uint32_t>(body.size()) : declared);
    s += body;
    if (body.size() & 1) s.push_back('\0');
    return s;
}

// A voice header for rate and compression.
inline std::string Vhdr(uint32_t rate, uint8_t compression = 0) {
    std::string v(12, '\0');
    PutBE16(&v, rate);
    v.push_back(1);
    v.push_back(static_cast<char>(compression));
    PutBE32(&v, 0x10000);
    return IffChunk("VHDR", v);
}

// "FORM" + kind + chunks.
inline std::string IffForm(const char* kind, const std::string& chunks) {
    std::string s = "FORM";
    PutBE32(&s, static_cast<uint32_t>(4 + chunks.size()));
    return s + kind + chunks;
}

// A RIFF WAVE file from its chunks after "WAVE".
inline std::string RiffWave(const std::string& chunks) {
    std::string s = "RIFF";
    PutLE32(&s, static_cast<uint32_t>(4 + chunks.size()));
    return s + "WAVE" + chunks;
}

// A RIFF chunk (little-endian size, pad byte for odd sizes).
inline std::string RiffChunk(const char* id, const std::string& body, uint32_t declared = UINT32_MAX) {
    std::string s(id, 4);
    PutLE32(&s, declared == UINT32_MAX ? static_cast<uint32_t>(body.size()) : declared);
    s += body;
    if (body.size() & 1) s.push_back('\0');
    return s;
}

// A plain 16-byte PCM "fmt " body.
inline std::string FmtBody(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits) {
    std::string s;
    PutLE16(&s, tag);
    PutLE16(&s, channels);
    PutLE32(&s, rate);
    PutLE32(&s, rate * channels * bits / 8);
    PutLE16(&s, channels * bits / 8);
    PutLE16(&s, bits);
    return s;
}

// The frames of a WAVE capture of 32-bit float stereo.
struct Capture {
    uint32_t rate = 0;
    uint32_t channels = 0;
    std::vector<float> samples;  // interleaved
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
    float L(size_t f) const { return samples[2 * f]; }
    float R(size_t f) const { return samples[2 * f + 1]; }
};

inline Capture ReadFloatWave(const std::string& path) {
    Capture c;
    std::string b = ReadFile(path);
    auto u32 = [&](size_t at) {
        return at + 4 <= b.size() ? uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
                                        uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24
                                  : 0u;
    };
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0) return c;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        std::string id = b.substr(at, 4);
        uint32_t size = u32(at + 4);
        if (id == "fmt ") {
            c.channels = u32(at + 8 + 2) & 0xFFFF;
            c.rate = u32(at + 8 + 4);
        } else if (id == "data") {
            size_t n = std::min<size_t>(size, b.size() - at - 8) / 4;
            c.samples.resize(n);
            std::memcpy(c.samples.data(), b.data() + at + 8, n * 4);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return c;
}

// The first frame from `from` whose left or right magnitude exceeds the threshold, or the end.
inline size_t Onset(const Capture& c, size_t from = 0, float threshold = 1e-4f) {
    for (size_t f = from; f < c.Frames(); f++) {
        if (std::fabs(c.L(f)) > threshold || std::fabs(c.R(f)) > threshold) return f;
    }
    return c.Frames();
}

// The frequency of a sine in [from, from + count) of one channel, by its rising zero crossings.
inline double Frequency(const std::vector<float>& x, size_t from, size_t count, double rate) {
    size_t first = 0, last = 0, crossings = 0;
    for (size_t i = from + 1; i < from + count && i < x.size(); i++) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            if (!crossings) first = i;
            last = i;
            crossings++;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / static_cast<double>(last - first) : 0.0;
}

inline double Rms(const std::vector<float>& x, size_t from, size_t count) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = from; i < from + count && i < x.size(); i++, n++) sum += double(x[i]) * x[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

// One channel of an interleaved capture.
inline std::vector<float> Side(const Capture& c, int side) {
    std::vector<float> out(c.Frames());
    for (size_t f = 0; f < out.size(); f++) out[f] = c.samples[2 * f + side];
    return out;
}

// One end event as PopSoundEvent gives it.
struct Event {
    int32_t code;
    qzObjectId object;
    int32_t time;
    int32_t starts;
};

// The sound output on the headless driver's device, stepped by hand: Render pulls frames.
struct SoundOutputTest : ::testing::Test {
    bool started = false;

    void SetUp() override {
        ASSERT_TRUE(qztest::StartHeadlessDriver(true));
        ASSERT_EQ(InitSoundEventMutex(), 0);
        ASSERT_EQ(InitSoundChannels(8, 30), 0);
        started = true;
        ResetSoundEventHooks();
    }
    void TearDown() override {
        ResetSoundEventHooks();
        FreeSoundEventsAtExit();
        HeadlessSetManualAudio(0);
        HostStopDriver();
    }

    // Pulls frames from the device: interleaved stereo.
    std::vector<float> Render(int32_t frames) {
        std::vector<float> out(2 * static_cast<size_t>(frames));
        EXPECT_EQ(HeadlessRenderAudio(out.data(), frames), frames);
        return out;
    }

    // The end events that reached the list so far, in order.
    std::vector<Event> Events() {
        MacPostPendingAudioEvents();
        std::vector<Event> out;
        Event e;
        while (PopSoundEvent(&e.code, &e.object, &e.time, &e.starts)) out.push_back(e);
        return out;
    }
};

}  // namespace soundtest
