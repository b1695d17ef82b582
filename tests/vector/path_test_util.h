// What the vector tests share: the vectorgraphics library opened through its descriptor (with the
// system library for object data), the embedded Vera Sans face as the current font of
// AddTextToPath, readers of a path's buffer, and coverage planes compared by intersection over
// union.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "libs/system/system.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "support/commands.h"
#include "text/font_cache.h"
#include "text/font_test_util.h"
#include "text/text_engine.h"
#include "vector/path_buffer.h"

namespace vectortest {

// Sets the text commands' current font (null: the inbuilt bitmap font) and default encoding,
// which AddTextToPath reads, and puts back the start values at the end.
struct TextSource {
    explicit TextSource(qzFont* font, int encoding = 0) {
        GetFontStyleState()->font = font;
        SetDefaultTextEncoding(encoding);
    }
    ~TextSource() {
        GetFontStyleState()->font = nullptr;
        SetDefaultTextEncoding(0);
    }
};

// The fonts (isolated from the system's) with Vera Sans open at a size.
struct VeraFont {
    fonttest::FontSystem system;
    qzFont* font = nullptr;
    explicit VeraFont(int size) {
        EXPECT_EQ(OpenFontWithDefaults(QZ_FONT_SANS, size, FONTENGINE_NATIVE, 1, 0, &font), 0);
    }
};

// The path of a numeric identifier.
inline qzPath* PathOf(int number) {
    qzPath* path = nullptr;
    FindPath(qzObjectId{number, nullptr}, &path);
    return path;
}

// The opcodes of a path's records in order.
inline std::vector<uint32_t> Opcodes(const qzPath* path) {
    std::vector<uint32_t> ops;
    if (!path || !path->buffer) return ops;
    for (const uint8_t* p = path->buffer; size_t size = PathRecordSize(p); p += size) ops.push_back(PathReadU32(p));
    return ops;
}

// Fuzzy intersection over union of two coverage planes of the same size: the sum of the smaller
// coverage of each pixel over the sum of the larger.
inline double CoverageIoU(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double both = 0, either = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) {
        both += std::min(a[i], b[i]);
        either += std::max(a[i], b[i]);
    }
    return either == 0 ? 1.0 : both / either;
}

}  // namespace vectortest
