#include "platform/host/platform_hooks.h"

#include <cstdio>

#include "base/error_arg.h"
#include "base/error_codes.h"

int OsInitPlatform() { return 0; }

void OsPlatformCheckpoint() {}

intptr_t OsCallNothing(...) { return 0; }

void OsResetInputState(qzDisplay*) {}

int MacStartupHook() { return 0; }

int PrePluginHook() { return 0; }

int LoadProgressAborted() { return 0; }

int OpenStartupDisplaysQuery() { return 1; }

void ShutdownHook() {}

void MacDisplayHook(qzDisplay*) {}

int MacOpenStartupHook() { return 0; }

int MacDisplayQueryHook(qzDisplay*) { return 0; }

int MacCheckDisplayGeometry(qzDisplay*, int32_t, int32_t) { return 1; }

int MacUpdateClipboardWatch(qzDisplay*) { return 0; }

int MacCreatePort(const char*) { return ERR_CREATEPORT; }

int MacSendMessage(const char* port, const char*) {
    SetErrorArgString(port ? port : "");
    return ERR_FINDPORT;
}

char* PollPortMessage() { return nullptr; }

int HostVprintf(const char* format, va_list args) {
    int n = std::vprintf(format, args);
    std::fflush(stdout);
    return n;
}
