// Files linked into an applet at compile time, and the lookup that maps a script's file name to
// the linked copy (a chunk file name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct VmState;

// One linked file, kept by the applet descriptor in a singly linked list.
struct qzLinkedFile {
    qzLinkedFile* next;
    std::string name;           // fonts are entered as "::font:" + the font's name
    std::string containerPath;  // empty: the applet itself
    uint64_t offset;            // within the applet data
    uint64_t size;
};

// Maps name to its linked copy. kind != 0 asks for a font: names ending in ".ttf" or ".otf" are
// looked up as ordinary files, a name ending in ".font" is looked up as a font without the
// suffix. appletPath stands in for entries without a container path; base is added to every
// entry's offset. Returns a chunk name written into buffer, or name itself when nothing matches.
// *isFont (optional) is set to 1 when a font entry matched, else 0.
const char* ResolveLinkedFileIn(const qzLinkedFile* list, uint64_t base, const char* appletPath, const char* name,
                                int kind, int* isFont, char* buffer, size_t bufferSize);

// The same for the running applet: its descriptor's linked files, container path and base. The
// chunk name is written into one shared 1024-byte buffer that the next call overwrites. Without
// an applet the name comes back unchanged.
const char* ResolveLinkedFileName(VmState* state, const char* name, int kind, int* isFont);
// The same for the string argument at index (raises ERR_STREXPECTED for a non-string).
const char* ResolveLinkedFileArg(VmState* state, int index, int kind, int* isFont);
