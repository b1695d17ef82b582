// The applet container: a stream of tagged records (bytecode, directives, labels, constants,
// metadata, display settings, linked files, include ranges) behind the magic "QZA\0", optionally
// packed with zlib as a whole behind "QZZ\0", followed by an optional icon block. The container lies
// in a separate applet file or is appended to the player's executable (see link_stamp.h).
//
// All numbers are big-endian. Every count, length and offset is checked against the data present
// before anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/applet_records.h"

// Highest record tag the reader knows.
constexpr int QZ_CONTAINER_LAST_TAG = 33;

// Bytes of an applet file that start-up reads (unpacked) for the metadata records.
constexpr size_t QZ_APPLET_HEAD_SIZE = 2048;

// Reads the applet container of context->appletPath (at context->appendedOffset when an applet is
// appended) into the applet descriptor and the player context, changing the current directory to
// the applet's folder (the executable's folder for an appended applet). A packed container is
// unpacked into a temporary file first, which is added to context->tempFiles; its icon block is
// read from the packed file. On failure the records read so far stay in the descriptor and the
// error-argument text names the path or version concerned. 0 or an error code.
int ReadAppletContainer(qzPlayerContext* context, qzAppletDescriptor* applet);

// Reads a plain container held in memory (starting with "QZA\0"); path is the container path
// stored in directives, linked files and icon names. Does not touch the current directory.
int ReadAppletContainerData(const uint8_t* data, size_t size, const char* path, qzPlayerContext* context,
                            qzAppletDescriptor* applet);

// Checks a separate applet file before plugins load: it must exist (ERR_FILEEXIST), its first four
// bytes must be readable (ERR_READ) and be "QZA\0" or "QZZ\0" (ERR_NOAPPLET, naming the path).
// *packed receives whether it is packed.
int CheckAppletFile(const char* path, int* packed);

// Reads the first QZ_APPLET_HEAD_SIZE bytes of an applet file (unpacked when packed) and takes the
// metadata records (title, version, copyright, author, description) from them.
int ReadAppletHead(const char* path, qzAppletDescriptor* applet);

// Takes the metadata records from the head of a plain container: skips the magic and tags 10 and
// 29, stores tags 11 to 15 and stops at the first other tag or at the end of the data.
void ReadAppletMetadata(const uint8_t* data, size_t size, qzAppletDescriptor* applet);
