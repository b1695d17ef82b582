// Sample editing and saving: MixSample, CopySample, InsertSample and SaveSample.
#include <cstring>
#include <memory>
#include <vector>

#include "base/error_codes.h"
#include "libs/sound/sound.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sample_edit.h"
#include "media/sound/sound_plugin_blocks.h"
#include "media/sound/sound_record.h"
#include "platform/os_alloc.h"
#include "platform/plugin_api.h"
#include "runtime/arg_check.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "runtime/plugin_manager.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kMinRate = 256;
constexpr int32_t kFormatWave = 0;

// The frame copier's options of a table at index (absent: the defaults).
qzFrameCopy ReadFrameCopy(VmState* state, int index) {
    qzFrameCopy copy;
    if (VmType(state, index) != VM_TTABLE) return copy;
    int32_t value = 0;
    if (GetTableFieldBool(state, index, "loop", &value, nullptr)) copy.loop = value;
    if (GetTableFieldInt(state, index, "offset", &value, nullptr)) copy.offset = value;
    if (GetTableFieldInt(state, index, "start", &value, nullptr)) copy.start = value;
    if (GetTableFieldInt(state, index, "end", &value, nullptr)) copy.end = value;
    return copy;
}

// The sample saver plugin that registered the format, or null.
const qzPluginInfo* FindSampleSaver(int32_t format) {
    for (qzPluginRecord* r = GetPluginRecords(); r; r = r->next) {
        if (!r->handle) continue;
        const qzPluginInfo* info = OsGetPluginInfo(r->handle);
        if (!info || info->disabled || !(info->capabilities & QZ_PLUGINCAPS_SAVESAMPLE) || !info->SaveSample ||
            !info->sampleSaverFormats)
            continue;
        for (const qzSaverFormat* f = info->sampleSaverFormats; f->formatId || f->name; f++) {
            if (f->formatId == format) return info;
        }
    }
    return nullptr;
}

}  // namespace

int SoundMixSample(VmState* state) {
    int top = VmGetTop(state);
    if ((top - 4) % 2 != 0) return ERR_WRONGUSAGE;
    const qzObjectId id = CheckNumericIdArg(state, 1);
    int32_t frames = VmCheckInteger(state, 2);
    int32_t rate = VmCheckInteger(state, 3);
    int32_t format = ScriptToSoundFormat(VmCheckInteger(state, 4));
    if (format < 0 || frames < 1) return ERR_WRONGUSAGE;
    if (rate < kMinRate) return ERR_LOWFREQ;
    std::vector<qzMixInput> inputs;
    for (int index = 5; index + 1 <= top; index += 2) {
        qzSample* sample = CheckSample(state, index);
        qzMixInput in;
        in.sound = sample->sound;
        in.pitch = sample->pitch;
        int options = index + 1;
        if (VmType(state, options) > VM_TNIL) {
            VmCheckTable(state, options);
            double number = 0;
            int32_t value = 0;
            if (GetTableFieldNumber(state, options, "pitch", &number, nullptr)) {
                if (!(number >= 1.0)) return ERR_WRONGUSAGE;
                in.pitch = number;
            }
            if (GetTableFieldNumber(state, options, "offset", &number, nullptr)) {
                if (!(number >= 0)) return ERR_SMPRANGE;
                in.offset = number;
            }
            if (GetTableFieldInt(state, options, "threshold", &value, nullptr)) in.threshold = value;
            if (GetTableFieldInt(state, options, "length", &value, nullptr)) in.length = value;
            if (GetTableFieldBool(state, options, "loop", &value, nullptr)) in.loop = value;
            if (GetTableFieldNumber(state, options, "scale", &number, nullptr)) in.scale = number;
        }
        inputs.push_back(in);
    }
    unsigned char* data = nullptr;
    int error = MixSamples(inputs.data(), static_cast<int>(inputs.size()), static_cast<uint32_t>(frames),
                           static_cast<uint32_t>(rate), format, &data);
    if (error) return error;
    qzSound* sound = nullptr;
    if (NewSoundRecord(data, static_cast<uint32_t>(frames), static_cast<uint32_t>(rate), format, &sound, nullptr)) {
        OsFree(data);
        return ERR_MEM;
    }
    // A sample of the same number is replaced only now: it may have been one of the inputs.
    return AddSampleObject(state, id, sound, rate, QZ_LOADER_INBUILT);
}

int SoundCopySample(VmState* state) {
    qzSample* source = CheckSample(state, 1);
    const qzObjectId target = CheckNumericIdArg(state, 2);
    if (!IsAutoObjectId(target) && SameObjectId(target, source->header.id)) return ERR_WRONGUSAGE;
    qzSound* copied = nullptr;
    if (CopySoundRecord(source->sound, &copied)) return ERR_MEM;
    // The copied sound goes also when copying the object data runs out of memory and unwinds
    // through here.
    std::unique_ptr<qzSound, void (*)(qzSound*)> sound(copied, FreeSoundRecord);
    qzObjectDataNode* data = nullptr;
    if (CopyObjectDataList(state, source->header.data, &data)) return ERR_MEM;
    // The source's settings are taken before a sample of the target's number goes.
    const qzSample settings = *source;
    qzSample* copy = nullptr;
    int results = AddSampleObject(state, target, sound.release(), settings.pitch, settings.loader, &copy);
    if (results == ERR_MEM) {
        FreeObjectDataList(state, data);
        return results;
    }
    copy->header.data = data;
    copy->volume = settings.volume;
    copy->format = settings.format;
    copy->size = settings.size;
    copy->panning = settings.panning;
    return results;
}

int SoundInsertSample(VmState* state) {
    qzSample* source = CheckSample(state, 1);
    qzSample* target = CheckSample(state, 2);
    int32_t position = VmCheckInteger(state, 3);
    int32_t frames = VmOptInteger(state, 4, 0);
    if (source == target) return ERR_WRONGUSAGE;
    if (qzSoundStarted && IsSoundPlaying(target->sound)) return ERR_MODIFYPSMP;
    qzFrameCopy copy = ReadFrameCopy(state, 5);
    int error = CheckFrameCopy(source->sound, &copy);
    if (error) return error;
    qzSound* into = target->sound;
    const uint32_t sourceFrames = source->sound->frames;
    uint32_t count =
        frames < 1 || static_cast<uint32_t>(frames) > sourceFrames ? sourceFrames : static_cast<uint32_t>(frames);
    uint32_t at = position < 0                                     ? 0
                  : static_cast<uint32_t>(position) > into->frames ? into->frames
                                                                   : static_cast<uint32_t>(position);
    uint64_t total = static_cast<uint64_t>(count) + into->frames;
    const uint32_t bpf = into->bytesPerFrame;
    if (total > 0xFFFFFFFFu || total * bpf > 0xFFFFFFFFu) return ERR_MEM;
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(total * bpf), 0));
    if (!data) return ERR_MEM;
    std::memcpy(data, into->data, static_cast<size_t>(at) * bpf);
    std::memcpy(data + (static_cast<size_t>(at) + count) * bpf, into->data + static_cast<size_t>(at) * bpf,
                static_cast<size_t>(into->frames - at) * bpf);
    CopyIntoStream(source->sound, &copy, into->format, data + static_cast<size_t>(at) * bpf, count);
    ReplaceSoundData(into, data, static_cast<uint32_t>(total), static_cast<uint32_t>(target->pitch));
    target->size = static_cast<uint32_t>(total * bpf);
    return 0;
}

int SoundSaveSample(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    const char* name = VmCheckString(state, 2);
    int32_t format = VmOptInteger(state, 3, kFormatWave);
    const qzSound* sound = sample->sound;
    if (format == kFormatWave) return WriteSampleWave(sound, static_cast<uint32_t>(sample->pitch), name);
    const qzPluginInfo* saver = FindSampleSaver(format);
    if (!saver) return ERR_UNKNOWNSMPOUT;
    qzSampleSaveInfo block = {sound->data,      sample->size,  sound->frames,
                              sound->channels,  sound->bits,   static_cast<uint32_t>(sample->pitch),
                              sound->flags & 3, sample->format};
    return saver->SaveSample(name, &block, format, nullptr) ? 0 : ERR_SAVESAMPLE;
}
