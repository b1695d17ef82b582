#include "display/display_icons.h"

#include <cstring>
#include <new>
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/image_source.h"
#include "runtime/applet_records.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"

namespace {

qzAppIcon* icons = nullptr;

qzAppIcon* NewIcon(const uint32_t* pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t flags) {
    if (!pixels || width < 1 || height < 1) return nullptr;
    auto* icon = new (std::nothrow) qzAppIcon{nullptr, nullptr, width, height, flags};
    if (!icon) return nullptr;
    icon->pixels = new (std::nothrow) uint32_t[size_t(width) * size_t(height)];
    if (!icon->pixels) {
        delete icon;
        return nullptr;
    }
    for (int32_t y = 0; y < height; y++)
        std::memcpy(icon->pixels + size_t(y) * width, pixels + size_t(y) * rowLength, sizeof(uint32_t) * width);
    return icon;
}

// A list being built: freed when it goes unless it was taken, also when loading an icon runs out
// of memory and unwinds through the builder.
struct PendingIcons {
    qzAppIcon* list = nullptr;
    ~PendingIcons() { FreeIconList(list); }
};

}  // namespace

void FreeIconList(qzAppIcon* list) {
    while (list) {
        qzAppIcon* next = list->next;
        delete[] list->pixels;
        delete list;
        list = next;
    }
}

int LoadApplicationIcons(VmState* state, const qzAppletDescriptor* applet, int showProgress) {
    PendingIcons pending;
    qzAppIcon** tail = &pending.list;
    for (int i = 0; i < QZ_ICON_SLOTS; i++) {
        const qzIconSlot& slot = applet->icons[i];
        if (slot.chunkName.empty()) continue;
        if (showProgress) PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGICON), slot.chunkName.c_str(), true);
        qzImageSourceRequest request;
        request.file = slot.chunkName.c_str();
        qzImageSourceResult image{};
        int error = OpenImageSource(state, &request, &image);
        if (error) return error;
        if (image.width != slot.size || image.height != slot.size) {
            FreeImageSource(image.source);
            std::string size = std::to_string(slot.size) + "x" + std::to_string(slot.size);
            SetErrorArgString(size.c_str());
            return ERR_ICONDIMS;
        }
        const uint32_t flags = (slot.flag ? 1u : 0u) | (i >= 9 ? 2u : 0u);
        qzAppIcon* icon =
            NewIcon(GetImageSourcePixels(image.source), image.width, image.height, image.rowLength, flags);
        FreeImageSource(image.source);
        if (icon && !image.hasAlpha)
            for (size_t p = 0; p < size_t(icon->width) * size_t(icon->height); p++) icon->pixels[p] |= 0xFF000000u;
        if (!icon) return ERR_MEM;
        *tail = icon;
        tail = &icon->next;
        if (showProgress) PrintProgressDone();
    }
    FreeIconList(icons);
    icons = pending.list;
    pending.list = nullptr;
    return 0;
}

const qzAppIcon* ApplicationIcons() { return icons; }

void FreeApplicationIcons() {
    FreeIconList(icons);
    icons = nullptr;
}

qzAppIcon* CopyApplicationIcons(const qzAppIcon* base) {
    qzAppIcon* list = nullptr;
    qzAppIcon** tail = &list;
    auto append = [&](const qzAppIcon* from) {
        qzAppIcon* icon = NewIcon(from->pixels, from->width, from->height, from->width, from->flags);
        if (!icon) return false;
        *tail = icon;
        tail = &icon->next;
        return true;
    };
    for (const qzAppIcon* b = base; b; b = b->next) {
        if (!append(b)) {
            FreeIconList(list);
            return nullptr;
        }
    }
    for (const qzAppIcon* a = icons; a; a = a->next) {
        bool known = false;
        for (const qzAppIcon* b = base; b && !known; b = b->next)
            known = b->width == a->width && b->height == a->height && (b->flags & 2) == (a->flags & 2);
        if (!known && !append(a)) {
            FreeIconList(list);
            return nullptr;
        }
    }
    return list;
}
