// The `vectorgraphics` command library: scripts build paths of moves, lines, cubic curves, arcs,
// ellipses, rounded boxes and outline text, set the path style (joins, caps, dashes, fill rule),
// measure, translate, copy and draw paths, and choose the vector engine.
#pragma once

#include "runtime/library.h"

struct VmState;
struct qzFont;

// The "vectorgraphics" library: its commands, constants and path list; at shutdown its paths, the
// dash pattern and the vector fonts.
extern const qzLibraryDescriptor qzVectorGraphicsLibrary;
// Frees every path, the dash lengths and every vector font.
void FreeVectorGraphicsLibrary(VmState* state);

// Where AddTextToPath finds the current font and the text library's default encoding; the text
// library installs it while it is open. Without it the current font is the inbuilt bitmap font
// and the default encoding ISO-8859-1 (0).
struct qzPathTextSource {
    qzFont* (*currentFont)();
    int (*defaultEncoding)();
};
void SetPathTextSource(const qzPathTextSource* source);

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
// Installs (or removes) the draw library's route of shapes through paths, the path layers' row and
// the shapes' outline renderer.
void InstallPathDrawing(bool on);
