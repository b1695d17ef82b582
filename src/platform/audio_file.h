// The system audio-file decoder: any sound file that FFmpeg reads (AIFF, WAVE in all its forms,
// MP3, MP4/M4A, AAC, AC-3, FLAC, Ogg, ...), read through the virtual-file layer and handed out as
// interleaved 16-bit signed PCM in host order, mono or stereo (files with more channels are mixed
// down to stereo), at the file's own rate. For MPEG audio the bit rate is read from the file's
// first frame header, or averaged over the file when it has a VBR header.
//
// A decoder is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzAudioFile;

// What an open file is.
struct qzAudioFileInfo {
    uint32_t bits;           // 16
    uint32_t bytesPerFrame;  // 2 or 4
    uint32_t channels;       // 1 or 2
    uint32_t flags;          // 3: signed, host order
    uint32_t rate;           // frames per second
    uint64_t frames;         // the length in frames as the file states it (or FFmpeg estimates it)
    uint32_t bitRate;        // kilobits per second of MPEG audio (1024 bits), else 0
};

// Opens the file (mode: read, file adapters allowed). 0, or ERR_READFILE (cannot be opened),
// ERR_SEEKFILE (a stream that cannot seek), ERR_FILESIZE (its size is unknown), ERR_OPENSOUND2
// (no decoder reads it), ERR_AFILEPROP (it has no usable audio stream) or ERR_MEM.
int AudioFileOpen(const char* name, const char* adapterList, qzAudioFile** out, qzAudioFileInfo* info);
void AudioFileClose(qzAudioFile* file);
// The file type's name: "AIFF", "AIFC", "RIFF WAVE", "NeXT", "MPEG Audio", "AC-3", "AAC ADTS",
// "Core Audio", or "Mac Audio File" for the others.
const char* AudioFileFormatName(const qzAudioFile* file);
// Decodes up to `frames` frames at the current position into buffer and moves the position on.
// Returns the frames delivered; *end (optional) is set to 1 when fewer than wanted remained,
// else 0.
uint32_t AudioFileDecode(qzAudioFile* file, void* buffer, uint32_t frames, int* end);
// Makes `frame` the next frame decode delivers; nothing happens for a frame past the end.
void AudioFileSeek(qzAudioFile* file, uint64_t frame);
uint64_t AudioFilePosition(const qzAudioFile* file);

// The MPEG audio analysis of `size` bytes of a file read from file offset dataOffset: an ID3v2
// tag at the start of the data is skipped, the frame header where the audio starts gives the bit
// rate in kbit/s, and a "Xing" or "VBRI" header anywhere in the data makes it the average
// (fileSize - audio start) / seconds / 128. 0 when there is no MPEG-1 or MPEG-2 frame header.
// *audioStart gets the file offset where the audio starts; when that lies beyond the data, the
// result is 0 and the caller reads again from there.
uint32_t MpegAudioBitRate(const uint8_t* data, size_t size, uint64_t dataOffset, uint64_t fileSize, double seconds,
                          uint64_t* audioStart);
