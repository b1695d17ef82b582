// Helpers of the assembler and disassembler tests: assembling with a checked error, the
// bytes -> text -> bytes round trip, files and shell commands.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "asm/asm.h"

inline std::vector<uint8_t> Assemble(const std::string& text, const AsmOptions& opts = AsmOptions()) {
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(text, opts, &error);
    EXPECT_EQ(error, "") << text;
    return bytes;
}

// Disassembles, assembles the text again and expects the same bytes; returns the text. Whether
// everything decoded must match expectDecodable.
inline std::string ExpectRoundTrip(const std::vector<uint8_t>& bytes, bool expectDecodable = true) {
    std::string error;
    std::string text = QzDisassemble(bytes.data(), bytes.size(), &error);
    EXPECT_EQ(error.empty(), expectDecodable) << error << "\n" << text;
    std::string asmError;
    std::vector<uint8_t> again = QzAssemble(text, AsmOptions(), &asmError);
    EXPECT_EQ(asmError, "") << text;
    EXPECT_EQ(again, bytes) << text;
    return text;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a shell command; returns its exit status and its standard output.
inline int Shell(const std::string& cmd, std::string* out) {
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    out->clear();
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
