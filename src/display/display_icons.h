// Application icons: the images the applet declares for its windows, loaded at start-up, and the
// icon lists handed to display-adapter plugins.
#pragma once

#include <cstdint>

struct VmState;
struct qzAppletDescriptor;

// One icon: width x height ARGB pixels. Flags: 1 the row's flag word is set, 2 a selected variant.
struct qzAppIcon {
    qzAppIcon* next;
    uint32_t* pixels;
    int32_t width;
    int32_t height;
    uint32_t flags;
};

// Loads every icon slot with a file name: an image whose size differs from the slot's fails with
// ERR_ICONDIMS ("WxH" as the argument), an image without alpha becomes opaque. The list replaces
// the library's; any failure frees what was made. 0 or an error.
int LoadApplicationIcons(VmState* state, const qzAppletDescriptor* applet, int showProgress);
// The library's icons.
const qzAppIcon* ApplicationIcons();
void FreeApplicationIcons();
// A copy of `base` (the back end's own icons) with every application icon appended that has no
// icon of the same size and kind there; null when out of memory.
qzAppIcon* CopyApplicationIcons(const qzAppIcon* base);
void FreeIconList(qzAppIcon* list);
