#include "gfx/bitmap.h"

#include <atomic>

#include "platform/os_alloc.h"

static std::atomic<qzDisplayAttrQuery> gDisplayAttrQuery{nullptr};

void SetDisplayAttrQuery(qzDisplayAttrQuery query) { gDisplayAttrQuery.store(query); }
qzDisplayAttrQuery GetDisplayAttrQuery() { return gDisplayAttrQuery.load(); }

// Where the storage of a record lives.
enum Storage { STORAGE_ENGINE, STORAGE_ADAPTER, STORAGE_VIDEO };

static Storage StorageOf(const qzBitMap* bitmap) {
    if (bitmap->kind == BITMAP_COLOR && bitmap->video)
        return AdapterOffersVideoBitMaps() ? STORAGE_VIDEO : STORAGE_ENGINE;
    return AdapterOwnsBitMaps() ? STORAGE_ADAPTER : STORAGE_ENGINE;
}

static qzBitMap* NewRecord(int kind, int width, int height) {
    auto* bitmap = static_cast<qzBitMap*>(OsAlloc(sizeof(qzBitMap), 1));
    if (bitmap) {
        bitmap->kind = kind;
        bitmap->width = width;
        bitmap->height = height;
    }
    return bitmap;
}

void* AdapterAllocBitMap(int kind, int width, int height, int clear, const qzAdapterTag* tags) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (!adapter || !adapter->AllocBitMap) return nullptr;
    static const qzAdapterTag kNoTags[1] = {{0, 0}};
    return adapter->AllocBitMap(kind, width, height, clear, tags ? tags : kNoTags);
}

qzBitMap* CreateBitMap(int width, int height, uint32_t flags, const qzAdapterTag* tags) {
    if (width < 1 || height < 1) return nullptr;
    qzBitMap* bitmap = NewRecord(BITMAP_COLOR, width, height);
    if (!bitmap) return nullptr;
    bool platform = false;
    if (flags & BMF_VIDEO) {
        bitmap->video = 1;
        const qzDisplayAdapter* adapter = GetDisplayAdapter();
        if (AdapterOffersVideoBitMaps()) {
            static const qzAdapterTag kNoTags[1] = {{0, 0}};
            if (adapter->AllocVideoBitMap)
                bitmap->handle =
                    adapter->AllocVideoBitMap(width, height, flags, &bitmap->videoPrepared, tags ? tags : kNoTags);
        } else {
            bitmap->handle = OsAllocBitMap(width, height);
            platform = true;
        }
    } else if (AdapterOwnsBitMaps()) {
        bitmap->handle = AdapterAllocBitMap(BITMAP_COLOR, width, height, 0, nullptr);
    } else {
        bitmap->handle = OsAllocBitMap(width, height);
        platform = true;
    }
    if (!bitmap->handle) {
        OsFree(bitmap);
        return nullptr;
    }
    if (platform && !OsLockBitMap(static_cast<qzRawBitMap*>(bitmap->handle), 0, &bitmap->videoPrepared)) {
        DeleteBitMap(bitmap);
        return nullptr;
    }
    return bitmap;
}

// A channel record over `memory` or over new memory of height x bytesPerRow bytes.
static qzRawBitMap* NewChannelRecord(int kind, int width, int height, int clear, void* memory, int64_t bytesPerRow) {
    if (bytesPerRow < 1 || height < 1 || bytesPerRow > QZ_MAX_BITMAP_BYTES / height) return nullptr;
    auto* record = static_cast<qzRawBitMap*>(OsAlloc(sizeof(qzRawBitMap), 1));
    if (!record) return nullptr;
    record->kind = kind;
    record->width = width;
    record->height = height;
    record->bytesPerRow = (int32_t)bytesPerRow;
    record->bytesPerPixel = kind == BITMAP_ALPHA ? 1 : 0;
    record->pixelFormat = kind == BITMAP_ALPHA ? PIXFMT_ALPHA8 : PIXFMT_MASK1;
    if (memory) {
        record->pixels = memory;
        record->notOwned = 1;
    } else {
        record->pixels = OsAlloc((size_t)bytesPerRow * (size_t)height, clear);
        if (!record->pixels) {
            OsFree(record);
            return nullptr;
        }
    }
    return record;
}

qzBitMap* CreateAlphaBitMap(int width, int height, int clear, void* memory, int bytesPerRow) {
    if (width < 1 || height < 1) return nullptr;
    qzBitMap* bitmap = NewRecord(BITMAP_ALPHA, width, height);
    if (!bitmap) return nullptr;
    if (AdapterOwnsBitMaps()) {
        qzAdapterTag tags[3] = {{0, 0}, {0, 0}, {0, 0}};
        if (memory) {
            tags[0] = {2, (intptr_t)memory};
            tags[1] = {3, bytesPerRow};
        }
        bitmap->handle = AdapterAllocBitMap(BITMAP_ALPHA, width, height, clear != 0, tags);
    } else {
        int64_t rowBytes = (memory && bytesPerRow > 0) ? bytesPerRow : AlphaBytesPerRow(width);
        bitmap->handle = NewChannelRecord(BITMAP_ALPHA, width, height, clear, memory, rowBytes);
    }
    if (!bitmap->handle) {
        OsFree(bitmap);
        return nullptr;
    }
    return bitmap;
}

qzBitMap* CreateMaskBitMap(const qzBitMap* friendBitmap, int width, int height, int clear, void* memory,
                           int bytesPerRow) {
    if (width < 1 || height < 1) return nullptr;
    qzBitMap* bitmap = NewRecord(BITMAP_MASK, width, height);
    if (!bitmap) return nullptr;
    if (AdapterOwnsBitMaps()) {
        qzAdapterTag tags[4] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
        int n = 0;
        if (friendBitmap) tags[n++] = {1, (intptr_t)friendBitmap->handle};
        if (memory) tags[n++] = {2, (intptr_t)memory};
        if (bytesPerRow > 0) tags[n++] = {3, bytesPerRow};
        bitmap->handle = AdapterAllocBitMap(BITMAP_MASK, width, height, clear != 0, tags);
    } else {
        int64_t rowBytes;
        if (memory && bytesPerRow > 0) {
            rowBytes = bytesPerRow;
        } else {
            // A friend narrower than the mask would give rows too short for its width.
            int64_t rowLength = width;
            if (friendBitmap) {
                intptr_t friendRow = QueryBitMapAttr(friendBitmap, BMATTR_ROWLENGTH);
                if (friendRow > rowLength) rowLength = friendRow;
            }
            rowBytes = MaskBytesPerRow(rowLength);
        }
        bitmap->handle = NewChannelRecord(BITMAP_MASK, width, height, clear, memory, rowBytes);
    }
    if (!bitmap->handle) {
        OsFree(bitmap);
        return nullptr;
    }
    return bitmap;
}

void DeleteBitMap(qzBitMap* bitmap) {
    if (!bitmap) return;
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    switch (StorageOf(bitmap)) {
    case STORAGE_VIDEO:
        if (adapter->FreeVideoBitMap) adapter->FreeVideoBitMap(bitmap->handle);
        break;
    case STORAGE_ADAPTER:
        if (adapter->FreeBitMap) adapter->FreeBitMap(bitmap->handle);
        break;
    case STORAGE_ENGINE:
        if (bitmap->kind == BITMAP_COLOR) {
            OsFreeBitMap(static_cast<qzRawBitMap*>(bitmap->handle));
        } else if (auto* record = static_cast<qzRawBitMap*>(bitmap->handle)) {
            if (!record->notOwned) OsFree(record->pixels);
            OsFree(record);
        }
        break;
    }
    OsFree(bitmap);
}

void DeleteAlphaBitMap(qzBitMap* bitmap) { DeleteBitMap(bitmap); }

void DeleteMaskBitMap(qzBitMap* bitmap) { DeleteBitMap(bitmap); }

intptr_t PrepareVideoBitMap(qzBitMap* bitmap) {
    if (!bitmap || !bitmap->video) return 0;
    if (bitmap->videoPrepared) return bitmap->videoPrepared;
    intptr_t answer = 0;
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (AdapterOffersVideoBitMaps() && adapter->DoVideoBitMapMethod)
        answer = adapter->DoVideoBitMapMethod(bitmap->handle, 1, 1);
    bitmap->videoPrepared = 1;
    return answer;
}

static void FillChannelLock(const qzRawBitMap* record, qzLockInfo* lock) {
    lock->pixels = record->pixels;
    lock->rowLength = record->bytesPerRow;
    lock->width = record->width;
    lock->height = record->height;
    lock->bytesPerPixel = record->kind == BITMAP_ALPHA ? 1 : 0;
    lock->pixelFormat = record->kind == BITMAP_ALPHA ? PIXFMT_ALPHA8 : PIXFMT_MASK1;
    lock->noUnlock = 1;
    lock->success = 1;
}

static int LockThroughAdapter(const qzBitMap* bitmap, int flags, qzLockInfo* lock) {
    *lock = qzLockInfo{};
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (!adapter || !adapter->LockBitMap) return 0;
    intptr_t out[ADAPTERLOCK_WORDS] = {};
    intptr_t handle = adapter->LockBitMap(bitmap->handle, flags & LOCKF_READONLY, out, nullptr);
    if (!handle) return 0;
    lock->success = handle;
    lock->pixels = (void*)out[ADAPTERLOCK_PIXELS];
    lock->rowLength = (int32_t)out[ADAPTERLOCK_ROWLENGTH];
    lock->width = (int32_t)out[ADAPTERLOCK_WIDTH];
    lock->height = (int32_t)out[ADAPTERLOCK_HEIGHT];
    if (bitmap->kind == BITMAP_COLOR) {
        lock->pixelFormat = adapter->pixelFormat;
        lock->bytesPerPixel = GetPixelFormatBytes(adapter->pixelFormat);
    } else {
        lock->pixelFormat = bitmap->kind == BITMAP_ALPHA ? PIXFMT_ALPHA8 : PIXFMT_MASK1;
        lock->bytesPerPixel = bitmap->kind == BITMAP_ALPHA ? 1 : 0;
    }
    return 1;
}

int LockBitMapPixels(const void* bitmap, int flags, qzLockInfo* lock) {
    *lock = qzLockInfo{};
    if (!bitmap) return 0;
    if (flags & LOCKF_CHANNELRECORD) {
        auto* record = static_cast<const qzRawBitMap*>(bitmap);
        if (record->kind == BITMAP_ALPHA || record->kind == BITMAP_MASK) {
            FillChannelLock(record, lock);
            return 1;
        }
        if (record->kind != BITMAP_COLOR || !OsGetBitMapInfo(record, lock)) return 0;
        lock->noUnlock = 1;
        return 1;
    }
    auto* bm = static_cast<const qzBitMap*>(bitmap);
    Storage storage = StorageOf(bm);
    if (storage == STORAGE_ADAPTER || (storage == STORAGE_VIDEO && AdapterOwnsBitMaps()))
        return LockThroughAdapter(bm, flags, lock);
    if (storage == STORAGE_VIDEO) return 0;  // the adapter's video bitmap has no memory the engine can reach
    switch (bm->kind) {
    case BITMAP_ALPHA:
    case BITMAP_MASK:
        if (!bm->handle) return 0;
        FillChannelLock(static_cast<const qzRawBitMap*>(bm->handle), lock);
        return 1;
    case BITMAP_COLOR:
        if (!OsGetBitMapInfo(static_cast<const qzRawBitMap*>(bm->handle), lock)) return 0;
        lock->noUnlock = 1;  // platform memory: nothing to release
        return 1;
    default: return 0;
    }
}

void UnlockBitMapPixels(qzLockInfo* lock) {
    if (!lock->success || lock->noUnlock) return;
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (adapter && adapter->UnLockBitMap) adapter->UnLockBitMap(lock->success);
}

void* GetBitMapHandle(const qzBitMap* bitmap) { return bitmap ? bitmap->handle : nullptr; }

intptr_t QueryRawBitMapAttr(void* handle, int attr) {
    if (AdapterOwnsBitMaps()) {
        const qzDisplayAdapter* adapter = GetDisplayAdapter();
        return adapter->GetBitMapAttr ? adapter->GetBitMapAttr(handle, attr, nullptr) : 0;
    }
    auto* record = static_cast<const qzRawBitMap*>(handle);
    if (!record) return 0;
    if (attr == 0) return record->width;
    if (attr == 1) return record->height;
    return 0;
}

// Pixel pointer of an adapter-owned bitmap from a lock / unlock pair.
static intptr_t AdapterPixelPointer(const qzBitMap* bitmap) {
    qzLockInfo lock;
    if (!LockThroughAdapter(bitmap, LOCKF_READONLY, &lock)) return 0;
    intptr_t pixels = (intptr_t)lock.pixels;
    UnlockBitMapPixels(&lock);
    return pixels;
}

static intptr_t AskDisplay(const qzBitMap* bitmap, int attr) {
    if (qzDisplayAttrQuery query = gDisplayAttrQuery.load()) return query(bitmap, attr);
    if (bitmap && bitmap->kind == BITMAP_COLOR && StorageOf(bitmap) == STORAGE_ENGINE)
        return OsGetBitMapAttr(static_cast<const qzRawBitMap*>(bitmap->handle), attr);
    return 0;
}

intptr_t QueryBitMapAttr(const qzBitMap* bitmap, int attr) {
    switch (attr) {
    case BMATTR_WIDTH:
    case BMATTR_ALPHABYTESPERROW:
    case BMATTR_MASKBYTESPERROW:
    case BMATTR_ALPHAPIXELS:
    case BMATTR_MASKPIXELS:
    case BMATTR_ROWLENGTH:
    case BMATTR_HEIGHT:
    case BMATTR_VIDEO:
    case BMATTR_VIDEOPREPARED:
    case BMATTR_HANDLE:
    case BMATTR_PIXELFORMAT:
    case BMATTR_UNHANDLEDVIDEO: break;
    default: return AskDisplay(bitmap, attr);
    }
    if (!bitmap) return 0;
    switch (attr) {
    case BMATTR_WIDTH: return bitmap->width;
    case BMATTR_HEIGHT: return bitmap->height;
    case BMATTR_VIDEO: return bitmap->video;
    case BMATTR_VIDEOPREPARED: return bitmap->videoPrepared;
    case BMATTR_HANDLE: return (intptr_t)bitmap->handle;
    case BMATTR_UNHANDLEDVIDEO: return bitmap->video && !AdapterOffersVideoBitMaps();
    default: break;
    }
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    Storage storage = StorageOf(bitmap);
    if (storage != STORAGE_ENGINE) {
        switch (attr) {
        case BMATTR_ALPHABYTESPERROW:
        case BMATTR_MASKBYTESPERROW:
            return adapter->GetBitMapAttr ? adapter->GetBitMapAttr(bitmap->handle, 2, nullptr) : 0;
        case BMATTR_ALPHAPIXELS:
        case BMATTR_MASKPIXELS: return AdapterPixelPointer(bitmap);
        case BMATTR_ROWLENGTH: {
            int bytes = GetPixelFormatBytes(adapter->pixelFormat);
            if (!bytes || !adapter->GetBitMapAttr) return 0;
            return adapter->GetBitMapAttr(bitmap->handle, 2, nullptr) / bytes;
        }
        case BMATTR_PIXELFORMAT: return adapter->pixelFormat;
        default: return 0;
        }
    }
    auto* record = static_cast<const qzRawBitMap*>(bitmap->handle);
    if (!record) return 0;
    switch (attr) {
    case BMATTR_ALPHABYTESPERROW:
    case BMATTR_MASKBYTESPERROW: return record->bytesPerRow;
    case BMATTR_ALPHAPIXELS:
    case BMATTR_MASKPIXELS: return (intptr_t)record->pixels;
    case BMATTR_ROWLENGTH:
        // Alpha channels and masks have one byte (or less) a pixel: their row length is their
        // bytes per row, as their lock reports it.
        return record->bytesPerPixel > 1 ? record->bytesPerRow / record->bytesPerPixel : record->bytesPerRow;
    case BMATTR_PIXELFORMAT: return record->pixelFormat;
    default: return 0;
    }
}
