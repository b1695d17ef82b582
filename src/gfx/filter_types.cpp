#include "gfx/filter_types.h"

#include <cstring>

namespace {

const char* const kNames[FILTER_TYPE_COUNT] = {
    "blur",     "charcoal", "contrast",   "edge",        "emboss",   "gamma",     "grayscale",
    "invert",   "modulate", "monochrome", "oilpaint",    "pixelate", "sepiatone", "sharpen",
    "solarize", "swirl",    "tint",       "waterripple", "xflip",    "yflip",     "quantize",
};

}  // namespace

const char* GetFilterTypeName(int type) { return type >= 0 && type < FILTER_TYPE_COUNT ? kNames[type] : nullptr; }

int FindFilterType(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < FILTER_TYPE_COUNT; i++)
        if (std::strcmp(kNames[i], name) == 0) return i;
    return -1;
}
