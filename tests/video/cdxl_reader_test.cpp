// The CDXL reader: files written here from the format (palette pictures of 1 to 8 planes, HAM6,
// HAM8, with and without sound, padded chunks) read back frame for frame, its frame rates, seeking,
// and the files it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "platform/file_test_util.h"
#include "video/cdxl_reader.h"
#include "video/video_stream.h"

namespace cdxl_reader_test {

using filetest::TempDir;
using filetest::WriteFile;

namespace {

struct CdxlSpec {
    int width = 37;
    int height = 5;
    int planes = 4;
    bool ham = false;
    int colours = 16;    // palette words in each chunk
    int audioBytes = 0;  // sound bytes in each chunk
    int padding = 0;     // bytes after the sound
    int frames = 3;
    int type = 1;             // of the first chunk
    int secondSizeDelta = 0;  // added to the second chunk's size field
};

int RowBytes(const CdxlSpec& s) { return (s.width + 15) / 16 * 2; }
int ChunkSize(const CdxlSpec& s) {
    return 32 + s.colours * 2 + RowBytes(s) * s.height * s.planes + s.audioBytes + s.padding;
}

// The colour index of a pixel and the palette word of a colour, both changing from frame to frame.
int IndexAt(const CdxlSpec& s, int x, int y, int frame) { return (x * 7 + y * 3 + frame * 5) % (1 << s.planes); }
uint32_t PaletteWord(int colour, int frame) {
    return ((colour * 3 + frame) & 15) << 8 | ((colour * 5) & 15) << 4 | ((colour * 11 + frame) & 15);
}
int8_t SampleAt(int i, int frame) { return static_cast<int8_t>(frame * 31 + i * 7 - 100); }

std::string WriteCdxl(const CdxlSpec& s) {
    std::string out;
    const int chunk = ChunkSize(s);
    for (int f = 0; f < s.frames; ++f) {
        out += static_cast<char>(f == 0 ? s.type : 1);
        out += static_cast<char>(s.ham ? 1 : 0);
        AppendBE32(out, static_cast<uint32_t>(chunk + (f == 1 ? s.secondSizeDelta : 0)));
        AppendBE32(out, f == 0 ? 0 : static_cast<uint32_t>(chunk));
        AppendBE32(out, static_cast<uint32_t>(f));
        AppendBE16(out, static_cast<uint32_t>(s.width));
        AppendBE16(out, static_cast<uint32_t>(s.height));
        out += '\0';
        out += static_cast<char>(s.planes);
        AppendBE16(out, static_cast<uint32_t>(s.colours * 2));
        AppendBE16(out, static_cast<uint32_t>(s.audioBytes));
        out.append(8, '\0');
        for (int c = 0; c < s.colours; ++c) AppendBE16(out, PaletteWord(c, f));
        // Rows interleaved: row y of plane 0, of plane 1, ..., then row y + 1.
        for (int y = 0; y < s.height; ++y) {
            for (int p = 0; p < s.planes; ++p) {
                std::string row(static_cast<size_t>(RowBytes(s)), '\0');
                for (int x = 0; x < s.width; ++x) {
                    if (IndexAt(s, x, y, f) >> p & 1) row[x / 8] = static_cast<char>(row[x / 8] | 0x80 >> (x % 8));
                }
                out += row;
            }
        }
        for (int i = 0; i < s.audioBytes; ++i) out += static_cast<char>(SampleAt(i, f));
        out.append(static_cast<size_t>(s.padding), '\x5a');
    }
    return out;
}

uint32_t Colour(uint32_t word) {
    return ((word >> 8) & 15) * 17 << 16 | ((word >> 4) & 15) * 17 << 8 | (word & 15) * 17;
}

// What the frame must look like: each index through the chunk's palette, or hold-and-modify with
// 4 (fewer than 7 planes) or 6 data bits placed in the component's top bits, each row from black.
std::vector<uint32_t> ExpectedFrame(const CdxlSpec& s, int frame) {
    std::vector<uint32_t> pixels;
    const int dataBits = s.planes < 7 ? 4 : 6;
    for (int y = 0; y < s.height; ++y) {
        uint32_t r = 0, g = 0, b = 0;
        for (int x = 0; x < s.width; ++x) {
            const int index = IndexAt(s, x, y, frame);
            const uint32_t palette = index < s.colours ? Colour(PaletteWord(index, frame)) : 0;
            if (!s.ham) {
                pixels.push_back(palette);
                continue;
            }
            const uint32_t data = static_cast<uint32_t>(index & ((1 << dataBits) - 1)) << (8 - dataBits);
            switch (index >> dataBits) {
            case 0: r = palette >> 16, g = (palette >> 8) & 0xFF, b = palette & 0xFF; break;
            case 1: b = data; break;
            case 2: r = data; break;
            default: g = data; break;
            }
            pixels.push_back(r << 16 | g << 8 | b);
        }
    }
    return pixels;
}

struct Opened {
    qzVideoFormatInfo format{};
    qzCdxlReader* reader = nullptr;
    Opened(const std::string& path, const char* adapter = nullptr) {
        PresetVideoFormat(&format, adapter);
        reader = OpenCdxl(path.c_str(), &format);
    }
    ~Opened() { CloseCdxl(reader); }
};

// Reads the next packet and, for a picture, decodes it. The packet's type, or -1 at the end.
int NextFrame(qzCdxlReader* reader, std::vector<uint32_t>* pixels, std::vector<int16_t>* samples, double* time) {
    qzVideoPacketBlock block{};
    const int result = ReadCdxlPacket(reader, &block);
    if (result != 0) return -1;
    *time = block.timeStamp;
    if (block.type == QZ_VIDEOPACKET_VIDEO) {
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(pixels->data()), nullptr, nullptr, nullptr};
        uint32_t rowBytes[4] = {};
        qzVideoFrameBlock frame{planes, rowBytes, 9, 9, 0.0, 0.0};
        EXPECT_EQ(DecodeCdxlFrame(reader, block.packet, &frame), 0);
        EXPECT_EQ(frame.timeStampB, block.timeStamp);
        EXPECT_EQ(frame.timeStampA, -1.0);
        EXPECT_EQ(frame.repeat, 0u);
        EXPECT_EQ(rowBytes[0], static_cast<uint32_t>(pixels->size() / 5 * 4));
    } else {
        // A destination of 10 samples takes the sound over several calls.
        samples->clear();
        qzVideoAudioBlock audio{};
        int16_t part[10];
        for (int calls = 0; !audio.done && calls < 1000; ++calls) {
            audio = qzVideoAudioBlock{part, sizeof part, 0, audio.done};
            DecodeCdxlAudio(reader, block.packet, &audio);
            samples->insert(samples->end(), part, part + audio.produced / 2);
        }
    }
    FreeCdxlPacket(block.packet);
    return static_cast<int>(block.type);
}

}  // namespace

TEST(Cdxl, EveryPictureKindReadsBackExactly) {
    TempDir dir;
    CdxlSpec base;
    const struct {
        const char* name;
        int planes;
        bool ham;
        int colours;
        int padding;
    } rows[] = {
        {"1 plane", 1, false, 2, 0},   {"3 planes, padded", 3, false, 8, 13},
        {"5 planes", 5, false, 32, 0}, {"8 planes", 8, false, 256, 2},
        {"HAM6", 6, true, 16, 0},      {"HAM8 of 7 planes", 7, true, 64, 0},
        {"HAM8", 8, true, 64, 5},
    };
    for (const auto& row : rows) {
        CdxlSpec s = base;
        s.planes = row.planes;
        s.ham = row.ham;
        s.colours = row.colours;
        s.padding = row.padding;
        const std::string path = dir / "kind.cdxl";
        WriteFile(path, WriteCdxl(s));
        Opened open(path);
        ASSERT_NE(open.reader, nullptr) << row.name;
        EXPECT_EQ(open.format.width, 37u) << row.name;
        EXPECT_EQ(open.format.height, 5u) << row.name;
        EXPECT_EQ(open.format.channels, 0u) << row.name;
        EXPECT_EQ(open.format.frames32, 1u) << row.name;
        EXPECT_EQ(open.format.flags, (uint32_t)QZ_VIDEOFORMAT_CANSEEK) << row.name;
        EXPECT_EQ(GetCdxlFrameCount(open.reader), 3) << row.name;
        std::vector<uint32_t> pixels(37 * 5);
        std::vector<int16_t> samples;
        double time = 0;
        for (int f = 0; f < 3; ++f) {
            ASSERT_EQ(NextFrame(open.reader, &pixels, &samples, &time), QZ_VIDEOPACKET_VIDEO) << row.name << f;
            EXPECT_EQ(pixels, ExpectedFrame(s, f)) << row.name << " frame " << f;
            EXPECT_DOUBLE_EQ(time, f / CdxlFramesPerSecond(static_cast<uint32_t>(ChunkSize(s)))) << row.name;
        }
        EXPECT_EQ(NextFrame(open.reader, &pixels, &samples, &time), -1) << row.name;
    }
}

TEST(Cdxl, SoundFollowsEachPictureAsSixteenBitSamples) {
    TempDir dir;
    CdxlSpec s;
    s.audioBytes = 25;
    s.padding = 3;
    WriteFile(dir / "sound.cdxl", WriteCdxl(s));
    Opened open(dir / "sound.cdxl");
    ASSERT_NE(open.reader, nullptr);
    const double fps = CdxlFramesPerSecond(static_cast<uint32_t>(ChunkSize(s)));
    EXPECT_EQ(open.format.channels, 1u);
    EXPECT_EQ(open.format.sampleRate, static_cast<uint32_t>(25 * fps));
    EXPECT_EQ(open.format.duration, static_cast<uint32_t>(3 / fps * 1000));
    std::vector<uint32_t> pixels(37 * 5);
    std::vector<int16_t> samples;
    double time = 0;
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(NextFrame(open.reader, &pixels, &samples, &time), QZ_VIDEOPACKET_VIDEO);
        EXPECT_EQ(pixels, ExpectedFrame(s, f));
        ASSERT_EQ(NextFrame(open.reader, &pixels, &samples, &time), QZ_VIDEOPACKET_AUDIO);
        EXPECT_DOUBLE_EQ(time, f / fps);
        std::vector<int16_t> expected;
        for (int i = 0; i < 25; ++i) expected.push_back(static_cast<int16_t>(SampleAt(i, f) * 256));
        EXPECT_EQ(samples, expected) << "frame " << f;
    }
    EXPECT_EQ(NextFrame(open.reader, &pixels, &samples, &time), -1);
}

TEST(Cdxl, FrameRateFollowsTheChunkSize) {
    const struct {
        uint32_t chunk;
        double fps;
    } rows[] = {
        {13000, 153600.0 / 13000}, {13001, 307200.0 / 13001}, {40000, 307200.0 / 40000}, {40001, 614400.0 / 40001}};
    for (const auto& row : rows) EXPECT_DOUBLE_EQ(CdxlFramesPerSecond(row.chunk), row.fps) << row.chunk;
}

TEST(Cdxl, SeekingLandsOnTheFrameOfThatTimeOrTheLast) {
    TempDir dir;
    CdxlSpec s;
    s.frames = 6;
    s.audioBytes = 4;
    WriteFile(dir / "seek.cdxl", WriteCdxl(s));
    Opened open(dir / "seek.cdxl");
    ASSERT_NE(open.reader, nullptr);
    const double fps = CdxlFramesPerSecond(static_cast<uint32_t>(ChunkSize(s)));
    std::vector<uint32_t> pixels(37 * 5);
    std::vector<int16_t> samples;
    double time = 0;
    // A seek between a picture and its sound drops the sound.
    ASSERT_EQ(NextFrame(open.reader, &pixels, &samples, &time), QZ_VIDEOPACKET_VIDEO);
    const struct {
        int64_t ms;
        int frame;
    } rows[] = {{static_cast<int64_t>(4 / fps * 1000) + 1, 4}, {0, 0}, {1000000, 5}, {-5, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(SeekCdxl(open.reader, row.ms), 0) << row.ms;
        ASSERT_EQ(NextFrame(open.reader, &pixels, &samples, &time), QZ_VIDEOPACKET_VIDEO) << row.ms;
        EXPECT_EQ(pixels, ExpectedFrame(s, row.frame)) << row.ms;
        EXPECT_DOUBLE_EQ(time, row.frame / fps) << row.ms;
    }
}

TEST(Cdxl, FilesThatAreNoCdxlVideoAreRefused) {
    TempDir dir;
    CdxlSpec oneChunk;
    oneChunk.frames = 1;
    CdxlSpec wrongType;
    wrongType.type = 2;
    CdxlSpec secondDiffers;
    secondDiffers.secondSizeDelta = 2;
    CdxlSpec noWidth;
    noWidth.width = 0;
    CdxlSpec ninePlanes;
    ninePlanes.planes = 9;
    ninePlanes.colours = 4;
    std::string tooSmall = WriteCdxl(CdxlSpec{});
    tooSmall[5] = static_cast<char>(tooSmall[5] - 1);  // the chunk size one short of its contents
    const struct {
        const char* name;
        std::string data;
    } rows[] = {
        {"one chunk", WriteCdxl(oneChunk)},
        {"type 2", WriteCdxl(wrongType)},
        {"second chunk of another size", WriteCdxl(secondDiffers)},
        {"zero width", WriteCdxl(noWidth)},
        {"nine planes", WriteCdxl(ninePlanes)},
        {"contents larger than the chunk", tooSmall},
        {"header only", WriteCdxl(CdxlSpec{}).substr(0, 32)},
        {"empty", ""},
    };
    for (const auto& row : rows) {
        WriteFile(dir / "bad.cdxl", row.data);
        Opened open(dir / "bad.cdxl");
        EXPECT_EQ(open.reader, nullptr) << row.name;
    }
    Opened missing(dir / "missing.cdxl");
    EXPECT_EQ(missing.reader, nullptr);
}

TEST(Cdxl, APaletteOfMoreThan256ColoursKeepsTheFirst256) {
    TempDir dir;
    CdxlSpec s;
    s.planes = 8;
    s.colours = 300;
    WriteFile(dir / "big.cdxl", WriteCdxl(s));
    Opened open(dir / "big.cdxl");
    ASSERT_NE(open.reader, nullptr);
    std::vector<uint32_t> pixels(37 * 5);
    std::vector<int16_t> samples;
    double time = 0;
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(NextFrame(open.reader, &pixels, &samples, &time), QZ_VIDEOPACKET_VIDEO);
        EXPECT_EQ(pixels, ExpectedFrame(s, f)) << f;
    }
}

TEST(Cdxl, TheLoaderListChoosesTheInbuiltReader) {
    TempDir dir;
    WriteFile(dir / "movie.cdxl", WriteCdxl(CdxlSpec{}));
    const std::string path = dir / "movie.cdxl";
    const struct {
        const char* loaders;
        bool opens;
    } rows[] = {{"", true}, {"default", true}, {"inbuilt", true}, {"native", false}, {"plugin", false}};
    for (const auto& row : rows) {
        qzVideoFormatInfo format;
        qzVideoStream stream;
        ASSERT_EQ(OpenVideoStream(path.c_str(), row.loaders, nullptr, &format, &stream), row.opens) << row.loaders;
        if (!row.opens) continue;
        EXPECT_EQ(stream.kind, (uint32_t)QZ_VIDEOSTREAM_INBUILT);
        EXPECT_STREQ(VideoStreamFormatName(&stream), "CDXL");
        EXPECT_EQ(VideoStreamFrameCount(&stream), 3);
        EXPECT_EQ(format.width, 37u);
        CloseVideoStream(&stream);
    }
}

}  // namespace cdxl_reader_test
