// The engine record, the current engine and the calls through the engine slots; see
// vector_engine.h.
#include "vector/vector_engine.h"

#include <cstring>
#include <string>

#include "base/charset.h"
#include "runtime/plugin_manager.h"
#include "vector/outline_engine.h"

namespace {

qzVectorEngine gInbuilt{};
qzVectorEngine* gCurrent = &gInbuilt;

const double kIdentity[4] = {1, 0, 0, 1};

}  // namespace

qzVectorEngine* GetInbuiltVectorEngine() { return &gInbuilt; }

void InitInbuiltVectorEngine() {
    gInbuilt.callMode = 0;
    gInbuilt.extensions[QZ_VECTOR_EXTENSION_BIT] = QZ_VECTOREXT_EXTENTS;
    gInbuilt.GetPathExtents = InbuiltGetPathExtents;
    gInbuilt.DrawPath = InbuiltDrawPath;
    gInbuilt.TranslatePath = InbuiltTranslatePath;
    gInbuilt.GetCurrentPoint = InbuiltGetCurrentPoint;
    gInbuilt.CreateVectorFont = InbuiltCreateVectorFont;
    gInbuilt.FreeVectorFont = InbuiltFreeVectorFont;
    gInbuilt.OpenFont = InbuiltOpenFont;
    gInbuilt.CloseFont = InbuiltCloseFont;
}

int IsInbuiltVectorEngine(const qzVectorEngine* engine) { return engine == &gInbuilt; }

qzVectorEngine* GetCurrentVectorEngine() { return gCurrent; }
void SetCurrentVectorEngine(qzVectorEngine* engine) { gCurrent = engine ? engine : &gInbuilt; }

qzVectorEngine* FindVectorEngine(const char* name) {
    if (CompareNoCase(name, "default") == 0) return &gInbuilt;
    size_t length = std::strlen(name);
    if (length > QZ_VECTOR_ENGINE_NAME_MAX) return nullptr;
    std::string file(name, length);
    if (length < 4 || CompareNoCase(file.c_str() + length - 4, ".qzp") != 0) file += ".qzp";
    for (qzPluginRecord* record = GetPluginRecords(); record; record = record->next) {
        if (!record->handle || !(record->capabilities & QZ_PLUGINCAPS_VECTOR)) continue;
        if (CompareNoCase(record->fileName, file.c_str()) == 0) return OsGetPluginInfo(record->handle);
    }
    return nullptr;
}

qzVectorStyle MakeEngineStyle(const qzPathStyle& style, int antialias) {
    qzVectorStyle s{};
    s.lineJoin = style.lineJoin;
    s.lineCap = style.lineCap;
    s.fillRule = style.fillRule;
    s.antialias = antialias ? 1 : 0;
    s.dashOffset = style.dashOffset;
    s.dashLengths = style.dashLengths;
    s.dashCount = style.dashCount;
    return s;
}

int GetEngineExtents(const qzVectorEngine* engine, const void* buffer, const qzPathStyle& style, int fill,
                     int lineWidth, double offsetX, double offsetY, const double* matrix, double* x1, double* y1,
                     double* x2, double* y2) {
    if (IsStubVectorEngine(engine) || !engine->GetPathExtents) return 0;
    qzVectorStyle engineStyle = MakeEngineStyle(style, 0);
    qzPathExtentsBlock block{};
    block.buffer = buffer;
    block.style = &engineStyle;
    block.fill = fill;
    block.lineWidth = lineWidth;
    block.offsetX = offsetX;
    block.offsetY = offsetY;
    block.x1 = *x1;
    block.y1 = *y1;
    block.x2 = *x2;
    block.y2 = *y2;
    block.matrix = matrix ? matrix : kIdentity;
    int result = engine->GetPathExtents(&block);
    *x1 = block.x1;
    *y1 = block.y1;
    *x2 = block.x2;
    *y2 = block.y2;
    return result;
}

int EngineDrawPath(const qzVectorEngine* engine, const void* buffer, const qzPathStyle& style, int antialias, int fill,
                   uint8_t* pixels, int rowLength, int width, int height, int lineWidth, const double* matrix,
                   double ax, double ay, double bx, double by) {
    if (IsStubVectorEngine(engine) || !engine->DrawPath) return 0;
    qzVectorStyle engineStyle = MakeEngineStyle(style, antialias);
    qzPathDrawBlock block{};
    block.buffer = buffer;
    block.style = &engineStyle;
    block.fill = fill;
    block.lineWidth = lineWidth;
    block.pixels = pixels;
    block.rowLength = rowLength;
    block.width = width;
    block.height = height;
    if (EngineSizesFromExtents(engine)) {
        block.originX = ax;
        block.originY = ay;
    } else {
        block.offsetX = ax;
        block.offsetY = ay;
        block.originX = bx;
        block.originY = by;
    }
    block.matrix = matrix ? matrix : kIdentity;
    return engine->DrawPath(&block);
}

void EngineTranslatePath(const qzVectorEngine* engine, void* buffer, void* path, double dx, double dy) {
    if (IsStubVectorEngine(engine) || !engine->TranslatePath) return;
    qzPathTranslateBlock block{buffer, dx, dy};
    engine->TranslatePath(&block, path);
}

int EngineGetCurrentPoint(const qzVectorEngine* engine, const void* buffer, const qzPathStyle& style, double* x,
                          double* y) {
    if (IsStubVectorEngine(engine) || !engine->GetCurrentPoint) return 0;
    qzVectorStyle engineStyle = MakeEngineStyle(style, 0);
    return engine->GetCurrentPoint(buffer, &engineStyle, x, y);
}
