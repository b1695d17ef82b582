// Reading a gradient description from an options table: the "gradient..." tags of a display's or
// a picture's fill, and the five optional keys shared with the gradient creation commands.
#pragma once

#include "runtime/applet_records.h"

struct VmState;

// Starts from the default gradient and reads "gradientstyle", "gradientstartcolor",
// "gradientendcolor", "gradientangle", then the options with the "gradientcenterx",
// "gradientcentery", "gradientbalance", "gradientborder" and "gradientcolors" keys. 0, or
// ERR_WRONGUSAGE, ERR_MISSINGPARAMTR, ERR_INTERNAL (more than 64 stops); fields of the wrong type
// raise their error.
int ReadGradientTags(VmState* state, int tableIndex, qzGradient* gradient);

// The optional keys: centre, balance and border (radial and conical gradients only, each within
// 0 .. 1) and the colour stops {colour, position, colour, position, ...} from index 0 (two at
// least, positions within 0 .. 1). *hasStops (optional) becomes 1 when stops were read.
int ReadGradientOptions(VmState* state, int tableIndex, qzGradient* gradient, const char* centerXKey,
                        const char* centerYKey, const char* balanceKey, const char* borderKey, const char* colorsKey,
                        int* hasStops);

// The angle and options of the gradient creation commands (and of a gradient fill style): style 1
// becomes LINEAR at 90 degrees and style 0 LINEAR at 0 degrees (the angle argument is not read);
// LINEAR and CONICAL read the angle at angleIndex (default 0), RADIAL reads none. An argument after
// the angle's place must be a table (raised otherwise), read with the keys "centerx", "centery",
// "balance", "border" and "colors". 0 or the error of ReadGradientOptions.
int ReadGradientTable(VmState* state, int angleIndex, qzGradient* gradient);

// 1 when two gradients are alike in every field, their colour stops included.
int SameGradient(const qzGradient& a, const qzGradient& b);
