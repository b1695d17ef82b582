// Start-up: one straight road from the link stamp to the main chunk. Every failure on it goes to
// ShutdownPlayer with its error code.
#include "player/startup.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>

#include "base/crc32.h"
#include "base/error_codes.h"
#include "base/player_identity.h"
#include "display/display_icons.h"
#include "display/event_labels.h"
#include "display/requesters.h"
#include "libs/display/display_lib.h"
#include "platform/catalog.h"
#include "platform/host/backend_requesters.h"
#include "platform/host/event_loop.h"
#include "platform/host/host.h"
#include "platform/host/platform_hooks.h"
#include "platform/os_process.h"
#include "platform/os_timer.h"
#include "player/applet_container.h"
#include "player/directives.h"
#include "player/event_loop_link.h"
#include "player/host_api.h"
#include "player/image_link.h"
#include "player/library_table.h"
#include "player/main_chunk.h"
#include "player/options.h"
#include "runtime/applet_version.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/player_records.h"
#include "runtime/plugin_manager.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

namespace {

// Progress of loading, 0 to 100.
double progressStep = 0;
double progressValue = 0;
int appendedApplet = 0;
int pluginRequirePhase = 0;
int startupProgressOpen = 0;

// Hands the whole bytecode buffer to the chunk loader in one piece, then reports the end.
struct BytecodeReader {
    const qzAppletDescriptor* applet;
    bool done;
};

const char* ReadBytecode(void* data, size_t* size) {
    BytecodeReader* reader = static_cast<BytecodeReader*>(data);
    if (reader->done || reader->applet->bytecode.empty()) {
        *size = 0;
        return nullptr;
    }
    reader->done = true;
    *size = reader->applet->bytecode.size();
    return reinterpret_cast<const char*>(reader->applet->bytecode.data());
}

// Registry entries that the libraries and the error reports use, and the globals table's "_g".
int SetStartupRegistry(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet) {
    SetStartupRecords(state, context, applet);
    VmPushString(state, "inclevels");
    VmNewTable(state);
    VmPushString(state, "count");
    VmPushNumber(state, 0);
    VmRawSet(state, -3);
    VmRawSet(state, VM_REGISTRYINDEX);
    VmPushString(state, "_g");
    VmPushValue(state, VM_GLOBALSINDEX);
    VmRawSet(state, VM_GLOBALSINDEX);
    return 0;
}

// Runs a function inside a protected call, so that running out of memory while it works on the
// VM comes back as an error code instead of ending the process.
struct ProtectedStep {
    int (*step)(VmState* state, void* data);
    void* data;
    int result;
};

int RunProtectedStep(VmState* state) {
    ProtectedStep* p = static_cast<ProtectedStep*>(VmToUserdata(state, 1));
    VmPop(state, 1);
    p->result = p->step(state, p->data);
    return 0;
}

// Runs a start-up stage in a protected frame of its own: a VM error or memory running out in the
// code between its protected steps ends start-up with that error, reported by shutdown like any
// other start-up error.
template <typename Stage>
int RunStage(VmState* state, Stage&& stage) {
    int result = 0;
    int status = VmCallInFrameProtected(
        state, [](VmState*, void* data) { return (*static_cast<std::remove_reference_t<Stage>*>(data))(); }, &stage,
        &result);
    return status ? status : result;
}

int Protected(VmState* state, int (*step)(VmState*, void*), void* data) {
    ProtectedStep p{step, data, 0};
    int status = VmCProtectedCall(state, RunProtectedStep, &p);
    return status ? status : p.result;
}

struct RecordsData {
    qzPlayerContext* context;
    qzAppletDescriptor* applet;
};

int StartupRegistryStep(VmState* state, void* data) {
    RecordsData* r = static_cast<RecordsData*>(data);
    return SetStartupRegistry(state, r->context, r->applet);
}

int LoadPluginsStep(VmState* state, void* data) {
    return LoadStartupPlugins(state, static_cast<qzPlayerContext*>(data));
}

int OpenLibrariesStep(VmState* state, void* data) {
    return OpenLibraries(state, static_cast<const qzLibraryDescriptor* const*>(data));
}

int StoreSymbolsStep(VmState* state, void* data) {
    return StoreAppletSymbols(state, static_cast<const qzAppletDescriptor*>(data));
}

// No applet named: a file requester asks for one. Cancelling it ends the player silently; without
// a window system the player says how to name an applet instead.
int ChooseAppletWithRequester(VmState* state, std::string* path) {
    qzFileRequesterResult chosen;
    int error = ShowFileRequester(state, nullptr, GetPlayerCatalogString(QZ_MSG_SELECTAPPLET, "Select applet"), "qza",
                                  QZ_REQ_NORMAL, nullptr, nullptr, 0, 0, &chosen);
    if (error) return error;
    if (!chosen.chosen || chosen.names.empty()) {
        const qzHostDriver* driver = HostDriver();
        if (driver && std::strcmp(driver->name, "headless") == 0) {
            std::fprintf(stderr, "No applet named. Start the player as: qzplayer [options] APPLET\n");
            std::fflush(stderr);
        }
        return ERR_USERABORT;
    }
    *path = chosen.directory + chosen.names.substr(0, chosen.names.find('\0'));
    return 0;
}

// The file name part of a path.
const char* FilePart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

int LoadStartupPlugins(VmState* state, qzPlayerContext* context) {
    SetPluginStartupPhase(1);
    int error = LoadPluginsFromDir(context->programPath.c_str(), &context->skipPlugins, nullptr, StepLoadProgress);
    for (qzPluginRecord* record = GetPluginRecords(); !error && record; record = record->next)
        if (record->handle) error = InitPluginFeatures(state, record);
    SetPluginStartupPhase(0);
    return error;
}

int StepLoadProgress() {
    if (appendedApplet) return 0;
    progressValue += progressStep;
    return LoadProgressAborted() ? ERR_USERABORT : 0;
}

void SetLoadProgress(double step, double value) {
    progressStep = step;
    progressValue = value;
}

void SetPluginRequirePhase(int on) { pluginRequirePhase = on; }
int IsPluginRequirePhase() { return pluginRequirePhase; }

void SetStartupProgressOpen(int open) { startupProgressOpen = open; }
int IsStartupProgressOpen() { return startupProgressOpen; }

int StoreAppletSymbols(VmState* state, const qzAppletDescriptor* applet) {
    if (applet->hasLabels) {
        // The container's labels replace any earlier table.
        VmPushString(state, "labels");
        VmNewTable(state);
        VmRawSet(state, VM_REGISTRYINDEX);
        for (const qzLabel& label : applet->labels) {
            int error = VmDefineLabel(state, label.name.c_str(), label.value);
            if (error) return error;
        }
    }
    if (!applet->constants.empty()) {
        // Rows point into the descriptor's strings, which outlive the registration.
        std::vector<qzConstantRow> rows;
        rows.reserve(applet->constants.size() + 1);
        for (const qzUserConstant& c : applet->constants)
            rows.push_back({c.name.c_str(), c.isString ? c.text.c_str() : nullptr, c.number});
        rows.push_back({nullptr, nullptr, 0});
        int error = VmRegisterConstants(state, rows.data(), 1);
        if (error) return error;
    }
    if (applet->containerRead) VmSetRegistryString(state, "script", ":none:");
    return 0;
}

int LoadAppletBytecode(VmState* state, const qzAppletDescriptor* applet) {
    BytecodeReader reader{applet, false};
    return VmLoad(state, ReadBytecode, &reader, nullptr);
}

int InitPlayerAndOptions(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet,
                         const uint8_t stamp[QZ_LINK_STAMP_SIZE], const uint8_t linkerBlock[QZ_LINKER_BLOCK_SIZE],
                         int argc, const char* const* argv) {
    (void)linkerBlock;
    std::string platformMessage;
    int error = MacInitPlatform(&platformMessage);
    if (error) {
        // The message says what is wrong (a driver that cannot start, a bad input script).
        if (platformMessage.empty()) return error;
        SetErrorArgString(platformMessage.c_str());
        return ERR_ERRORCALLED;
    }
    if (!platformMessage.empty()) std::fprintf(stderr, "%s\n", platformMessage.c_str());

    applet->timerSettings = qzTimerSettings();
    applet->screenOptions = qzScreenOptions();
    applet->screenOptions.displayMode = 0;
    applet->screenOptions.screenWidth = applet->screenOptions.screenHeight = -1;
    applet->screenOptions.screenDepth = applet->screenOptions.desktop = -1;
    InitBackfillSettings(&applet->screenOptions.backfill);
    applet->screenOptions.backfill.type = -1;

    // A catalog that is there but cannot be read for want of memory is an error, not a silent
    // change of language.
    if (int rc = OpenPlayerCatalog()) return rc;
    InitCrc32Table();

    applet->monitor = 0;
    applet->displayMode = 0;
    applet->screenWidth = applet->screenHeight = applet->screenDepth = -1;
    applet->scaleWidth = applet->scaleHeight = 0;
    applet->displayFlags = 0;
    InitBackfillSettings(&applet->backfill);
    context->soundSetting = 30;

    uint64_t offset = 0;
    context->appended = ReadLinkStamp(stamp, &offset);
    context->appendedOffset = context->appended ? offset : 0;
    appendedApplet = context->appended;

    qzOptionValues values;
    char programPath[QZ_PATH_MAX];
    if (MacGetExecutablePath(programPath, sizeof programPath)) context->programPath = programPath;

    // Arguments come from the command line only on this platform (no launch by a file browser).
    std::string line;
    error = JoinCommandLine(argc, argv, &line);
    if (error) return error;
    error = ReadCommandLine(line, &values, context);
    if (error) return error;

    if (values.given[QZ_OPT_FILE]) context->firstFileArg = values.text[QZ_OPT_FILE];
    if (context->appended) {
        context->appletPath = context->programPath;
    } else if (values.given[QZ_OPT_FILE]) {
        context->appletPath = values.text[QZ_OPT_FILE];
    } else {
        error = ChooseAppletWithRequester(state, &context->appletPath);
        if (error) return error;
    }

    error = ReadIniFile(GetIniFileName(context), &values, context);
    if (error) return error;
    error = ApplyOptions(&values, context, applet);
    if (error) return error;

    if (context->appended) context->quiet = 1;
    SetRuntimeAttrs(state, {{QZ_RTA_QUIET, context->quiet}});
    if (!context->quiet) {
        error = MacStartupHook();
        if (error) return error;
        PrintConsole("%s %s [%s]\n", QZ_PLAYER_NAME, QZ_PLAYER_VERSION, QZ_PLAYER_PLATFORM);
        PrintConsole("The Cross-Platform Multimedia Application Layer\n\n");
    }

    error = InitRuntime();
    if (error) return error;
    InstallHostApi();
    InstallImageLoaders();
    // From here events reach the event queue and the runtime's quit flag (a quit signal that came
    // earlier included).
    LinkEventLoop();
    // Starting the runtime resets its words: the quiet flag is set again from the options.
    SetRuntimeAttrs(state, {{QZ_RTA_QUIET, context->quiet}});

    RecordsData records{context, applet};
    error = Protected(state, StartupRegistryStep, &records);
    if (error) return error;
    error = Protected(state, OpenLibrariesStep, const_cast<qzLibraryDescriptor**>(qzLibraryTable));
    if (error) return error;
    // The graphics library's setter and getter (attributes 4 and 6) and the sound library's
    // (setter 2, 3, 12, 13, 18, 23; getter 7 to 32) reach the runtime here.
    error = AddLibraryAttrHooks(qzLibraryTable);
    if (error) return error;
    SetRuntimeAttrs(state, {{2, context->noSound}, {3, context->soundSetting}});
    return 0;
}

namespace {

// Start-up from the applet check to the main chunk; the VM and both records exist.
int StartApplet(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet) {
    int error;
    if (!context->appended) {
        int packed = 0;
        error = CheckAppletFile(context->appletPath.c_str(), &packed);
        if (error) return error;
        if (!context->quiet) {
            // The metadata is only shown by a loading window, which this platform does not have;
            // a head that cannot be read is reported by the container reader below.
            ReadAppletHead(context->appletPath.c_str(), applet);
            error = PrePluginHook();
            if (error) return error;
            int count = 0;
            LoadPluginsFromDir(context->programPath.c_str(), nullptr, &count, nullptr);
            SetLoadProgress(count ? 20.0 / count : 0.0, 0.0);
        }
    }

    // Plugins beside the program. A library plugin's registration works on the VM.
    error = Protected(state, LoadPluginsStep, context);
    if (error) return error;

    // The loading line names the applet file as given, also when a packed applet is then read
    // from its unpacked copy.
    const std::string appletFile = context->appletPath;
    error = ReadAppletContainer(context, applet);
    if (error) return error;
    SetAppletVersion(applet->versionMajor, applet->versionMinor);
    error = Protected(state, StoreSymbolsStep, applet);
    if (error) return error;
    if (!context->appended && !context->quiet) {
        double step = 80.0 / static_cast<double>(applet->directives.size() + 2);
        SetLoadProgress(step, 20.0 + step);
    }

    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGSCRIPT), nullptr, true);
    SetStartupProgressOpen(!IsRuntimeQuiet());
    SetRuntimeAttrs(state, {{QZ_RTA_SCRIPTRUNNING, 1}});
    error = LoadAppletBytecode(state, applet);
    // Back to 0 also when loading failed: no script line exists yet, so the report is the text alone.
    SetRuntimeAttrs(state, {{QZ_RTA_SCRIPTRUNNING, 0}});
    if (error) return error;

    ApplyGlobalScreenOptions(applet);
    // Between script lines the line hook runs the event pump. The script's window and ALL labels
    // become label events.
    InstallLineHook(state);
    error = DefineLabelEvents(state, nullptr);
    if (error) return error;
    if (!DidPluginLoadPrintProgress()) PrintProgressDone();
    SetStartupProgressOpen(0);
    error = StepLoadProgress();
    if (error) return error;

    if (context->compiledApplet) {
        PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGAPPLET), FilePart(appletFile), true);
        SetStartupProgressOpen(!IsRuntimeQuiet());
    }
    error = LoadApplicationIcons(state, applet, context->compiledApplet ? 0 : 1);
    if (error) return error;
    error = RunDirectives(state, context, applet);
    if (error) return error;
    SetStartupProgressOpen(0);
    error = OpenStartupDisplaysStep(state);
    if (error) return error;

    SetRuntimeAttrs(state, {{QZ_RTA_SCRIPTRUNNING, 1}});
    // DEBUGOUTPUT traces the script's command calls; start-up's own calls are not traced.
    SetCallTrace(context->debugOutput != 0);
    return MacRunMainChunk(state);
}

}  // namespace

int RunPlayer(int argc, const char* const* argv) {
    if (OsInitPlatform() != 0) return 0;
    uint8_t stamp[QZ_LINK_STAMP_SIZE];
    uint8_t linkerBlock[QZ_LINKER_BLOCK_SIZE];
    CopyLinkStamp(stamp, linkerBlock);

    qzPlayerContext* context = new (std::nothrow) qzPlayerContext();
    qzAppletDescriptor* applet = context ? new (std::nothrow) qzAppletDescriptor() : nullptr;
    if (!context || !applet) {
        delete context;
        PrintConsole("Not enough memory.\n");
        return 0;
    }
    applet->versionMajor = 6;
    applet->versionMinor = 0;

    VmState* state = VmOpen();
    if (!state) {
        PrintConsole("Not enough memory.\n");
        delete applet;
        delete context;
        return 0;
    }

    int error =
        RunStage(state, [&] { return InitPlayerAndOptions(state, context, applet, stamp, linkerBlock, argc, argv); });
    if (error == 0) error = RunStage(state, [&] { return StartApplet(state, context, applet); });
    return ShutdownPlayer(error, state, context, applet);
}
