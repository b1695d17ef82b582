// Sample objects: loading and creating them, playing them on channels with volume, pitch and
// panning, and the sample queries.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/event_pump.h"
#include "libs/dos/dos.h"
#include "libs/memblock/memblock_io.h"
#include "libs/sound/sound.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_record.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "runtime/arg_check.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/linked_file.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kMinRate = 256;
constexpr int kMaxGroups = 4;
constexpr int32_t kWaitStepMs = 10;

// Frees a sample of the identifier's number, when the identifier names one by number.
void FreeNumberedSample(VmState* state, const qzObjectId& id) {
    if (IsAutoObjectId(id)) return;
    if (qzSample* old = FindSampleById(id)) FreeSampleObject(state, old);
}

// One group of a PlaySample call, checked before any group starts.
struct PlayGroup {
    qzSample* sample;
    int32_t times;
    int32_t timeMs;
    int32_t volume;
    int32_t panning;
    int32_t pitch;
};

void ReadPlayGroup(VmState* state, int index, PlayGroup* group) {
    qzSample* sample = CheckSample(state, index);
    group->sample = sample;
    group->times = 1;
    group->timeMs = -1;
    group->volume = sample->volume;
    group->panning = sample->panning;
    group->pitch = sample->pitch;
    int next = index + 1;
    if (VmType(state, next) == VM_TTABLE) {
        int32_t value = 0;
        int found = 0;
        if (GetTableFieldInt(state, next, "time", &value, &found)) {
            if (value < 1) VmFailCommand(state, ERR_WRONGUSAGE);
            group->timeMs = value;
        }
        if (GetTableFieldInt(state, next, "volume", &value, nullptr)) group->volume = ClampVolume(value);
        if (GetTableFieldInt(state, next, "panning", &value, nullptr)) group->panning = MapPanning(value);
        if (GetTableFieldInt(state, next, "times", &value, nullptr)) {
            group->times = value;
            group->timeMs = -1;
        }
        if (GetTableFieldInt(state, next, "pitch", &value, nullptr)) group->pitch = value;
    } else if (VmGetTop(state) >= next) {
        group->times = VmOptInteger(state, next, 1);
    }
    if (group->pitch < kMinRate) VmFailCommand(state, ERR_LOWFREQ);
}

// A 16-bit swap of count values.
void SwapWords(unsigned char* data, uint64_t count) {
    for (uint64_t i = 0; i < count; i++) {
        unsigned char t = data[2 * i];
        data[2 * i] = data[2 * i + 1];
        data[2 * i + 1] = t;
    }
}

// The "pcm" source of CreateSample: the table's values from key 0 on.
int ReadPcmValues(VmState* state, int32_t format, uint32_t* frames, unsigned char** out) {
    const uint32_t channels = format == QZ_SOUNDFMT_S8_STEREO || format == QZ_SOUNDFMT_S16_STEREO ? 2 : 1;
    const bool eight = format == QZ_SOUNDFMT_S8_MONO || format == QZ_SOUNDFMT_S8_STEREO;
    uint64_t values;
    if (*frames == 0) {
        values = 0;
        for (;;) {
            VmRawGetI(state, 2, static_cast<int>(values));
            bool present = VmType(state, -1) > VM_TNIL;
            VmPop(state, 1);
            if (!present || values >= INT32_MAX) break;
            values++;
        }
        if (values == 0 || values % channels != 0) return ERR_WRONGUSAGE;
        *frames = static_cast<uint32_t>(values / channels);
    } else {
        values = static_cast<uint64_t>(*frames) * channels;
        if (values > INT32_MAX) return ERR_MEM;
    }
    uint64_t bytes = values * (eight ? 1 : 2);
    unsigned char* data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(bytes), 1));
    if (!data) return ERR_MEM;
    for (uint64_t i = 0; i < values; i++) {
        VmRawGetI(state, 2, static_cast<int>(i));
        double v = VmType(state, -1) == VM_TNUMBER ? VmToNumber(state, -1) : 0.0;
        VmPop(state, 1);
        int32_t level = VmNumberToInteger(v);
        if (eight ? (level < -128 || level > 127) : (level < -32768 || level > 32767)) {
            OsFree(data);
            return ERR_SMPRANGE;
        }
        if (eight) {
            data[i] = static_cast<unsigned char>(static_cast<int8_t>(level));
        } else {
            int16_t w = static_cast<int16_t>(level);
            std::memcpy(data + 2 * i, &w, 2);
        }
    }
    *out = data;
    return 0;
}

}  // namespace

void ReadLoadOptions(VmState* state, int index, qzLoadOptions* options) {
    if (VmType(state, index) <= VM_TNIL) return;
    VmCheckTable(state, index);
    GetTableFieldStringBuf(state, index, "loader", options->loader, sizeof options->loader, nullptr);
    GetTableFieldStringBuf(state, index, "adapter", options->adapter, sizeof options->adapter, nullptr);
}

const char* ListOrNull(const char* text) { return *text ? text : nullptr; }

qzSample* FindSampleById(const qzObjectId& id) {
    return reinterpret_cast<qzSample*>(FindObjectInList(qzSampleList, id));
}

int GetSampleInfo(const qzObjectId& id, qzSound** sound, int32_t* format, uint32_t* size, int32_t* pitch) {
    qzSample* sample = FindSampleById(id);
    if (!sample) return 0;
    if (sound) *sound = sample->sound;
    if (format) *format = sample->format;
    if (size) *size = sample->size;
    if (pitch) *pitch = sample->pitch;
    return 1;
}

qzSample* CheckSample(VmState* state, int index) {
    return reinterpret_cast<qzSample*>(CheckListObject(state, index, qzSampleList, ERR_FINDSAMPLE));
}

int32_t MapPanning(int32_t value) {
    switch (value) {
    case QZ_POS_CENTER: return 128;
    case QZ_POS_LEFT: return 0;
    case QZ_POS_RIGHT: return 255;
    default: return value < 0 ? 0 : value > 255 ? 255 : value;
    }
}

void FreeSampleObject(VmState* state, qzSample* sample) {
    if (qzSoundStarted) StopSoundChannels(sample->sound);
    RemoveObjectFromList(&qzSampleList, &sample->header);
    FreeObjectDataList(state, sample->header.data);
    FreeSoundRecord(sample->sound);
    OsFree(sample);
}

int AddSampleObject(VmState* state, const qzObjectId& id, qzSound* sound, int32_t rate, qzSoundLoader loader,
                    qzSample** added) {
    qzSample* sample = static_cast<qzSample*>(OsAlloc(sizeof(qzSample), 1));
    if (!sample) {
        FreeSoundRecord(sound);
        return ERR_MEM;
    }
    FreeNumberedSample(state, id);
    sample->sound = sound;
    sample->volume = 64;
    sample->pitch = rate;
    sample->format = sound->format;
    sample->size = static_cast<uint32_t>(GetSoundByteSize(sound));
    sample->panning = 128;
    sample->loader = loader;
    AddObjectToList(&qzSampleList, &sample->header, QZ_TYPE_SAMPLE, id);
    if (added) *added = sample;
    return PushNewObjectHandle(state, id, &sample->header);
}

int SoundLoadSample(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    std::string name = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzLoadOptions options;
    ReadLoadOptions(state, 3, &options);
    if (!StartSoundSystem(state)) return 0;
    FreeNumberedSample(state, id);
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGSAMPLE), name.c_str(), true);
    qzSound* sound = nullptr;
    uint32_t rate = 0;
    qzSoundLoader loader = QZ_LOADER_INBUILT;
    int error = LoadSoundAsSample(name.c_str(), ListOrNull(options.loader), ListOrNull(options.adapter), &sound,
                                  nullptr, &rate, nullptr, &loader);
    if (error) {
        PrintProgressFailed();
        return error;
    }
    int result = AddSampleObject(state, id, sound, static_cast<int32_t>(rate), loader);
    if (result == ERR_MEM)
        PrintProgressFailed();
    else
        PrintProgressDone();
    return result;
}

int SoundCreateSample(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    VmCheckTable(state, 2);
    int32_t rate = VmCheckInteger(state, 3);
    int32_t format = ScriptToSoundFormat(VmOptInteger(state, 4, QZ_MONO8));
    int32_t frames = VmOptInteger(state, 5, 0);
    if (format < 0 || frames < 0) return ERR_WRONGUSAGE;
    if (rate < kMinRate) return ERR_LOWFREQ;
    std::string source = "pcm";
    GetTableFieldString(state, 2, "source", nullptr, 0, &source, nullptr);
    if (!StartSoundSystem(state)) return 0;
    const uint32_t bpf = GetFrameBytesForFormat(format);
    unsigned char* data = nullptr;
    uint32_t count = static_cast<uint32_t>(frames);
    if (source == "pcm") {
        int error = ReadPcmValues(state, format, &count, &data);
        if (error) return error;
    } else if (source == "file" || source == "memory") {
        if (frames <= 0) return ERR_WRONGUSAGE;
        uint64_t bytes = static_cast<uint64_t>(count) * bpf;
        int32_t swap = 0;
        GetTableFieldBool(state, 2, "swap", &swap, nullptr);
        VmPushString(state, "id");
        VmGetTable(state, 2);
        int idIndex = VmGetTop(state);
        if (source == "file") {
            qzDosFile* file = CheckReadableDosFile(state, idIndex);
            data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(bytes), 0));
            if (!data) return ERR_MEM;
            if (!DosReadExact(file, data, static_cast<size_t>(bytes))) {
                OsFree(data);
                return ERR_READ;
            }
        } else {
            qzMemBlock* block = CheckMemBlock(state, idIndex);
            int32_t offset = 0;
            GetTableFieldInt(state, 2, "offset", &offset, nullptr);
            if (offset < 0) return ERR_WRONGUSAGE;
            if (!MemRangeAllowed(block, offset, static_cast<int64_t>(bytes))) return ERR_MEMRANGE;
            data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(bytes), 0));
            if (!data) return ERR_MEM;
            std::memcpy(data, block->data + offset, static_cast<size_t>(bytes));
        }
        VmPop(state, 1);
        if (swap && (format == QZ_SOUNDFMT_S16_MONO || format == QZ_SOUNDFMT_S16_STEREO)) SwapWords(data, bytes / 2);
    } else {
        return ERR_WRONGUSAGE;
    }
    qzSound* sound = nullptr;
    if (NewSoundRecord(data, count, static_cast<uint32_t>(rate), format, &sound, nullptr) != 0) {
        OsFree(data);
        return ERR_MEM;
    }
    return AddSampleObject(state, id, sound, rate, QZ_LOADER_INBUILT);
}

int SoundFreeSample(VmState* state) {
    FreeSampleObject(state, CheckSample(state, 1));
    return 0;
}

int SoundPlaySample(VmState* state) {
    int groups = (VmGetTop(state) + 1) / 2;
    if (groups > kMaxGroups) return ERR_WRONGUSAGE;
    if (qzSoundNoSound) return 0;
    PlayGroup group[kMaxGroups];
    for (int g = 0; g < groups; g++) ReadPlayGroup(state, 2 * g + 1, &group[g]);
    if (!StartSoundSystem(state)) return 0;
    // All groups start together, or none does.
    int32_t started[kMaxGroups];
    for (int g = 0; g < groups; g++) {
        const PlayGroup& p = group[g];
        int error = PlaySoundOnChannel(p.sample->sound, p.sample->header.id, p.sample->format, p.sample->size, p.pitch,
                                       p.volume, p.panning, p.timeMs, p.times, &started[g]);
        if (error) {
            for (int k = 0; k < g; k++) ReleaseChannel(started[k]);
            return error;
        }
    }
    StartPendingSamples();
    return 0;
}

int SoundStopSample(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    if (qzSoundStarted) StopSoundChannels(sample->sound);
    return 0;
}

int SoundSetVolume(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    double volume = CheckPercentArg(state, 2, 64, 0, nullptr);
    sample->volume = ClampVolume(VmNumberToInteger(volume));
    if (qzSoundStarted) SetSampleChannelAttributes(sample->sound, -1, sample->volume, sample->panning);
    return 0;
}

int SoundSetPitch(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    int32_t pitch = VmCheckInteger(state, 2);
    if (pitch < kMinRate) return ERR_LOWFREQ;
    sample->pitch = pitch;
    if (qzSoundStarted) SetSampleChannelAttributes(sample->sound, pitch, sample->volume, sample->panning);
    return 0;
}

int SoundSetPanning(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    sample->panning = MapPanning(VmCheckInteger(state, 2));
    if (qzSoundStarted) SetSampleChannelAttributes(sample->sound, -1, sample->volume, sample->panning);
    return 0;
}

int SoundWaitSampleEnd(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    while (qzSoundStarted && IsSoundPlaying(sample->sound)) {
        int error = 0;
        if (PumpEvents(state, QZ_PUMP_WAIT, &error)) return error;
        OsDelay(kWaitStepMs);
    }
    return 0;
}

int SoundIsSamplePlaying(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    VmPushNumber(state, qzSoundStarted && IsSoundPlaying(sample->sound) ? 1 : 0);
    return 1;
}

int SoundIsSample(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    qzLoadOptions options;
    ReadLoadOptions(state, 2, &options);
    VmPushNumber(state, IsSampleFile(name.c_str(), ListOrNull(options.loader), ListOrNull(options.adapter)));
    return 1;
}

int SoundIsSound(VmState* state) {
    VmPushNumber(state, StartSoundSystem(state) ? 1 : 0);
    return 1;
}

int SoundSetMasterVolume(VmState*) { return 0; }

int SoundGetSampleData(VmState* state) {
    qzSample* sample = CheckSample(state, 1);
    const qzSound* sound = sample->sound;
    uint64_t values = static_cast<uint64_t>(sound->frames) * sound->channels;
    VmCreateTable(state, values < INT32_MAX ? static_cast<int>(values) : 0, 0);
    for (uint64_t i = 0; i < values && i < INT32_MAX; i++) {
        VmPushNumber(state, GetSoundSampleValue(sound, i));
        VmRawSetI(state, -2, static_cast<int>(i));
    }
    VmPushNumber(state, sound->bytesPerFrame ? sample->size / sound->bytesPerFrame : 0);
    return 2;
}
