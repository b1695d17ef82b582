// One path written once and built twice: with the vectorgraphics commands (our path) and with
// cairo (the reference). The path ops are the script commands' (absolute and relative moves,
// lines and curves, closes, arcs, circles, ellipses, rounded boxes, text); cairo renders the same
// geometry into an A8 surface, so that its coverage can be compared with the inbuilt engine's.
#pragma once

#include <cairo-ft.h>
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/commands.h"

namespace vectortest {

struct PathOp {
    char op;                // M m L l C c Z A (arc) O (circle) E (ellipse) B (box) T (text)
    std::vector<double> v;  // the command's numbers after the path id
    std::string text;       // T: UTF-8
    PathOp(char o, std::vector<double> values, std::string t = {}) : op(o), v(std::move(values)), text(std::move(t)) {}
};

// The ops as vectorgraphics commands on path `id` (text as UTF-8).
inline void BuildPath(qztest::Commands& vm, int id, const std::vector<PathOp>& ops) {
    for (const PathOp& o : ops) {
        std::vector<qztest::Arg> args{id};
        for (double d : o.v) args.push_back(d);
        switch (o.op) {
        case 'M': vm.Ok("MoveTo", args); break;
        case 'm': vm.Ok("RelMoveTo", args); break;
        case 'L': vm.Ok("LineTo", args); break;
        case 'l': vm.Ok("RelLineTo", args); break;
        case 'C': vm.Ok("CurveTo", args); break;
        case 'c': vm.Ok("RelCurveTo", args); break;
        case 'Z': vm.Ok("ClosePath", args); break;
        case 'A': vm.Ok("AddArcToPath", args); break;
        case 'O': vm.Ok("AddCircleToPath", args); break;
        case 'E': vm.Ok("AddEllipseToPath", args); break;
        case 'B': {
            std::vector<qztest::Arg> box{id, o.v[0], o.v[1], o.v[2], o.v[3]};
            box.push_back(qztest::Arg::Table(
                {{"cornera", o.v[4]}, {"cornerb", o.v[5]}, {"cornerc", o.v[6]}, {"cornerd", o.v[7]}}));
            vm.Ok("AddBoxToPath", box);
            break;
        }
        case 'T': vm.Ok("AddTextToPath", {id, o.text, qztest::Arg::Table({{"encoding", 1}})}); break;
        }
    }
}

// An elliptic arc in cairo: a circle of radius 1 scaled to the radii.
inline void CairoEllipseArc(cairo_t* cr, double cx, double cy, double rx, double ry, double a0, double a1,
                            bool clockwise) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    if (clockwise)
        cairo_arc(cr, 0, 0, 1, a0, a1);
    else
        cairo_arc_negative(cr, 0, 0, 1, a0, a1);
    cairo_restore(cr);
}

// The same path in cairo; text in the face at size pixels.
inline void CairoPath(cairo_t* cr, const std::vector<PathOp>& ops, cairo_font_face_t* face, double size) {
    const double d = M_PI / 180;
    for (const PathOp& o : ops) {
        const std::vector<double>& v = o.v;
        switch (o.op) {
        case 'M': cairo_move_to(cr, v[0], v[1]); break;
        case 'm': cairo_rel_move_to(cr, v[0], v[1]); break;
        case 'L': cairo_line_to(cr, v[0], v[1]); break;
        case 'l': cairo_rel_line_to(cr, v[0], v[1]); break;
        case 'C': cairo_curve_to(cr, v[0], v[1], v[2], v[3], v[4], v[5]); break;
        case 'c': cairo_rel_curve_to(cr, v[0], v[1], v[2], v[3], v[4], v[5]); break;
        case 'Z': cairo_close_path(cr); break;
        case 'A': CairoEllipseArc(cr, v[0], v[1], v[2], v[3], v[4] * d, v[5] * d, v.size() < 7 || v[6] != 0); break;
        case 'O':
            cairo_new_sub_path(cr);
            CairoEllipseArc(cr, v[0], v[1], v[2], v[2], 0, 2 * M_PI, true);
            break;
        case 'E':
            cairo_new_sub_path(cr);
            CairoEllipseArc(cr, v[0], v[1], v[2], v[3], 0, 2 * M_PI, true);
            break;
        case 'B': {
            double x1 = v[0], y1 = v[1], x2 = v[0] + v[2], y2 = v[1] + v[3];
            double side = std::min(std::trunc(v[2]), std::trunc(v[3]));
            double r[4];
            for (int i = 0; i < 4; i++) r[i] = v[4 + i] / 100 * side / 2;
            cairo_new_sub_path(cr);
            cairo_move_to(cr, x1 + r[0], y1);
            cairo_arc_negative(cr, x1 + r[0], y1 + r[0], r[0], 270 * d, 180 * d);
            cairo_line_to(cr, x1, y2 - r[1]);
            cairo_arc_negative(cr, x1 + r[1], y2 - r[1], r[1], 180 * d, 90 * d);
            cairo_line_to(cr, x2 - r[2], y2);
            cairo_arc_negative(cr, x2 - r[2], y2 - r[2], r[2], 90 * d, 0);
            cairo_line_to(cr, x2, y1 + r[3]);
            cairo_arc_negative(cr, x2 - r[3], y1 + r[3], r[3], 0, -90 * d);
            cairo_close_path(cr);
            break;
        }
        case 'T':
            cairo_set_font_face(cr, face);
            cairo_set_font_size(cr, size);
            cairo_text_path(cr, o.text.c_str());
            break;
        }
    }
}

// How the reference draws: filled with a rule, or stroked with width, cap and join.
struct CairoStyle {
    bool fill = true;
    bool evenOdd = false;
    double width = 1;
    int cap = 0;                     // 0 butt, 1 round, 2 square
    int join = 0;                    // 0 miter, 1 round, 2 bevel
    const double* matrix = nullptr;  // m0..m3, applied to the path and its stroke
};

// Cairo's coverage of the path in a width x height plane whose top-left corner is (x, y) after
// the matrix: what the engine draws when its bounding box starts at (x, y).
inline std::vector<uint8_t> CairoCoverage(const std::vector<PathOp>& ops, const CairoStyle& style, double x, double y,
                                          int width, int height, cairo_font_face_t* face = nullptr, double size = 0) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, -x, -y);
    if (style.matrix) {
        cairo_matrix_t m;
        cairo_matrix_init(&m, style.matrix[0], style.matrix[1], style.matrix[2], style.matrix[3], 0, 0);
        cairo_transform(cr, &m);
    }
    CairoPath(cr, ops, face, size);
    if (style.fill) {
        cairo_set_fill_rule(cr, style.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr);
    } else {
        const cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE};
        const cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL};
        cairo_set_line_width(cr, style.width);
        cairo_set_line_cap(cr, caps[style.cap]);
        cairo_set_line_join(cr, joins[style.join]);
        cairo_set_miter_limit(cr, 2048);
        cairo_stroke(cr);
    }
    cairo_surface_flush(surface);
    std::vector<uint8_t> plane(size_t(width) * size_t(height));
    const unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int row = 0; row < height; row++)
        std::copy(data + size_t(row) * stride, data + size_t(row) * stride + width,
                  plane.begin() + size_t(row) * width);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return plane;
}

}  // namespace vectortest
