// The three TrueType faces built into the player (Bitstream Vera Sans, Serif and Sans Mono),
// written into a source file at build time from the installed font files.
#pragma once

#include <cstddef>
#include <cstdint>

extern const uint8_t kEmbeddedVeraSans[];
extern const size_t kEmbeddedVeraSansSize;
extern const uint8_t kEmbeddedVeraSerif[];
extern const size_t kEmbeddedVeraSerifSize;
extern const uint8_t kEmbeddedVeraMono[];
extern const size_t kEmbeddedVeraMonoSize;

struct qzEmbeddedFace {
    const char* family;  // compared without case
    const uint8_t* data;
    size_t size;
};

// The three faces in the order Sans, Serif, Sans Mono.
const qzEmbeddedFace* GetEmbeddedFaces(int* count);
