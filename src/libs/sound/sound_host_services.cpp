// The sample services of the plugin host API: a sample's PCM handed to a plugin, shared or
// copied, and given back; see sound.h.
#include <cstring>

#include "libs/sound/sound.h"
#include "media/sound/sound_record.h"
#include "platform/os_alloc.h"
#include "platform/plugin_api.h"

namespace {

// What a plugin holds: the public record first, then what giving it back needs.
struct HeldSampleData {
    qzPluginSampleData data;
    qzObjectId id;
    uint64_t bytes;
    int32_t format;
};

}  // namespace

void* HostGetSampleData(VmState*, const qzPluginObjectId* id, int copy, const qzTagItem*) {
    if (!id) return nullptr;
    const qzObjectId key = {id->number, id->pointer};
    const qzSample* sample = FindSampleById(key);
    if (!sample || !sample->sound) return nullptr;
    const qzSound* sound = sample->sound;
    const uint64_t bytes = GetSoundByteSize(sound);
    auto* held = static_cast<HeldSampleData*>(OsAlloc(sizeof(HeldSampleData), 1));
    if (!held) return nullptr;
    void* data = sound->data;
    if (copy) {
        data = bytes ? OsAlloc(bytes, 0) : nullptr;
        if (bytes && !data) {
            OsFree(held);
            return nullptr;
        }
        if (bytes) std::memcpy(data, sound->data, bytes);
    }
    held->data = {data, sound->frames, sound->channels, sound->bits, sound->flags, sample->pitch, copy ? 1 : 0};
    held->id = sample->header.id;
    held->bytes = bytes;
    held->format = sound->format;
    return held;
}

void HostFreeSampleData(void* data) {
    auto* held = static_cast<HeldSampleData*>(data);
    if (!held) return;
    if (held->data.copied) {
        // Written back only into the sample it came from, while it still has data of that shape.
        const qzSample* sample = FindSampleById(held->id);
        qzSound* sound = sample ? sample->sound : nullptr;
        if (sound && held->bytes && GetSoundByteSize(sound) == held->bytes && sound->format == held->format &&
            std::memcmp(sound->data, held->data.data, held->bytes) != 0)
            std::memcpy(sound->data, held->data.data, held->bytes);
        OsFree(held->data.data);
    }
    OsFree(held);
}
