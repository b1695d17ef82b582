// Vector engines: every path operation that needs geometry (extents, drawing, translation, the
// current point, vector fonts) goes through the eight operation slots of an engine, either the
// inbuilt outline engine (outline_engine.h) or a plugin with the vector capability. An engine is
// a plugin information block: its call mode says whether its slots can be called, its vector
// extension word (bit 0) how the path renderer sizes and places its images. Main thread only.
#pragma once

#include <cstdint>

#include "platform/plugin_api.h"
#include "vector/path_style.h"

typedef qzPluginInfo qzVectorEngine;

// The capability bit number of vector graphics, whose extension word the renderer reads.
constexpr int QZ_VECTOR_EXTENSION_BIT = 5;
// Vector extension word bit 0: images are sized from the rounded-out extents and the drawing
// position goes in the draw block's origin fields.
constexpr uint32_t QZ_VECTOREXT_EXTENTS = 1;

// The inbuilt engine: one static record, filled (slots, call mode 0, vector extension word 1) by
// InitInbuiltVectorEngine.
qzVectorEngine* GetInbuiltVectorEngine();
void InitInbuiltVectorEngine();
int IsInbuiltVectorEngine(const qzVectorEngine* engine);
// A stub engine's slots are never called: every operation does nothing and answers 0.
inline bool IsStubVectorEngine(const qzVectorEngine* engine) { return engine->callMode == QZ_PLUGIN_CALLMODE_STUB; }
inline bool EngineSizesFromExtents(const qzVectorEngine* engine) {
    return (engine->extensions[QZ_VECTOR_EXTENSION_BIT] & QZ_VECTOREXT_EXTENTS) != 0;
}

// The engine of every later path operation (the inbuilt one from the library's registration on).
qzVectorEngine* GetCurrentVectorEngine();
void SetCurrentVectorEngine(qzVectorEngine* engine);

// "default" (any case) is the inbuilt engine; any other name is a loaded plugin with the vector
// capability whose file name equals the name (".qzp" appended unless it ends so; compared
// without case). Null when none; names longer than QZ_VECTOR_ENGINE_NAME_MAX are never found.
constexpr size_t QZ_VECTOR_ENGINE_NAME_MAX = 255;
qzVectorEngine* FindVectorEngine(const char* name);

// The engine style of a path style: antialias is 1 when the draw state in use asks for it.
qzVectorStyle MakeEngineStyle(const qzPathStyle& style, int antialias);

// The bounding box of the path filled (fill 1) or stroked (fill 0) with lineWidth pixels, moved by
// the offset and mapped by the matrix (null: identity). Returns the engine's answer; a stub engine
// answers 0 and leaves the outputs as they are.
int GetEngineExtents(const qzVectorEngine* engine, const void* buffer, const qzPathStyle& style, int fill,
                     int lineWidth, double offsetX, double offsetY, const double* matrix, double* x1, double* y1,
                     double* x2, double* y2);
// Renders the path's coverage into an 8-bit plane. Engines with QZ_VECTOREXT_EXTENTS get offset
// 0, 0 and origin a; others offset a and origin b. Non-zero on success.
int EngineDrawPath(const qzVectorEngine* engine, const void* buffer, const qzPathStyle& style, int antialias, int fill,
                   uint8_t* pixels, int rowLength, int width, int height, int lineWidth, const double* matrix,
                   double ax, double ay, double bx, double by);
// Adds dx, dy to every absolute coordinate of the buffer in place.
void EngineTranslatePath(const qzVectorEngine* engine, void* buffer, void* path, double dx, double dy);
// The current point after the whole buffer; 0 (x, y unchanged) for a stub engine or a failure.
int EngineGetCurrentPoint(const qzVectorEngine* engine, const void* buffer, const qzPathStyle& style, double* x,
                          double* y);
