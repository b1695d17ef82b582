// Opening a URL with the desktop's handler.
#include "platform/os_url.h"

#include "base/error_codes.h"
#include "platform/os_process.h"

int OsOpenURL(const char* url) {
    if (!url || !*url) return ERR_BADURL;
    return OsOpenWithDesktop(url) ? 0 : ERR_BADURL;
}
