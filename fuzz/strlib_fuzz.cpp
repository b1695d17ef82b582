// Fuzz target for the string library's commands that read script-supplied formats, patterns and
// number text: the first byte picks a command and its numeric arguments, the rest is split at
// 0xFF bytes into its text arguments. Every call must end in results or an error code.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "libs/string/string_lib.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"

namespace {

// Splits the input at 0xFF into at least count pieces (missing ones are empty).
std::vector<std::string> Pieces(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0xFF)
            pieces.emplace_back();
        else
            pieces.back().push_back(static_cast<char>(data[i]));
    }
    while (pieces.size() < count) pieces.emplace_back();
    return pieces;
}

void Call(VmState* L, const char* name, const std::vector<std::string>& texts, const std::vector<double>& numbers) {
    VmSetTop(L, 0);
    VmPushString(L, name);
    VmGetTable(L, VM_GLOBALSINDEX);
    for (const std::string& t : texts) VmPushLString(L, t.data(), t.size());
    for (double n : numbers) VmPushNumber(L, n);
    VmProtectedCall(L, static_cast<int>(texts.size() + numbers.size()), VM_MULTRET, 0);
    VmSetTop(L, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    VmState* L = VmOpen();
    if (!L) return 0;
    OpenLibrary(L, &qzStringLibrary);
    uint8_t pick = data[0];
    std::vector<std::string> p = Pieces(data + 1, size - 1, 3);
    double small = static_cast<double>(static_cast<int8_t>(pick)) / 4;  // -32 .. 31.75
    // Backtracking over a few lazy or greedy items is exponential in the subject's length, so the
    // pattern commands get short subjects and patterns: the engine is checked for faults, not for
    // the time a pathological pattern takes.
    if (pick % 8 == 1 || pick % 8 == 2) {
        if (p[0].size() > 8) p[0].resize(8);
        if (p[1].size() > 16) p[1].resize(16);
    }
    switch (pick % 8) {
    case 0: Call(L, "formatstr", {p[0], p[1]}, {small, 1e300, -1}); break;
    case 1: Call(L, "patternfindstrdirect", {p[0], p[1]}, {static_cast<double>(pick % 5)}); break;
    case 2: Call(L, "patternreplacestr", {p[0], p[1], p[2]}, {small}); break;
    case 3: Call(L, "replacestr", {p[0], p[1], p[2]}, {static_cast<double>(pick & 16), small}); break;
    case 4: Call(L, "tonumber", {p[0]}, {static_cast<double>(pick % 40)}); break;
    case 5: Call(L, "eval", {p[0]}, {}); break;
    case 6: Call(L, "insertstr", {p[0], p[1]}, {small, static_cast<double>(pick & 8)}); break;
    default:
        Call(L, "unmidstr", {p[0]}, {small, static_cast<double>(pick)});
        Call(L, "midstr", {p[0]}, {small, static_cast<double>(pick)});
        Call(L, "val", {p[0]}, {});
        break;
    }
    VmClose(L);
    FreeObjectRegistry();  // the command table registered above
    return 0;
}
