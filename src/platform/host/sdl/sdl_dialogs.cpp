// The SDL driver's requesters and clipboard: message boxes through SDL, the other dialogs through
// zenity, clipboard text through SDL and clipboard pictures (PNG) through xclip.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstring>
#include <memory>

#include "base/error_codes.h"
#include "platform/host/sdl/sdl_driver.h"
#include "platform/host/sdl/zenity.h"
#include "platform/os_child.h"
#include "platform/os_time.h"

namespace {

// Clipboard changes that SDL reports this soon after a change of our own are that change.
constexpr uint64_t kOwnChangeMicros = 500000;
uint64_t gOwnChangeUntil = 0;

// How long a clipboard tool may take to answer: an owner that does not answer makes the clipboard
// unreadable, not the player hang.
constexpr int kClipboardTimeoutMs = 3000;
constexpr size_t kMaxClipboardBytes = size_t(256) << 20;

// While a child program runs, SDL still serves the window system: another program (the child
// itself, when it reads our own clipboard) may be asking for the clipboard.
void PumpWindowSystem(void*) { SDL_PumpEvents(); }

// Input made while a modal dialog was up did not reach the program.
void DropInputEvents() {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
}

bool UsingX11() {
    const char* video = SDL_GetCurrentVideoDriver();
    return video && std::strcmp(video, "x11") == 0;
}

unsigned long X11WindowOf(qzHostWindow* window) {
    SDL_Window* w = window ? SdlWindowOf(window) : nullptr;
    if (!w || !UsingX11()) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return static_cast<unsigned long>(info.info.x11.window);
}

int MessageBox(const qzHostDialog& d, qzHostDialogAnswer* answer, std::string* message) {
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (size_t i = 0; i < d.buttons.size(); i++) {
        SDL_MessageBoxButtonData b = {};
        b.buttonid = int(i);
        b.text = d.buttons[i].c_str();
        if (int32_t(i) == d.defaultButton) b.flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (int32_t(i) == d.cancelButton) b.flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        buttons.push_back(b);
    }
    SDL_MessageBoxData data = {};
    data.flags = SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    if (d.icon == QZ_HICON_ERROR)
        data.flags |= SDL_MESSAGEBOX_ERROR;
    else if (d.icon == QZ_HICON_WARNING)
        data.flags |= SDL_MESSAGEBOX_WARNING;
    else if (d.icon == QZ_HICON_INFORMATION)
        data.flags |= SDL_MESSAGEBOX_INFORMATION;
    data.window = d.parent ? SdlWindowOf(d.parent) : nullptr;
    data.title = d.title.c_str();
    data.message = d.text.c_str();
    data.numbuttons = int(buttons.size());
    data.buttons = buttons.data();
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        *message = std::string("SDL: ") + SDL_GetError();
        return ERR_WINDOW;
    }
    DropInputEvents();
    *answer = qzHostDialogAnswer{};
    if (pressed >= 0 && size_t(pressed) < d.buttons.size()) {
        answer->accepted = 1;
        answer->button = pressed;
    }
    return 0;
}

}  // namespace

int SdlDialog(const qzHostDialog& dialog, qzHostDialogAnswer* answer, std::string* message) {
    *answer = qzHostDialogAnswer{};
    if (dialog.kind == QZ_HDLG_MESSAGE) return MessageBox(dialog, answer, message);
    if (!OsFindProgram("zenity")) {
        // Said to the user in the one dialog there is.
        *message = "This requester needs the program \"zenity\", which is not installed.";
        qzHostDialog note;
        note.parent = dialog.parent;
        note.title = dialog.title;
        note.text = *message;
        note.buttons = {"OK"};
        note.icon = QZ_HICON_ERROR;
        note.defaultButton = note.cancelButton = 0;
        qzHostDialogAnswer ignored;
        std::string unused;
        MessageBox(note, &ignored, &unused);
        return ERR_WINDOW;
    }
    int error = ZenityDialog(dialog, X11WindowOf(dialog.parent), PumpWindowSystem, nullptr, answer, message);
    DropInputEvents();
    return error;
}

namespace {

bool IsTextTarget(const std::string& t) {
    return t == "UTF8_STRING" || t == "STRING" || t == "TEXT" || t == "COMPOUND_TEXT" || t.rfind("text/plain", 0) == 0;
}

bool IsImageTarget(const std::string& t) { return t.rfind("image/", 0) == 0; }

// Runs xclip on the clipboard selection; true with its output when it ended well.
bool RunXclip(const std::vector<std::string>& args, const std::string* input, std::string* output) {
    qzChildRun run;
    run.argv = {"xclip", "-selection", "clipboard"};
    run.argv.insert(run.argv.end(), args.begin(), args.end());
    run.input = input;
    // xclip stays in the background to serve what it was given: its output is not waited for.
    run.captureOutput = output != nullptr;
    run.maxOutput = kMaxClipboardBytes;
    run.timeoutMs = kClipboardTimeoutMs;
    run.idle = PumpWindowSystem;
    qzChildResult result;
    if (!OsRunChild(run, &result) || result.exitCode != 0) return false;
    if (output) *output = std::move(result.output);
    return true;
}

int ReadText(int withData, qzHostClipboard* out) {
    out->kind = QZ_HCLIP_EMPTY;
    if (!SDL_HasClipboardText()) return 0;
    // Freed also when copying it runs out of memory and unwinds through here.
    std::unique_ptr<char, decltype(&SDL_free)> text(SDL_GetClipboardText(), SDL_free);
    if (!text) return ERR_CLIPREAD;
    if (*text) {
        out->kind = QZ_HCLIP_TEXT;
        if (withData) out->text = text.get();
    }
    return 0;
}

}  // namespace

int SdlClipboardRead(int withData, qzHostClipboard* out) {
    *out = qzHostClipboard{};
    if (!UsingX11() || !OsFindProgram("xclip")) return ReadText(withData, out);
    // The clipboard owner's formats, in its order: the first text or picture format decides.
    std::string list;
    if (!RunXclip({"-t", "TARGETS", "-o"}, nullptr, &list)) return ReadText(withData, out);
    std::vector<std::string> targets;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) targets.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& target : targets) {
        if (IsTextTarget(target)) return ReadText(withData, out);
        if (!IsImageTarget(target)) continue;
        out->kind = QZ_HCLIP_IMAGE;
        if (!withData) return 0;
        // PNG when the owner offers it, else its first picture format.
        std::string format = target;
        for (const std::string& t : targets) {
            if (t == "image/png") format = t;
        }
        std::string data;
        if (!RunXclip({"-t", format, "-o"}, nullptr, &data)) return ERR_CLIPREAD;
        out->png.assign(data.begin(), data.end());
        return 0;
    }
    out->kind = targets.empty() ? QZ_HCLIP_EMPTY : QZ_HCLIP_UNKNOWN;
    return 0;
}

int SdlClipboardWrite(const qzHostClipboard& contents) {
    gOwnChangeUntil = OsMonotonicMicros() + kOwnChangeMicros;
    if (contents.kind == QZ_HCLIP_IMAGE) {
        if (!UsingX11() || !OsFindProgram("xclip")) return ERR_CLIPWRITE;
        std::string png(contents.png.begin(), contents.png.end());
        return RunXclip({"-t", "image/png", "-i"}, &png, nullptr) ? 0 : ERR_CLIPWRITE;
    }
    const char* text = contents.kind == QZ_HCLIP_TEXT ? contents.text.c_str() : "";
    if (SDL_SetClipboardText(text) != 0) return ERR_CLIPWRITE;
    // The claim on the selection goes to the X server now, so that a reader that asks right after
    // (another program, or this one through xclip) finds the new owner and not the old one.
    SDL_PumpEvents();
    return 0;
}

bool SdlClipboardChangeIsOwn() { return OsMonotonicMicros() < gOwnChangeUntil; }
