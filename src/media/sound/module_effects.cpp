// Rows and ticks of the module replayer: the notes of a row, the effects' row actions and the
// per-tick work of every voice (slides, portamento, arpeggio, vibrato, tremolo, cuts, retriggers).
#include <algorithm>
#include <atomic>

#include "media/sound/module_state.h"

namespace {

constexpr uint8_t kWave[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                               255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
constexpr uint8_t kFunk[16] = {0, 5, 6, 7, 8, 10, 11, 13, 16, 19, 22, 26, 32, 43, 64, 128};

int32_t WaveValue(int32_t waveform, int32_t q) {
    switch (waveform & 3) {
    case 0: return q > 31 ? -kWave[q & 31] : kWave[q & 31];
    case 2: return q > 31 ? -255 : 255;
    default: return q > 31 ? q * 8 - 512 : q * 8;
    }
}

void SetStep(qzModule* m, qzModuleVoice* v, int32_t period) { v->step = StepFromPeriod(m, period); }

// Where a voice's position goes at the end of its turn in a row.
enum class PositionMove { Keep, Restart, Set };

// The note part of a row for one voice; says whether the position restarts.
bool NotePart(qzModule* m, qzModuleVoice* v, const qzModuleCell* cell) {
    bool restart = false;
    v->savedVolume = v->volume;
    if (cell->sample) v->lastSample = cell->sample;
    int32_t apply = 0;
    bool keepVolume = false;
    if (cell->period) {
        if (cell->sample) {
            apply = cell->sample;
        } else if (cell->effect == 0 || cell->effect == 12 || cell->effect == 15) {
            apply = v->lastSample;
            keepVolume = true;
        }
    } else {
        apply = cell->sample;
    }
    if (cell->period && cell->effect != 3) {
        v->period = v->basePeriod;
    } else if (!cell->period && v->vibratoActive && cell->effect != 4 && cell->effect != 6) {
        // The pitch returns to the note after a vibrato.
        v->period = v->basePeriod;
        SetStep(m, v, v->period);
    }
    v->flags &= ~kVoicePortamento;
    v->vibratoActive = 0;
    v->tremoloActive = 0;
    v->volumeSlide = 0;
    v->periodSlide = 0;
    v->arpeggio = 0;
    v->retrigCounter = 0;
    v->retrigInterval = 0;
    if (apply >= 1 && apply <= kModuleSamples) {
        const qzModuleSample* s = &m->samples[apply];
        if (!cell->period) {
            v->queuedSample = apply;
        } else {
            v->queuedSample = 0;
            v->sample = apply;
        }
        if (!keepVolume) v->volume = v->outVolume = std::min<int32_t>(s->volume, 63);
        if (cell->period) {
            v->finetune = s->finetune;
            restart = true;
        }
    }
    if (cell->period) {
        v->notePeriod = cell->period;
        v->vibratoPos = 0;
        v->tremoloPos = 0;
        if (cell->effect != 3 && cell->effect != 5) {
            int32_t p = GetFinetunedPeriod(cell->period, v->finetune, 0);
            v->basePeriod = v->portaTarget = v->period = p;
            SetStep(m, v, p);
            restart = true;
        }
    }
    return restart;
}

// Inverts one byte of the playing sample's loop as the funk speed says. The byte stays inside
// the sample's own data.
void FunkStep(qzModule* m, qzModuleVoice* v) {
    int32_t speed = v->funkControl >> 4;
    if (!speed) return;
    v->funkAccumulator += kFunk[speed & 15];
    if (v->funkAccumulator & 7) return;
    v->funkAccumulator = 0;
    const qzModuleSample* s = &m->samples[v->sample];
    v->funkOffset += 1;
    if (static_cast<uint32_t>(v->funkOffset) > s->loopLength / kModuleFixedOne) v->funkOffset = 0;
    uint32_t start = s->loopStart / kModuleFixedOne;
    uint32_t at = start + static_cast<uint32_t>(v->funkOffset);
    if (start != 0 && at < s->length / kModuleFixedOne) {
        unsigned char* byte = m->data + (reinterpret_cast<const unsigned char*>(s->data) - m->data) + at;
        *byte = static_cast<unsigned char>(~*byte);  // for good: the loaded data changes
    }
}

struct RowState {
    int32_t position;  // working song position
    int32_t row;       // working row
};

void SetVolumeSlide(qzModuleVoice* v, const qzModuleCell* cell) {
    v->volumeSlide = cell->high ? cell->high : -cell->low;
}

void TonePortamento(qzModuleVoice* v, const qzModuleCell* cell) {
    if (cell->period) v->portaTarget = GetFinetunedPeriod(cell->period, v->finetune, 0);
    if (v->portaSpeed) v->flags |= kVoicePortamento | kVoiceSkipPeriod;
}

// The row action of an extended effect (E x y).
void ExtendedEffect(qzModule* m, qzModuleVoice* v, const qzModuleCell* cell, RowState* row, PositionMove* move,
                    int32_t* to, int32_t before) {
    int32_t y = cell->low;
    switch (cell->high) {
    case 0: m->filterOn = (y & 1) ? 0 : 1; break;
    case 1:
    case 2:
        if (y) {
            v->basePeriod += cell->high == 1 ? -y : y;
            v->portaTarget = v->basePeriod;
            SetStep(m, v, v->basePeriod);
        }
        break;
    case 3: v->funkControl = y; break;
    case 4: v->vibratoWave = y; break;
    case 5:
        if (cell->period) {
            v->finetune = y;
            v->basePeriod = v->portaTarget = GetFinetunedPeriod(cell->period, y, 0);
            SetStep(m, v, v->basePeriod);
            *move = PositionMove::Restart;
        }
        break;
    case 6:
        if (y == 0) {
            if (v->loopState == 0) {
                v->loopRow = row->row;
                v->loopState = 1;
            }
        } else {
            if (v->loopState != 2) v->loopCount = y;
            v->loopState = 2;
            if (v->loopCount > 0) {
                row->row = v->loopRow - 1;
                row->position -= 1;
                v->loopCount -= 1;
            } else {
                v->loopState = 0;
                v->loopCount = 0;
            }
        }
        break;
    case 7: v->tremoloWave = y; break;
    case 9:
        v->retrigCounter = y + 1;
        v->retrigInterval = y;
        *move = PositionMove::Restart;
        break;
    case 10: v->volume = v->outVolume = std::min(v->volume + y, 63); break;
    case 11: v->volume = v->outVolume = std::max(v->volume - y, 0); break;
    case 12: v->cutCounter = y + 1; break;
    case 13:
        if (cell->period) {
            *move = PositionMove::Set;
            *to = before;
            v->retrigCounter = y + 1;
        }
        break;
    case 14: m->patternDelay = static_cast<uint8_t>(y); break;
    case 15: v->funkControl = y * 16; break;
    default: break;
    }
}

void RowAction(qzModule* m, qzModuleVoice* v, const qzModuleCell* cell, RowState* row, PositionMove* move, int32_t* to,
               int32_t before) {
    int32_t xy = cell->param;
    switch (cell->effect) {
    case 0:
        if (xy) v->arpeggio = xy;
        break;
    case 1:
    case 2:
        v->periodSlide = cell->effect == 1 ? -xy : xy;
        v->flags |= kVoiceSkipPeriod;
        break;
    case 3:
        if (xy) v->portaSpeed = xy;
        TonePortamento(v, cell);
        *move = PositionMove::Set;
        *to = before;
        break;
    case 4:
        if (cell->low) v->vibratoDepth = cell->low;
        if (cell->high) v->vibratoSpeed = cell->high;
        v->vibratoActive = v->vibratoSpeed;
        v->flags |= kVoiceSkipPeriod;
        break;
    case 5:
        SetVolumeSlide(v, cell);
        TonePortamento(v, cell);
        *move = PositionMove::Set;
        *to = before;
        break;
    case 6:
        SetVolumeSlide(v, cell);
        v->vibratoActive = v->vibratoSpeed;
        v->flags |= kVoiceSkipPeriod;
        break;
    case 7:
        if (cell->low) v->tremoloDepth2 = 2 * cell->low;
        if (cell->high) v->tremoloSpeed = cell->high;
        v->tremoloActive = v->tremoloSpeed;
        break;
    case 9:
        if (cell->period) {
            if (xy) v->offset = xy * 256;
            *move = PositionMove::Set;
            *to = v->offset * kModuleFixedOne;
        }
        break;
    case 10: SetVolumeSlide(v, cell); break;
    case 11:
        row->position = xy - 1;
        row->row = 63;
        break;
    case 12: v->volume = std::min(xy, 63); break;
    case 13: {
        int32_t r = 10 * cell->high + cell->low;
        if (xy && r <= 63)
            m->breakRow = static_cast<uint8_t>(r);
        else
            row->row = 63;
        break;
    }
    case 14: ExtendedEffect(m, v, cell, row, move, to, before); break;
    case 15:
        if (xy > 31) {
            m->tempo = static_cast<uint8_t>(xy);
            m->samplesPerTick = m->internalRate * 60 / (xy * 24);
        } else if (xy) {
            m->speed = static_cast<uint8_t>(xy);
        }
        break;
    default: break;
    }
}

void ProcessRow(qzModule* m) {
    m->breakRow = 0;
    // A jump from outside may name a position the song does not have: it plays from the start.
    RowState row = {m->songPosition, m->patternRow};
    if (row.position >= m->songLength || row.row >= kModuleRows) row = {0, 0};
    const uint8_t position = static_cast<uint8_t>(row.position);
    const qzModuleCell* cells =
        m->patterns + (static_cast<size_t>(m->order[row.position]) * kModuleRows + row.row) * kModuleVoices;
    for (int n = 0; n < kModuleVoices; n++) {
        qzModuleVoice* v = &m->voices[n];
        const qzModuleCell* cell = &cells[n];
        int32_t before = v->position;
        PositionMove move = NotePart(m, v, cell) ? PositionMove::Restart : PositionMove::Keep;
        FunkStep(m, v);
        int32_t to = 0;
        RowAction(m, v, cell, &row, &move, &to, before);
        if (move == PositionMove::Restart)
            v->position = 0;
        else if (move == PositionMove::Set)
            v->position = to;
    }
    uint8_t nextRow;
    uint8_t nextPosition = position;
    if (m->breakRow == 0 && (row.row + 1) % kModuleRows != 0) {
        nextRow = static_cast<uint8_t>((row.row + 1) % kModuleRows);
    } else {
        int32_t p = row.position + 1;
        if (p < 0 || p >= m->songLength) p = 0;
        nextPosition = static_cast<uint8_t>(p);
        nextRow = m->breakRow;
    }
    std::atomic_ref<uint8_t>(m->songPosition).store(nextPosition, std::memory_order_relaxed);
    std::atomic_ref<uint8_t>(m->patternRow).store(nextRow, std::memory_order_relaxed);
}

// The per-tick period work: slides and portamento move the period, arpeggio and vibrato the step.
void PeriodTick(qzModule* m, qzModuleVoice* v) {
    if (v->flags & kVoiceSkipPeriod) {
        v->flags &= ~kVoiceSkipPeriod;
        return;
    }
    int32_t next;
    if (v->periodSlide) {
        next = v->period + v->periodSlide;
    } else if (v->flags & kVoicePortamento) {
        int32_t d = v->portaTarget - v->period;
        if (d == 0) return;
        d = std::clamp(d, -v->portaSpeed, v->portaSpeed);
        next = v->period + d;
    } else if (v->arpeggio) {
        int32_t phase = m->tickCounter % 3;
        int32_t up = phase == 0 ? 0 : phase == 1 ? v->arpeggio >> 4 : v->arpeggio & 15;
        SetStep(m, v, GetFinetunedPeriod(v->notePeriod, v->finetune, up));
        return;
    } else if (v->vibratoActive) {
        int32_t w = WaveValue(v->vibratoWave, v->vibratoPos);
        v->vibratoPos = (v->vibratoPos + v->vibratoActive) & 63;
        int32_t p = std::clamp(v->basePeriod + ((w * v->vibratoDepth) >> 7), kModuleMinPeriod, kModuleMaxPeriod);
        v->period = p;
        SetStep(m, v, p);
        return;
    } else {
        return;
    }
    next = std::clamp(next, kModuleMinPeriod, kModuleMaxPeriod);
    v->period = v->basePeriod = next;
    SetStep(m, v, v->funkControl ? RoundPeriodToSemitone(next, v->finetune) : next);
}

void VoiceTick(qzModule* m, qzModuleVoice* v) {
    PeriodTick(m, v);
    if (v->volumeSlide) v->volume = std::clamp(v->volume + v->volumeSlide, 0, 63);
    int32_t out = v->volume;
    if (v->tremoloActive) {
        int32_t w = WaveValue(v->tremoloWave, v->tremoloPos);
        v->tremoloPos = (v->tremoloPos + v->tremoloActive) & 63;
        out = std::clamp(v->volume + ((w * v->tremoloDepth2) >> 8), 0, 63);
    }
    if (v->cutCounter && --v->cutCounter == 0) v->volume = out = 0;
    if (v->retrigCounter && --v->retrigCounter == 0) {
        v->position = 0;
        v->retrigCounter = v->retrigInterval;
    }
    v->outVolume = out;
}

}  // namespace

void RunModuleTick(qzModule* m) {
    if (m->tickCounter) {
        m->tickCounter--;
    } else if (m->patternDelay) {
        m->patternDelay--;
        m->tickCounter = static_cast<uint8_t>(m->speed - 1);
    } else {
        ProcessRow(m);
        m->tickCounter = static_cast<uint8_t>(m->speed - 1);
    }
    for (int n = 0; n < kModuleVoices; n++) VoiceTick(m, &m->voices[n]);
}
