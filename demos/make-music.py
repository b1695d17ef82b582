#!/usr/bin/env python3
"""Writes demos/demo.mod, the music of the demo applet: a four-voice tracker module ("M.K."
layout) of two patterns, about ten seconds, in C major (the key of the demo's chime).

Voices: a bass on a triangle wave, chords on a square wave with the arpeggio effect, a melody on
a softer square wave, and drums (a kick made of a falling sine, a hat of decaying noise). The
samples are computed here, so the file is small (about 4 KB).

Run it from anywhere: python3 demos/make-music.py
"""
import math
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Periods of octaves 1 to 3, finetune 0.
PERIODS = [856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
           428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
           214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113]
NAMES = ["C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"]


def period(note):
    """The period of a note name such as "C-2" or "F#3"."""
    return PERIODS[(int(note[2]) - 1) * 12 + NAMES.index(note[:2])]


def signed_bytes(values):
    return bytes((max(-128, min(127, int(round(v)))) & 0xFF) for v in values)


# Samples: (name, data, volume, loop start, loop length), lengths in bytes (even).
TRIANGLE = signed_bytes([100 - abs(i - 16) * 12.5 for i in range(32)])
SQUARE = signed_bytes([90] * 16 + [-90] * 16)
SOFT = signed_bytes([60 * math.sin(2 * math.pi * i / 32) + 30 * (1 if i < 16 else -1) for i in range(32)])


def kick(count):
    """A sine falling from about 260 Hz to 60 Hz (played at C-2, 8287 bytes a second)."""
    values, phase = [], 0.0
    for i in range(count):
        phase += 2 * math.pi * (60 + 200 * math.exp(-i / 150)) / 8287
        values.append(120 * math.sin(phase) * math.exp(-i / 500))
    return signed_bytes(values)


KICK = kick(1200)
random.seed(7)
HAT = signed_bytes([random.uniform(-90, 90) * math.exp(-i / 90) for i in range(400)])
SAMPLES = [
    ("bass", TRIANGLE, 48, 0, 32),
    ("chord", SQUARE, 20, 0, 32),
    ("melody", SOFT, 40, 0, 32),
    ("kick", KICK, 64, 0, 2),
    ("hat", HAT, 36, 0, 2),
]

# Chords of 16 rows each: root of the bass, the arpeggio (effect 0) of the chord voice.
CHORDS = [("C-1", "C-2", 0x47), ("A-1", "A-1", 0x37), ("F-1", "F-1", 0x47), ("G-1", "G-1", 0x47)]

# Melody, one pattern each: (row, note) pairs.
MELODY = [
    [(0, "E-3"), (4, "G-3"), (8, "E-3"), (12, "D-3"), (16, "C-3"), (20, "E-3"), (24, "A-2"), (30, "C-3"),
     (32, "F-3"), (36, "A-3"), (40, "G-3"), (44, "F-3"), (48, "D-3"), (52, "G-3"), (56, "B-2"), (60, "D-3")],
    [(0, "G-3"), (2, "E-3"), (4, "C-3"), (8, "G-3"), (12, "A-3"), (16, "E-3"), (18, "C-3"), (20, "A-2"),
     (24, "E-3"), (28, "C-3"), (32, "A-3"), (34, "F-3"), (36, "C-3"), (40, "A-3"), (44, "C-3"), (48, "B-3"),
     (50, "G-3"), (52, "D-3"), (56, "G-3"), (60, "C-3")],
]


def cell(note=None, sample=0, effect=0, param=0):
    p = period(note) if note else 0
    return bytes([(sample & 0xF0) | (p >> 8), p & 0xFF, ((sample & 0x0F) << 4) | effect, param])


def pattern(number):
    rows = []
    melody = dict(MELODY[number])
    for row in range(64):
        chord = CHORDS[row // 16]
        beat = row % 16
        # Voice 0: the bass, on the first and the seventh row of a chord and on the eleventh.
        bass = cell(chord[0], 1) if beat in (0, 6, 10) else cell()
        # Voice 1: the chord, struck at its start and held with the arpeggio on every row.
        arp = cell(chord[1], 2, 0, chord[2]) if beat == 0 else cell(None, 0, 0, chord[2])
        # Voice 2: the melody.
        tune = cell(melody[row], 3) if row in melody else cell()
        # Voice 3: kick on the beat, hat between; the first row sets the speed (4 ticks a row).
        if row == 0 and number == 0:
            drum = cell("C-2", 4, 0xF, 4)
        elif beat in (0, 8) or (number == 1 and beat == 14):
            drum = cell("C-2", 4)
        elif beat % 4 == 2 or beat in (4, 12):
            drum = cell("C-3", 5, 0xC, 40 if beat in (4, 12) else 20)
        else:
            drum = cell()
        rows.append(bass + arp + tune + drum)
    return b"".join(rows)


def module():
    out = bytearray(b"quarnelix demo".ljust(20, b"\0"))
    for i in range(31):
        if i < len(SAMPLES):
            name, data, volume, start, length = SAMPLES[i]
            out += name.encode().ljust(22, b"\0")
            out += struct.pack(">HBBHH", len(data) // 2, 0, volume, start // 2, length // 2)
        else:
            out += bytes(22) + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
    out += bytes([2, 127]) + bytes([0, 1] + [0] * 126) + b"M.K."
    out += pattern(0) + pattern(1)
    for _, data, _, _, _ in SAMPLES:
        out += data
    return bytes(out)


if __name__ == "__main__":
    with open(os.path.join(HERE, "demo.mod"), "wb") as f:
        f.write(module())
