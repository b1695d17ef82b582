// Registration and clean-up of the `system` command library, and its global switches.
#include "libs/system/system.h"

#include "runtime/error_report.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

namespace {

bool lineHookDisabled = false;

// The command table: waiting, timers, dates, catalogs, tables, metatables, debugging and error
// control, program and system information, and the named data of objects.
const qzCommandRow kSystemCommands[] = {
    {"Wait", SysWait},
    {"OpenCatalog", SysOpenCatalog},
    {"CloseCatalog", SysCloseCatalog},
    {"GetCatalogString", SysGetCatalogString},
    {"GetDate", SysGetDate},
    {"GetTime", SysGetTime},
    {"GetWeekday", SysGetWeekday},
    {"GetDateNum", SysGetDateNum},
    {"GetTimer", SysGetTimer},
    {"PauseTimer", SysPauseTimer},
    {"ResumeTimer", SysResumeTimer},
    {"StartTimer", SysStartTimer},
    {"StopTimer", SysStopTimer},
    {"ResetTimer", SysResetTimer},
    {"WaitTimer", SysWaitTimer},
    {"SystemRequest", SysSystemRequest},
    {"GetMemoryInfo", SysGetMemoryInfo},
    {"End", SysEnd},
    {"GetErrorName", SysGetErrorName},
    {"Sort", SysSort},
    {"DebugStr", SysDebugPrint},
    {"DebugVal", SysDebugPrint},
    {"DebugPrint", SysDebugPrint},
    {"ExitOnError", SysExitOnError},
    {"GetLastError", SysGetLastError},
    {"DebugOutput", SysDebugOutput},
    {"GetType", SysGetType},
    {"IIf", SysIIf},
    {"InsertItem", SysInsertItem},
    {"RemoveItem", SysRemoveItem},
    {"ListItems", SysListItems},
    {"StringRequest", SysStringRequest},
    {"Unpack", SysUnpack},
    {"SetMetaTable", SysSetMetaTable},
    {"GetMetaTable", SysGetMetaTable},
    {"RawEqual", SysRawEqual},
    {"RawGet", SysRawGet},
    {"RawSet", SysRawSet},
    {"GCInfo", SysGCInfo},
    {"CollectGarbage", SysCollectGarbage},
    {"Error", SysError},
    {"FileRequest", SysFileRequest},
    {"PathRequest", SysPathRequest},
    {"IPairs", SysIPairs},
    {"Pairs", SysPairs},
    {"NextItem", SysNextItem},
    {"GetVersion", SysGetVersion},
    {"GetCommandLine", SysGetCommandLine},
    {"GetProgramInfo", SysGetProgramInfo},
    {"GetConstant", SysGetConstant},
    {"SetClipboard", SysSetClipboard},
    {"GetClipboard", SysGetClipboard},
    {"PeekClipboard", SysPeekClipboard},
    {"ClearClipboard", SysClearClipboard},
    {"CompareDates", SysCompareDates},
    {"OpenURL", SysOpenURL},
    {"CopyTable", SysCopyTable},
    {"FontRequest", SysFontRequest},
    {"ListRequest", SysListRequest},
    {"ColorRequest", SysColorRequest},
    {"GetSystemLanguage", SysGetSystemLanguage},
    {"GetSystemCountry", SysGetSystemCountry},
    {"DebugPrompt", SysDebugPrompt},
    {"GetFileArgument", SysGetFileArgument},
    {"Assert", SysAssert},
    {"ForEach", SysForEach},
    {"ForEachI", SysForEachI},
    {"Concat", SysConcat},
    {"GetObjectType", SysGetObjectType},
    {"GetObjectData", SysGetObjectData},
    {"SetObjectData", SysSetObjectData},
    {"ClearObjectData", SysClearObjectData},
    {"CopyObjectData", SysCopyObjectData},
    {"GetObjects", SysGetObjects},
    {"RaiseOnError", SysRaiseOnError},
    {"HaveObject", SysHaveObject},
    {"GetPlugins", SysGetPlugins},
    {"IsNil", SysIsNil},
    {"HaveItem", SysHaveItem},
    {"DisablePlugin", SysDisablePlugin},
    {"EnablePlugin", SysEnablePlugin},
    {"LoadPlugin", SysLoadPlugin},
    {"HavePlugin", SysHavePlugin},
    {"GetSystemInfo", SysGetSystemInfo},
    {"LegacyControl", SysLegacyControl},
    {"DisableLineHook", SysDisableLineHook},
    {"EnableLineHook", SysEnableLineHook},
    {"IncreasePointer", SysIncreasePointer},
    {"DecreasePointer", SysDecreasePointer},
    {"GetApplicationInfo", SysGetApplicationInfo},
    {nullptr, nullptr},
};

}  // namespace

bool IsLineHookDisabled() { return lineHookDisabled; }
void SetLineHookDisabled(bool disabled) { lineHookDisabled = disabled; }

namespace {

int OpenSystemLibrary(VmState* state) {
    // GetLastError must see the code of the command before it, so the interpreter leaves the
    // last error alone when it calls this handler.
    vmRuntime.getLastErrorFunction = SysGetLastError;
    return RegisterSystemTimerList();
}

void ResetSystemLibrary() {
    lineHookDisabled = false;
    ForgetRequesterPaths();
    ResetLegacyControls();
    if (vmRuntime.getLastErrorFunction == SysGetLastError) vmRuntime.getLastErrorFunction = nullptr;
}

}  // namespace

const qzLibraryDescriptor qzSystemLibrary = {
    .name = "system",
    .commands = kSystemCommands,
    .constants = qzSystemConstants,
    .open = OpenSystemLibrary,
    .cleanups = {{QZ_STAGE_SYSTEM, FreeSystemLibrary}},
    .reset = ResetSystemLibrary,
};

namespace {

int ClearUserErrorHandler(VmState* state, void*) {
    if (IsUserErrorHandlerInstalled(state)) {
        VmPushNil(state);
        SetUserErrorHandler(state, VmGetTop(state));
        VmPop(state, 1);
    }
    return 0;
}

}  // namespace

void FreeSystemLibrary(VmState* state) {
    FreeSystemTimers(state);
    CloseScriptCatalog();
    // Looking the handler up may have to make its key's string, which can run out of memory;
    // no handler can be installed then, and nothing is left to clear.
    int result = 0;
    if (state) VmCallInFrameProtected(state, ClearUserErrorHandler, nullptr, &result);
    ResetSystemLibrary();
}
