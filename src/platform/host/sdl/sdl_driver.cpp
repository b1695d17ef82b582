#include "platform/host/sdl/sdl_driver.h"

#include <SDL.h>

#include <cstring>
#include <vector>

#include "base/charset.h"
#include "base/error_codes.h"

namespace {

Uint32 gWakeType = static_cast<Uint32>(-1);

// A drop arrives as one event per file between a begin and a complete event.
bool gCollectingDrop = false;
uint32_t gDropWindow = 0;
std::vector<std::string> gDropPaths;

SDL_Window* SdlWindow(const qzHostWindow* window)
{
    return static_cast<SDL_Window*>(window->driverData);
}

uint32_t ModifiersFrom(Uint16 mod)
{
    uint32_t bits = 0;
    if (mod & KMOD_SHIFT)
        bits |= QZ_HMOD_SHIFT;
    if (mod & KMOD_CTRL)
        bits |= QZ_HMOD_CTRL;
    if (mod & KMOD_ALT)
        bits |= QZ_HMOD_ALT;
    if (mod & KMOD_GUI)
        bits |= QZ_HMOD_GUI;
    return bits;
}

// The host key of an SDL key, and the character it types without shift.
int32_t MapKey(SDL_Keycode sym, int32_t* keyChar)
{
    *keyChar = 0;
    switch (sym) {
    case SDLK_UP: return QZ_HKEY_UP;
    case SDLK_DOWN: return QZ_HKEY_DOWN;
    case SDLK_RIGHT: return QZ_HKEY_RIGHT;
    case SDLK_LEFT: return QZ_HKEY_LEFT;
    case SDLK_HELP:
    case SDLK_INSERT: return QZ_HKEY_HELP;
    case SDLK_HOME: return QZ_HKEY_HOME;
    case SDLK_END: return QZ_HKEY_END;
    case SDLK_PAGEUP: return QZ_HKEY_PAGEUP;
    case SDLK_PAGEDOWN: return QZ_HKEY_PAGEDOWN;
    case SDLK_BACKSPACE: return QZ_HKEY_BACKSPACE;
    case SDLK_TAB: return QZ_HKEY_TAB;
    case SDLK_RETURN:
    case SDLK_RETURN2:
    case SDLK_KP_ENTER: return QZ_HKEY_RETURN;
    case SDLK_ESCAPE: return QZ_HKEY_ESCAPE;
    case SDLK_DELETE: return QZ_HKEY_DELETE;
    default: break;
    }
    if (sym >= SDLK_F1 && sym <= SDLK_F12)
        return QZ_HKEY_F1 + static_cast<int32_t>(sym - SDLK_F1);
    if (sym >= SDLK_F13 && sym <= SDLK_F24)
        return QZ_HKEY_F1 + 12 + static_cast<int32_t>(sym - SDLK_F13);
    static const struct {
        SDL_Keycode sym;
        char c;
    } kKeypad[] = {
        {SDLK_KP_0, '0'}, {SDLK_KP_1, '1'}, {SDLK_KP_2, '2'}, {SDLK_KP_3, '3'},
        {SDLK_KP_4, '4'}, {SDLK_KP_5, '5'}, {SDLK_KP_6, '6'}, {SDLK_KP_7, '7'},
        {SDLK_KP_8, '8'}, {SDLK_KP_9, '9'}, {SDLK_KP_PERIOD, '.'}, {SDLK_KP_DIVIDE, '/'},
        {SDLK_KP_MULTIPLY, '*'}, {SDLK_KP_MINUS, '-'}, {SDLK_KP_PLUS, '+'}, {SDLK_KP_EQUALS, '='},
    };
    for (const auto& k : kKeypad) {
        if (k.sym == sym) {
            *keyChar = k.c;
            return QZ_HKEY_CHAR;
        }
    }
    // Keys that type a character have that character as their SDL code.
    if (sym >= 32 && sym != SDLK_DELETE && !(sym & SDLK_SCANCODE_MASK)) {
        *keyChar = sym <= 255 ? static_cast<int32_t>(sym) : 0;
        return QZ_HKEY_CHAR;
    }
    return QZ_HKEY_OTHER;
}

void Translate(const SDL_Event& e, qzHostEvent* out)
{
    if (e.type == gWakeType) {
        out->kind = QZ_HEV_WAKE;
        return;
    }
    switch (e.type) {
    case SDL_QUIT:
        out->kind = QZ_HEV_QUIT;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        out->kind = QZ_HEV_KEY;
        out->window = e.key.windowID;
        out->pressed = e.type == SDL_KEYDOWN;
        out->repeat = e.key.repeat;
        out->scancode = static_cast<uint32_t>(e.key.keysym.scancode);
        out->modifiers = ModifiersFrom(e.key.keysym.mod);
        out->key = MapKey(e.key.keysym.sym, &out->keyChar);
        break;
    case SDL_TEXTINPUT:
        out->kind = QZ_HEV_TEXT;
        out->window = e.text.windowID;
        out->text = e.text.text;
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        out->kind = QZ_HEV_MOUSE_BUTTON;
        out->window = e.button.windowID;
        out->pressed = e.type == SDL_MOUSEBUTTONDOWN;
        out->sub = e.button.button == SDL_BUTTON_LEFT     ? 1
                   : e.button.button == SDL_BUTTON_RIGHT  ? 2
                   : e.button.button == SDL_BUTTON_MIDDLE ? 3
                                                          : 0;
        out->x = e.button.x;
        out->y = e.button.y;
        out->modifiers = ModifiersFrom(static_cast<Uint16>(SDL_GetModState()));
        break;
    case SDL_MOUSEMOTION:
        out->kind = QZ_HEV_MOUSE_MOVE;
        out->window = e.motion.windowID;
        out->x = e.motion.x;
        out->y = e.motion.y;
        break;
    case SDL_MOUSEWHEEL:
        out->kind = QZ_HEV_WHEEL;
        out->window = e.wheel.windowID;
        out->wheel = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        break;
    case SDL_WINDOWEVENT:
        out->kind = QZ_HEV_WINDOW;
        out->window = e.window.windowID;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            out->sub = QZ_HWIN_CLOSE;
            break;
        case SDL_WINDOWEVENT_MOVED:
            out->sub = QZ_HWIN_MOVED;
            out->x = e.window.data1;
            out->y = e.window.data2;
            break;
        case SDL_WINDOWEVENT_RESIZED:
            // Only changes the user or the window manager made (not the program's own).
            out->sub = QZ_HWIN_RESIZED;
            out->width = e.window.data1;
            out->height = e.window.data2;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            out->sub = QZ_HWIN_FOCUS_GAINED;
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            out->sub = QZ_HWIN_FOCUS_LOST;
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            out->sub = QZ_HWIN_MINIMIZED;
            break;
        case SDL_WINDOWEVENT_RESTORED:
            out->sub = QZ_HWIN_RESTORED;
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            out->sub = QZ_HWIN_EXPOSED;
            break;
        default:
            out->kind = QZ_HEV_NONE;
            break;
        }
        break;
    case SDL_DROPBEGIN:
        gCollectingDrop = true;
        gDropWindow = e.drop.windowID;
        gDropPaths.clear();
        break;
    case SDL_DROPFILE:
        if (e.drop.file) {
            gDropPaths.push_back(e.drop.file);
            SDL_free(e.drop.file);
        }
        gDropWindow = e.drop.windowID;
        if (gCollectingDrop)
            break;
        [[fallthrough]];  // a drop without a begin event stands alone
    case SDL_DROPCOMPLETE: {
        gCollectingDrop = false;
        if (gDropPaths.empty())
            break;
        out->kind = QZ_HEV_DROP;
        out->window = gDropWindow ? gDropWindow : e.drop.windowID;
        out->paths.swap(gDropPaths);
        // Where the mouse is, in the window's content.
        int gx = 0, gy = 0, wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&gx, &gy);
        if (SDL_Window* w = SDL_GetWindowFromID(out->window))
            SDL_GetWindowPosition(w, &wx, &wy);
        out->x = gx - wx;
        out->y = gy - wy;
        break;
    }
    case SDL_DROPTEXT:
        SDL_free(e.drop.file);
        break;
    case SDL_CLIPBOARDUPDATE:
        out->kind = QZ_HEV_CLIPBOARD;
        break;
    default:
        break;
    }
}

// The window system asks how a left click is handled before it delivers it: clicks in drag and
// size regions move or resize the window without reaching the program.
SDL_HitTestResult HitTest(SDL_Window*, const SDL_Point* area, void* data)
{
    const qzHostWindow* window = static_cast<const qzHostWindow*>(data);
    if (window->settings.inputBlocked)
        return SDL_HITTEST_NORMAL;
    switch (HostClassifyClick(window, area->x, area->y, 1)) {
    case QZ_CLICK_MOVE: return SDL_HITTEST_DRAGGABLE;
    case QZ_CLICK_RESIZE: return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
    default: return SDL_HITTEST_NORMAL;
    }
}

int Init(std::string* message)
{
    // Signals are the platform's own; the window system's quit event comes only from the
    // desktop (the window's close box closes nothing by itself).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        *message = std::string("SDL: ") + SDL_GetError();
        return ERR_SCREEN;
    }
    // Without a window system SDL falls back to drivers that show nothing; those count only when
    // asked for by name (SDL_VIDEODRIVER).
    const char* video = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (video && (!asked || !*asked) &&
        (std::strcmp(video, "offscreen") == 0 || std::strcmp(video, "dummy") == 0)) {
        *message = std::string("SDL found no window system, only its \"") + video + "\" driver";
        SDL_Quit();
        return ERR_SCREEN;
    }
    gWakeType = SDL_RegisterEvents(1);
    if (gWakeType == static_cast<Uint32>(-1)) {
        *message = "SDL: no user event type left for the wake-up";
        SDL_Quit();
        return ERR_SCREEN;
    }
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    SDL_StartTextInput();
    gCollectingDrop = false;
    gDropPaths.clear();
    return 0;
}

void Shutdown()
{
    SdlCloseAudio();
    SDL_Quit();
    gWakeType = static_cast<Uint32>(-1);
    gDropPaths.clear();
}

int PendingEvents()
{
    return SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) ? 1 : 0;
}

int PollEvent(qzHostEvent* event)
{
    SDL_Event e;
    if (!SDL_PollEvent(&e))
        return 0;
    Translate(e, event);
    return 1;
}

void WaitEvents(int32_t timeoutMs)
{
    SDL_WaitEventTimeout(nullptr, timeoutMs < 0 ? -1 : timeoutMs);
}

void PushWake()
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = gWakeType;
    SDL_PushEvent(&e);
}

uint32_t Modifiers()
{
    return ModifiersFrom(static_cast<Uint16>(SDL_GetModState()));
}

void ReadBounds(qzHostWindow* window)
{
    SDL_Window* w = SdlWindow(window);
    if (!w)
        return;
    SDL_GetWindowPosition(w, &window->x, &window->y);
    SDL_GetWindowSize(w, &window->width, &window->height);
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(w, &top, &left, &bottom, &right) != 0)
        top = left = 0;
    window->borderLeft = left;
    window->borderTop = top;
}

int OpenWindow(qzHostWindow* window, const qzHostWindowSpec* spec)
{
    if (spec->width <= 0 || spec->height <= 0)
        return ERR_SCREEN;
    uint32_t flags = spec->settings.flags;
    Uint32 sdlFlags = 0;
    if (flags & QZ_DISPLAYFLAG_BORDERLESS)
        sdlFlags |= SDL_WINDOW_BORDERLESS;
    if (flags & QZ_DISPLAYFLAG_SIZEABLE)
        sdlFlags |= SDL_WINDOW_RESIZABLE;
    if (flags & QZ_DISPLAYFLAG_HIDDEN)
        sdlFlags |= SDL_WINDOW_HIDDEN;
    if (spec->settings.fullScreen)
        sdlFlags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    int x = spec->centered ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : spec->x;
    int y = spec->centered ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : spec->y;
    std::string title = ConvertLatin1ToUtf8(spec->title);
    SDL_Window* w = SDL_CreateWindow(title.c_str(), x, y, spec->width, spec->height, sdlFlags);
    if (!w)
        return ERR_SCREEN;
    window->driverData = w;
    window->id = SDL_GetWindowID(w);
    SDL_SetWindowHitTest(w, HitTest, window);
    ReadBounds(window);
    return 0;
}

void CloseWindow(qzHostWindow* window)
{
    if (SDL_Window* w = SdlWindow(window)) {
        SDL_SetWindowHitTest(w, nullptr, nullptr);
        SDL_DestroyWindow(w);
    }
    window->driverData = nullptr;
}

void SettingsChanged(qzHostWindow*)
{
    // The hit test reads the settings when it is asked.
}

void BeginMoveResize(qzHostWindow*, int)
{
    // The window system started the move or resize itself (hit test); other buttons have no
    // way to start one.
}

void* CreateCursor(const uint32_t* argb, int32_t width, int32_t height, int32_t hotX, int32_t hotY,
                   int* error)
{
    *error = 0;
    std::vector<uint32_t> pixels(argb, argb + size_t(width) * size_t(height));
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), width, height, 32, width * 4,
                                                              SDL_PIXELFORMAT_ARGB8888);
    if (!surface) {
        *error = ERR_MEM;
        return nullptr;
    }
    // The cursor keeps its own copy of the pixels; a video driver without pointers gives null.
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, hotX, hotY);
    SDL_FreeSurface(surface);
    return cursor;
}

void* CreateSystemCursor(int32_t kind)
{
    return SDL_CreateSystemCursor(kind == QZ_HOSTCURSOR_BUSY ? SDL_SYSTEM_CURSOR_WAIT : SDL_SYSTEM_CURSOR_ARROW);
}

void FreeCursor(void* cursor)
{
    SDL_FreeCursor(static_cast<SDL_Cursor*>(cursor));
}

void SetCursor(void* cursor)
{
    SDL_Cursor* c = cursor ? static_cast<SDL_Cursor*>(cursor) : SDL_GetDefaultCursor();
    if (c)
        SDL_SetCursor(c);
}

void WarpPointer(qzHostWindow* window, int32_t x, int32_t y)
{
    if (SDL_Window* w = SdlWindow(window))
        SDL_WarpMouseInWindow(w, x, y);
}

void AllowScreenSaver(int allowed)
{
    if (allowed)
        SDL_EnableScreenSaver();
    else
        SDL_DisableScreenSaver();
}

const qzHostDriver kDriver = {
    .name = "sdl",
    .init = Init,
    .shutdown = Shutdown,
    .pendingEvents = PendingEvents,
    .pollEvent = PollEvent,
    .waitEvents = WaitEvents,
    .pushWake = PushWake,
    .modifiers = Modifiers,
    .openWindow = OpenWindow,
    .closeWindow = CloseWindow,
    .readBounds = ReadBounds,
    .settingsChanged = SettingsChanged,
    .beginMoveResize = BeginMoveResize,
    .createCursor = CreateCursor,
    .createSystemCursor = CreateSystemCursor,
    .freeCursor = FreeCursor,
    .setCursor = SetCursor,
    .warpPointer = WarpPointer,
    .allowScreenSaver = AllowScreenSaver,
    .openAudio = SdlOpenAudio,
    .closeAudio = SdlCloseAudio,
};

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The session-bus connection that SDL opens through libdbus stays cached in libdbus until the
// process ends; the leak checker of sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
#endif

const qzHostDriver* SdlHostDriver()
{
    return &kDriver;
}
