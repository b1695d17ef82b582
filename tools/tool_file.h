// Whole-file reading for the command-line tools.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// Reads a whole file by reading until its end, so that files whose size is unknown up front
// (pipes, devices) read too. False when it cannot be opened or a read fails (a directory, say).
inline bool ReadWholeFile(const char* path, std::vector<uint8_t>* data) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    data->clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) data->insert(data->end(), buffer, buffer + n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}
