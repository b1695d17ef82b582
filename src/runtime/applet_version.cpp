// The running applet's format version.
#include "runtime/applet_version.h"

#include <cstdio>

#include "runtime/error_messages.h"

namespace {

bool containerRead = false;
int appletMajor = 0;
int appletMinor = 0;

}  // namespace

void SetAppletVersion(int major, int minor) {
    containerRead = true;
    appletMajor = major;
    appletMinor = minor;
}

void ResetAppletVersion() {
    containerRead = false;
    appletMajor = appletMinor = 0;
}

int CheckAppletVersion(int major, int minor) {
    if (!containerRead || appletMajor > major || (appletMajor == major && appletMinor >= minor)) return 1;
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d", major, minor);
    SetErrorArgString(text);
    return 0;
}
