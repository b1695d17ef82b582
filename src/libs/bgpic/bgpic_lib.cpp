// The `bgpic` library's descriptor: its command table and the links it installs.
#include "libs/bgpic/bgpic_lib.h"

#include "display/display_links.h"
#include "display/picture.h"
#include "image/output_select.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kBGPicCommands[] = {
    {"DisplayBGPic", BGPicDisplayBGPic, 1, 2},
    {"ScaleBGPic", BGPicScaleBGPic, 3, 4},
    {"CreateGradientBGPic", BGPicCreateGradientBGPic, 4, 8},
    {"CreateRainbowBGPic", BGPicCreateGradientBGPic, 4, 8},
    {"CreateTexturedBGPic", BGPicCreateTexturedBGPic, 2, 6},
    {"BrushToBGPic", BGPicBrushToBGPic, 2, 2},
    {"BGPicToBrush", BGPicBGPicToBrush, 2, 2},
    {"CreateBGPic", BGPicCreateBGPic, 3, 4},
    {"FreeBGPic", BGPicFreeBGPic, 1, 1},
    {"LoadBGPic", BGPicLoadBGPic, 2, 4},
    {"SelectBGPic", BGPicSelectBGPic, 1, 3},
    {"EndSelect", BGPicEndSelect, 0, 0},
    {"CopyBGPic", BGPicCopyBGPic, 2, 2},
    {nullptr, nullptr},
};

// Layers that show a picture keep their own copy when the picture changes.
void InstallPictureLinks(bool on) {
    qzDisplayLinks links = DisplayLinks();
    links.detachPictureFromLayers = on ? DetachPictureFromLayers : nullptr;
    SetDisplayLinks(&links);
    InstallOutputSelectLinks(on);
}

int OpenBGPicLibrary(VmState*) {
    InstallPictureLinks(true);
    return 0;
}

void ResetBGPicLibrary() { InstallPictureLinks(false); }

}  // namespace

const qzLibraryDescriptor qzBGPicLibrary = {
    .name = "bgpic",
    .commands = kBGPicCommands,
    .constants = nullptr,
    .open = OpenBGPicLibrary,
    .cleanups = {},
    .reset = ResetBGPicLibrary,
};
