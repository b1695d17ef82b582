// Vector fonts: one node per font and engine, holding the handle the engine's CreateVectorFont
// made for the font's FreeType face. Path buffers hold 32-bit ids, not handles (a handle is a
// pointer and does not fit a record's handle word); each node has its own id, handed out once and
// never reused. Nodes are made on first use and live until FreeVectorFonts. Main thread only.
#pragma once

#include <cstdint>

#include "text/font.h"
#include "vector/vector_engine.h"

// The id of the font's node for the engine; the node is made when there is none (unless the
// engine is a stub, its CreateVectorFont is called with the font's face). 0 with *id set, ERR_MEM,
// or ERR_VFONT when the engine makes no handle (a stub engine never does).
int GetVectorFont(qzFont* font, qzVectorEngine* engine, uint32_t* id);
// The font and the handle behind an id; null for an unknown id.
qzFont* FindFontOfVectorFont(uint32_t id);
void* GetVectorFontHandle(uint32_t id);
// The handle behind an id when its node belongs to the engine; null otherwise.
void* GetVectorFontHandleOf(uint32_t id, const qzVectorEngine* engine);
// Rewrites the id of every text record of the buffer to the id of the same font for the engine,
// making nodes as needed. 0, or GetVectorFont's error (ERR_VFONT also for an unknown id).
int MapTextRecordsToEngine(uint8_t* buffer, qzVectorEngine* engine);
// Frees every node: the engine's FreeVectorFont runs for each handle (not for stub engines).
void FreeVectorFonts();
