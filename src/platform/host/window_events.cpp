#include "platform/host/window_events.h"

#include <cstring>

#include "base/charset.h"
#include "base/event_types.h"
#include "platform/host/backend_menus.h"
#include "platform/host/event_loop.h"
#include "platform/host/host.h"
#include "platform/host/pointer.h"
#include "platform/os_alloc.h"
#include "platform/os_path.h"
#include "platform/os_time.h"

namespace {

// Set when an engine event could not be queued for want of memory; the event pass reports it.
bool gEventLost = false;

int Post(qzHostWindow* window, int32_t type, int32_t p1 = 0, int32_t p2 = 0, int32_t p3 = 0, void* userdata = nullptr) {
    int posted = HostHooks().postEvent(window->display, type, p1, p2, p3, userdata);
    if (posted < 0) gEventLost = true;
    return posted;
}

void SetKeyState(qzHostWindow* window, int32_t code, int pressed) {
    if (code > 0 && code < QZ_KEYSTATE_SIZE) window->keyState[code] = static_cast<uint8_t>(pressed);
}

void PostKey(qzHostWindow* window, int32_t code, int pressed) {
    SetKeyState(window, code, pressed);
    Post(window, QZ_EVENT_KEY, pressed, 0, code);
    if (code == QZ_KEY_ESCAPE) window->escape = 1;
}

// Remembers which engine code the physical key's down reported.
void RememberKey(qzHostWindow* window, uint32_t scancode, int32_t code) {
    for (qzHostWindow::KeyDown& k : window->keysDown) {
        if (k.scancode == scancode) {
            k.code = code;
            return;
        }
    }
    window->keysDown.push_back({scancode, code});
}

// The engine code the physical key's down reported (0 when none), forgotten.
int32_t ForgetKey(qzHostWindow* window, uint32_t scancode) {
    for (size_t i = 0; i < window->keysDown.size(); i++) {
        if (window->keysDown[i].scancode == scancode) {
            int32_t code = window->keysDown[i].code;
            window->keysDown.erase(window->keysDown.begin() + static_cast<long>(i));
            return code;
        }
    }
    return 0;
}

// A character key whose text did not arrive (the window system typed nothing for it): the
// key's own character stands for it.
void FlushPendingKey(qzHostWindow* window) {
    if (!window->keyPending) return;
    window->keyPending = false;
    const qzHostEvent& key = window->pendingKey;
    int32_t character = key.keyChar;
    if (key.modifiers & QZ_HMOD_SHIFT) character = ToUpperChar(character);
    int32_t code = character > 0 ? EngineCodeForCharacter(static_cast<uint32_t>(character)) : 0;
    if (!code) return;
    RememberKey(window, key.scancode, code);
    PostKey(window, code, 1);
}

void FlushAllPendingKeys() {
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) FlushPendingKey(w);
}

// Command+Return released: asks for the full-screen toggle when the display allows it now.
void RequestToggle(qzHostWindow* window) {
    const qzHostWindowSettings& s = window->settings;
    if (!HostHooks().displayUnobstructed(window->display) || (s.flags & QZ_DISPLAYFLAG_NOMODESWITCH) ||
        s.toggleLock != 0)
        return;
    window->pendingToggle = s.fullScreen ? 0 : 1;
    Post(window, QZ_EVENT_MODESWITCH);
}

void HandleKey(qzHostWindow* window, const qzHostEvent& event) {
    // The text of a key that chose a menu entry comes before the key's release.
    window->dropText = false;
    if (event.pressed) {
        FlushPendingKey(window);
        if ((event.modifiers & (QZ_HMOD_CTRL | QZ_HMOD_GUI)) && event.key == QZ_HKEY_CHAR && !event.repeat &&
            HandleMenuHotkey(window, uint32_t(event.keyChar))) {
            window->dropText = true;
            return;
        }
        if (event.modifiers & QZ_HMOD_CTRL) {
            // Control combinations type nothing; Ctrl-C asks to quit.
            if (event.keyChar == 'c') window->ctrlC = 1;
            return;
        }
        if (event.key == QZ_HKEY_CHAR) {
            // Its character comes in the text event that follows.
            window->keyPending = true;
            window->pendingKey = event;
            return;
        }
        int32_t code = EngineCodeForHostKey(event.key);
        if (!code) return;
        RememberKey(window, event.scancode, code);
        PostKey(window, code, 1);
        return;
    }

    if (window->keyPending && window->pendingKey.scancode == event.scancode) FlushPendingKey(window);
    int32_t code = ForgetKey(window, event.scancode);
    if (event.modifiers & QZ_HMOD_CTRL) {
        // No event, as for the press; the key counts as up again.
        SetKeyState(window, code, 0);
        return;
    }
    if ((event.modifiers & QZ_HMOD_GUI) && event.key == QZ_HKEY_RETURN) RequestToggle(window);
    if (code) PostKey(window, code, 0);
}

void HandleText(qzHostWindow* window, const qzHostEvent& event) {
    if (window->dropText) {
        window->dropText = false;
        return;
    }
    const std::string& text = event.text;
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        size_t length = DecodeUtf8Char(text, i, &codePoint);
        if (length == 0) {
            i++;  // not UTF-8: skipped
            continue;
        }
        i += length;
        int32_t code = EngineCodeForCharacter(codePoint);
        if (window->keyPending) {
            // The character of the key that was pressed: its key-up clears the same code.
            window->keyPending = false;
            if (code) {
                RememberKey(window, window->pendingKey.scancode, code);
                PostKey(window, code, 1);
            }
            continue;
        }
        // Text without a key of its own (composed characters): pressed and released at once.
        if (code) {
            PostKey(window, code, 1);
            PostKey(window, code, 0);
        }
    }
}

void HandleButton(qzHostWindow* window, const qzHostEvent& event) {
    window->mouseX = event.x;
    window->mouseY = event.y;
    if (event.pressed) {
        if (window->settings.inputBlocked) return;
        int click = HostClassifyClick(window, event.x, event.y, event.sub);
        if (click != QZ_CLICK_NORMAL) {
            HostDriver()->beginMoveResize(window, click == QZ_CLICK_RESIZE);
            return;
        }
    }
    int32_t pressed = event.pressed ? 1 : 0;
    switch (event.sub) {
    case 1:
        window->leftButton = pressed;
        Post(window, QZ_EVENT_LEFTMOUSE, event.x, event.y, pressed);
        break;
    case 2:
        window->rightButton = pressed;
        Post(window, QZ_EVENT_RIGHTMOUSE, event.x, event.y, pressed);
        break;
    case 3:
        window->middleButton = pressed;
        Post(window, QZ_EVENT_MIDMOUSE, event.x, event.y, pressed);
        break;
    default: break;
    }
}

void ForgetKeys(qzHostWindow* window) {
    std::memset(window->keyState, 0, sizeof window->keyState);
    window->keysDown.clear();
    window->keyPending = false;
}

void HandleWindow(VmState* state, qzHostWindow* window, const qzHostEvent& event) {
    switch (event.sub) {
    case QZ_HWIN_CLOSE:
        // The window stays open: the script or the quit rule decides.
        Post(window, QZ_EVENT_CLOSEWINDOW);
        window->closeRequest = 1;
        break;
    case QZ_HWIN_MOVED:
        window->x = event.x;
        window->y = event.y;
        MacReadWindowBounds(window);
        Post(window, QZ_EVENT_MOVEWINDOW);
        break;
    case QZ_HWIN_RESIZED:
        window->width = event.width;
        window->height = event.height;
        MacReadWindowBounds(window);
        Post(window, QZ_EVENT_SIZEWINDOW);
        window->sizeChanged = 1;
        break;
    case QZ_HWIN_FOCUS_GAINED:
        Post(window, QZ_EVENT_ACTIVEWINDOW);
        for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) w->active = w == window;
        ApplyWindowPointer(window);
        break;
    case QZ_HWIN_FOCUS_LOST:
        Post(window, QZ_EVENT_INACTIVEWINDOW);
        window->active = 0;
        ForgetKeys(window);
        break;
    case QZ_HWIN_MINIMIZED:
        Post(window, QZ_EVENT_HIDEWINDOW);
        window->windowState = 2;
        break;
    case QZ_HWIN_RESTORED:
        // Also sent when a maximised window is restored, which is no show event.
        if (window->windowState == 2) {
            Post(window, QZ_EVENT_SHOWWINDOW);
            window->windowState = 1;
        }
        break;
    case QZ_HWIN_EXPOSED: HostHooks().refreshDisplay(state, window->display); break;
    default: break;
    }
}

// Posts the dropped files as one block: each path ended by a zero byte, and one more zero byte
// after the last. The queue owns the block once it is posted.
void HandleDrop(qzHostWindow* window, const qzHostEvent& event) {
    if (!window->settings.dropHandlerInstalled || event.paths.empty()) return;
    std::vector<std::string> paths;
    size_t total = 1;
    for (const std::string& p : event.paths) {
        paths.push_back(FileSystemToEnginePath(p));
        total += paths.back().size() + 1;
    }
    char* block = static_cast<char*>(OsAlloc(total, 1));
    if (!block) {
        gEventLost = true;
        return;
    }
    char* at = block;
    for (const std::string& p : paths) {
        std::memcpy(at, p.data(), p.size());
        at += p.size() + 1;
    }
    if (Post(window, QZ_EVENT_DROPFILE, event.x, event.y, 0, block) != 1) OsFree(block);
}

}  // namespace

void HandleHostEvent(VmState* state, const qzHostEvent& event) {
    if (event.kind != QZ_HEV_KEY && event.kind != QZ_HEV_TEXT && event.kind != QZ_HEV_NONE && event.kind != QZ_HEV_WAKE)
        FlushAllPendingKeys();

    switch (event.kind) {
    case QZ_HEV_QUIT: {
        // Like a close request to every window; with no window open the program quits.
        qzHostWindow* first = HostFirstWindow();
        for (qzHostWindow* w = first; w; w = w->next) {
            Post(w, QZ_EVENT_CLOSEWINDOW);
            w->closeRequest = 1;
        }
        if (!first) HostHooks().setQuitFlag(1);
        return;
    }
    case QZ_HEV_CLIPBOARD: PostClipboardChanged(); return;
    case QZ_HEV_NONE:
    case QZ_HEV_WAKE: return;
    default: break;
    }

    qzHostWindow* window = event.window ? HostFindWindow(event.window) : HostFocusWindow();
    if (!window) return;
    switch (event.kind) {
    case QZ_HEV_KEY: HandleKey(window, event); break;
    case QZ_HEV_TEXT: HandleText(window, event); break;
    case QZ_HEV_MOUSE_BUTTON: HandleButton(window, event); break;
    case QZ_HEV_MOUSE_MOVE:
        window->mouseX = event.x;
        window->mouseY = event.y;
        window->mouseMoved = 1;
        OsGetMonotonicTime(&window->moveTime);
        break;
    case QZ_HEV_WHEEL:
        if (event.wheel != 0) Post(window, event.wheel >= 1 ? QZ_EVENT_WHEELUP : QZ_EVENT_WHEELDOWN);
        break;
    case QZ_HEV_WINDOW: HandleWindow(state, window, event); break;
    case QZ_HEV_DROP: HandleDrop(window, event); break;
    case QZ_HEV_MENU: HandleMenuEvent(window, event); break;
    default: break;
    }
}

void PostClipboardChanged() {
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) {
        if (w->settings.clipboardHandlerInstalled) Post(w, QZ_EVENT_CLIPBOARD);
    }
}

void MacReadWindowBounds(qzHostWindow* window) {
    if (const qzHostDriver* driver = HostDriver()) driver->readBounds(window);
}

bool TakeEventLostToMemory() {
    bool lost = gEventLost;
    gEventLost = false;
    return lost;
}
