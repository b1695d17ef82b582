// Shared steps of the end-to-end tests: where the built player lives, writing an assembled applet
// to a file, reading a file back and capturing what a shell command prints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The build tree: QZ_BINARY_DIR from the environment, else the one the tests were built in.
inline std::string BinaryDir() {
    const char* env = std::getenv("QZ_BINARY_DIR");
    return env && *env ? env : QZ_BINARY_DIR;
}

// The seconds a player run may take: 60, or ctest's limit for a test of the full
// allocation-failure sweep (QZ_OOM_PASS set), where the player's test binary runs the applet once
// per swept allocation before it runs it as asked.
inline int PlayerTimeLimit() {
    const char* pass = std::getenv("QZ_OOM_PASS");
    return pass && *pass ? 3600 : 60;
}

// The `timeout` prefix of a shell command that runs the player.
inline std::string PlayerTimeout() { return "timeout " + std::to_string(PlayerTimeLimit()) + " "; }

// The whole file, or "" when it cannot be read.
inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes the bytes of an assembled applet to path.
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs a shell command and returns what it printed on its standard output; *status gets the
// status pclose reports, or stays -1 when the command could not be started.
inline std::string CaptureOutput(const std::string& command, int* status) {
    std::string output;
    *status = -1;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
        *status = pclose(p);
    }
    return output;
}
