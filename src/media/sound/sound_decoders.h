// The built-in sound decoders: IFF 8SVX (source kind 1), IFF 16SV (kind 2) and RIFF WAVE (kind 3).
// Each reads uncompressed PCM straight from the source's open virtual file on every decode call;
// nothing is loaded whole. 8-bit data are delivered as stored (signed for 8SVX, unsigned for
// WAVE), 16-bit data in host order; stereo IFF bodies (all left samples, then all right ones) are
// interleaved. Every length in a header is checked against the file: data that a header claims
// beyond the end of the file are not part of the sound.
#pragma once

#include <cstdint>

#include "media/sound/sound_source.h"

extern const qzSoundDecoder qz8svxDecoder;
extern const qzSoundDecoder qz16svDecoder;
extern const qzSoundDecoder qzWaveDecoder;

// Shared by the decoders: exact reads of the source's file.
struct qzVfsFile;
// Reads n bytes; false when fewer came.
bool ReadSourceBytes(qzVfsFile* file, void* buffer, uint32_t n);
bool ReadSourceU32(qzVfsFile* file, bool bigEndian, uint32_t* value);
bool ReadSourceU16(qzVfsFile* file, bool bigEndian, uint32_t* value);
// Moves forward over a chunk body of `size` bytes and its pad byte when size is odd.
void SkipSourceChunk(qzVfsFile* file, uint64_t size);
// Reads n bytes at the file offset into buffer, filling what the file does not have with zeros.
void ReadSourceAt(qzVfsFile* file, uint64_t offset, void* buffer, uint64_t n);
// The bytes of the file from offset on; UINT64_MAX when its size is unknown.
uint64_t SourceBytesFrom(qzVfsFile* file, uint64_t offset);
// Completes the layout of a PCM source whose frames and bytesPerFrame are set: one frame per
// packet, its byte total, and whether its file can seek.
void SetPcmSourceLayout(qzSoundSource* source, qzVfsFile* file);
// Byte-swaps `count` 16-bit values between the file's order and host order.
void SwapSourceWords(void* data, uint64_t count, bool fileBigEndian);
