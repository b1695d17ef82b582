// The `vectorgraphics` command library: scripts build paths of moves, lines, cubic curves, arcs,
// ellipses, rounded boxes and outline text, set the path style (joins, caps, dashes, fill rule),
// measure, translate, copy and draw paths, and choose the vector engine.
#pragma once

#include "runtime/library.h"

struct VmState;

// The "vectorgraphics" library: its commands, constants and path list; at shutdown its paths, the
// dash pattern and the vector fonts.
extern const qzLibraryDescriptor qzVectorGraphicsLibrary;
// Frees every path, the dash lengths and every vector font.
void FreeVectorGraphicsLibrary(VmState* state);

// ---- Parts shared between the topic files of the library (not for other callers) ----

int VgStartPath(VmState* state);
int VgFreePath(VmState* state);
int VgClearPath(VmState* state);
int VgIsPathEmpty(VmState* state);
int VgMoveTo(VmState* state);
int VgRelMoveTo(VmState* state);
int VgLineTo(VmState* state);
int VgRelLineTo(VmState* state);
int VgCurveTo(VmState* state);
int VgRelCurveTo(VmState* state);
int VgStartSubPath(VmState* state);
int VgClosePath(VmState* state);
int VgAddArcToPath(VmState* state);
int VgAddCircleToPath(VmState* state);
int VgAddEllipseToPath(VmState* state);
int VgAddBoxToPath(VmState* state);
int VgAddTextToPath(VmState* state);
int VgCopyPath(VmState* state);
int VgAppendPath(VmState* state);

int VgSetLineJoin(VmState* state);
int VgSetLineCap(VmState* state);
int VgSetFillRule(VmState* state);
int VgSetDash(VmState* state);
int VgForcePathUse(VmState* state);
int VgGetCurrentPoint(VmState* state);
int VgGetPathExtents(VmState* state);
int VgTranslatePath(VmState* state);
int VgNormalizePath(VmState* state);
int VgSetVectorEngine(VmState* state);
int VgDrawPath(VmState* state);
// Installs (or removes) the path layers' row and the draw library shapes' outline renderer.
void InstallPathDrawing(bool on);
