// The filter type numbers that layers and brushes use for the image filters, with their names.
#pragma once

enum qzFilterType {
    FILTER_BLUR = 0,
    FILTER_CHARCOAL = 1,
    FILTER_CONTRAST = 2,
    FILTER_EDGE = 3,
    FILTER_EMBOSS = 4,
    FILTER_GAMMA = 5,
    FILTER_GRAYSCALE = 6,
    FILTER_INVERT = 7,
    FILTER_MODULATE = 8,
    FILTER_MONOCHROME = 9,
    FILTER_OILPAINT = 10,
    FILTER_PIXELATE = 11,
    FILTER_SEPIATONE = 12,
    FILTER_SHARPEN = 13,
    FILTER_SOLARIZE = 14,
    FILTER_SWIRL = 15,
    FILTER_TINT = 16,
    FILTER_WATERRIPPLE = 17,
    FILTER_XFLIP = 18,
    FILTER_YFLIP = 19,
    FILTER_QUANTIZE = 20,
    FILTER_TYPE_COUNT = 21,
};

// "blur", "charcoal", ... "quantize" by number; null outside 0..20.
const char* GetFilterTypeName(int type);
// The number of a name (compared as given, lower case), or -1.
int FindFilterType(const char* name);
