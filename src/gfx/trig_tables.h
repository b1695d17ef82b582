// The sine and cosine of every whole degree 0..360, one shared pair of 361-entry tables of the
// graphics core (layer matrix decomposition, ellipse outlines, shapes). They are filled once on
// first use (thread-safe) and never change afterwards.
#pragma once

// sin(i degrees) and cos(i degrees) for i = 0..360.
const double* DegreeSinTable();
const double* DegreeCosTable();
