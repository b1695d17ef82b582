// The module loader: reads the song header, unpacks the patterns into cells and points the
// samples into the loaded data, every length and loop clipped to the bytes present.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/sound/module_state.h"

namespace {

// Three octaves of periods, one row per finetune (8 to 15 stand for -8 to -1).
constexpr int16_t kPeriods[16][36] = {
    {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
     302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113},
    {850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337, 318,
     300, 284, 268, 253, 239, 225, 213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119, 113},
    {844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335, 316,
     298, 282, 266, 251, 237, 224, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118, 112},
    {838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332, 314,
     296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 111},
    {832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441, 416, 392, 370, 350, 330, 312,
     294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117, 110},
    {826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328, 309,
     292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 109},
    {820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325, 307,
     290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115, 109},
    {814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323, 305,
     288, 272, 256, 242, 228, 216, 204, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114, 108},
    {907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 340,
     321, 303, 286, 270, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120},
    {900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337,
     318, 300, 284, 268, 253, 238, 225, 212, 200, 189, 179, 169, 159, 150, 142, 134, 126, 119},
    {894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335,
     316, 298, 282, 266, 251, 237, 223, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118},
    {887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332,
     314, 296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118},
    {881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467, 441, 416, 392, 370, 350, 330,
     312, 294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 123, 117},
    {875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328,
     309, 292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116},
    {868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325,
     307, 290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115},
    {862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323,
     305, 288, 272, 256, 242, 228, 216, 203, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114},
};

uint32_t Word(const unsigned char* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

// The index in the finetune-0 row of a period: the entry it equals, or, for a period the table
// does not hold, the nearest one.
int PeriodIndex(int32_t period) {
    int best = 0;
    int32_t bestDistance = INT32_MAX;
    for (int i = 0; i < 36; i++) {
        int32_t distance = std::abs(kPeriods[0][i] - period);
        if (distance == 0) return i;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

}  // namespace

int32_t GetFinetunedPeriod(int32_t period, int32_t finetune, int32_t notesUp) {
    int index = std::clamp(PeriodIndex(period) + notesUp, 0, 35);
    return kPeriods[finetune & 15][index];
}

int32_t RoundPeriodToSemitone(int32_t period, int32_t finetune) {
    const int16_t* row = kPeriods[finetune & 15];
    for (int i = 0; i < 36; i++)
        if (row[i] <= period) return row[i];
    return row[35];
}

int32_t StepFromPeriod(const qzModule* module, int32_t period) {
    int64_t divisor = static_cast<int64_t>(period) * module->internalRate / 50;
    if (divisor == 0) return 0;
    return static_cast<int32_t>(1172874197LL / divisor);
}

size_t ParseModule(qzModule* module, unsigned char* data, size_t size, int32_t outputRate) {
    if (!data || size < kModuleHeaderBytes || outputRate <= 0) return 0;
    int patterns = 0;
    for (int i = 0; i < kModuleOrders; i++) patterns = std::max(patterns, data[952 + i] + 1);
    size_t cells = static_cast<size_t>(patterns) * kModuleRows * kModuleVoices;
    size_t sampleData = kModuleHeaderBytes + static_cast<size_t>(patterns) * kModulePatternBytes;
    if (size < sampleData) return 0;
    if (!module) return sizeof(qzModule) + cells * sizeof(qzModuleCell);

    std::memset(module, 0, sizeof(qzModule) + cells * sizeof(qzModuleCell));
    std::memcpy(module->name, data, 20);
    module->patternCount = static_cast<uint16_t>(patterns);
    module->patterns = reinterpret_cast<qzModuleCell*>(module + 1);
    for (int v = 0; v < kModuleVoices; v++) {
        module->voices[v].position = -1;
        module->voices[v].pan = v == 0 || v == 3 ? 0 : 255;
    }
    module->internalRate = 2 * outputRate;
    module->masterVolume = 256;
    double t = std::atan(12566.370614359172 / outputRate);
    double c = (1 - t) / (1 + t);
    module->filterC = static_cast<float>(c);
    module->filterA = static_cast<float>((1 - c) * 0.5);
    module->data = data;
    module->size = size;
    module->pendingJump = -1;

    // The song plays at most the 128 entries of the order list.
    module->songLength = std::min<uint16_t>(data[950], kModuleOrders);
    std::memcpy(module->order, data + 952, kModuleOrders);

    for (size_t i = 0; i < cells; i++) {
        const unsigned char* b = data + kModuleHeaderBytes + 4 * i;
        qzModuleCell* cell = &module->patterns[i];
        cell->period = (b[0] & 0x0F) << 8 | b[1];
        cell->sample = (b[0] & 0xF0) + (b[2] >> 4);
        cell->effect = b[2] & 0x0F;
        cell->param = b[3];
        cell->high = b[3] >> 4;
        cell->low = b[3] & 0x0F;
    }

    // Lengths are clipped to the data present, and loops to their sample: the mixer reads only
    // below a sample's length.
    size_t at = sampleData;
    for (int s = 1; s <= kModuleSamples; s++) {
        const unsigned char* h = data + 20 + 30 * (s - 1);
        qzModuleSample* sample = &module->samples[s];
        std::memcpy(sample->name, h, 22);
        size_t length = Word(h + 22) * 2;
        sample->finetune = h[24] & 15;
        sample->volume = h[25];
        size_t loopStart = Word(h + 26) * 2;
        size_t loopLength = Word(h + 28) * 2;
        size_t remaining = at < size ? size - at : 0;
        length = std::min(length, remaining);
        sample->data = length ? reinterpret_cast<const signed char*>(data + at) : nullptr;
        at += length;
        if (loopStart >= length) {
            loopStart = 0;
            loopLength = 0;
        } else {
            loopLength = std::min(loopLength, length - loopStart);
        }
        sample->length = static_cast<uint32_t>(length * kModuleFixedOne);
        sample->loopStart = static_cast<uint32_t>(loopStart * kModuleFixedOne);
        sample->loopLength = static_cast<uint32_t>(loopLength * kModuleFixedOne);
        sample->loopEnd = sample->loopStart + sample->loopLength;
    }

    module->speed = 6;
    module->tempo = 125;
    module->samplesPerTick = module->internalRate / 50;
    return 1;
}
