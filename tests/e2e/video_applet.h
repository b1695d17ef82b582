// What the video end-to-end tests share: CDXL files written from the format (frames of 32 x 16
// pixels whose colour indices and palette the test chooses), the assembler text of calls with
// constant arguments, and a fixture that runs an applet on display 2 (64 x 48, colour #204060)
// headless and reads the display's snapshot.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "asm/asm.h"
#include "base/byte_order.h"
#include "e2e/player_run.h"
#include "e2e/png_pixels.h"
#include "libs/oracle.h"

namespace videotest {

constexpr int kWidth = 32, kHeight = 16, kFrames = 10;
constexpr int kChunk = 7680;  // 20 frames a second
constexpr uint32_t kBackground = 0x204060;

// A CDXL palette word (0x0RGB) as the player shows it (0xRRGGBB).
inline uint32_t Rgb(uint32_t word) {
    return ((word >> 8) & 15) * 17 << 16 | ((word >> 4) & 15) * 17 << 8 | (word & 15) * 17;
}

// One frame of a CDXL file: its palette (0x0RGB words), its number of bitplanes, the colour index
// of each pixel, and its sound (signed 8-bit samples).
struct CdxlFrame {
    std::vector<uint32_t> palette;
    int planes = 2;
    std::function<int(int x, int y)> index;
    std::string sound;
};

// Appends frame f as a chunk of chunk bytes: the header, the palette, the planes row by row (each
// row of plane 0, then of plane 1, ...), the sound, padding.
inline void AppendCdxlFrame(std::string& out, int f, int chunk, const CdxlFrame& frame) {
    const size_t start = out.size();
    const int rowBytes = (kWidth + 15) / 16 * 2;
    out += '\1';
    out += '\0';
    AppendBE32(out, static_cast<uint32_t>(chunk));
    AppendBE32(out, f == 0 ? 0 : static_cast<uint32_t>(chunk));
    AppendBE32(out, static_cast<uint32_t>(f));
    AppendBE16(out, kWidth);
    AppendBE16(out, kHeight);
    out += '\0';
    out += static_cast<char>(frame.planes);
    AppendBE16(out, static_cast<uint32_t>(frame.palette.size() * 2));
    AppendBE16(out, static_cast<uint32_t>(frame.sound.size()));
    out.append(8, '\0');
    for (uint32_t word : frame.palette) AppendBE16(out, word);
    for (int y = 0; y < kHeight; ++y) {
        for (int plane = 0; plane < frame.planes; ++plane) {
            for (int b = 0; b < rowBytes; ++b) {
                int bits = 0;
                for (int i = 0; i < 8; ++i) {
                    const int x = b * 8 + i;
                    if (x < kWidth && (frame.index(x, y) >> plane & 1)) bits |= 0x80 >> i;
                }
                out += static_cast<char>(bits);
            }
        }
    }
    out += frame.sound;
    out.resize(start + static_cast<size_t>(chunk), '\0');
}

// Frame f's colour in SolidCdxl, as a palette word and as the player shows it.
inline uint32_t PaletteWord(int f) { return static_cast<uint32_t>((f + 1) << 8 | (15 - f) << 4 | (f * 3) % 16); }
inline uint32_t Colour(int f) { return Rgb(PaletteWord(f)); }

// Two planes, every pixel of colour index 1, whose palette word changes from frame to frame; with
// sound bytes, a 500 Hz sine at 8000 Hz (at 20 frames a second, 400 bytes a frame) running on from
// frame to frame.
inline std::string SolidCdxl(int frames = kFrames, int chunk = kChunk, int soundBytes = 0) {
    std::string out;
    for (int f = 0; f < frames; ++f) {
        CdxlFrame frame;
        frame.palette = {0, PaletteWord(f), 0, 0};
        frame.index = [](int, int) { return 1; };
        for (int i = 0; i < soundBytes; ++i)
            frame.sound +=
                static_cast<char>(std::lround(100 * std::sin(2 * M_PI * 500 * (f * soundBytes + i) / 8000.0)));
        AppendCdxlFrame(out, f, chunk, frame);
    }
    return out;
}

inline std::string Lower(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

// One call with constant arguments and, when fields are given, an options table after them
// ("true" stands for the boolean), keeping results - 1 results.
inline std::string Call(const std::string& command, const std::vector<std::string>& args, const Fields& fields = {},
                        int results = 1) {
    std::string code = "    GETGLOBAL r0 \"" + Lower(command) + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    if (!fields.empty()) {
        const std::string table = "r" + std::to_string(r++);
        code += "    NEWTABLE " + table + " 0 0\n";
        for (const auto& [key, value] : fields) {
            if (value == "true")
                code += "    LOADBOOL r20 1 0\n    SETTABLE " + table + " \"" + key + "\" r20\n";
            else
                code += "    SETTABLE " + table + " \"" + key + "\" " + value + "\n";
        }
    }
    return code + "    CALL r0 " + std::to_string(r) + " " + std::to_string(results) + "\n";
}
// A call whose one result is printed.
inline std::string Print(const std::string& command, const std::vector<std::string>& args) {
    return Call(command, args, {}, 2) + "    GETGLOBAL r1 \"debugprint\"\n    MOVE r2 r0\n    CALL r1 2 1\n";
}
// A call that fails: its error code is printed.
inline std::string Refused(const std::string& command, const std::vector<std::string>& args,
                           const Fields& fields = {}) {
    return Call(command, args, fields) + Print("GetLastError", {});
}

class VideoApplet : public ::testing::Test {
protected:
    libtest::TempDir dir;

    // Runs the body on display 2 (64 x 48, colour #204060, created with the extra fields given as
    // "key value" assembler operands) headless, with errors not ending the applet and the
    // environment assignments given; what it printed.
    std::string RunApplet(const std::string& body, const std::string& env = "",
                          const std::vector<std::string>& displayFields = {}) {
        std::string create =
            "    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    NEWTABLE r2 0 0\n"
            "    SETTABLE r2 \"width\" 64\n    SETTABLE r2 \"height\" 48\n    SETTABLE r2 \"color\" 2113632\n";
        for (const std::string& f : displayFields) create += "    SETTABLE r2 " + f + "\n";
        const std::string text =
            ".applet\n.record 10 u8 6 u8 0\n.function main\n  .source \"@video.qzs\"\n  .line 1\n" + create +
            "    CALL r0 3 1\n" + Call("OpenDisplay", {"2"}) +
            "    GETGLOBAL r0 \"exitonerror\"\n    LOADBOOL r1 0 0\n    CALL r0 2 1\n" + body +
            "    RETURN r0 1\n.end\n";
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir.path + "/video.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir.path +
                                               "' && env -u QUARNELIX_INPUT QUARNELIX_DRIVER=headless "
                                               "QUARNELIX_SNAPSHOT_DIR='" +
                                               dir.path + "' " + env + " " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout video.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    // The display's snapshot as 0xRRGGBB words; empty when there is none of that size.
    std::vector<uint32_t> Snapshot(int width = 64, int height = 48) {
        std::vector<uint32_t> pixels = ReadPngPixels(dir.path + "/display-2.png", width, height);
        for (uint32_t& p : pixels) p &= 0xFFFFFF;
        return pixels;
    }
    uint32_t Pixel(int x, int y) {
        const std::vector<uint32_t> pixels = Snapshot();
        return pixels.empty() ? 0xFFFFFFFFu : pixels[y * 64 + x];
    }
    void Write(const std::string& name, const std::string& bytes) {
        WriteBytes(dir.path + "/" + name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
};

}  // namespace videotest
