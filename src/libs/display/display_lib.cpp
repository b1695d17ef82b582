// Registration, constants and clean-up of the `display` command library.
#include "libs/display/display_lib.h"

#include "display/display.h"
#include "display/display_host_services.h"
#include "display/display_life.h"
#include "display/menus.h"
#include "display/picture.h"
#include "display/requesters.h"
#include "runtime/object_registry.h"
#include "vm/vm_aux.h"

namespace {

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }

const qzCommandRow kDisplayCommands[] = {
    {"ChangeDisplaySize", DispChangeDisplaySize, 2, 3},
    {"SetTitle", DispSetTitle, 1, 1},
    {"MoveDisplay", DispMoveDisplay, 2, 2},
    {"HideDisplay", DispHideDisplay, 0, 0},
    {"ShowDisplay", DispShowDisplay, 0, 0},
    {"SetDisplayAttributes", DispSetDisplayAttributes, 1, 1},
    {"CreateDisplay", DispCreateDisplay, 1, 2},
    {"FreeDisplay", DispFreeDisplay, 1, 1},
    {"OpenDisplay", DispOpenDisplay, 1, 2},
    {"CloseDisplay", DispCloseDisplay, 1, 1},
    {"SelectDisplay", DispSelectDisplay, 1, 2},
    {"ActivateDisplay", DispActivateDisplay, 1, 2},
    {"ChangeDisplayMode", DispChangeDisplayMode, 1, 4},
    {"GetDisplayModes", DispGetDisplayModes, 0, 1},
    {"GetMonitors", DispGetMonitors, 0, 0},
    {"CreateMenu", DispCreateMenu, 2, 2},
    {"FreeMenu", DispFreeMenu, 1, 1},
    {"SelectMenuItem", DispSelectMenuItem},
    {"DeselectMenuItem", DispDeselectMenuItem},
    {"IsMenuItemSelected", DispIsMenuItemSelected},
    {"DisableMenuItem", DispDisableMenuItem},
    {"EnableMenuItem", DispEnableMenuItem},
    {"IsMenuItemDisabled", DispIsMenuItemDisabled},
    {nullptr, nullptr},
};

const qzConstantRow kDisplayConstants[] = {
    QZ_NUM("DISPSTATE_OPEN", 1),
    QZ_NUM("DISPSTATE_CLOSED", 0),
    QZ_NUM("DISPSTATE_MINIMIZED", 2),
    QZ_NUM("DISPMODE_FULLSCREEN", 2),
    QZ_NUM("DISPMODE_WINDOWED", 1),
    QZ_NUM("DISPMODE_ASK", 3),
    QZ_NUM("DISPMODE_MODEREQUESTER", 4),
    QZ_NUM("DISPMODE_FAKEFULLSCREEN", 6),
    QZ_NUM("SCALEMODE_NONE", 0),
    QZ_NUM("SCALEMODE_AUTO", 1),
    QZ_NUM("SCALEMODE_LAYER", 2),
    QZ_NUM("KEEPPOSITION", 100000),
    QZ_NUM("ORIENTATION_NONE", 0),
    QZ_NUM("ORIENTATION_PORTRAIT", 1),
    QZ_NUM("ORIENTATION_LANDSCAPE", 3),
    QZ_NUM("ORIENTATION_PORTRAITREV", 2),
    QZ_NUM("ORIENTATION_LANDSCAPEREV", 4),
    QZ_NUM("DENSITY_NONE", 0),
    QZ_NUM("DENSITY_LOW", 1),
    QZ_NUM("DENSITY_MEDIUM", 2),
    QZ_NUM("DENSITY_HIGH", 3),
    QZ_NUM("MENUITEM_TOGGLE", 1),
    QZ_NUM("MENUITEM_SELECTED", 2),
    QZ_NUM("MENUITEM_DISABLED", 4),
    {nullptr, nullptr, 0},
};

int OpenDisplayLibrary(VmState* state) {
    SetDisplayServiceState(state);
    int error = InitDisplayLibraryState();
    if (!error) error = RegisterObjectList(DisplayListHead());
    if (!error) error = RegisterObjectList(BGPicListHead());
    if (!error) error = RegisterObjectList(MenuListHead());
    if (!error) {
        EnableMenus(true);
        EnableRequesters(true);
    }
    return error;
}

void FreeDisplays(VmState* state) { FreeAllDisplaysAtExit(state); }
void FreePictures(VmState* state) { FreeAllBGPics(state); }

void ResetDisplayLibrary() {
    EnableMenus(false);
    EnableRequesters(false);
    ResetDisplayLibraryState();
    SetDisplayServiceState(nullptr);
}

}  // namespace

int OpenStartupDisplaysStep(VmState* state) { return OpenStartupDisplays(state); }

const qzLibraryDescriptor qzDisplayLibrary = {
    .name = "display",
    .commands = kDisplayCommands,
    .constants = kDisplayConstants,
    .open = OpenDisplayLibrary,
    .cleanups = {{QZ_STAGE_CLOSE_DISPLAYS, FreeDisplays}, {QZ_STAGE_BGPICS, FreePictures}},
    .reset = ResetDisplayLibrary,
};
