#include "platform/host/backend_clipboard.h"

#include <memory>

#include "base/charset.h"
#include "base/error_codes.h"
#include "platform/host/host.h"
#include "platform/host/window_events.h"
#include "platform/os_alloc.h"
#include "platform/sys_image.h"

namespace {

int ReadClipboard(int withData, qzHostClipboard* out) {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return ERR_CLIPOPEN;
    return driver->clipboardRead(withData, out);
}

int TypeOf(const qzHostClipboard& contents) {
    switch (contents.kind) {
    case QZ_HCLIP_TEXT: return QZ_CLIPBOARD_TEXT;
    case QZ_HCLIP_IMAGE: return QZ_CLIPBOARD_IMAGE;
    case QZ_HCLIP_UNKNOWN: return QZ_CLIPBOARD_UNKNOWN;
    default: return QZ_CLIPBOARD_EMPTY;
    }
}

}  // namespace

std::string ClipboardTextFromEngine(const std::string& text) { return ConvertLatin1ToUtf8(text); }

std::string ClipboardTextToEngine(const std::string& text) {
    std::string latin1 = ConvertTextToLatin1(text, '?');
    for (size_t i = 0; i < latin1.size(); i++) {
        if (latin1[i] == '\r' && (i + 1 >= latin1.size() || latin1[i + 1] != '\n')) latin1[i] = '\n';
    }
    return latin1;
}

int MacSetClipboard(int type, const qzBackendClipboardData& data) {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return ERR_CLIPWRITE;
    qzHostClipboard contents;
    if (type == QZ_CLIPBOARD_TEXT) {
        contents.kind = QZ_HCLIP_TEXT;
        contents.text = ClipboardTextFromEngine(data.text);
    } else if (type == QZ_CLIPBOARD_IMAGE) {
        if (data.width < 1 || data.height < 1 || data.pixels.size() < size_t(data.width) * size_t(data.height))
            return ERR_SAVEPNG;
        unsigned char* png = nullptr;
        size_t size = 0;
        int error = SysEncodeImage(data.pixels.data(), data.width, data.height, data.width * 4, QZ_SYSIMAGE_PNG,
                                   data.hasAlpha ? 1 : 0, 100, &png, &size);
        if (error) return error;
        std::unique_ptr<unsigned char, void (*)(void*)> owned(png, OsFree);
        contents.kind = QZ_HCLIP_IMAGE;
        contents.png.assign(png, png + size);
    } else {
        return ERR_CLIPWRITE;
    }
    int error = driver->clipboardWrite(contents);
    if (error) return ERR_CLIPWRITE;
    PostClipboardChanged();
    return 0;
}

int MacGetClipboard(qzBackendClipboardData* out, int* type) {
    *out = qzBackendClipboardData{};
    *type = QZ_CLIPBOARD_EMPTY;
    qzHostClipboard contents;
    int error = ReadClipboard(1, &contents);
    if (error) return error;
    *type = TypeOf(contents);
    if (*type == QZ_CLIPBOARD_TEXT) {
        out->text = ClipboardTextToEngine(contents.text);
    } else if (*type == QZ_CLIPBOARD_IMAGE) {
        if (contents.png.empty()) return ERR_CLIPREAD;
        qzSysImage image = {};
        error = SysDecodeImageMemory(contents.png.data(), contents.png.size(), 0, &image);
        if (error) return error;
        std::unique_ptr<uint32_t, void (*)(void*)> pixels(image.pixels, OsFree);
        size_t count = size_t(image.width) * size_t(image.height);
        out->pixels.assign(pixels.get(), pixels.get() + count);
        out->width = image.width;
        out->height = image.height;
        out->hasAlpha = image.hasAlpha;
    }
    return 0;
}

int MacPeekClipboard(int* type) {
    *type = QZ_CLIPBOARD_EMPTY;
    qzHostClipboard contents;
    int error = ReadClipboard(0, &contents);
    if (error) return ERR_CLIPOPEN;
    *type = TypeOf(contents);
    return 0;
}

int MacClearClipboard() {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return ERR_CLIPWRITE;
    qzHostClipboard empty;
    return driver->clipboardWrite(empty) ? ERR_CLIPWRITE : 0;
}
