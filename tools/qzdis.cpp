// qzdis CHUNK: prints a chunk file as assembler text on stdout.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asm/asm.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: qzdis CHUNK\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        fprintf(stderr, "qzdis: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    std::string text = QzDisassemble(bytes.data(), bytes.size(), &error);
    fwrite(text.data(), 1, text.size(), stdout);
    if (!error.empty()) {
        fprintf(stderr, "qzdis: %s: %s (printed as raw bytes)\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
