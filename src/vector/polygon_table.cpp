#include "vector/polygon_table.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "vm/vm.h"

int ReadPolygonTable(VmState* state, int index, int count, std::vector<qzShapePoint>* points, int* minX, int* minY,
                     int* width, int* height, qzShapePoint* low) {
    points->clear();
    points->reserve((size_t)count + 1);
    double lowX = std::numeric_limits<double>::infinity(), lowY = lowX;
    int64_t boxX0 = INT64_MAX, boxY0 = INT64_MAX, boxX1 = INT64_MIN, boxY1 = INT64_MIN;
    for (int i = 0; i < count; i++) {
        double xy[2];
        for (int k = 0; k < 2; k++) {
            VmRawGetI(state, index, 2 * i + k);
            const bool isNumber = VmType(state, -1) == VM_TNUMBER;
            xy[k] = isNumber ? VmToNumber(state, -1) : 0;
            VmPop(state, 1);
            if (!isNumber) {
                SetErrorArgString("polygon");
                return ERR_NUMTABLEARG;
            }
            // Far-off points only make the box too large to draw; the limit keeps the sums exact.
            xy[k] = std::isnan(xy[k]) ? 0 : std::clamp(xy[k], -5e8, 5e8);
        }
        points->push_back({xy[0], xy[1]});
    }
    if (points->back().x != points->front().x || points->back().y != points->front().y)
        points->push_back(points->front());
    for (const qzShapePoint& p : *points) {
        lowX = std::min(lowX, p.x);
        lowY = std::min(lowY, p.y);
        const int64_t rx = std::llround(p.x), ry = std::llround(p.y);
        boxX0 = std::min(boxX0, rx), boxY0 = std::min(boxY0, ry);
        boxX1 = std::max(boxX1, rx), boxY1 = std::max(boxY1, ry);
    }
    for (qzShapePoint& p : *points) {
        p.x -= lowX;
        p.y -= lowY;
    }
    *low = {lowX, lowY};
    *minX = (int)boxX0;
    *minY = (int)boxY0;
    *width = (int)(boxX1 - boxX0 + 1);
    *height = (int)(boxY1 - boxY0 + 1);
    return 0;
}
