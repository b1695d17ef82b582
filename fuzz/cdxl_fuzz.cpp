// CDXL reader on arbitrary bytes: chunk headers whose sizes, palettes, plane counts and sound
// blocks disagree with the data never read outside the file or the packet, in order or after
// seeks.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_fuzz_util.h"
#include "platform/plugin_video.h"
#include "video/cdxl_reader.h"

namespace {

// Reads up to count packets, decoding pictures into pixels and sound into a small buffer.
void ReadPackets(qzCdxlReader* reader, int count, std::vector<uint32_t>& pixels) {
    for (int i = 0; i < count; ++i) {
        qzVideoPacketBlock block{};
        const int result = ReadCdxlPacket(reader, &block);
        if (result == -1) return;
        if (result != 0) continue;
        if (block.type == QZ_VIDEOPACKET_VIDEO) {
            uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(pixels.data()), nullptr, nullptr, nullptr};
            uint32_t rowBytes[4] = {};
            qzVideoFrameBlock frame{planes, rowBytes, 0, 0, 0.0, 0.0};
            DecodeCdxlFrame(reader, block.packet, &frame);
        } else {
            int16_t samples[64];
            qzVideoAudioBlock audio{};
            for (int calls = 0; !audio.done && calls < 64; ++calls) {
                audio = qzVideoAudioBlock{samples, sizeof samples, 0, audio.done};
                DecodeCdxlAudio(reader, block.packet, &audio);
            }
        }
        FreeCdxlPacket(block.packet);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    imagefuzz::InputFile input(data, size, "fuzz.cdxl");
    if (!input.Valid()) return 0;
    qzVideoFormatInfo format{};
    qzCdxlReader* reader = OpenCdxl(input.Name().c_str(), &format);
    if (!reader) return 0;
    // Pictures are decoded whole; larger ones are only opened, to keep the runs fast.
    const int64_t area = static_cast<int64_t>(format.width) * format.height;
    if (area > imagefuzz::kMaxDecodedPixels / 16) {
        CloseCdxl(reader);
        return 0;
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(area));
    ReadPackets(reader, 8, pixels);
    // A seek into the middle, one past the end and one before the start, each read on from there.
    const int64_t positions[] = {static_cast<int64_t>(format.duration) / 2, static_cast<int64_t>(format.duration) + 1,
                                 -1};
    for (int64_t ms : positions) {
        SeekCdxl(reader, ms);
        ReadPackets(reader, 3, pixels);
    }
    GetCdxlFrameCount(reader);
    CloseCdxl(reader);
    return 0;
}
