// Text objects: formatted text rendered into bitmaps and kept under an identifier, shown, scaled,
// rotated (always rendered again from the text, never scaled as pixels), copied and freed. Layers
// show them through the TEXTOBJECT row of the layer-kind dispatch; an object freed while layers
// show it lives on without its number until no layer uses it. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "display/draw_tags.h"
#include "runtime/object_registry.h"
#include "text/formatted_text.h"

struct VmState;
struct qzBitMap;

constexpr int32_t QZ_TYPE_TEXTOBJECT = 8;

struct qzTextObject {
    qzObjectHeader header;
    qzBitMap* bitmap;
    qzBitMap* mask;  // mask and alpha channel are exclusive
    qzBitMap* alpha;
    int32_t width, height;          // the current rendering
    int32_t baseWidth, baseHeight;  // the first rendering: percentages of ScaleTextObject refer to it
    int32_t left, top;              // where the bitmap lies relative to the position (0 or negative)
    int32_t locked;
    int32_t keptByLayers;  // freed or replaced by the script while layers show it
    qzTextStyle* style;    // owned: what was rendered, with its layout tables
    qzTransformTags transform;
};

// FindTextObject flags.
enum {
    QZ_FINDTEXT_MODIFY = 1,    // ERR_LOCKEDOBJ when locked; layers that show it keep a private copy
    QZ_FINDTEXT_KEPT = 2,      // objects kept by layers match too
    QZ_FINDTEXT_NODETACH = 4,  // with MODIFY: the layers keep showing the object itself
};

qzObjectHeader** GetTextObjectList();

// The lookup other subsystems call (layers, transitions, attribute queries). 0 with *out set, or
// ERR_FINDARRAY for a handle, ERR_FINDTEXTOBJECT with the number, ERR_LOCKEDOBJ, ERR_MEM.
int FindTextObject(VmState* state, const qzObjectId& id, qzTextObject** out, int flags);
// FindTextObject for a command: the object, or the command fails (VmFailCommand) with
// FindTextObject's error. The index form reads the identifier argument first.
qzTextObject* CheckTextObject(VmState* state, const qzObjectId& id, int flags);
qzTextObject* CheckTextObject(VmState* state, int index, int flags);

// Renders the text style (copied) as a new object under the identifier (an automatic one becomes
// the record); an object with the same number is deleted first. 0 or an error.
int CreateTextObject(VmState* state, const qzObjectId& id, const qzTextStyle& style, qzTextObject** out);
// Copies the object under a new identifier. 0 or an error; on an error nothing is made.
int CloneTextObject(VmState* state, const qzTextObject* source, const qzObjectId& id, qzTextObject** out);
// Deletes the object, or leaves it to the layers that show it. Lookup errors only with report;
// ERR_LOCKEDOBJ always.
int DeleteTextObject(VmState* state, const qzObjectId& id, int report);
// Renders the object again at its transform's size and angle: targetWidth/Height (0: the base
// size) and the angle in degrees. The object keeps its rendering when this fails.
int RerenderTextObject(VmState* state, const qzObjectId& id, int32_t targetWidth, int32_t targetHeight, double angle);
// Frees the objects kept by layers that no layer shows any more.
void FreeOrphanedTextObjects(VmState* state);
// Frees every text object (at exit).
void FreeAllTextObjects(VmState* state);

// Shows the object at x, y (position constants allowed) on the current output with the draw
// options at tagIndex (0: none): as a layer when layers are on, else blitted at its own scale and
// angle with the filters and transparency of the options. 0 or an error.
int DisplayTextObject(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int tagIndex);

// Installs (on) or removes the rows of the text layer types (TEXTOBJECT, TEXTOUT, PRINT) in the
// layer-kind dispatch.
void InstallTextLayerKinds(bool on);
