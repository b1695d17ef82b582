// The inbuilt vector engine at each failing allocation: drawing a path or a curved shape draws
// it or fails, and frees every outline it built on the way out (LeakSanitizer checks).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "oom/alloc_faults.h"
#include "vector/outline_engine.h"
#include "vector/outline_shapes.h"
#include "vector/path_buffer.h"
#include "vector/shape.h"
#include "vector/shape_render.h"

namespace failing_outline_test {

namespace {

// A closed triangle's records: move, two lines, close, end.
std::vector<uint8_t> Triangle() {
    std::vector<uint8_t> b(4 * 24 + 8);
    uint8_t* p = b.data();
    const double points[3][2] = {{2, 2}, {30, 4}, {10, 28}};
    for (int i = 0; i < 3; i++, p += 24) {
        PathWriteU32(p, i == 0 ? QZ_PATHOP_MOVE : QZ_PATHOP_LINE);
        PathWriteU32(p + 4, 0);
        PathWriteDouble(p + 8, points[i][0]);
        PathWriteDouble(p + 16, points[i][1]);
    }
    PathWriteU32(p, QZ_PATHOP_CLOSE);
    PathWriteU32(p + 4, QZ_PATHOP_END);
    return b;
}

TEST(FailingAllocation, OutlinesAreFreedOnEveryWayOut) {
    std::vector<uint8_t> records = Triangle();
    std::vector<uint8_t> pixels(32 * 32);
    qzVectorStyle style{};
    style.antialias = 1;
    auto drawPath = [&](int fill) {
        return [&, fill] {
            qzPathDrawBlock block{};
            block.buffer = records.data();
            block.style = &style;
            block.fill = fill;
            block.lineWidth = 3;
            block.pixels = pixels.data();
            block.rowLength = block.width = block.height = 32;
            return InbuiltDrawPath(&block) != 0;
        };
    };
    auto drawCircle = [&](int lineWidth) {
        return [&, lineWidth] {
            qzShapeOutlineJob job{};
            job.geometry.kind = SHAPE_CIRCLE;
            job.geometry.endAngle = 360;
            job.width = job.height = 20;
            job.lineWidth = lineWidth;
            job.plane = pixels.data();
            job.pitch = job.planeWidth = job.planeHeight = 32;
            return RenderShapeOutline(&job);
        };
    };
    const struct {
        const char* name;
        std::function<bool()> draw;
    } rows[] = {
        {"filled path", drawPath(1)},
        {"stroked path", drawPath(0)},
        {"filled circle", drawCircle(0)},
        {"circle outline", drawCircle(2)},
    };
    for (const auto& row : rows) {
        ForgetLastOutline();
        ASSERT_TRUE(row.draw()) << row.name;
        std::vector<uint8_t> whole = pixels;
        bool drawn = false;
        uint64_t count = ForEachFailingAllocation(
            [&] {
                // Each run builds the outline anew instead of copying the one kept from the last.
                ForgetLastOutline();
                std::fill(pixels.begin(), pixels.end(), 0);
                try {
                    drawn = row.draw();
                } catch (const std::bad_alloc&) {
                    drawn = false;
                }
            },
            [&](uint64_t n) {
                if (n == 0 || drawn) {
                    EXPECT_EQ(pixels, whole) << row.name << ", allocation " << n;
                }
            });
        EXPECT_GT(count, 0u) << row.name;
    }
    ForgetLastOutline();
}

}  // namespace

}  // namespace failing_outline_test
