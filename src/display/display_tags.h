// The display options table: the tags that CreateDisplay and SetDisplayAttributes read into a
// display record, the region tables, and the display-mode options (mode, screen size, desktop,
// backdrop) that CreateDisplay, OpenDisplay and ChangeDisplayMode read.
#pragma once

#include <cstdint>

#include "runtime/applet_records.h"

struct VmState;
struct qzDisplay;

// Reads the display tags of the table at tableIndex into the record. creating: the record is a new
// display (fill tags are read, a named picture must not be shown by any display); otherwise it is
// the work copy of an existing display. *scaleChanged is set when "scalewidth" or "scaleheight"
// was given, *orientationChanged for "orientation". 0 or an error code; fields of the wrong type
// raise their error. The record may be partly filled after an error.
int ReadDisplayTags(VmState* state, int tableIndex, qzDisplay* display, int creating, int* scaleChanged,
                    int* orientationChanged);

// Reads a region table (the value at valueIndex) into regions: tables at keys 0, 1, ... up to the
// first missing one, each {type 14 (the default), x >= 0, y >= 0, width >= 1, height >= 1}; at
// most QZ_MAX_REGIONS. 0 with *count set, ERR_WRONGUSAGE, ERR_MISSINGPARAMTR.
int ReadRegionTable(VmState* state, int valueIndex, qzRegion* regions, int32_t* count);

// "mode" (by name), "scrwidth", "scrheight", "scrdepth", "desktop", then "backfill". 0 or
// ERR_WRONGUSAGE.
int ReadDisplayModeOptions(VmState* state, int tableIndex, qzScreenOptions* options);
// "backfill": when the table has it, it must be a table; the record is reset and read from it.
int ReadBackfillOptions(VmState* state, int tableIndex, qzBackfillSettings* backfill);

// The name of a display mode (1, 2, 3, 4, 6) and of a backdrop type (1 to 4); null for others.
const char* GetDisplayModeName(int32_t mode);
const char* GetBackfillTypeName(int32_t type);

// Reads "monitor" (1-based) of the table into *monitor (0-based): above 1 needs an applet of
// format 6.0, below 1 or above the number of monitors gives ERR_MONITORRANGE. Returns 0 and sets
// *given when the field is there.
int ReadMonitorTag(VmState* state, int tableIndex, int32_t* monitor, int* given);
