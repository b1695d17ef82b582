// Vector-font nodes and their ids; see vector_fonts.h.
#include "vector/vector_fonts.h"

#include <vector>

#include "base/error_codes.h"
#include "text/font_engine.h"
#include "vector/path_buffer.h"

namespace {

struct qzVectorFontNode {
    uint32_t id;
    qzFont* font;
    qzVectorEngine* engine;
    void* handle;
};

std::vector<qzVectorFontNode> gNodes;
uint32_t gLastId = 0;

const qzVectorFontNode* FindNode(uint32_t id) {
    for (const qzVectorFontNode& node : gNodes)
        if (node.id == id) return &node;
    return nullptr;
}

void FreeVectorFontNode(qzVectorFontNode& node) {
    if (!IsStubVectorEngine(node.engine) && node.handle && node.engine->FreeVectorFont)
        node.engine->FreeVectorFont(node.handle);
    node.handle = nullptr;
}

}  // namespace

int GetVectorFont(qzFont* font, qzVectorEngine* engine, uint32_t* id) {
    for (const qzVectorFontNode& node : gNodes) {
        if (node.font == font && node.engine == engine) {
            *id = node.id;
            return 0;
        }
    }
    gNodes.reserve(gNodes.size() + 1);  // no handle is made that the list could not take
    void* handle = nullptr;
    if (!IsStubVectorEngine(engine) && engine->CreateVectorFont) handle = engine->CreateVectorFont(GetFontFace(font));
    if (!handle) return ERR_VFONT;
    // Ids wrap only after four thousand million nodes; 0 is never an id.
    uint32_t next = gLastId + 1 ? gLastId + 1 : 1;
    gNodes.push_back({next, font, engine, handle});
    gLastId = next;
    *id = next;
    return 0;
}

qzFont* FindFontOfVectorFont(uint32_t id) {
    const qzVectorFontNode* node = FindNode(id);
    return node ? node->font : nullptr;
}

void* GetVectorFontHandle(uint32_t id) {
    const qzVectorFontNode* node = FindNode(id);
    return node ? node->handle : nullptr;
}

void* GetVectorFontHandleOf(uint32_t id, const qzVectorEngine* engine) {
    const qzVectorFontNode* node = FindNode(id);
    return node && node->engine == engine ? node->handle : nullptr;
}

int MapTextRecordsToEngine(uint8_t* buffer, qzVectorEngine* engine) {
    if (!buffer) return 0;
    for (uint8_t* p = buffer; size_t size = PathRecordSize(p); p += size) {
        if (PathReadU32(p) != QZ_PATHOP_TEXT) continue;
        uint32_t id = PathReadU32(p + 4);
        if (GetVectorFontHandleOf(id, engine)) continue;
        qzFont* font = FindFontOfVectorFont(id);
        if (!font) return ERR_VFONT;
        uint32_t mapped = 0;
        if (int error = GetVectorFont(font, engine, &mapped)) return error;
        PathWriteU32(p + 4, mapped);
    }
    return 0;
}

void FreeVectorFonts() {
    for (qzVectorFontNode& node : gNodes) FreeVectorFontNode(node);
    std::vector<qzVectorFontNode>().swap(gNodes);
}
