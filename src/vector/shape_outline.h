// Outline geometry of the shapes: the closed point lists of boxes (with rounded corners),
// ellipses, circles, arcs and polygons, the angular step of curves, and how a shape's 2x2
// transform and its anchor move the points. The shape renderer fills these lists; the layer code
// re-renders shape layers through the same functions.
//
// A curve point at angle a (whole degrees, read from the degree tables) is (cx + rx cos a,
// cy - ry sin a) before the transform, so angles run anticlockwise on screen with 0 at the right.
// A point (X, Y) relative to a centre (cx, cy) maps to (cx + m0 X + m2 Y, cy + m1 X + m3 Y).
#pragma once

#include <cstdint>
#include <vector>

#include "display/draw_tags.h"
#include "gfx/polygon.h"

// A shape's geometry transform: the 2x2 matrix (identity 1, 0, 0, 1) and the anchor as fractions
// of the shape's width and height.
struct qzShapeTransform {
    double matrix[4] = {1, 0, 0, 1};
    double anchorX = 0;
    double anchorY = 0;
};

// A point of an outline (whole numbers kept as doubles).
struct qzShapePoint {
    double x;
    double y;
};

// The parameters of a shape that its outline depends on.
struct qzShapeGeometry {
    int32_t kind;    // SHAPE_BOX, SHAPE_CIRCLE, SHAPE_ELLIPSE, SHAPE_ARC or SHAPE_POLYGON
    int32_t rx, ry;  // radii of ellipses, circles and arcs
    int32_t startAngle, endAngle;
    int32_t clockwise;
    int32_t corners[4];          // box corner rounding in percent, a to d
    const qzShapePoint* points;  // polygon points relative to its bounding box
    int32_t count;
    const qzShapeTransform* transform;  // null: identity
};

// The angular step of a curve for its smaller radius: 90 degrees below 3, 30 up to 9, 18 up to
// 14, else 5.
int CurveStep(int64_t smallerRadius);

// Appends the points of one elliptic arc about the centre (cx, cy) of a width x height box to
// out and returns how many it appended: with bounds first the bounding box of the whole
// transformed ellipse as two points (minimum, maximum); then the arc points from start to end
// (ordered, brought into 0..360; a span above 360 is a full turn), each the exact point floored
// to whole pixels, repeats dropped; with centre and a span below 360 the centre; fewer than two
// arc points are padded by the last. Every point is finally moved so that the matrix turns the
// shape about its anchor instead of the box centre.
int ArcOutlinePoints(std::vector<qzShapePoint>& out, double cx, double cy, double rx, double ry, int64_t start,
                     int64_t end, const qzShapeTransform* transform, int width, int height, bool withCentre,
                     bool withBounds);

// The closed outline of a box, ellipse, circle, arc or polygon of width x height; 0 points for
// any other kind. A box whose corner radii all come out 0 is its 5-point rectangle; a corner of 0
// on a side of 200 pixels or more is rounded by 1 percent. An arc's list begins with its two
// bound points (*firstPoint = 2; else 0), which give its full ellipse's box but are no corners of
// the outline. Plain boxes and polygons come untransformed (TransformPointList maps them); curves
// and rounded boxes carry the transform already.
int ShapeOutlinePoints(const qzShapeGeometry* shape, int width, int height, std::vector<qzShapePoint>& out,
                       int* firstPoint);
// The same rounded to whole pixels (nearest).
int ShapeOutlineIntPoints(const qzShapeGeometry* shape, int width, int height, std::vector<qzPoint>& out,
                          int* firstPoint);

// Bounding box of integer points (width and height are max - min + 1); the points are moved so
// that the box starts at 0, 0.
void NormalizePointList(qzPoint* points, int count, int* minX, int* minY, int* width, int* height);

// Maps integer points about the anchor point (trunc(width * ax), trunc(height * ay)) through the
// matrix, truncating each mapped coordinate toward zero, and gives their bounding box; with shift
// the points are moved to start at 0, 0.
void TransformPointList(const double* matrix, double ax, double ay, int width, int height, qzPoint* points, int count,
                        bool shift, int* minX, int* minY, int* outWidth, int* outHeight);

// One integer point mapped about (trunc(width * ax), trunc(height * ay)), truncated toward zero;
// an identity matrix returns the point unchanged.
void TransformPointAboutAnchor(int64_t x, int64_t y, int width, int height, const double* matrix, double ax, double ay,
                               int64_t* outX, int64_t* outY);

// True for ellipses, circles and arcs, and for boxes with any corner rounding.
bool ShapeNeedsCurve(const qzShapeGeometry* shape);

// Adds amount to y for shadow directions 0, 1, 3, 4, 5, 7 and to x for 1, 2, 3, 5, 6, 7.
void AddShadowGrowth(int direction, int amount, int* x, int* y);

// A 2-D vector scaled to length 1 (a zero vector stays as it is), and scaled by a factor.
void NormalizeVector(double* x, double* y);
void ScaleVector(double* x, double* y, double factor);

// Box corner radius for a corner percentage of a width x height box.
int CornerRadius(int percent, int width, int height);
// True when any corner of a width x height box gets a radius above 0.
bool BoxHasRoundedCorners(const int32_t* corners, int width, int height);
