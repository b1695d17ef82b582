#include "vector/coverage_image.h"

#include <cstring>

#include "platform/os_alloc.h"

namespace {

thread_local int lastError = 0;

constexpr int64_t kMaxCoverageBytes = 0x40000000;

}  // namespace

int CoverageLastError() { return lastError; }

int SetCoverageError(int code) {
    if (code != COVERR_FAILED && code != -8) lastError = code;
    return code;
}

void ClearCoverageError() { lastError = 0; }

void* CoverageAlloc(int64_t size) {
    if (size < 0 || size > kMaxCoverageBytes) {
        SetCoverageError(COVERR_TOOBIG);
        return nullptr;
    }
    // Room for the alignment and, in front of the aligned address, the system block's address.
    const int64_t extra = size < 4096 ? 32 : 64;
    uint8_t* block = (uint8_t*)OsAlloc((size_t)(size + (int64_t)sizeof(void*) + extra), 0);
    if (!block) {
        SetCoverageError(COVERR_NOMEM);
        return nullptr;
    }
    uintptr_t aligned = ((uintptr_t)block + sizeof(void*) + 31) & ~(uintptr_t)31;
    std::memcpy((void*)(aligned - sizeof(void*)), &block, sizeof(void*));
    return (void*)aligned;
}

void CoverageFree(void* block) {
    if (!block) return;
    if ((uintptr_t)block & 31) {
        SetCoverageError(COVERR_ALIGN);
        return;
    }
    void* system = nullptr;
    std::memcpy(&system, (uint8_t*)block - sizeof(void*), sizeof(void*));
    OsFree(system);
}

qzCoverageImage* CreateCoverageImage(int width, int height, uint8_t** outPixels, int* outPitch) {
    if (outPixels) *outPixels = nullptr;
    if (outPitch) *outPitch = 0;
    auto* image = (qzCoverageImage*)OsAlloc(sizeof(qzCoverageImage), 1);
    if (!image) {
        SetCoverageError(COVERR_NODESCRIPTOR);
        SetCoverageError(COVERR_FAILED);
        return nullptr;
    }
    image->sizeWord = COVERAGE_IMAGE_TAG;
    int error = 0;
    if (width < 0 || height < 0)
        error = COVERR_NEGATIVE;
    else if (width == 0 || height == 0)
        error = COVERR_EMPTY;
    if (error) {
        SetCoverageError(error);
        OsFree(image);
        return nullptr;
    }
    const int64_t pitch = CoverageRowPitch(width);
    const int64_t bytes = pitch * height;
    image->pixels = (uint8_t*)CoverageAlloc(bytes);
    if (!image->pixels) {
        OsFree(image);
        return nullptr;
    }
    std::memset(image->pixels, 0, (size_t)bytes);
    image->width = width;
    image->height = height;
    image->pitch = (int32_t)pitch;
    if (outPixels) *outPixels = image->pixels;
    if (outPitch) *outPitch = image->pitch;
    return image;
}

void FreeCoverageImage(qzCoverageImage* image) {
    ClearCoverageError();
    if (!image) return;
    if (image->sizeWord != COVERAGE_IMAGE_TAG) {
        SetCoverageError(COVERR_BADARG);
        return;
    }
    CoverageFree(image->pixels);
    image->sizeWord = 0;
    OsFree(image);
}
