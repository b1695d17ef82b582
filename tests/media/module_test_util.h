// Module files written by the tests: samples, patterns of cells and the order list laid out as
// the four-voice, 31-sample "M.K." file, and their opening by the replayer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/sound/module_replayer.h"
#include "platform/os_alloc.h"

namespace moduletest {

struct Cell {
    int period = 0;
    int sample = 0;
    int effect = 0;
    int param = 0;
};

struct Sample {
    std::vector<int8_t> data;  // an even number of bytes
    int volume = 64;
    int finetune = 0;
    int loopStart = 0;     // bytes, even
    int loopLength = 0;    // bytes, even; 0 or 2: no loop
    int lengthWords = -1;  // the length the header claims; -1: the data's
};

// A square wave of `period` bytes (half at +amplitude, half at -amplitude), `cycles` times.
inline std::vector<int8_t> Square(int period, int cycles, int amplitude = 64) {
    std::vector<int8_t> out;
    for (int c = 0; c < cycles; c++)
        for (int i = 0; i < period; i++) out.push_back(static_cast<int8_t>(i < period / 2 ? amplitude : -amplitude));
    return out;
}

struct Song {
    std::string name = "test song";
    std::vector<Sample> samples;  // samples 1, 2, ...
    std::vector<std::vector<Cell>> patterns = {std::vector<Cell>(256)};
    std::vector<int> order = {0};                 // the played entries
    int songLength = -1;                          // -1: the order's size
    std::vector<std::pair<int, int>> extraOrder;  // (entry, pattern) set past the played ones

    Cell& At(int pattern, int row, int voice) {
        while (static_cast<int>(patterns.size()) <= pattern) patterns.emplace_back(256);
        return patterns[pattern][row * 4 + voice];
    }

    std::vector<unsigned char> Bytes() const {
        std::vector<unsigned char> f(1084, 0);
        std::memcpy(f.data(), name.data(), std::min<size_t>(name.size(), 20));
        for (size_t s = 0; s < samples.size() && s < 31; s++) {
            unsigned char* h = f.data() + 20 + 30 * s;
            const Sample& x = samples[s];
            int words = x.lengthWords >= 0 ? x.lengthWords : static_cast<int>(x.data.size() / 2);
            h[22] = static_cast<unsigned char>(words >> 8);
            h[23] = static_cast<unsigned char>(words);
            h[24] = static_cast<unsigned char>(x.finetune);
            h[25] = static_cast<unsigned char>(x.volume);
            h[26] = static_cast<unsigned char>(x.loopStart / 2 >> 8);
            h[27] = static_cast<unsigned char>(x.loopStart / 2);
            h[28] = static_cast<unsigned char>(x.loopLength / 2 >> 8);
            h[29] = static_cast<unsigned char>(x.loopLength / 2);
        }
        f[950] = static_cast<unsigned char>(songLength >= 0 ? songLength : static_cast<int>(order.size()));
        f[951] = 127;
        for (size_t i = 0; i < order.size(); i++) f[952 + i] = static_cast<unsigned char>(order[i]);
        for (auto [entry, pattern] : extraOrder) f[952 + entry] = static_cast<unsigned char>(pattern);
        std::memcpy(f.data() + 1080, "M.K.", 4);
        for (const std::vector<Cell>& p : patterns) {
            for (const Cell& c : p) {
                f.push_back(static_cast<unsigned char>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F)));
                f.push_back(static_cast<unsigned char>(c.period));
                f.push_back(static_cast<unsigned char>((c.sample & 0x0F) << 4 | (c.effect & 0x0F)));
                f.push_back(static_cast<unsigned char>(c.param));
            }
        }
        for (const Sample& x : samples)
            for (int8_t b : x.data) f.push_back(static_cast<unsigned char>(b));
        return f;
    }
};

// The replayer's state of a module file (a copy of bytes in a block it takes over) at 48000 Hz;
// null when it refuses the file.
inline qzModule* OpenBytes(const std::vector<unsigned char>& bytes, int32_t rate = 48000) {
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(bytes.size() ? bytes.size() : 1, 0));
    std::memcpy(data, bytes.data(), bytes.size());
    qzModule* m = OpenModule(data, bytes.size(), rate);
    if (!m) OsFree(data);
    return m;
}

}  // namespace moduletest
