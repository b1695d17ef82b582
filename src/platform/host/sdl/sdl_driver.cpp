#include "platform/host/sdl/sdl_driver.h"

#include <SDL.h>
#include <SDL_shape.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/charset.h"
#include "base/error_codes.h"
#include "platform/host/menu_bar.h"
#include "platform/host/sdl/x11_window.h"

namespace {

Uint32 gWakeType = static_cast<Uint32>(-1);

// What the driver keeps of a window: the SDL window, its renderer and the texture its
// framebuffer is shown through (made when the framebuffer is first drawn through the renderer,
// remade when the size changes; a window whose changes all go straight to its surface has none).
struct SdlWindowData {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int32_t textureWidth = 0;
    int32_t textureHeight = 0;
    bool textureStale = false;  // the framebuffer went straight to the window surface since the upload
    // The size of the framebuffer when it was last presented (0 x 0: never): a framebuffer of
    // another size is presented whole.
    int32_t shownWidth = 0;
    int32_t shownHeight = 0;
    bool exposed = false;   // the window system lost the picture: the next present sends it whole
    bool retained = false;  // the renderer keeps its picture between frames (software)
    // The menu bar's strip above the content (0: none), and what the bar shows, one texture a
    // piece (the strip, each open menu).
    int32_t barHeight = 0;
    std::vector<SDL_Texture*> menuTextures;
    std::vector<SDL_Rect> menuRects;
};

void Render(SdlWindowData* data, const qzHostFrame& frame, const SDL_Rect* part);
void RouteThroughMenuBar(qzHostEvent* e);

// The fade level of every window (0 as drawn, 1 black).
double gFade = 0.0;

// Per monitor: the screen mode that full-screen windows on it take; none (width 0) for the
// desktop's own mode.
std::vector<SDL_DisplayMode> gFullScreenModes;
bool gRestoreAtExit = false;

// A drop arrives as one event per file between a begin and a complete event.
bool gCollectingDrop = false;
uint32_t gDropWindow = 0;
std::vector<std::string> gDropPaths;

SdlWindowData* Data(const qzHostWindow* window) { return static_cast<SdlWindowData*>(window->driverData); }

SDL_Window* SdlWindow(const qzHostWindow* window) {
    SdlWindowData* data = Data(window);
    return data ? data->window : nullptr;
}

int32_t BarHeight(const qzHostWindow* window) {
    SdlWindowData* data = Data(window);
    return data ? data->barHeight : 0;
}

void FreeMenuTextures(SdlWindowData* data) {
    for (SDL_Texture* t : data->menuTextures) SDL_DestroyTexture(t);
    data->menuTextures.clear();
    data->menuRects.clear();
}

// Makes the textures of what the menu bar shows now.
void MakeMenuTextures(qzHostWindow* window, SdlWindowData* data) {
    FreeMenuTextures(data);
    if (!window->menuBar || !data->barHeight) return;
    std::vector<qzMenuBarImage> images;
    MenuBarDraw(window->menuBar, &images);
    // Room for every texture before the first is made: a list that grew while a new texture was
    // held could run out of memory and lose it.
    data->menuTextures.reserve(images.size());
    data->menuRects.reserve(images.size());
    for (const qzMenuBarImage& image : images) {
        const qzMenuBarRect& b = image.bounds;
        if (b.width < 1 || b.height < 1) continue;
        SDL_Texture* t =
            SDL_CreateTexture(data->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, b.width, b.height);
        if (!t) continue;
        SDL_UpdateTexture(t, nullptr, image.pixels.data(), b.width * 4);
        data->menuTextures.push_back(t);
        data->menuRects.push_back({b.x, b.y, b.width, b.height});
    }
}

uint32_t ModifiersFrom(Uint16 mod) {
    uint32_t bits = 0;
    if (mod & KMOD_SHIFT) bits |= QZ_HMOD_SHIFT;
    if (mod & KMOD_CTRL) bits |= QZ_HMOD_CTRL;
    if (mod & KMOD_ALT) bits |= QZ_HMOD_ALT;
    if (mod & KMOD_GUI) bits |= QZ_HMOD_GUI;
    return bits;
}

// The host key of an SDL key, and the character it types without shift.
int32_t MapKey(SDL_Keycode sym, int32_t* keyChar) {
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
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return QZ_HKEY_F1 + static_cast<int32_t>(sym - SDLK_F1);
    if (sym >= SDLK_F13 && sym <= SDLK_F24) return QZ_HKEY_F1 + 12 + static_cast<int32_t>(sym - SDLK_F13);
    static const struct {
        SDL_Keycode sym;
        char c;
    } kKeypad[] = {
        {SDLK_KP_0, '0'},        {SDLK_KP_1, '1'},     {SDLK_KP_2, '2'},      {SDLK_KP_3, '3'},
        {SDLK_KP_4, '4'},        {SDLK_KP_5, '5'},     {SDLK_KP_6, '6'},      {SDLK_KP_7, '7'},
        {SDLK_KP_8, '8'},        {SDLK_KP_9, '9'},     {SDLK_KP_PERIOD, '.'}, {SDLK_KP_DIVIDE, '/'},
        {SDLK_KP_MULTIPLY, '*'}, {SDLK_KP_MINUS, '-'}, {SDLK_KP_PLUS, '+'},   {SDLK_KP_EQUALS, '='},
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

void Translate(const SDL_Event& e, qzHostEvent* out) {
    if (e.type == gWakeType) {
        out->kind = QZ_HEV_WAKE;
        return;
    }
    switch (e.type) {
    case SDL_QUIT: out->kind = QZ_HEV_QUIT; break;
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
        case SDL_WINDOWEVENT_CLOSE: out->sub = QZ_HWIN_CLOSE; break;
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
        case SDL_WINDOWEVENT_FOCUS_GAINED: out->sub = QZ_HWIN_FOCUS_GAINED; break;
        case SDL_WINDOWEVENT_FOCUS_LOST: out->sub = QZ_HWIN_FOCUS_LOST; break;
        case SDL_WINDOWEVENT_MINIMIZED: out->sub = QZ_HWIN_MINIMIZED; break;
        case SDL_WINDOWEVENT_RESTORED: out->sub = QZ_HWIN_RESTORED; break;
        case SDL_WINDOWEVENT_EXPOSED: out->sub = QZ_HWIN_EXPOSED; break;
        default: out->kind = QZ_HEV_NONE; break;
        }
        break;
    case SDL_DROPBEGIN:
        gCollectingDrop = true;
        gDropWindow = e.drop.windowID;
        gDropPaths.clear();
        break;
    case SDL_DROPFILE:
        if (e.drop.file) {
            // Freed also when keeping the path runs out of memory and unwinds through here.
            std::unique_ptr<char, decltype(&SDL_free)> file(e.drop.file, SDL_free);
            gDropPaths.push_back(file.get());
        }
        gDropWindow = e.drop.windowID;
        if (gCollectingDrop) break;
        [[fallthrough]];  // a drop without a begin event stands alone
    case SDL_DROPCOMPLETE: {
        gCollectingDrop = false;
        if (gDropPaths.empty()) break;
        out->kind = QZ_HEV_DROP;
        out->window = gDropWindow ? gDropWindow : e.drop.windowID;
        out->paths.swap(gDropPaths);
        // Where the mouse is, in the window's content.
        int gx = 0, gy = 0, wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&gx, &gy);
        if (SDL_Window* w = SDL_GetWindowFromID(out->window)) SDL_GetWindowPosition(w, &wx, &wy);
        out->x = gx - wx;
        out->y = gy - wy;
        break;
    }
    case SDL_DROPTEXT: SDL_free(e.drop.file); break;
    case SDL_CLIPBOARDUPDATE:
        // The player reports its own changes itself.
        if (!SdlClipboardChangeIsOwn()) out->kind = QZ_HEV_CLIPBOARD;
        break;
    default: break;
    }
}

// The window system asks how a left click is handled before it delivers it: clicks in drag and
// size regions move or resize the window without reaching the program.
SDL_HitTestResult HitTest(SDL_Window*, const SDL_Point* area, void* data) {
    const qzHostWindow* window = static_cast<const qzHostWindow*>(data);
    int32_t y = area->y - BarHeight(window);
    if (window->settings.inputBlocked || y < 0 || MenuBarIsOpen(window->menuBar)) return SDL_HITTEST_NORMAL;
    switch (HostClassifyClick(window, area->x, y, 1)) {
    case QZ_CLICK_MOVE: return SDL_HITTEST_DRAGGABLE;
    case QZ_CLICK_RESIZE: return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
    default: return SDL_HITTEST_NORMAL;
    }
}

int Init(std::string* message) {
    // Windows are presented by SDL's software renderer on a plain window surface: the pixels
    // reach the screen exactly as drawn, and no OpenGL context is made per window (its drivers
    // stay loaded otherwise). SDL_RENDER_DRIVER and SDL_FRAMEBUFFER_ACCELERATION in the
    // environment choose otherwise.
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
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
    if (video && (!asked || !*asked) && (std::strcmp(video, "offscreen") == 0 || std::strcmp(video, "dummy") == 0)) {
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

void Shutdown() {
    gFade = 0.0;
    gFullScreenModes.clear();
    SdlCloseAudio();
    SDL_Quit();
    gWakeType = static_cast<Uint32>(-1);
    gDropPaths.clear();
}

int PendingEvents() { return SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) ? 1 : 0; }

int PollEvent(qzHostEvent* event) {
    SDL_Event e;
    if (!SDL_PollEvent(&e)) return 0;
    if (e.type == SDL_WINDOWEVENT &&
        (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)) {
        // The window system lost the picture: the framebuffer is shown whole at the next present.
        if (qzHostWindow* window = HostFindWindow(e.window.windowID)) {
            FrameMarkAllDirty(&window->frame);
            if (SdlWindowData* data = Data(window)) data->exposed = true;
        }
    }
    Translate(e, event);
    RouteThroughMenuBar(event);
    return 1;
}

void WaitEvents(int32_t timeoutMs) { SDL_WaitEventTimeout(nullptr, timeoutMs < 0 ? -1 : timeoutMs); }

void PushWake() {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = gWakeType;
    SDL_PushEvent(&e);
}

uint32_t Modifiers() { return ModifiersFrom(static_cast<Uint16>(SDL_GetModState())); }

void ReadBounds(qzHostWindow* window) {
    SDL_Window* w = SdlWindow(window);
    if (!w) return;
    SDL_GetWindowPosition(w, &window->x, &window->y);
    SDL_GetWindowSize(w, &window->width, &window->height);
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(w, &top, &left, &bottom, &right) != 0) top = left = 0;
    // The menu bar is part of the border: the content starts below it.
    int32_t bar = BarHeight(window);
    window->y += bar;
    window->height = std::max(0, window->height - bar);
    window->borderLeft = left;
    window->borderTop = top + bar;
}

void FreeWindowData(SdlWindowData* data) {
    if (!data) return;
    FreeMenuTextures(data);
    if (data->texture) SDL_DestroyTexture(data->texture);
    if (data->renderer) SDL_DestroyRenderer(data->renderer);
    if (data->window) {
        SDL_SetWindowHitTest(data->window, nullptr, nullptr);
        SDL_DestroyWindow(data->window);
    }
    delete data;
}

// Gives the window its shape: inside where the shape's alpha is not 0.
void ApplyShape(SDL_Window* w, const std::vector<uint8_t>& shape, int32_t width, int32_t height) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return;
    for (int32_t y = 0; y < height; y++) {
        uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch);
        for (int32_t x = 0; x < width; x++) row[x] = uint32_t(shape[size_t(y) * width + x]) << 24;
    }
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 1;
    SDL_SetWindowShape(w, surface, &mode);
    SDL_FreeSurface(surface);
}

int OpenWindow(qzHostWindow* window, const qzHostWindowSpec* spec) {
    uint32_t flags = spec->settings.flags;
    Uint32 sdlFlags = SDL_WINDOW_HIDDEN;
    if (flags & QZ_DISPLAYFLAG_BORDERLESS) sdlFlags |= SDL_WINDOW_BORDERLESS;
    if ((flags & QZ_DISPLAYFLAG_SIZEABLE) && !spec->settings.fullScreen) sdlFlags |= SDL_WINDOW_RESIZABLE;
    int x = spec->centered ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : spec->x;
    int y = spec->centered ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : spec->y;
    int width = spec->width, height = spec->height;
    const SDL_DisplayMode* mode = nullptr;
    if (spec->settings.fullScreen) {
        int monitor = spec->monitor;
        if (monitor < 0 || monitor >= SDL_GetNumVideoDisplays()) return ERR_SCREEN;
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(monitor, &bounds) != 0) return ERR_SCREEN;
        x = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(monitor));
        y = x;
        width = bounds.w;
        height = bounds.h;
        if (size_t(monitor) < gFullScreenModes.size() && gFullScreenModes[size_t(monitor)].w > 0) {
            mode = &gFullScreenModes[size_t(monitor)];
            width = mode->w;
            height = mode->h;
        }
    } else if (width <= 0 || height <= 0) {
        return ERR_SCREEN;
    }
    // A menu bar makes the window taller by its strip, which lies above the content.
    int32_t bar = 0;
    if (window->menuBar && !spec->settings.fullScreen) {
        bar = MenuBarLayout(window->menuBar, width);
        height += bar;
        if (!spec->centered) y -= bar;
    }
    // Freed with its window and renderer also when converting the title runs out of memory and
    // unwinds through here; the host window owns it from its hand-over on.
    std::unique_ptr<SdlWindowData, decltype(&FreeWindowData)> owner(new (std::nothrow) SdlWindowData(), FreeWindowData);
    SdlWindowData* data = owner.get();
    if (!data) return ERR_MEM;
    data->barHeight = bar;
    std::string title = ConvertLatin1ToUtf8(spec->title);
    bool shaped = !spec->shape.empty() && !spec->settings.fullScreen;
    if (shaped) data->window = SDL_CreateShapedWindow(title.c_str(), x, y, width, height, sdlFlags);
    if (!data->window) {
        shaped = false;
        data->window = SDL_CreateWindow(title.c_str(), x, y, width, height, sdlFlags);
    }
    if (!data->window) return ERR_SCREEN;
    data->renderer = SDL_CreateRenderer(data->window, -1, 0);
    if (!data->renderer) data->renderer = SDL_CreateRenderer(data->window, -1, SDL_RENDERER_SOFTWARE);
    if (!data->renderer) return ERR_SCREEN;
    SDL_RendererInfo info;
    data->retained = SDL_GetRendererInfo(data->renderer, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE);
    window->driverData = owner.release();
    window->id = SDL_GetWindowID(data->window);
    if (shaped) {
        // SDL makes shaped windows away from the screen; they go to their place once shaped.
        ApplyShape(data->window, spec->shape, width, height);
        SDL_SetWindowPosition(data->window, x, y);
    } else {
        SDL_SetWindowHitTest(data->window, HitTest, window);
    }
    // The user may not make a sizeable window smaller than 16 x 16.
    if (sdlFlags & SDL_WINDOW_RESIZABLE) SDL_SetWindowMinimumSize(data->window, 16, 16);
    X11SetWindowFunctions(data->window, flags);
    if (spec->settings.fullScreen) {
        if (mode) SDL_SetWindowDisplayMode(data->window, mode);
        SDL_SetWindowFullscreen(data->window, mode ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    if (!(flags & QZ_DISPLAYFLAG_HIDDEN)) {
        SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, spec->activate ? "0" : "1");
        SDL_ShowWindow(data->window);
        SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "0");
        if (spec->activate) SDL_RaiseWindow(data->window);
    }
    ReadBounds(window);
    if (spec->settings.fullScreen) {
        window->width = width;
        window->height = height;
    }
    return 0;
}

void CloseWindow(qzHostWindow* window) {
    FreeWindowData(Data(window));
    window->driverData = nullptr;
}

void SettingsChanged(qzHostWindow* window) {
    // The hit test reads the settings when it is asked; the window manager is told the rest.
    SDL_Window* w = SdlWindow(window);
    if (!w || window->settings.fullScreen) return;
    SDL_SetWindowResizable(w, (window->settings.flags & QZ_DISPLAYFLAG_SIZEABLE) ? SDL_TRUE : SDL_FALSE);
    X11SetWindowFunctions(w, window->settings.flags);
}

void MenuBarChanged(qzHostWindow* window) {
    SdlWindowData* data = Data(window);
    if (!data || !data->window) return;
    int32_t old = data->barHeight;
    int32_t bar =
        window->menuBar && !window->settings.fullScreen ? MenuBarLayout(window->menuBar, window->frame.width) : 0;
    data->barHeight = bar;
    if (bar != old) {
        // The content stays where it is; the window grows or shrinks at the top.
        int x = 0, y = 0;
        SDL_GetWindowPosition(data->window, &x, &y);
        SDL_SetWindowPosition(data->window, x, y + old - bar);
        SDL_SetWindowSize(data->window, window->frame.width, window->frame.height + bar);
    }
    MakeMenuTextures(window, data);
    if (data->shownWidth > 0) Render(data, window->frame, nullptr);
}

void BeginMoveResize(qzHostWindow*, int) {
    // The window system started the move or resize itself (hit test); other buttons have no
    // way to start one.
}

void* CreateCursor(const uint32_t* argb, int32_t width, int32_t height, int32_t hotX, int32_t hotY, int* error) {
    *error = 0;
    std::vector<uint32_t> pixels(argb, argb + size_t(width) * size_t(height));
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) {
        *error = ERR_MEM;
        return nullptr;
    }
    // The cursor keeps its own copy of the pixels; a video driver without pointers gives null.
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, hotX, hotY);
    SDL_FreeSurface(surface);
    return cursor;
}

void* CreateSystemCursor(int32_t kind) {
    return SDL_CreateSystemCursor(kind == QZ_HOSTCURSOR_BUSY ? SDL_SYSTEM_CURSOR_WAIT : SDL_SYSTEM_CURSOR_ARROW);
}

void FreeCursor(void* cursor) { SDL_FreeCursor(static_cast<SDL_Cursor*>(cursor)); }

void SetCursor(void* cursor) {
    SDL_Cursor* c = cursor ? static_cast<SDL_Cursor*>(cursor) : SDL_GetDefaultCursor();
    if (c) SDL_SetCursor(c);
}

void WarpPointer(qzHostWindow* window, int32_t x, int32_t y) {
    if (SDL_Window* w = SdlWindow(window)) SDL_WarpMouseInWindow(w, x, y + BarHeight(window));
}

void AllowScreenSaver(int allowed) {
    if (allowed)
        SDL_EnableScreenSaver();
    else
        SDL_DisableScreenSaver();
}

void SetTitle(qzHostWindow* window) {
    if (SDL_Window* w = SdlWindow(window)) SDL_SetWindowTitle(w, ConvertLatin1ToUtf8(window->title).c_str());
}

void SetBounds(qzHostWindow* window, int32_t x, int32_t y, int32_t width, int32_t height) {
    SDL_Window* w = SdlWindow(window);
    if (!w || window->settings.fullScreen) return;
    // The window system answers with its own events; the record holds what was asked for.
    int32_t bar = BarHeight(window);
    if (window->menuBar && bar) MenuBarLayout(window->menuBar, width);
    SDL_SetWindowPosition(w, x, y - bar);
    SDL_SetWindowSize(w, width, height + bar);
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
}

void Minimize(qzHostWindow* window, int minimize) {
    SDL_Window* w = SdlWindow(window);
    if (!w) return;
    if (!minimize) {
        SDL_RestoreWindow(w);
        return;
    }
    // A window without a minimise box gets it back first: the program may minimise it.
    if (window->settings.flags & QZ_DISPLAYFLAG_NOHIDE)
        X11SetWindowFunctions(w, window->settings.flags & ~uint32_t(QZ_DISPLAYFLAG_NOHIDE));
    SDL_MinimizeWindow(w);
}

void Activate(qzHostWindow* window) {
    if (SDL_Window* w = SdlWindow(window)) SDL_RaiseWindow(w);
}

Uint8 FadeModulation() { return Uint8(std::clamp(1.0 - gFade, 0.0, 1.0) * 255.0 + 0.5); }

// Makes the framebuffer's texture when there is none of the framebuffer's size; a new one is
// uploaded whole before it is drawn. False when none can be made.
bool EnsureTexture(SdlWindowData* data, const qzHostFrame& frame) {
    if (data->texture && data->textureWidth == frame.width && data->textureHeight == frame.height) return true;
    if (data->texture) SDL_DestroyTexture(data->texture);
    data->texture = nullptr;
    data->textureWidth = data->textureHeight = 0;
    if (frame.width < 1 || frame.height < 1) return false;
    // The framebuffer's opaque 0xFFRRGGBB words read the same in both 32-bit formats; the one of
    // the window lets the software renderer copy the texture instead of converting it.
    Uint32 format = SDL_GetWindowPixelFormat(data->window) == SDL_PIXELFORMAT_RGB888 ? SDL_PIXELFORMAT_RGB888
                                                                                     : SDL_PIXELFORMAT_ARGB8888;
    data->texture = SDL_CreateTexture(data->renderer, format, SDL_TEXTUREACCESS_STREAMING, frame.width, frame.height);
    if (!data->texture) return false;
    SDL_SetTextureBlendMode(data->texture, SDL_BLENDMODE_NONE);
    data->textureWidth = frame.width;
    data->textureHeight = frame.height;
    data->textureStale = true;
    return true;
}

// Shows the texture 1:1 below the menu bar; what the framebuffer does not cover is black. A
// software renderer keeps what it drew before, so there only `part` (when given) is copied again;
// other renderers start every frame afresh. The menu bar and its open menus lie on top; while a
// menu is open the whole window is drawn.
void Render(SdlWindowData* data, const qzHostFrame& frame, const SDL_Rect* part) {
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(data->renderer, &outW, &outH);
    bool sameSize = outW == frame.width && outH == frame.height + data->barHeight;
    bool menuOpen = data->menuTextures.size() > 1;
    if (!sameSize || menuOpen) {
        SDL_SetRenderDrawColor(data->renderer, 0, 0, 0, 255);
        SDL_RenderClear(data->renderer);
    }
    Uint8 m = FadeModulation();
    if (data->shownWidth > 0) EnsureTexture(data, frame);
    if (data->texture && data->textureStale) {
        SDL_UpdateTexture(data->texture, nullptr, frame.pixels.data(), frame.width * 4);
        data->textureStale = false;
    }
    if (data->texture) {
        SDL_SetTextureColorMod(data->texture, m, m, m);
        SDL_Rect whole = {0, 0, frame.width, frame.height};
        const SDL_Rect* from = part && sameSize && data->retained && !menuOpen ? part : &whole;
        SDL_Rect to = {from->x, from->y + data->barHeight, from->w, from->h};
        SDL_RenderCopy(data->renderer, data->texture, from, &to);
    }
    for (size_t i = 0; i < data->menuTextures.size(); i++) {
        SDL_SetTextureColorMod(data->menuTextures[i], m, m, m);
        SDL_RenderCopy(data->renderer, data->menuTextures[i], nullptr, &data->menuRects[i]);
    }
    SDL_RenderPresent(data->renderer);
}

// Shows the window again after its menu bar changed what it shows.
void RedrawMenuBar(qzHostWindow* window) {
    SdlWindowData* data = Data(window);
    if (!data || !window->menuBar || !data->renderer || !MenuBarTakeChanged(window->menuBar)) return;
    MakeMenuTextures(window, data);
    Render(data, window->frame, nullptr);
}

// Mouse and keys go to the window's menu bar first; what passes on gets content coordinates.
void RouteThroughMenuBar(qzHostEvent* e) {
    if (e->kind == QZ_HEV_NONE || e->kind == QZ_HEV_WAKE || e->kind == QZ_HEV_QUIT) return;
    qzHostWindow* window = e->window ? HostFindWindow(e->window) : nullptr;
    SdlWindowData* data = window ? Data(window) : nullptr;
    if (!data || !data->barHeight || !window->menuBar) return;
    qzMenuBar* bar = window->menuBar;
    const qzMenuItem* chosen = nullptr;
    int result = QZ_MENUBAR_PASS;
    switch (e->kind) {
    case QZ_HEV_MOUSE_BUTTON:
        if (e->sub == 1)
            result = MenuBarMouse(bar, e->pressed ? QZ_MENUMOUSE_DOWN : QZ_MENUMOUSE_UP, e->x, e->y, &chosen);
        else if (MenuBarIsOpen(bar) || e->y < data->barHeight)
            result = QZ_MENUBAR_TAKEN;
        break;
    case QZ_HEV_MOUSE_MOVE: result = MenuBarMouse(bar, QZ_MENUMOUSE_MOVE, e->x, e->y, &chosen); break;
    case QZ_HEV_KEY:
        if (MenuBarKey(bar, e->pressed && e->key == QZ_HKEY_ESCAPE)) result = QZ_MENUBAR_TAKEN;
        break;
    case QZ_HEV_TEXT:
        if (MenuBarIsOpen(bar)) result = QZ_MENUBAR_TAKEN;
        break;
    case QZ_HEV_WINDOW:
        if (e->sub == QZ_HWIN_RESIZED) {
            e->height -= data->barHeight;
            MenuBarLayout(bar, e->width);
        } else if (e->sub == QZ_HWIN_FOCUS_LOST || e->sub == QZ_HWIN_MINIMIZED) {
            MenuBarCloseMenus(bar);
        }
        break;
    default: break;
    }
    if (result == QZ_MENUBAR_PASS) {
        if (e->kind == QZ_HEV_MOUSE_BUTTON || e->kind == QZ_HEV_MOUSE_MOVE || e->kind == QZ_HEV_DROP)
            e->y -= data->barHeight;
    } else if (result == QZ_MENUBAR_CHOSEN) {
        e->kind = QZ_HEV_MENU;
        e->menuItem = chosen;
    } else {
        e->kind = QZ_HEV_NONE;
    }
    RedrawMenuBar(window);
}

// The changed rectangle copied row by row from the framebuffer into the window surface the
// software renderer draws on, and only that rectangle sent to the window system: one copy of
// the changed pixels instead of three (texture, surface, whole window). Only while the picture
// is as plain as that: the software renderer's own surface in a 32-bit format that reads the
// framebuffer's words as they are, the size of the framebuffer below the bar, no fade and no open
// menu. The texture catches up at the next drawing through the renderer. False when the
// rectangle went the renderer's way instead.
bool PresentDirect(SdlWindowData* data, const qzHostFrame& frame, const SDL_Rect& rect) {
    if (!data->retained || data->menuTextures.size() > 1 || FadeModulation() != 255) return false;
    SDL_Surface* surface = SDL_GetWindowSurface(data->window);
    if (!surface || SDL_MUSTLOCK(surface) || surface->w != frame.width || surface->h != frame.height + data->barHeight)
        return false;
    Uint32 format = surface->format->format;
    if (format != SDL_PIXELFORMAT_RGB888 && format != SDL_PIXELFORMAT_ARGB8888) return false;
    int outW = 0, outH = 0;
    if (SDL_GetRendererOutputSize(data->renderer, &outW, &outH) != 0 || outW != surface->w || outH != surface->h)
        return false;
    SDL_RenderFlush(data->renderer);
    for (int32_t y = 0; y < rect.h; y++) {
        auto* to = static_cast<uint8_t*>(surface->pixels) + size_t(rect.y + data->barHeight + y) * surface->pitch +
                   size_t(rect.x) * 4;
        std::memcpy(to, &frame.pixels[size_t(rect.y + y) * frame.width + size_t(rect.x)], size_t(rect.w) * 4);
    }
    data->textureStale = true;
    SDL_Rect shown = {rect.x, rect.y + data->barHeight, rect.w, rect.h};
    SDL_UpdateWindowSurfaceRects(data->window, &shown, 1);
    return true;
}

void Present(qzHostWindow* window, const qzFrameRect& dirty) {
    SdlWindowData* data = Data(window);
    const qzHostFrame& frame = window->frame;
    if (!data || !data->renderer || frame.width < 1 || frame.height < 1) return;
    SDL_Rect rect = {dirty.x, dirty.y, dirty.width, dirty.height};
    if (data->shownWidth != frame.width || data->shownHeight != frame.height) rect = {0, 0, frame.width, frame.height};
    bool menuChanged =
        window->menuBar && data->barHeight && (MenuBarTakeChanged(window->menuBar) || data->menuTextures.empty());
    // A window that lost its picture gets its whole framebuffer again (it is all marked changed);
    // the menu bar's strip is drawn again through the renderer.
    bool lost = data->exposed && data->barHeight;
    if (menuChanged || lost || !PresentDirect(data, frame, rect)) {
        if (!EnsureTexture(data, frame)) return;
        if (!data->textureStale)
            SDL_UpdateTexture(data->texture, &rect, &frame.pixels[size_t(rect.y) * frame.width + size_t(rect.x)],
                              frame.width * 4);
        if (menuChanged) MakeMenuTextures(window, data);
        Render(data, frame, menuChanged ? nullptr : &rect);
    }
    data->exposed = false;
    data->shownWidth = frame.width;
    data->shownHeight = frame.height;
}

void MousePosition(qzHostWindow* window, int32_t* x, int32_t* y) {
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    if (SDL_Window* w = SdlWindow(window)) SDL_GetWindowPosition(w, &wx, &wy);
    *x = gx - wx;
    *y = gy - wy - BarHeight(window);
}

// The border of a window with a frame, as the window manager drew it around a window of ours;
// 0 while none is known.
void BorderSizes(uint32_t flags, int32_t borders[4]) {
    borders[0] = borders[1] = borders[2] = borders[3] = 0;
    if (flags & QZ_DISPLAYFLAG_BORDERLESS) return;
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) {
        SDL_Window* sdl = SdlWindow(w);
        if (!sdl || (w->settings.flags & QZ_DISPLAYFLAG_BORDERLESS) || w->settings.fullScreen) continue;
        int top = 0, left = 0, bottom = 0, right = 0;
        if (SDL_GetWindowBordersSize(sdl, &top, &left, &bottom, &right) == 0 && (top || left || bottom || right)) {
            borders[0] = left;
            borders[1] = top;
            borders[2] = right;
            borders[3] = bottom;
            return;
        }
    }
}

int32_t MonitorCount() { return std::max(0, SDL_GetNumVideoDisplays()); }

int MonitorBounds(int32_t index, qzHostMonitor* out) {
    SDL_Rect r;
    if (index < 0 || index >= SDL_GetNumVideoDisplays() || SDL_GetDisplayBounds(index, &r) != 0)
        return ERR_GETMONITORINFO;
    *out = {r.x, r.y, r.w, r.h};
    return 0;
}

qzHostMode ModeOf(const SDL_DisplayMode& m) {
    int bytes = SDL_BYTESPERPIXEL(m.format);
    return {m.w, m.h, bytes == 4 ? 32 : int32_t(SDL_BITSPERPIXEL(m.format)), m.refresh_rate};
}

void MonitorModes(int32_t index, std::vector<qzHostMode>* out) {
    out->clear();
    int count = index >= 0 ? SDL_GetNumDisplayModes(index) : -1;
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(index, i, &m) == 0) out->push_back(ModeOf(m));
    }
}

void RestoreModesAtExit() {
    // A program that ends without stopping the driver still gives the monitors their modes back.
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_Quit();
}

int SetMonitorMode(int32_t index, const qzHostMode& mode) {
    if (index < 0 || index >= SDL_GetNumVideoDisplays()) return ERR_SCREEN;
    SDL_DisplayMode desktop, chosen = {};
    if (SDL_GetDesktopDisplayMode(index, &desktop) != 0) return ERR_SCREEN;
    if (mode.width != desktop.w || mode.height != desktop.h) {
        int count = SDL_GetNumDisplayModes(index);
        for (int i = 0; i < count; i++) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(index, i, &m) == 0 && m.w == mode.width && m.h == mode.height &&
                (chosen.w == 0 || m.refresh_rate == mode.rate))
                chosen = m;
        }
        if (chosen.w == 0) return ERR_SCREEN;
    }
    if (gFullScreenModes.size() <= size_t(index)) gFullScreenModes.resize(size_t(index) + 1, SDL_DisplayMode{});
    gFullScreenModes[size_t(index)] = chosen;
    if (chosen.w && !gRestoreAtExit) {
        gRestoreAtExit = true;
        std::atexit(RestoreModesAtExit);
    }
    // A full-screen window already on the monitor takes the mode now.
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) {
        SDL_Window* sdl = SdlWindow(w);
        if (!sdl || !w->settings.fullScreen || w->monitor != index) continue;
        if (chosen.w) {
            SDL_SetWindowDisplayMode(sdl, &chosen);
            SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN);
        } else {
            SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
        }
    }
    return 0;
}

int SetFade(double level) {
    gFade = std::clamp(level, 0.0, 1.0);
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) {
        SdlWindowData* data = Data(w);
        if (data && data->renderer && data->shownWidth > 0) Render(data, w->frame, nullptr);
    }
    return 1;
}

int GrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* out) {
    const char* video = SDL_GetCurrentVideoDriver();
    if (!video || std::strcmp(video, "x11") != 0) return ERR_GRABSCREEN;
    return X11GrabScreen(x, y, width, height, out) ? 0 : ERR_GRABSCREEN;
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
    .setTitle = SetTitle,
    .setBounds = SetBounds,
    .minimize = Minimize,
    .activate = Activate,
    .present = Present,
    .mousePosition = MousePosition,
    .borderSizes = BorderSizes,
    .monitorCount = MonitorCount,
    .monitorBounds = MonitorBounds,
    .monitorModes = MonitorModes,
    .setMonitorMode = SetMonitorMode,
    .setFade = SetFade,
    .grabScreen = GrabScreen,
    .openAudio = SdlOpenAudio,
    .closeAudio = SdlCloseAudio,
    .menuBarChanged = MenuBarChanged,
    .dialog = SdlDialog,
    .clipboardRead = SdlClipboardRead,
    .clipboardWrite = SdlClipboardWrite,
};

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The session-bus connection that SDL opens through libdbus stays cached in libdbus until the
// process ends; the leak checker of sanitizer builds is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
#endif

SDL_Window* SdlWindowOf(const qzHostWindow* window) { return SdlWindow(window); }

const qzHostDriver* SdlHostDriver() { return &kDriver; }
