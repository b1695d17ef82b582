// Lookup of linked files by name.
#include "runtime/linked_file.h"

#include <cstring>

#include "base/charset.h"
#include "platform/chunk_name.h"
#include "runtime/applet_records.h"
#include "runtime/player_records.h"
#include "vm/vm_aux.h"

namespace {

const char kFontPrefix[] = "::font:";
constexpr size_t kFontPrefixLen = sizeof(kFontPrefix) - 1;

// The chunk name of the last lookup; the VM and its commands run on the main thread only.
char chunkNameBuffer[1024];

bool HasFontPrefix(const std::string& name) {
    return name.size() >= kFontPrefixLen && CompareNoCaseN(name.c_str(), kFontPrefix, kFontPrefixLen) == 0;
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    return text.size() >= n && CompareNoCase(text.c_str() + text.size() - n, suffix) == 0;
}

std::string Slashes(std::string text) {
    for (char& c : text)
        if (c == '\\') c = '/';
    return text;
}

}  // namespace

const char* ResolveLinkedFileIn(const qzLinkedFile* list, uint64_t base, const char* appletPath, const char* name,
                                int kind, int* isFont, char* buffer, size_t bufferSize) {
    if (isFont) *isFont = 0;
    if (!name) return name;
    std::string wanted = name;
    bool fontLookup = false;
    if (kind != 0) {
        if (EndsWithNoCase(wanted, ".ttf") || EndsWithNoCase(wanted, ".otf")) {
            fontLookup = false;
        } else {
            fontLookup = true;
            if (EndsWithNoCase(wanted, ".font")) wanted.resize(wanted.size() - 5);
        }
    }
    std::string wantedSlashes = Slashes(wanted);
    for (const qzLinkedFile* entry = list; entry; entry = entry->next) {
        bool font = HasFontPrefix(entry->name);
        std::string embedded;
        if (fontLookup) {
            if (!font || CompareNoCase(entry->name.c_str() + kFontPrefixLen, wanted.c_str()) != 0) continue;
            embedded = entry->name.substr(kFontPrefixLen);
        } else {
            if (font || CompareNoCase(Slashes(entry->name).c_str(), wantedSlashes.c_str()) != 0) continue;
            embedded = entry->name;
        }
        const char* container =
            entry->containerPath.empty() ? (appletPath ? appletPath : "") : entry->containerPath.c_str();
        MakeChunkName(embedded.c_str(), buffer, bufferSize, static_cast<int64_t>(base), entry->size, entry->offset,
                      container);
        if (isFont) *isFont = fontLookup ? 1 : 0;
        return buffer;
    }
    return name;
}

const char* ResolveLinkedFileName(VmState* state, const char* name, int kind, int* isFont) {
    if (isFont) *isFont = 0;
    const qzAppletDescriptor* applet = GetAppletDescriptor(state);
    if (!applet || !name) return name;
    return ResolveLinkedFileIn(applet->linkedFiles, applet->containerBase, applet->containerPath.c_str(), name, kind,
                               isFont, chunkNameBuffer, sizeof(chunkNameBuffer));
}

const char* ResolveLinkedFileArg(VmState* state, int index, int kind, int* isFont) {
    return ResolveLinkedFileName(state, VmCheckString(state, index), kind, isFont);
}
