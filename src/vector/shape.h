// Shape kinds: the numbers name the draw library's shape constants and the layer types of shape
// layers alike.
#pragma once

enum {
    SHAPE_BOX = 14,
    SHAPE_CIRCLE = 15,
    SHAPE_ELLIPSE = 16,
    SHAPE_LINE = 17,
    SHAPE_PLOT = 18,
    SHAPE_POLYGON = 27,
    SHAPE_ARC = 31,
};
