#include "platform/ffmpeg_api.h"

extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswresample/version.h>
#include <libswscale/version.h>
}

#include <dlfcn.h>

#include <mutex>

#include "platform/media_log.h"
#include "platform/os_alloc_fault.h"

FfmpegApi gFfmpeg;

namespace {

#define QZ_STR2(x) #x
#define QZ_STR(x) QZ_STR2(x)
#define QZ_SONAME(lib, major) "lib" lib ".so." QZ_STR(major)

std::once_flag gResamplerOnce;
std::once_flag gMediaOnce;
bool gResamplerLoaded = false;
bool gMediaLoaded = false;

// Opens one library by the soname its headers were made for; null when it is missing. The
// libraries stay loaded for the life of the process. Their static constructors run here, and the
// allocations they make are not the player's own: the allocation-failure test mode leaves them be.
void* OpenLibrary(const char* soname) {
    OsAllocFaultPause pause;
    return dlopen(soname, RTLD_NOW | RTLD_LOCAL);
}

template <typename F>
bool Bind(void* library, const char* name, F* slot) {
    *slot = library ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
    return *slot != nullptr;
}

#define QZ_FFMPEG_BIND(name) ok = Bind(library, #name, &api.name) && ok;

// Each fills its libraries' fields in place: the fields of the other group may be in use on other
// threads meanwhile, and a field is read only once its group answered non-null.
void LoadResampler() {
    FfmpegApi& api = gFfmpeg;
    bool ok = true;
    void* library = OpenLibrary(QZ_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR));
    QZ_FFMPEG_AVUTIL(QZ_FFMPEG_BIND)
    library = OpenLibrary(QZ_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR));
    QZ_FFMPEG_SWRESAMPLE(QZ_FFMPEG_BIND)
    if (!ok) return;
    QuietMediaLibraryLog(api);
    gResamplerLoaded = true;
}

void LoadMedia() {
    if (!FfmpegResamplerApi()) return;
    FfmpegApi& api = gFfmpeg;
    bool ok = true;
    void* library = OpenLibrary(QZ_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR));
    QZ_FFMPEG_AVCODEC(QZ_FFMPEG_BIND)
    library = OpenLibrary(QZ_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR));
    QZ_FFMPEG_AVFORMAT(QZ_FFMPEG_BIND)
    library = OpenLibrary(QZ_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR));
    QZ_FFMPEG_SWSCALE(QZ_FFMPEG_BIND)
    gMediaLoaded = ok;
}

}  // namespace

const FfmpegApi* FfmpegResamplerApi() {
    std::call_once(gResamplerOnce, LoadResampler);
    return gResamplerLoaded ? &gFfmpeg : nullptr;
}

const FfmpegApi* FfmpegMediaApi() {
    std::call_once(gMediaOnce, LoadMedia);
    return gMediaLoaded ? &gFfmpeg : nullptr;
}
