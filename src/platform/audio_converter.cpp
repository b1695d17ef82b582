#include "platform/audio_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/byte_order.h"
#include "base/error_codes.h"
#include "platform/ffmpeg_api.h"

namespace {

// Source frames converted to float per step; the resampler's buffers are grown to this at once.
constexpr uint32_t kStageFrames = 8192;

}  // namespace

struct qzAudioConverter {
    qzAudioFormat format;
    double fromRate;
    double toRate;
    SwrContext* swr;           // null when the rates are equal
    bool ended;                // the source gave no more data
    bool flushed;              // the resampler gave out what it held
    double carry;              // source frames owed to (or pulled ahead of) the output, below one
    std::vector<float> stage;  // kStageFrames frames of the source, as float
};

void AudioConvertToFloat(const qzAudioFormat* format, const void* data, uint32_t frames, float* out) {
    const size_t samples = static_cast<size_t>(frames) * format->channels;
    if (format->bits == 8) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        if (format->flags & 2) {
            for (size_t i = 0; i < samples; i++)
                out[i] = static_cast<float>(static_cast<int8_t>(p[i])) * (1.0f / 128.0f);
        } else {
            for (size_t i = 0; i < samples; i++)
                out[i] = static_cast<float>(static_cast<int>(p[i]) - 128) * (1.0f / 128.0f);
        }
        return;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    // Data not in host order are little-endian.
    bool swap = !(format->flags & 1) && HostIsBigEndian();
    for (size_t i = 0; i < samples; i++) {
        uint16_t u;
        std::memcpy(&u, p + 2 * i, 2);
        if (swap) u = static_cast<uint16_t>((u >> 8) | (u << 8));
        out[i] = static_cast<float>(static_cast<int16_t>(u)) * (1.0f / 32768.0f);
    }
}

int AudioConverterNew(const qzAudioFormat* from, double fromRate, double toRate, qzAudioConverter** out) {
    *out = nullptr;
    if ((from->bits != 8 && from->bits != 16) || (from->channels != 1 && from->channels != 2) ||
        from->bytesPerFrame != from->channels * from->bits / 8 || !(fromRate >= 1) || !(toRate >= 1) ||
        fromRate > 2147483647.0 || toRate > 2147483647.0)
        return ERR_AUDIOCONVERTER;
    // Freed with its resampler on every way out, also when growing its buffers runs out of memory
    // and unwinds through here; the caller owns it once it is handed out.
    std::unique_ptr<qzAudioConverter, decltype(&AudioConverterDispose)> owner(new (std::nothrow) qzAudioConverter(),
                                                                              AudioConverterDispose);
    qzAudioConverter* c = owner.get();
    if (!c) return ERR_MEM;
    c->format = *from;
    c->fromRate = fromRate;
    c->toRate = toRate;
    c->swr = nullptr;
    c->ended = false;
    c->flushed = false;
    c->carry = 0.0;
    c->stage.resize(static_cast<size_t>(kStageFrames) * from->channels);
    int64_t inRate = std::llround(fromRate);
    int64_t outRate = std::llround(toRate);
    if (inRate != outRate) {
        if (!FfmpegResamplerApi()) return ERR_AUDIOCONVERTER;
        AVChannelLayout layout;
        Ffmpeg().av_channel_layout_default(&layout, static_cast<int>(from->channels));
        SwrContext* swr = nullptr;
        if (Ffmpeg().swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_FLT, static_cast<int>(outRate), &layout,
                                         AV_SAMPLE_FMT_FLT, static_cast<int>(inRate), 0, nullptr) < 0 ||
            Ffmpeg().swr_init(swr) < 0) {
            Ffmpeg().swr_free(&swr);
            Ffmpeg().av_channel_layout_uninit(&layout);
            return ERR_AUDIOCONVERTER;
        }
        Ffmpeg().av_channel_layout_uninit(&layout);
        c->swr = swr;
        // One full step of silence, and every frame it produces taken out again, grows the
        // resampler's buffers to their final size here instead of on the device's thread.
        std::vector<float> sink(static_cast<size_t>(QZ_CONVERTER_MAX_FRAMES) * from->channels);
        std::fill(c->stage.begin(), c->stage.end(), 0.0f);
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(c->stage.data())};
        uint8_t* outp[1] = {reinterpret_cast<uint8_t*>(sink.data())};
        int got = Ffmpeg().swr_convert(swr, outp, QZ_CONVERTER_MAX_FRAMES, in, static_cast<int>(kStageFrames));
        while (got > 0) got = Ffmpeg().swr_convert(swr, outp, QZ_CONVERTER_MAX_FRAMES, in, 0);
        if (got < 0) return ERR_AUDIOCONVERTER;
    }
    *out = owner.release();
    return 0;
}

void AudioConverterDispose(qzAudioConverter* converter) {
    if (!converter) return;
    if (converter->swr) Ffmpeg().swr_free(&converter->swr);
    delete converter;
}

uint32_t AudioConverterChannels(const qzAudioConverter* converter) { return converter->format.channels; }

namespace {

// Pulls up to `wanted` source frames into the stage as float: the frames pulled; fewer only when
// the source ended.
uint32_t PullSource(qzAudioConverter* c, qzConverterInput input, void* user, uint32_t wanted, float* stage) {
    uint32_t pulled = 0;
    while (pulled < wanted && !c->ended) {
        uint32_t packets = wanted - pulled;
        const void* data = nullptr;
        input(user, &packets, &data);
        if (packets == 0 || !data) {
            c->ended = true;
            break;
        }
        if (packets > wanted - pulled) packets = wanted - pulled;
        AudioConvertToFloat(&c->format, data, packets, stage + static_cast<size_t>(pulled) * c->format.channels);
        pulled += packets;
    }
    return pulled;
}

}  // namespace

int32_t AudioConverterFill(qzAudioConverter* c, qzConverterInput input, void* user, float* out, int32_t frames) {
    if (frames <= 0) return 0;
    if (frames > QZ_CONVERTER_MAX_FRAMES) frames = QZ_CONVERTER_MAX_FRAMES;
    const uint32_t channels = c->format.channels;
    if (!c->swr) return static_cast<int32_t>(PullSource(c, input, user, static_cast<uint32_t>(frames), out));

    int32_t done = 0;
    while (done < frames) {
        uint8_t* outp[1] = {reinterpret_cast<uint8_t*>(out + static_cast<size_t>(done) * channels)};
        int32_t need = frames - done;
        int got;
        if (c->ended) {
            if (c->flushed) break;
            // No more source: what the resampler still holds comes out.
            got = Ffmpeg().swr_convert(c->swr, outp, need, nullptr, 0);
            if (got <= 0) {
                c->flushed = true;
                break;
            }
        } else {
            // Exactly the source frames that `need` output frames take, the fraction carried to the
            // next pull: a frame more each time would pile up in the resampler, which gives out no
            // more than is asked, and the sound would lag further behind with every block. What
            // the resampler still lacks (its filter's look-ahead at the start) the next turn of
            // the loop pulls.
            double exact = static_cast<double>(need) * c->fromRate / c->toRate + c->carry;
            uint32_t wanted;
            if (exact >= kStageFrames) {
                wanted = kStageFrames;
                c->carry = 0.0;
            } else {
                wanted = exact < 1.0 ? 1u : static_cast<uint32_t>(exact);
                c->carry = exact - wanted;
            }
            uint32_t pulled = PullSource(c, input, user, wanted, c->stage.data());
            const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(c->stage.data())};
            got = Ffmpeg().swr_convert(c->swr, outp, need, in, static_cast<int>(pulled));
            if (got < 0) break;
        }
        done += got;
    }
    return done;
}
