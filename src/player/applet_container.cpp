// Reader of the applet container and its icon block.
#include "player/applet_container.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_env.h"
#include "platform/os_host_file.h"
#include "platform/os_path.h"
#include "platform/packfile.h"
#include "player/startup.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/runtime.h"

namespace {

// Where container bytes come from: a file or a memory block. Positions are absolute (within the
// file or the block); start is where the container begins, end where the data ends.
struct Input {
    qzHostFile* file = nullptr;
    const uint8_t* data = nullptr;
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t pos = 0;
    bool seekPending = true;  // the file's own position differs from pos
};

// Reads fields from an Input. The first short read sets error to ERR_READ; later reads then
// return zeros, so a record can be read in one go and checked once.
struct Reader {
    Input* in;
    int error = 0;

    uint64_t Remaining() const { return in->pos < in->end ? in->end - in->pos : 0; }

    bool Bytes(void* out, uint64_t n) {
        if (error) return false;
        if (n > Remaining()) {
            error = ERR_READ;
            in->pos = in->end;
            return false;
        }
        if (n == 0) return true;
        if (in->data) {
            std::memcpy(out, in->data + in->pos, (size_t)n);
        } else {
            if (in->seekPending && !OsHostSeek(in->file, in->pos)) {
                error = ERR_READ;
                return false;
            }
            in->seekPending = false;
            if (OsHostRead(in->file, out, (size_t)n) != (size_t)n) {
                error = ERR_READ;
                in->seekPending = true;
                return false;
            }
        }
        in->pos += n;
        return true;
    }

    void Skip(uint64_t n) {
        if (error) return;
        if (n > Remaining()) {
            error = ERR_READ;
            in->pos = in->end;
            return;
        }
        in->pos += n;
        in->seekPending = true;
    }

    void Seek(uint64_t absolute) {
        in->pos = absolute;
        in->seekPending = true;
    }

    // One byte, or -1 at the end of the data (not an error by itself).
    int GetC() {
        if (error || Remaining() == 0) return -1;
        uint8_t c;
        return Bytes(&c, 1) ? c : -1;
    }

    uint8_t U8() {
        uint8_t b = 0;
        Bytes(&b, 1);
        return b;
    }
    int16_t I16() {
        uint8_t b[2] = {0, 0};
        Bytes(b, 2);
        return (int16_t)(uint16_t)((b[0] << 8) | b[1]);
    }
    uint32_t U32() {
        uint8_t b[4] = {0, 0, 0, 0};
        Bytes(b, 4);
        return ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
    }
    int32_t I32() { return (int32_t)U32(); }
    double F64() {
        uint8_t b[8] = {};
        Bytes(b, 8);
        uint64_t bits = 0;
        for (int i = 0; i < 8; i++) bits = (bits << 8) | b[i];
        double value;
        std::memcpy(&value, &bits, 8);
        return value;
    }

    // Bytes up to and including the stop byte; at most keep characters are stored (complemented
    // when asked), the rest is consumed. The end of the data before the stop byte is a short read.
    std::string Terminated(size_t keep, int stop, bool complement) {
        std::string text;
        for (;;) {
            if (Remaining() == 0) {
                if (!error) error = ERR_READ;
                return text;
            }
            int c = GetC();
            if (c < 0 || c == stop) return text;
            if (text.size() < keep) text += (char)(uint8_t)(complement ? ~c : c);
        }
    }

    // Text up to a zero byte.
    std::string CStr(size_t keep) { return Terminated(keep, 0, false); }

    // Text up to a byte 0xFF, each byte stored complemented.
    std::string XStr(size_t keep) { return Terminated(keep, 0xFF, true); }

    // An i16 length and that many bytes; text stops at a zero byte inside them.
    std::string Str16(size_t keep) {
        int16_t length = I16();
        if (error) return std::string();
        if (length < 0) {
            error = ERR_READ;
            return std::string();
        }
        return FixedText((uint64_t)length, keep);
    }

    std::string FixedText(uint64_t length, size_t keep) {
        if (length > Remaining()) {
            error = ERR_READ;
            return std::string();
        }
        std::string raw((size_t)length, '\0');
        if (length && !Bytes(&raw[0], length)) return std::string();
        size_t zero = raw.find('\0');
        if (zero != std::string::npos) raw.resize(zero);
        if (raw.size() > keep) raw.resize(keep);
        return raw;
    }

    // A count of records of at least minSize bytes each, checked against the data left.
    int32_t Count(uint64_t minSize) {
        int32_t count = I32();
        if (error) return 0;
        if (count < 0 || (uint64_t)count * minSize > Remaining()) {
            error = ERR_READ;
            return 0;
        }
        return count;
    }
};

// State of one container read.
struct ContainerState {
    ContainerState(Reader* reader, qzPlayerContext* ctx, qzAppletDescriptor* a) : r(reader), context(ctx), applet(a) {}
    Reader* r;
    qzPlayerContext* context;
    qzAppletDescriptor* applet;
    std::string path;  // the container file actually read
    int major = 0;     // format version read so far
    int minor = 0;
    long display1 = -1;  // index of the DISPLAY directive that display tags change
    std::string display1Title;

    bool From(int wantMajor, int wantMinor) const {
        return major > wantMajor || (major == wantMajor && minor >= wantMinor);
    }
    uint64_t ContainerSize() const { return r->in->end - r->in->start; }
    // Whether [offset, offset + size) lies inside the container.
    bool InContainer(int64_t offset, int64_t size) const {
        return offset >= 0 && size >= 0 && (uint64_t)offset <= ContainerSize() &&
               (uint64_t)size <= ContainerSize() - (uint64_t)offset;
    }
    qzDisplayDirective* Display1() {
        if (display1 < 0) display1 = (long)AddDefaultDisplayDirective(applet, display1Title.c_str());
        return applet->directives[(size_t)display1].display.get();
    }
};

const int kMaxMenuDepth = 32;

void ReadGradientRecord(Reader& r, qzGradient* gradient) {
    gradient->style = r.U8();
    gradient->centerX = r.U32() / 1000000.0;
    gradient->centerY = r.U32() / 1000000.0;
    gradient->balance = r.U32() / 1000000.0;
    gradient->border = r.U32() / 1000000.0;
    int count = r.U8();
    if (r.error) return;
    if (count > QZ_MAX_GRADIENT_STOPS) {
        r.error = ERR_READ;
        return;
    }
    gradient->stops.clear();
    for (int i = 0; i < count && !r.error; i++) {
        qzGradientStop stop;
        stop.color = r.U32();
        stop.position = r.U32() / 1000000.0;
        gradient->stops.push_back(stop);
    }
}

void ReadRegionList(Reader& r, std::vector<qzRegion>* regions) {
    int32_t count = r.I32();
    if (r.error) return;
    if (count < 0 || count > QZ_MAX_REGIONS) {
        r.error = ERR_READ;
        return;
    }
    for (int32_t i = 0; i < count && !r.error; i++) {
        qzRegion region;
        region.type = r.I32();
        region.x = r.I32();
        region.y = r.I32();
        region.width = r.I32();
        region.height = r.I32();
        regions->push_back(region);
    }
}

// Backfill record; the field set depends on the format version read so far.
void ReadBackfillRecord(ContainerState& s, qzBackfillSettings* backfill) {
    Reader& r = *s.r;
    backfill->type = r.U8();
    switch (backfill->type) {
    case 1: backfill->startColor = r.I32(); break;
    case 2:
        backfill->startColor = r.I32();
        backfill->endColor = r.I32();
        break;
    case 3: backfill->brush = r.I32(); break;
    case 4:
        backfill->brush = r.I32();
        backfill->x = r.I32();
        backfill->y = r.I32();
        backfill->startColor = r.I32();
        backfill->endColor = r.I32();
        if (!(s.major == 3 && (s.minor == 0 || s.minor == 1))) {
            if (s.major >= 3) backfill->scalePicture = r.U8();
            if (s.From(6, 0)) backfill->smoothScale = r.U8();
        }
        break;
    default: break;
    }
}

// Menu tree: items, each followed by a marker (2: a sub-menu follows, then another marker; 0: end
// of this level; anything else: another item).
void ReadMenuTree(Reader& r, std::vector<qzDirectiveMenuItem>* items, int depth) {
    if (depth > kMaxMenuDepth) {
        r.error = ERR_MENUCOMPLEXITY;
        return;
    }
    while (!r.error) {
        qzDirectiveMenuItem item;
        int16_t nameLength = r.I16();
        if (nameLength < 0) {
            if (!r.error) r.error = ERR_READ;
            return;
        }
        if (nameLength > 0) {
            item.hasName = 1;
            item.name = r.FixedText((uint64_t)nameLength, QZ_MAX_TITLE);
        }
        item.id = r.Str16(QZ_MAX_TITLE);
        item.hotkey = r.Str16(QZ_MAX_TITLE);
        item.flags = r.I32();
        int marker = r.U8();
        if (r.error) return;
        if (marker == 2) {
            item.hasSubMenu = 1;
            ReadMenuTree(r, &item.subMenu, depth + 1);
            marker = r.U8();
        }
        items->push_back(std::move(item));
        if (marker == 0 || r.error) return;
    }
}

void ReadDisplayData(ContainerState& s, qzDisplayDirective* d) {
    Reader& r = *s.r;
    d->bgpicId = r.I32();
    d->x = r.I32();
    d->y = r.I32();
    d->width = r.I32();
    d->height = r.I32();
    d->color = r.I32();
    d->gradient.startColor = (uint32_t)d->color;
    d->flags = r.U32();
    r.I32();  // unused
    d->scaleWidth = r.I32();
    d->scaleHeight = r.I32();
    ReadRegionList(r, &d->dragRegions);
    ReadRegionList(r, &d->sizeRegions);
    d->title = r.Str16(QZ_MAX_TITLE);
    if (s.From(4, 7)) {
        d->fillStyle = r.U8();
        d->gradient.endColor = r.U32();
        d->gradient.angle = r.I16();
        d->textureBrush = r.I32();
        d->textureX = r.I32();
        d->textureY = r.I32();
    }
    if (s.From(5, 0)) ReadGradientRecord(r, &d->gradient);
    if (s.From(5, 2)) r.Str16(63);  // unused
    if (s.From(5, 3)) d->orientation = r.U8();
    if (s.From(6, 0)) {
        d->monitor = r.U8();
        int hasMenu = r.U8();
        int32_t menu = r.I32();
        d->menuId = hasMenu ? menu : -1;
        d->screen.displayMode = r.U8();
        d->screen.desktop = r.U8();
        d->screen.screenWidth = r.I16();
        d->screen.screenHeight = r.I16();
        d->screen.screenDepth = r.U8();
        int hideTitleBar = r.U8();
        ReadBackfillRecord(s, &d->screen.backfill);
        d->screen.backfill.hideTitleBar = hideTitleBar;
        r.Str16(255);  // three unused texts
        r.Str16(63);
        r.Str16(255);
    }
}

// The frame layout of an animation or sprite: size, frame count, frames per row and position.
void ReadFrameLayout(Reader& r, qzImageDirectiveData* image) {
    image->width = r.I16();
    image->height = r.I16();
    image->frames = r.I16();
    image->framesPerRow = r.I16();
    image->x = r.I16();
    image->y = r.I16();
}

// The value behind a key or constant name: a kind byte, then a number (kind 0) or a text.
void ReadKeyValue(Reader& r, int* isString, double* number, std::string* text) {
    int kind = r.U8();
    if (kind == 0) {
        *number = r.F64();
    } else {
        *isString = 1;
        *text = r.CStr(QZ_MAX_CONSTANT_TEXT);
    }
}

void ReadRequireTags(Reader& r, std::vector<qzRequireTag>* tags) {
    int32_t count = r.Count(7);
    for (int32_t i = 0; i < count && !r.error; i++) {
        qzRequireTag tag;
        r.I32();  // room the original needed for key and text
        tag.key = r.CStr(QZ_MAX_SYMBOL_NAME);
        ReadKeyValue(r, &tag.isString, &tag.number, &tag.text);
        tags->push_back(std::move(tag));
    }
}

int ReadDirective(ContainerState& s) {
    Reader& r = *s.r;
    qzDirective d;
    d.type = r.U8();
    d.id = r.I32();
    int32_t nameOffset = r.I32();
    int32_t nameLength = r.I32();
    int32_t dataOffset = r.I32();
    int32_t dataSize = r.I32();
    d.value = r.I32();
    d.flags = r.I32();
    d.line = r.I32();
    if (s.From(6, 0)) {
        d.loader = r.Str16(QZ_MAX_LOADER_NAME);
        d.adapter = r.Str16(QZ_MAX_LOADER_NAME);
    }
    if (r.error) return r.error;
    if (d.type > QZ_DIR_LAST) return ERR_UNKNOWNSEC;
    d.containerPath = s.path;

    if (nameLength != 0) {
        if (!s.InContainer(nameOffset, nameLength)) return ERR_READ;
        // Only the first QZ_MAX_PATH + 1 bytes are read: several directives may point at the same
        // long stretch of the container, and a name longer than a path cannot be used anyway.
        uint64_t back = r.in->pos;
        r.Seek(r.in->start + (uint64_t)nameOffset);
        uint64_t take = (uint64_t)nameLength < QZ_MAX_PATH + 1 ? (uint64_t)nameLength : QZ_MAX_PATH + 1;
        d.name = r.FixedText(take, QZ_MAX_PATH);
        d.hasName = 1;
        r.Seek(back);
        if (r.error) return r.error;
    }
    if (dataSize != 0) {
        if (!s.InContainer(dataOffset, dataSize)) return ERR_READ;
        d.dataOffset = dataOffset;
        d.dataSize = dataSize;
    }

    switch (d.type) {
    case QZ_DIR_BGPIC: {
        d.bgpic = std::make_unique<qzBGPicDirectiveData>();
        qzBGPicDirectiveData* b = d.bgpic.get();
        InitGradientSettings(&b->gradient);
        if (s.From(4, 7)) {
            b->fillStyle = r.U8();
            b->fillColor = r.I32();
            b->gradient.startColor = (uint32_t)b->fillColor;
            b->gradient.endColor = r.U32();
            b->gradient.angle = r.I16();
            b->textureBrush = r.I32();
            b->textureX = r.I32();
            b->textureY = r.I32();
        }
        if (s.From(5, 0)) ReadGradientRecord(r, &b->gradient);
        if (s.From(5, 3)) {
            b->scaleWidth = r.I32();
            b->scaleHeight = r.I32();
            b->smoothScale = r.I32();
        }
        break;
    }
    case QZ_DIR_BRUSH:
        d.image.width = r.I16();
        d.image.height = r.I16();
        d.image.x = r.I16();
        d.image.y = r.I16();
        d.image.globalAlpha = r.I16();
        if (s.From(5, 0)) d.image.hardware = r.U8();
        if (s.From(5, 3)) {
            d.image.scaleWidth = r.I32();
            d.image.scaleHeight = r.I32();
            d.image.smoothScale = r.I32();
        }
        if (s.From(6, 0)) d.image.display = r.I32();
        break;
    case QZ_DIR_ANIM:
        if (s.From(3, 0)) d.image.fromDisk = r.U8();
        if (s.From(4, 1)) ReadFrameLayout(r, &d.image);
        if (s.From(5, 3)) {
            d.image.skipLoopFrames = r.U8();
            d.image.deinterlace = r.U8();
        }
        break;
    case QZ_DIR_SPRITE: ReadFrameLayout(r, &d.image); break;
    case QZ_DIR_BUTTON:
        for (int i = 0; i < 4; i++) d.button[i] = r.I16();
        break;
    case QZ_DIR_DISPLAY:
        d.display = std::make_unique<qzDisplayDirective>();
        InitDisplayDirective(d.display.get());
        ReadDisplayData(s, d.display.get());
        break;
    case QZ_DIR_PLUGIN:
        if (s.From(6, 0)) ReadRequireTags(r, &d.tags);
        break;
    case QZ_DIR_MENU: ReadMenuTree(r, &d.menu, 0); break;
    default: break;
    }
    if (r.error) return r.error;
    s.applet->directives.push_back(std::move(d));
    return 0;
}

int ReadIncludeRanges(ContainerState& s, int tag) {
    Reader& r = *s.r;
    int32_t count = r.Count(tag == 8 ? 13 : 14);
    for (int32_t i = 0; i < count && !r.error; i++) {
        qzIncludeRange range;
        range.firstLine = r.I32();
        range.lastLine = r.I32();
        range.lineOffset = r.I32();
        if (tag == 33) {
            range.sourceName = r.XStr(QZ_MAX_PATH);
            range.containerName = r.XStr(QZ_MAX_PATH);
        } else {
            range.sourceName = r.CStr(QZ_MAX_PATH);
            range.containerName = tag == 8 ? s.path : r.CStr(QZ_MAX_PATH);
        }
        if (!r.error) s.applet->includeRanges.push_back(std::move(range));
    }
    return r.error;
}

int ReadLinkedFiles(ContainerState& s) {
    Reader& r = *s.r;
    int32_t count = r.Count(5);
    r.I32();  // unused
    for (int32_t i = 0; i < count && !r.error; i++) {
        std::string name = r.CStr(QZ_MAX_LINKED_NAME);
        int32_t size = r.I32();
        if (r.error) break;
        if (size == -2) continue;  // dropped entry
        int64_t offset;
        if (size == -1) {
            size = r.I32();
            offset = r.I32();
            if (r.error) break;
            if (!s.InContainer(offset, size)) return ERR_READ;
        } else {
            if (size < 0 || (uint64_t)size > r.Remaining()) return ERR_READ;
            offset = (int64_t)(r.in->pos - r.in->start);
            r.Skip((uint64_t)size);
        }
        AddLinkedFile(s.applet, name, s.path, (uint64_t)offset, (uint64_t)size);
    }
    return r.error;
}

int ReadUserConstants(ContainerState& s) {
    Reader& r = *s.r;
    for (;;) {
        qzUserConstant constant;
        constant.name = r.CStr(QZ_MAX_SYMBOL_NAME);
        if (r.error) return r.error;
        if (constant.name.empty()) return 0;
        ReadKeyValue(r, &constant.isString, &constant.number, &constant.text);
        if (r.error) return r.error;
        s.applet->constants.push_back(std::move(constant));
    }
}

// Reads records after the magic up to and including the bytecode record.
int ReadRecords(ContainerState& s) {
    Reader& r = *s.r;
    qzAppletDescriptor* a = s.applet;
    for (;;) {
        int tag = r.GetC();
        if (r.error) return r.error;
        if (tag < 0) return ERR_UNEXPECTEDEOF;
        if (tag > QZ_CONTAINER_LAST_TAG) return ERR_UNKNOWNSEC;
        int error = 0;
        switch (tag) {
        case 0: {
            int32_t n = r.I32();
            if (!r.error && n < 0) return ERR_READ;
            r.Skip((uint64_t)n);
            break;
        }
        case 1: {
            int32_t size = r.I32();
            if (r.error) return r.error;
            if (size < 0 || (uint64_t)size > r.Remaining()) return ERR_READ;
            a->bytecode.resize((size_t)size);
            r.Bytes(a->bytecode.data(), (uint64_t)size);
            return r.error;
        }
        case 2: {
            int32_t count = r.Count(33);
            for (int32_t i = 0; i < count && !error; i++) error = ReadDirective(s);
            break;
        }
        case 3: {
            int w = r.I16(), h = r.I16();
            if (r.error) break;
            qzDisplayDirective* d = s.Display1();
            d->width = w;
            d->height = h;
            break;
        }
        case 4: s.display1Title = r.Str16(QZ_MAX_TITLE); break;
        case 5: {
            int32_t color = r.I32();
            if (!r.error) s.Display1()->color = color;
            break;
        }
        case 6: {
            int32_t x = r.I32(), y = r.I32();
            if (r.error) break;
            qzDisplayDirective* d = s.Display1();
            d->x = x;
            d->y = y;
            break;
        }
        case 7: a->screenOptions.desktop = 1; break;
        case 8:
        case 27:
        case 33: error = ReadIncludeRanges(s, tag); break;
        case 9: {
            a->hasLabels = 1;
            a->labels.clear();
            int32_t count = r.Count(5);
            for (int32_t i = 0; i < count && !r.error; i++) {
                qzLabel label;
                label.value = r.I32();
                label.name = r.CStr(QZ_MAX_SYMBOL_NAME);
                if (!r.error) a->labels.push_back(std::move(label));
            }
            break;
        }
        case 10: {
            int major = r.U8(), minor = r.U8();
            if (r.error) break;
            if (major > 6 || (major == 6 && minor > 0)) {
                SetErrorArgString((std::to_string(major) + "." + std::to_string(minor)).c_str());
                return ERR_APPLETVERSION;
            }
            s.major = a->versionMajor = major;
            s.minor = a->versionMinor = minor;
            break;
        }
        case 11: a->title = r.CStr(QZ_MAX_METADATA); break;
        case 12:
            a->version = r.CStr(QZ_MAX_METADATA);
            if (!a->version.empty() && (uint8_t)a->version[0] == 0xFF) a->version[0] = '$';
            break;
        case 13: a->copyright = r.CStr(QZ_MAX_METADATA); break;
        case 14: a->author = r.CStr(QZ_MAX_METADATA); break;
        case 15: a->description = r.CStr(QZ_MAX_METADATA); break;
        case 16: a->screenOptions.displayMode = r.U8(); break;
        case 17: ReadBackfillRecord(s, &a->screenOptions.backfill); break;
        case 18:
        case 19:
        case 20:
        case 24:
        case 25:
        case 30: {
            int on = r.U8();
            if (r.error || !on) break;
            uint32_t flag = tag == 18   ? QZ_DISPF_BORDERLESS
                            : tag == 19 ? QZ_DISPF_FIXED
                            : tag == 20 ? QZ_DISPF_SIZEABLE
                            : tag == 24 ? QZ_DISPF_HIDEPOINTER
                            : tag == 25 ? QZ_DISPF_NOMODESWITCH
                                        : QZ_DISPF_NOHIDE;
            s.Display1()->flags |= flag;
            break;
        }
        case 21: a->screenOptions.backfill.hideTitleBar = r.U8(); break;
        case 22:
            a->screenOptions.screenWidth = r.I16();
            a->screenOptions.screenHeight = r.I16();
            break;
        case 23: a->screenOptions.screenDepth = r.U8(); break;
        case 26: error = ReadLinkedFiles(s); break;
        case 28: {
            int kind = r.U8();
            int32_t w = r.I32(), h = r.I32();
            int smooth = r.U8();
            if (r.error) break;
            qzDisplayDirective* d = s.Display1();
            d->flags |= kind == 0 ? QZ_DISPF_AUTOSCALE : QZ_DISPF_LAYERSCALE;
            d->scaleWidth = w;
            d->scaleHeight = h;
            if (smooth) d->flags |= QZ_DISPF_SMOOTHSCALE;
            break;
        }
        case 29: s.context->displaySettingsLocked = 1; break;
        case 31: error = ReadUserConstants(s); break;
        case 32:
            a->timerSettings.flags = r.I32();
            if (s.From(6, 0)) {
                a->timerSettings.value1 = r.I32();
                a->timerSettings.value2 = r.I32();
                a->timerSettings.byte = r.U8();
            }
            break;
        }
        if (error) return error;
        if (r.error) return r.error;
    }
}

// The icon block behind the bytecode: zero bytes, then "I", two skipped bytes and entries
// {i16 width, i16 height, u8 flags, u32 size, data} up to a width of 0. Each entry that fits an
// icon slot names its data by a chunk file name in path.
int ReadIconBlock(Reader& r, const std::string& path, qzAppletDescriptor* applet) {
    int c;
    do c = r.GetC();
    while (c == 0);
    if (r.error) return r.error;
    if (c != 'I') return 0;
    r.Skip(2);
    for (;;) {
        int width = r.I16();
        if (r.error || width == 0) return r.error;
        int height = r.I16();
        int flags = r.U8();
        uint32_t size = r.U32();
        if (r.error) return r.error;
        if (size > r.Remaining()) return ERR_READ;
        for (int i = (flags & 1) ? 9 : 0; i < QZ_ICON_SLOTS; i++) {
            qzIconSlot& slot = applet->icons[i];
            if (slot.size != width || slot.size != height) continue;
            char name[32];
            std::snprintf(name, sizeof name, "%dx%d", width, height);
            std::vector<char> chunkName(path.size() + 128);
            MakeChunkName(name, chunkName.data(), chunkName.size(), 0, size, r.in->pos, path.c_str());
            slot.chunkName = chunkName.data();
            slot.used = 1;
            if (flags & 2) slot.flag = 1;
            break;
        }
        r.Skip(size);
    }
}

void StartContainer(ContainerState& s, const std::string& path, uint64_t base, uint64_t size) {
    qzAppletDescriptor* a = s.applet;
    s.context->compiledApplet = 1;
    a->containerRead = 1;
    a->title.clear();
    a->containerPath = path;
    a->containerBase = base;
    a->containerSize = size;
    s.path = path;
    s.major = 0;
    s.minor = 0;
}

bool IsPlainMagic(const uint8_t* m) { return std::memcmp(m, "QZA\0", 4) == 0; }
bool IsPackedMagic(const uint8_t* m) { return std::memcmp(m, "QZZ\0", 4) == 0; }

// Unpacks the zlib stream of a packed container at offset in file (behind its 8-byte header)
// into out, or into buffer (stopping when bufferSize bytes are there). *consumed receives the
// bytes of the packed container used, header included.
int InflateContainer(qzHostFile* file, uint64_t offset, qzHostFile* out, uint8_t* buffer, size_t bufferSize,
                     size_t* produced, uint64_t* consumed) {
    const size_t kChunk = 16384;
    std::vector<uint8_t> inBuf(kChunk), outBuf(kChunk);
    if (!OsHostSeek(file, offset + 8)) return ERR_READ;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    int ret = inflateInit(&z);
    if (ret != Z_OK) return MapZlibError(ret);
    size_t filled = 0;
    int result = 0;
    bool done = false;
    ret = Z_OK;
    while (!done && !result) {
        size_t got = OsHostRead(file, inBuf.data(), kChunk);
        if (got < kChunk && OsHostReadFailed(file)) {
            result = ERR_READ;
            break;
        }
        if (got == 0) {
            if (ret != Z_STREAM_END) result = ERR_ZLIBDATA;
            break;
        }
        z.next_in = inBuf.data();
        z.avail_in = (uInt)got;
        do {
            z.next_out = outBuf.data();
            z.avail_out = (uInt)kChunk;
            ret = inflate(&z, Z_NO_FLUSH);
            if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR || ret == Z_STREAM_ERROR) {
                result = MapZlibError(ret);
                break;
            }
            size_t have = kChunk - z.avail_out;
            if (out) {
                if (have && OsHostWrite(out, outBuf.data(), have) != have) {
                    result = ERR_WRITE;
                    break;
                }
            } else {
                size_t take = have < bufferSize - filled ? have : bufferSize - filled;
                std::memcpy(buffer + filled, outBuf.data(), take);
                filled += take;
                if (filled == bufferSize) {
                    done = true;
                    break;
                }
            }
            if (ret == Z_STREAM_END) {
                done = true;
                break;
            }
        } while (z.avail_out == 0);
    }
    if (produced) *produced = filled;
    if (consumed) *consumed = 8 + (uint64_t)z.total_in;
    inflateEnd(&z);
    return result;
}

std::string FilePart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirectoryPart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::string dir = OsHostCurrentDir();
    if (dir.empty()) return path;
    if (dir.back() != '/') dir += '/';
    return dir + path;
}

// Opens a container file and reads the magic at offset; the magic stays zero when no more than
// four bytes lie behind the offset. Returns 0 with the open file and its size, ERR_READFILE
// naming the path, or ERR_READ.
int OpenContainerFile(const std::string& path, uint64_t offset, qzHostFile** out, uint64_t* size, uint8_t magic[4]) {
    std::memset(magic, 0, 4);
    qzHostFile* file = OsHostOpen(path.c_str(), false);
    if (!file) {
        SetErrorArgString(path.c_str());
        return ERR_READFILE;
    }
    *size = 0;
    if (!OsHostSize(file, size)) {
        OsHostClose(file);
        return ERR_READ;
    }
    if (*size > offset && *size - offset > 4) {
        if (!OsHostSeek(file, offset) || OsHostRead(file, magic, 4) != 4) {
            OsHostClose(file);
            return ERR_READ;
        }
    }
    *out = file;
    return 0;
}

// Unpacks a packed container into a new temporary file; returns its path in *tempPath.
int UnpackToTempFile(qzHostFile* packed, uint64_t offset, qzPlayerContext* context, std::string* tempPath,
                     uint64_t* consumed) {
    char name[QZ_PATH_MAX];
    // The list that deletes the file at shutdown has room for its name before the file exists, so
    // that memory running out cannot leave it behind unlisted.
    std::string listed;
    listed.reserve(sizeof name);
    tempPath->reserve(sizeof name);
    context->tempFiles.reserve(context->tempFiles.size() + 1);
    if (!OsGetTempFileName(name, sizeof name)) {
        SetErrorArgString(OsGetTempDir().c_str());
        return ERR_WRITEFILE;
    }
    *tempPath = name;
    listed = name;
    context->tempFiles.push_back(std::move(listed));
    qzHostFileOwner out(OsHostOpen(name, true));
    if (!out) {
        SetErrorArgString(name);
        return ERR_WRITEFILE;
    }
    int result = InflateContainer(packed, offset, out.get(), nullptr, 0, nullptr, consumed);
    if (OsHostClose(out.release()) != 0 && !result) result = ERR_WRITE;
    return result;
}

}  // namespace

int ReadAppletContainerData(const uint8_t* data, size_t size, const char* path, qzPlayerContext* context,
                            qzAppletDescriptor* applet) {
    if (size < 4 || !IsPlainMagic(data)) {
        SetErrorArgString(FilePart(path).c_str());
        return ERR_NOAPPLET;
    }
    Input in;
    in.data = data;
    in.end = size;
    in.pos = 4;
    Reader r{&in};
    ContainerState s(&r, context, applet);
    StartContainer(s, path, 0, size);
    int error = ReadRecords(s);
    if (!error) error = ReadIconBlock(r, path, applet);
    return error;
}

int ReadAppletContainer(qzPlayerContext* context, qzAppletDescriptor* applet) {
    std::string path = AbsolutePath(context->appletPath);
    if (!OsHostPathExists(path.c_str())) {
        SetErrorArgString(path.c_str());
        return ERR_FILEEXIST;
    }
    context->appletPath = path;
    // "Opening script <name>..." stays open until the records are read: "done" on success, or
    // "failed" from the final error report.
    PrintProgressStart(GetCatalogText(QZ_MSG_OPENINGSCRIPT), path.c_str(), true);
    SetStartupProgressOpen(!IsRuntimeQuiet());
    std::string folder = context->appended ? DirectoryPart(AbsolutePath(context->programPath)) : DirectoryPart(path);
    if (!folder.empty() && !OsHostChangeDir(folder.c_str())) {
        // Staying in the current folder only affects relative names the applet uses later.
    }

    uint64_t offset = context->appended ? context->appendedOffset : 0;
    // Every file stays owned while the records are read: memory running out there unwinds past
    // this frame.
    qzHostFile* opened = nullptr;
    uint64_t size = 0;
    uint8_t magic[4];
    int openError = OpenContainerFile(path, offset, &opened, &size, magic);
    if (openError) return openError;
    qzHostFileOwner file(opened);

    // A packed container: unpack it into a temporary file and read that from its start. Its
    // icon block stays in the packed file, right behind the packed data.
    std::string iconPath = path;
    uint64_t iconPos = 0;
    bool packed = IsPackedMagic(magic);
    if (packed) {
        std::string tempPath;
        uint64_t consumed = 0;
        int error = UnpackToTempFile(file.get(), offset, context, &tempPath, &consumed);
        file.reset();
        if (error) return error;
        iconPos = offset + consumed;
        path = tempPath;
        context->appletPath = tempPath;
        offset = 0;
        openError = OpenContainerFile(path, offset, &opened, &size, magic);
        if (openError) return openError;
        file.reset(opened);
    }
    if (!IsPlainMagic(magic)) {
        file.reset();
        // The report names the user's file, not the unpacked copy of a packed one.
        SetErrorArgString(FilePart(packed ? iconPath : path).c_str());
        return ERR_NOAPPLET;
    }

    Input in;
    in.file = file.get();
    in.start = offset;
    in.end = size;
    in.pos = offset + 4;
    Reader r{&in};
    ContainerState s(&r, context, applet);
    StartContainer(s, path, offset, size - offset);
    int error = ReadRecords(s);
    if (!error && !packed) error = ReadIconBlock(r, path, applet);
    file.reset();

    if (!error && packed) {
        qzHostFileOwner packedFile(OsHostOpen(iconPath.c_str(), false));
        if (!packedFile) {
            SetErrorArgString(iconPath.c_str());
            return ERR_READFILE;
        }
        Input iconIn;
        iconIn.file = packedFile.get();
        iconIn.start = iconPos;
        iconIn.pos = iconPos;
        if (!OsHostSize(packedFile.get(), &iconIn.end)) error = ERR_READ;
        Reader ir{&iconIn};
        if (!error) error = ReadIconBlock(ir, iconPath, applet);
    }
    if (!error) {
        PrintProgressDone();
        SetStartupProgressOpen(0);
    }
    return error;
}

int CheckAppletFile(const char* path, int* packed) {
    *packed = 0;
    qzHostFile* file = OsHostOpen(path, false);
    if (!file) {
        SetErrorArgString(path);
        return ERR_FILEEXIST;
    }
    uint8_t magic[4];
    size_t got = OsHostRead(file, magic, 4);
    OsHostClose(file);
    if (got != 4) return ERR_READ;
    if (IsPackedMagic(magic)) {
        *packed = 1;
        return 0;
    }
    if (IsPlainMagic(magic)) return 0;
    SetErrorArgString(path);
    return ERR_NOAPPLET;
}

void ReadAppletMetadata(const uint8_t* data, size_t size, qzAppletDescriptor* applet) {
    Input in;
    in.data = data;
    in.end = size;
    in.pos = 4;
    Reader r{&in};
    if (size < 4) return;
    for (;;) {
        int tag = r.GetC();
        if (tag < 0) return;
        if (tag == 10) {
            r.Skip(2);
        } else if (tag >= 11 && tag <= 15) {
            std::string text = r.CStr(QZ_MAX_METADATA);
            if (r.error) return;  // cut off at the end of the head
            if (tag == 12 && !text.empty() && (uint8_t)text[0] == 0xFF) text[0] = '$';
            std::string* fields[5] = {&applet->title, &applet->version, &applet->copyright, &applet->author,
                                      &applet->description};
            *fields[tag - 11] = text;
        } else if (tag != 29) {
            return;
        }
        if (r.error) return;
    }
}

int ReadAppletHead(const char* path, qzAppletDescriptor* applet) {
    qzHostFileOwner file(OsHostOpen(path, false));
    if (!file) {
        SetErrorArgString(path);
        return ERR_READFILE;
    }
    uint8_t head[QZ_APPLET_HEAD_SIZE];
    size_t got = OsHostRead(file.get(), head, sizeof head);
    int error = 0;
    if (got >= 4 && IsPackedMagic(head)) {
        size_t produced = 0;
        error = InflateContainer(file.get(), 0, nullptr, head, sizeof head, &produced, nullptr);
        // A short applet unpacks completely before the buffer is full; what is there counts.
        if (error == 0 || produced > 0) {
            got = produced;
            error = 0;
        }
    }
    file.reset();
    if (!error) ReadAppletMetadata(head, got, applet);
    return error;
}
