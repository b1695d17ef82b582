// qzasm SOURCE -o OUTPUT [--big-endian] [--applet] [--truncate N]: assembles a source text into a chunk file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "asm/asm.h"
#include "tool_file.h"

static int Usage() {
    fprintf(stderr, "usage: qzasm SOURCE -o OUTPUT [--big-endian] [--applet] [--truncate N]\n");
    return 2;
}

int main(int argc, char** argv) {
    const char* source = nullptr;
    const char* output = nullptr;
    AsmOptions options;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            output = argv[++i];
        else if (strcmp(argv[i], "--big-endian") == 0)
            options.bigEndian = true;
        else if (strcmp(argv[i], "--applet") == 0)
            options.applet = true;
        else if (strcmp(argv[i], "--truncate") == 0 && i + 1 < argc) {
            char* end;
            options.truncateAt = strtoll(argv[++i], &end, 10);
            if (*end || options.truncateAt < 0) return Usage();
        } else if (!source && argv[i][0] != '-')
            source = argv[i];
        else
            return Usage();
    }
    if (!source || !output) return Usage();

    std::vector<uint8_t> text;
    if (!ReadWholeFile(source, &text)) {
        fprintf(stderr, "qzasm: cannot read %s\n", source);
        return 1;
    }
    std::string error;
    std::vector<uint8_t> chunk = QzAssemble(std::string(text.begin(), text.end()), options, &error);
    if (!error.empty()) {
        fprintf(stderr, "%s: %s\n", source, error.c_str());
        return 1;
    }
    // Write beside the target and rename, so a failed write never leaves a half-written chunk.
    std::string temp = std::string(output) + ".tmp";
    FILE* f = fopen(temp.c_str(), "wb");
    bool ok = f && fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size();
    if (f && fclose(f) != 0) ok = false;
    if (!ok || rename(temp.c_str(), output) != 0) {
        remove(temp.c_str());
        fprintf(stderr, "qzasm: cannot write %s\n", output);
        return 1;
    }
    return 0;
}
