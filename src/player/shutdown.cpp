// Shutdown: frees everything in a fixed order and reports the error that ended the run, once.
#include <string>

#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "platform/catalog.h"
#include "platform/host/event_loop.h"
#include "platform/host/platform_hooks.h"
#include "platform/host_services.h"
#include "platform/os_host_file.h"
#include "player/event_loop_link.h"
#include "player/host_api.h"
#include "player/image_link.h"
#include "player/library_table.h"
#include "player/startup.h"
#include "runtime/applet_version.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_report.h"
#include "runtime/player_records.h"
#include "runtime/plugin_manager.h"
#include "runtime/runtime.h"
#include "vm/vm.h"

namespace {

int shuttingDown = 0;

void ReportError(int code, VmState* state, qzPlayerContext* context) {
    char text[QZ_ERROR_TEXT_SIZE];
    const char* file = nullptr;
    int line = 0;
    GetErrorInfo(state, code, text, sizeof text, &file, &line);
    // The copy kept in the context is left out when memory has run out; the report is still made.
    if (context)
        CatchOutOfMemory([&] {
            context->errorText = text;
            return 0;
        });
    if (context && context->consoleMode) {
        // A loading line that is still open ends with "failed" before the report.
        if (IsStartupProgressOpen()) PrintProgressFailed();
        if (file) {
            PrintConsole("%s:%d: %s\n", file, line, text);
        } else {
            const char* error = GetCatalogText(QZ_MSG_ERROR);
            PrintConsole("%s: %s\n", error ? error : "Error", text);
        }
        return;
    }
    // Without a display the requester writes the text to standard error and does not wait.
    ShowErrorRequester(state, text, 0, 0);
}

}  // namespace

int IsShuttingDown() { return shuttingDown; }

int ShutdownPlayer(int code, VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet) {
    shuttingDown = 1;
    if (applet)
        for (qzIconSlot& slot : applet->icons) slot.chunkName.clear();
    if (state) {
        SetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, 0}, {QZ_RTA_QUIET, context ? context->quiet : 0}});
        OsPlatformCheckpoint();
        ShutdownHook();
        // Each library's clean-up, in the order of the shutdown stages.
        CloseLibraries(state, qzLibraryTable);
    }
    if (context) {
        context->unknownArgs.clear();
        context->skipPlugins.clear();
        context->requirePlugins.clear();
        context->requireTags.clear();
    }

    if (code > 0 && code != ERR_USERABORT) ReportError(code, state, context);

    FreeRuntime(state);
    // The applet descriptor: bytecode, directives, linked files and include ranges go with it.
    // The registry entries go with the VM; only the global pointers are cleared here.
    SetStartupRecords(nullptr, nullptr, nullptr);
    ResetAppletVersion();
    delete applet;
    // Library plugins free their part while the VM still exists; the plugins are unloaded after
    // the VM's finalisers ran.
    if (state) FreeLibraryPlugins(state);
    if (state) VmClose(state);
    FreeAllPlugins();
    DeleteHostTempFiles();
    RemoveImageLoaders();
    RemoveHostApi();

    if (context) {
        for (const std::string& path : context->tempFiles) OsHostDeleteFile(path.c_str());
        context->tempFiles.clear();
    }
    delete context;
    ClosePlayerCatalog();
    UnlinkEventLoop();
    MacShutdownPlatform();
    return 0;
}
