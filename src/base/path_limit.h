// The engine's one path-length limit: a path buffer holds QZ_PATH_MAX bytes, terminator included,
// so a path has at most QZ_MAX_PATH characters.
#pragma once

#include <cstddef>

constexpr size_t QZ_PATH_MAX = 1024;
constexpr size_t QZ_MAX_PATH = QZ_PATH_MAX - 1;
