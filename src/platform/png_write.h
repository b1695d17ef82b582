// A small PNG writer for pictures the platform itself saves (window snapshots): 8-bit RGB, or
// RGBA when an alpha plane is given. The file is written beside its name and renamed over it
// when complete, so a failure never leaves a half-written file in its place.
#pragma once

#include <cstdint>
#include <string>

// pixels: width x height words 0x??RRGGBB, rowPixels a row; alpha: null, or width x height bytes
// (width a row). True when the file was written.
bool WritePngFile(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowPixels,
                  const uint8_t* alpha);
