// The `anim` command library: loading anims from anim files and pictures, building them from
// brushes, copying, scaling, changing frames and delays, taking frames out as brushes, drawing and
// playing them, drawing into their frames, saving them, and freeing. It owns the anim list
// (object type 4).
#pragma once

#include <string>

#include "runtime/library.h"

struct VmState;
struct qzAnimLoadOptions;

// The "anim" library: its commands, constants and the anim list; at shutdown every anim (stage
// QZ_STAGE_ANIMS).
extern const qzLibraryDescriptor qzAnimLibrary;

// The load options of LoadAnim, LoadAnimFrame and LoadSprite in argument index: a table, or a
// number that is the transparency colour. The lists named by "loader" and "adapter" are kept in
// *loaders and *adapters, which must outlive *options.
void ReadAnimLoadOptions(VmState* state, int index, qzAnimLoadOptions* options, std::string* loaders,
                         std::string* adapters);
// The image-cache options "cache", "cachedload" and "cachealpha" of a table in argument index; the
// names are kept in *cache and *cachedLoad, which must outlive *options.
void ReadAnimCacheOptions(VmState* state, int index, qzAnimLoadOptions* options, std::string* cache,
                          std::string* cachedLoad);

// Command handlers, shared inside the library.
int AnimPlayAnim(VmState* state);
int AnimPlayAnimDisk(VmState* state);
int AnimSaveAnim(VmState* state);
int AnimBeginAnimStream(VmState* state);
int AnimWriteAnimFrame(VmState* state);
int AnimFinishAnimStream(VmState* state);
