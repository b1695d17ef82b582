#include "display/requesters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_host_services.h"
#include "platform/catalog.h"
#include "platform/host/backend_requesters.h"
#include "platform/plugin_api.h"

namespace {

enum { kMsgOk = 94, kMsgCancel = 307, kMsgYes = 338, kMsgNo = 339 };

// The adapter plugin when it serves the kind, else null.
const qzPluginInfo* AdapterFor(uint32_t kind) {
    const qzPluginInfo* adapter = RequesterAdapter();
    return adapter && (RequesterAdapterFlags() & kind) ? adapter : nullptr;
}

// An adapter whose entry points are stubs is not called: the call yields 0.
bool IsStub(const qzPluginInfo* adapter) { return adapter->callMode == QZ_PLUGIN_CALLMODE_STUB; }

void* NativeHandle(const qzDisplay* display) { return display ? display->nativeHandle : nullptr; }
const qzMacWindow* Owner(const qzDisplay* display) { return display ? display->window : nullptr; }

// Marks the display as being in a requester while it lives and clears its input state after.
class RequesterScope {
public:
    explicit RequesterScope(qzDisplay* display) : display_(display) {
        if (display_) display_->inRequester = 1;
    }
    ~RequesterScope() {
        if (!display_) return;
        display_->inRequester = 0;
        ResetDisplayInputState(display_);
    }
    RequesterScope(const RequesterScope&) = delete;
    RequesterScope& operator=(const RequesterScope&) = delete;

private:
    qzDisplay* display_;
};

// A tag list: tag 1 (the caller's word) first, the tags given, tag 0 last.
struct TagList {
    std::vector<qzTagItem> items;
    explicit TagList(intptr_t extra) { items.push_back({1, extra}); }
    void Add(uint32_t tag, intptr_t value) { items.push_back({tag, value}); }
    const qzTagItem* Done() {
        items.push_back({0, 0});
        return items.data();
    }
};

void FreeAdapterResult(const qzPluginInfo* adapter, int kind, void* result) {
    if (result && adapter->FreeRequest) adapter->FreeRequest(kind, result);
}

// A result the plugin handed out, handed back when it goes: also when copying it runs out of
// memory and unwinds through the requester.
struct AdapterResult {
    const qzPluginInfo* adapter;
    int kind;
    char* result = nullptr;
    ~AdapterResult() { FreeAdapterResult(adapter, kind, result); }
};

bool SameNoCase(const char* a, const std::string& b) { return CompareNoCase(a, b.c_str()) == 0; }

// The file part of a path (after its last '/' or ':'), and the directory before it.
size_t FilePartStart(const std::string& path) {
    size_t slash = path.find_last_of("/:");
    return slash == std::string::npos ? 0 : slash + 1;
}

// A number after the n-th '|' of a font result, 0 when there is none.
int32_t FontResultNumber(const char* text, int n) {
    const char* p = text;
    for (int i = 0; i < n; i++) {
        p = std::strchr(p, '|');
        if (!p) return 0;
        p++;
    }
    return int32_t(std::strtol(p, nullptr, 10));
}

}  // namespace

uint32_t RequesterButtonSet(const char* buttons) {
    if (!buttons || !*buttons) return 1;
    const std::string ok = GetPlayerCatalogString(kMsgOk, "OK");
    const std::string cancel = GetPlayerCatalogString(kMsgCancel, "Cancel");
    const std::string yes = GetPlayerCatalogString(kMsgYes, "Yes");
    const std::string no = GetPlayerCatalogString(kMsgNo, "No");
    if (SameNoCase(buttons, "OK") || SameNoCase(buttons, ok)) return 1;
    if (SameNoCase(buttons, "OK|Cancel") || SameNoCase(buttons, ok + "|" + cancel)) return 2;
    if (SameNoCase(buttons, "Yes|No") || SameNoCase(buttons, yes + "|" + no)) return 4;
    if (SameNoCase(buttons, "Yes|No|Cancel") || SameNoCase(buttons, yes + "|" + no + "|" + cancel)) return 8;
    return 16;
}

int32_t RequesterFontWeight(uint32_t style) {
    static const struct {
        uint32_t bit;
        int32_t weight;
    } kWeights[] = {{1, 0},    {2, 40},    {4, 50},      {8, 75},      {16, 80},    {32, 100},
                    {64, 180}, {128, 200}, {0x100, 205}, {0x200, 210}, {0x400, 215}};
    for (const auto& w : kWeights)
        if (style & w.bit) return w.weight;
    return 80;
}

int ShowSystemRequester(VmState*, qzDisplay* display, const char* title, const char* body, const char* buttons,
                        int icon, intptr_t extra, int* button) {
    *button = 0;
    RequesterScope scope(display);
    const qzPluginInfo* adapter = AdapterFor(QZ_REQADAPTER_SYSTEM);
    if (!adapter) return MacSystemRequest(Owner(display), title, body, buttons, icon, button);
    if (IsStub(adapter) || !adapter->SystemRequest) return 0;
    uint32_t flags = RequesterButtonSet(buttons);
    TagList tags(extra);
    if (flags == 16) tags.Add(2, intptr_t(buttons));
    static const uint32_t kIconBits[] = {32, 64, 128, 0x100, 0x200};
    if (icon >= 0 && icon <= 4) flags |= kIconBits[icon];
    return adapter->SystemRequest(NativeHandle(display), title, body, flags, button, tags.Done());
}

int ShowFileRequester(VmState*, qzDisplay* display, const char* title, const char* pattern, int mode,
                      const char* directory, const char* file, uint32_t, intptr_t extra, qzFileRequesterResult* out) {
    *out = qzFileRequesterResult{};
    RequesterScope scope(display);
    const qzPluginInfo* adapter = AdapterFor(QZ_REQADAPTER_FILE);
    if (!adapter) {
        qzBackendFileResult result;
        int error = MacFileRequest(Owner(display), &result, title, pattern, mode, directory, file);
        if (error) return error;
        out->directory = result.folder;
        out->names = result.names;
        out->count = result.count;
        out->chosen = result.accepted;
        return 0;
    }
    if (IsStub(adapter) || !adapter->FileRequest) return 0;
    const uint32_t modeBits = mode == QZ_REQ_MULTISELECT ? 1 : mode == QZ_REQ_SAVEMODE ? 2 : 0;
    TagList tags(extra);
    if (pattern && *pattern && std::strcmp(pattern, "*") != 0 && std::strcmp(pattern, "#?") != 0)
        tags.Add(2, intptr_t(pattern));
    if (directory) tags.Add(3, intptr_t(directory));
    if (file) tags.Add(4, intptr_t(file));
    AdapterResult owned{adapter, QZ_REQRESULT_FILE};
    char*& result = owned.result;
    int error = adapter->FileRequest(NativeHandle(display), title, modeBits, tags.Done(), &result);
    if (error) return error;
    if (!result) return 0;
    // One path, or (several) NUL-ended paths closed by an empty one.
    std::vector<std::string> paths;
    if (modeBits == 1) {
        for (const char* p = result; *p; p += std::strlen(p) + 1) paths.emplace_back(p);
    } else {
        paths.emplace_back(result);
    }
    if (paths.empty()) return 0;
    out->directory = paths[0].substr(0, FilePartStart(paths[0]));
    for (const std::string& path : paths) {
        out->names += path.substr(FilePartStart(path));
        out->names.push_back('\0');
    }
    out->count = int32_t(paths.size());
    out->chosen = 1;
    return 0;
}

int ShowPathRequester(VmState*, qzDisplay* display, const char* title, int mode, const char* defaultPath,
                      intptr_t extra, std::string* path, int* chosen) {
    path->clear();
    *chosen = 0;
    RequesterScope scope(display);
    const qzPluginInfo* adapter = AdapterFor(QZ_REQADAPTER_PATH);
    if (!adapter) return MacPathRequest(Owner(display), title, defaultPath, path, chosen);
    if (IsStub(adapter) || !adapter->PathRequest) return 0;
    TagList tags(extra);
    if (defaultPath) tags.Add(2, intptr_t(defaultPath));
    AdapterResult owned{adapter, QZ_REQRESULT_PATH};
    char*& result = owned.result;
    int error =
        adapter->PathRequest(NativeHandle(display), title, mode == QZ_REQ_SAVEMODE ? 1 : 0, &result, tags.Done());
    if (!error && result) {
        *path = result;
        *chosen = 1;
    }
    return error;
}

int ShowStringRequester(VmState*, qzDisplay* display, const char* title, const char* body, const char* defaultText,
                        int inputType, int maxLength, int password, intptr_t extra, char* buffer) {
    buffer[0] = 0;
    RequesterScope scope(display);
    const qzPluginInfo* adapter = AdapterFor(QZ_REQADAPTER_STRING);
    if (!adapter)
        return MacStringRequest(Owner(display), buffer, body, defaultText, title, inputType, maxLength, password);
    if (IsStub(adapter) || !adapter->StringRequest) return 0;
    uint32_t bits = inputType >= 1 && inputType <= 4 ? 1u << (inputType - 1) : 0;
    if (password) bits |= 16;
    TagList tags(extra);
    if (defaultText) tags.Add(2, intptr_t(defaultText));
    tags.Add(3, maxLength);
    char* text = nullptr;
    int error = adapter->StringRequest(NativeHandle(display), title, body, bits, tags.Done(), &text);
    if (!error && !text) error = ERR_USERABORT;
    if (!error) {
        size_t n = std::min(std::strlen(text), QZ_STRING_REQUESTER_BUFFER - 1);
        std::memcpy(buffer, text, n);
        buffer[n] = 0;
    }
    FreeAdapterResult(adapter, QZ_REQRESULT_STRING, text);
    return error;
}

int ShowListRequester(VmState*, qzDisplay* display, const char* title, const char* body,
                      const std::vector<std::string>& choices, int preselect, intptr_t extra, int* index) {
    *index = -1;
    RequesterScope scope(display);
    const qzPluginInfo* adapter = AdapterFor(QZ_REQADAPTER_LIST);
    if (!adapter) return MacListRequest(Owner(display), title, body, choices, preselect, index);
    if (IsStub(adapter) || !adapter->ListRequest) return 0;
    std::string run;
    for (const std::string& c : choices) {
        run += c;
        run.push_back('\0');
    }
    run.push_back('\0');
    TagList tags(extra);
    if (preselect != -1) tags.Add(2, preselect);
    return adapter->ListRequest(NativeHandle(display), title, body, run.data(), 0, index, tags.Done());
}

int ShowFontRequester(VmState*, qzDisplay* display, const char* title, const char* defaultName, int defaultSize,
                      intptr_t extra, qzFontRequesterResult* out) {
    *out = qzFontRequesterResult{};
    RequesterScope scope(display);
    const qzPluginInfo* adapter = AdapterFor(QZ_REQADAPTER_FONT);
    if (!adapter) {
        qzBackendFontResult result;
        int error = MacFontRequest(Owner(display), title, defaultName, defaultSize, &result);
        if (error) return error;
        std::memcpy(out->name, result.name, sizeof out->name);
        out->name[sizeof out->name - 1] = 0;
        out->size = result.size;
        out->weight = result.weight;
        out->slant = result.slant;
        out->underline = result.underline;
        out->strikeout = result.strikeout;
        out->bold = result.bold;
        out->italic = result.italic;
        out->further = result.last;
        return 0;
    }
    if (IsStub(adapter) || !adapter->FontRequest) return 0;
    TagList tags(extra);
    if (defaultName && *defaultName) tags.Add(2, intptr_t(defaultName));
    if (defaultSize) tags.Add(3, defaultSize);
    char* result = nullptr;
    uint32_t style = 0;
    int error = adapter->FontRequest(NativeHandle(display), title, 0, &result, tags.Done(), &style);
    if (!error && result) {
        const char* bar = std::strchr(result, '|');
        size_t n = bar ? size_t(bar - result) : std::strlen(result);
        n = std::min(n, sizeof out->name - 1);
        std::memcpy(out->name, result, n);
        out->name[n] = 0;
        out->size = FontResultNumber(result, 1);
        out->further = FontResultNumber(result, 2);
        out->weight = RequesterFontWeight(style);
        out->slant = (style & 0x800) ? 0 : (style & 0x1000) ? 100 : (style & 0x2000) ? 110 : 0;
        out->underline = (style >> 14) & 1;
        out->strikeout = (style >> 15) & 1;
        out->bold = (style >> 16) & 1;
        out->italic = (style >> 17) & 1;
    }
    FreeAdapterResult(adapter, QZ_REQRESULT_FONT, result);
    return error;
}

int ShowColorRequester(VmState*, qzDisplay* display, const char* title, int32_t initial, intptr_t extra,
                       int32_t* colour) {
    *colour = -1;
    RequesterScope scope(display);
    const qzPluginInfo* adapter = AdapterFor(QZ_REQADAPTER_COLOR);
    if (!adapter) return MacColorRequest(Owner(display), title, initial, colour);
    if (IsStub(adapter) || !adapter->ColorRequest) return 0;
    TagList tags(extra);
    if (initial != -1) tags.Add(2, initial);
    uint32_t chosen = uint32_t(-1);  // left so by an adapter whose user cancelled
    int error = adapter->ColorRequest(NativeHandle(display), title, &chosen, tags.Done());
    if (!error) *colour = int32_t(chosen);
    return error;
}

namespace {

constexpr size_t kHostPathBuffer = 1024;

// Copies the path when it fits with its NUL; else empties the buffer.
int CopyHostPath(const std::string& path, char* buffer) {
    buffer[0] = 0;
    if (path.empty() || path.size() >= kHostPathBuffer) return 0;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return 1;
}

}  // namespace

int HostSystemRequest(const char* title, const char* body, const char* buttons) {
    int button = 0;
    ShowSystemRequester(nullptr, CurrentDisplay(), title, body, buttons, QZ_REQICON_INFORMATION, 0, &button);
    return button;
}

int HostFileRequest(const char* title, char* buffer) {
    if (!buffer) return 0;
    buffer[0] = 0;
    qzFileRequesterResult result;
    int error =
        ShowFileRequester(nullptr, CurrentDisplay(), title, "#?", QZ_REQ_NORMAL, nullptr, nullptr, 0, 0, &result);
    if (error || !result.chosen) return 0;
    return CopyHostPath(result.directory + result.names.substr(0, result.names.find('\0')), buffer);
}

int HostPathRequest(const char* title, char* buffer) {
    if (!buffer) return 0;
    buffer[0] = 0;
    std::string path;
    int chosen = 0;
    int error = ShowPathRequester(nullptr, CurrentDisplay(), title, 0, nullptr, 0, &path, &chosen);
    if (error || !chosen) return 0;
    return CopyHostPath(path, buffer);
}

namespace {

// The display code asks its questions while the display library is open.
bool enabled = false;

}  // namespace

void EnableRequesters(bool on) { enabled = on; }

int AskDisplayButtons(VmState* state, qzDisplay* display, const char* title, const char* body, const char* buttons,
                      int* button) {
    if (!enabled) return ERR_USERABORT;
    return ShowSystemRequester(state, display, title, body, buttons, QZ_REQICON_QUESTION, 0, button);
}

int AskDisplayList(VmState* state, qzDisplay* display, const char* title, const char* body,
                   const std::vector<std::string>& choices, int preselect, int* index) {
    if (!enabled) return ERR_USERABORT;
    return ShowListRequester(state, display, title, body, choices, preselect, 0, index);
}
