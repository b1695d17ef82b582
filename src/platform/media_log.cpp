#include "platform/media_log.h"

#include <cstdarg>

#include "platform/ffmpeg_api.h"

namespace {

void DropLogLine(void*, int, const char*, va_list) {}

}  // namespace

void QuietMediaLibraryLog(const FfmpegApi& api) {
    api.av_log_set_level(AV_LOG_QUIET);
    api.av_log_set_callback(DropLogLine);
}
