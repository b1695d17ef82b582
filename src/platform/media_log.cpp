#include "platform/media_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>

namespace {

void DropLogLine(void*, int, const char*, va_list) {}

bool SetQuietLog() {
    av_log_set_level(AV_LOG_QUIET);
    av_log_set_callback(DropLogLine);
    return true;
}

}  // namespace

void QuietMediaLibraryLog() {
    static const bool quiet = SetQuietLog();
    (void)quiet;
}
