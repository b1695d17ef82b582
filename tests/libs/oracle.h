// Helpers for the library tests: temporary files and python3 as an independent oracle.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace libtest {

// A fresh temporary directory, removed with its contents at the end of the scope.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/qzlibtest.XXXXXX";
        const char* p = mkdtemp(tmpl);
        path = p ? p : "/tmp";
    }
    ~TempDir() {
        std::string cmd = "rm -rf '" + path + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs a python3 program with the given arguments and returns its standard output.
inline std::string Python(const std::string& program, const std::string& args = "") {
    char tmpl[] = "/tmp/qzlibpy.XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return "";
    close(fd);
    WriteFile(tmpl, program);
    std::string cmd = std::string("/usr/bin/python3 ") + tmpl + " " + args;
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    unlink(tmpl);
    return out;
}

// Deterministic pseudo-random bytes.
inline std::string RandomBytes(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = (char)(seed >> 24);
    }
    return s;
}

}  // namespace libtest
