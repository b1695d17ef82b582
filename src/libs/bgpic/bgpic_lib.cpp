// The `bgpic` library's descriptor: its command table and the links it installs.
#include "libs/bgpic/bgpic_lib.h"

#include "display/display_links.h"
#include "display/picture.h"
#include "image/output_select.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kBGPicCommands[] = {
    {"DisplayBGPic", BGPicDisplayBGPic},
    {"ScaleBGPic", BGPicScaleBGPic},
    {"CreateGradientBGPic", BGPicCreateGradientBGPic},
    {"CreateRainbowBGPic", BGPicCreateGradientBGPic},
    {"CreateTexturedBGPic", BGPicCreateTexturedBGPic},
    {"BrushToBGPic", BGPicBrushToBGPic},
    {"BGPicToBrush", BGPicBGPicToBrush},
    {"CreateBGPic", BGPicCreateBGPic},
    {"FreeBGPic", BGPicFreeBGPic},
    {"LoadBGPic", BGPicLoadBGPic},
    {"SelectBGPic", BGPicSelectBGPic},
    {"EndSelect", BGPicEndSelect},
    {"CopyBGPic", BGPicCopyBGPic},
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
