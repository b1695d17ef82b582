// The applet's preprocessor directives: the display settings of old container tags and of the
// options merged into the display directives, plugin requirements, and the preload calls that
// turn each directive into a call of the matching library command (LoadBrush, CreateDisplay, ...)
// with an argument list and an option table, exactly as a script would make it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/applet_records.h"

struct VmState;

// Copies the global screen options (old container tags) into the first DISPLAY directive with
// id 1, adding one when there is none, when any of them was set.
void ApplyGlobalScreenOptions(qzAppletDescriptor* applet);

// Merges the display options of the command line and ".ini" file into the DISPLAY directives with
// id 1, or into every DISPLAY directive with ALLDISPLAYS, unless the applet locked its settings.
void MergeDisplayOptions(const qzPlayerContext* context, qzAppletDescriptor* applet);

// Lets image directives that load the same file with the same scale settings share one load: the
// first gets the cache flag, the later ones the cached-load flag.
void ShareImageLoads(qzAppletDescriptor* applet);

// Reads the REQUIRETAGS text and gives the tags of the first group whose name begins the plugin's
// name (an empty group name applies to every plugin). 0 or ERR_REQUIRETAGFMT.
int ParseRequireTags(const char* text, const char* pluginName, std::vector<qzRequireTag>* tags);

// Requires a plugin for the applet. *hidden becomes 1 when the plugin asks for hidden displays.
// 0 or an error code (ERR_REQUIREPLUGIN naming the plugin when it is not available).
int RequireStartupPlugin(VmState* state, const char* name, int version, int revision,
                         const std::vector<qzRequireTag>& tags, int* hidden);

// Table builders: set fields of / push values for the option tables of the preload calls.
// PushGradientFields sets the gradient keys in the table on the stack top; PushRegionTable and
// PushMenuItems push a new array table (keys from 0).
void PushGradientFields(VmState* state, const qzGradient* gradient);
void PushRegionTable(VmState* state, const std::vector<qzRegion>& regions);
void PushMenuItems(VmState* state, const std::vector<qzDirectiveMenuItem>& items);

// Runs the directives after the bytecode is loaded: plugin requirements, display 1, the option
// overrides, the preload calls and the creation of the declared displays. Frees the directive
// list at the end. 0 or the first error code; the error context then names the directive's
// command and line.
int RunDirectives(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet);

// The source line of the directive that runs, -1 outside the directive run.
int GetDirectiveLine();
