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
    {"Wait", SysWait, 1, 2},
    {"OpenCatalog", SysOpenCatalog, 1, 2},
    {"CloseCatalog", SysCloseCatalog, 0, 0},
    {"GetCatalogString", SysGetCatalogString, 2, 2},
    {"GetDate", SysGetDate, 0, 1},
    {"GetTime", SysGetTime, 0, 1},
    {"GetWeekday", SysGetWeekday, 0, 0},
    {"GetDateNum", SysGetDateNum, 1, 1},
    {"GetTimer", SysGetTimer, 1, 2},
    {"PauseTimer", SysPauseTimer, 1, 1},
    {"ResumeTimer", SysResumeTimer, 1, 1},
    {"StartTimer", SysStartTimer, 0, 1},
    {"StopTimer", SysStopTimer, 1, 1},
    {"ResetTimer", SysResetTimer, 1, 2},
    {"WaitTimer", SysWaitTimer, 2, 3},
    {"SystemRequest", SysSystemRequest, 3, 4},
    {"GetMemoryInfo", SysGetMemoryInfo, 1, 1},
    {"End", SysEnd},
    {"GetErrorName", SysGetErrorName, 1, 1},
    {"Sort", SysSort, 1, 2},
    {"DebugStr", SysDebugPrint},
    {"DebugVal", SysDebugPrint},
    {"DebugPrint", SysDebugPrint},
    {"ExitOnError", SysExitOnError, 1, 1},
    {"GetLastError", SysGetLastError},
    {"DebugOutput", SysDebugOutput, 1, 1},
    {"GetType", SysGetType, 1, 1},
    {"IIf", SysIIf, 3, 3},
    {"InsertItem", SysInsertItem, 2, 3},
    {"RemoveItem", SysRemoveItem, 1, 2},
    {"ListItems", SysListItems, 1, 1},
    {"StringRequest", SysStringRequest, 2, 6},
    {"Unpack", SysUnpack, 1, 1},
    {"SetMetaTable", SysSetMetaTable, 2, 2},
    {"GetMetaTable", SysGetMetaTable, 1, 1},
    {"RawEqual", SysRawEqual, 2, 2},
    {"RawGet", SysRawGet, 2, 2},
    {"RawSet", SysRawSet, 3, 3},
    {"GCInfo", SysGCInfo, 0, 0},
    {"CollectGarbage", SysCollectGarbage, 0, 1},
    {"Error", SysError, 1, 1},
    {"FileRequest", SysFileRequest, 1, 5},
    {"PathRequest", SysPathRequest, 1, 3},
    {"IPairs", SysIPairs, 1, 2},
    {"Pairs", SysPairs, 1, 1},
    {"NextItem", SysNextItem, 1, 2},
    {"GetVersion", SysGetVersion, 0, 0},
    {"GetCommandLine", SysGetCommandLine, 0, 0},
    {"GetProgramInfo", SysGetProgramInfo, 0, 0},
    {"GetConstant", SysGetConstant, 1, 1},
    {"SetClipboard", SysSetClipboard, 2, 2},
    {"GetClipboard", SysGetClipboard, 0, 0},
    {"PeekClipboard", SysPeekClipboard, 0, 0},
    {"ClearClipboard", SysClearClipboard, 0, 0},
    {"CompareDates", SysCompareDates, 2, 3},
    {"OpenURL", SysOpenURL, 1, 1},
    {"CopyTable", SysCopyTable, 1, 2},
    {"FontRequest", SysFontRequest, 1, 3},
    {"ListRequest", SysListRequest, 3, 4},
    {"ColorRequest", SysColorRequest, 1, 2},
    {"GetSystemLanguage", SysGetSystemLanguage, 0, 0},
    {"GetSystemCountry", SysGetSystemCountry, 0, 0},
    {"DebugPrompt", SysDebugPrompt, 1, 1},
    {"GetFileArgument", SysGetFileArgument, 0, 0},
    {"Assert", SysAssert, 1, 1},
    {"ForEach", SysForEach, 2, 2},
    {"ForEachI", SysForEachI, 2, 2},
    {"Concat", SysConcat, 1, 4},
    {"GetObjectType", SysGetObjectType, 1, 1},
    {"GetObjectData", SysGetObjectData, 3, 3},
    {"SetObjectData", SysSetObjectData, 4, 4},
    {"ClearObjectData", SysClearObjectData, 2, 3},
    {"CopyObjectData", SysCopyObjectData, 4, 5},
    {"GetObjects", SysGetObjects, 1, 1},
    {"RaiseOnError", SysRaiseOnError, 1, 1},
    {"HaveObject", SysHaveObject, 2, 2},
    {"GetPlugins", SysGetPlugins, 0, 0},
    {"IsNil", SysIsNil, 1, 1},
    {"HaveItem", SysHaveItem, 2, 2},
    {"DisablePlugin", SysDisablePlugin},
    {"EnablePlugin", SysEnablePlugin},
    {"LoadPlugin", SysLoadPlugin, 1, 2},
    {"HavePlugin", SysHavePlugin, 1, 3},
    {"GetSystemInfo", SysGetSystemInfo, 0, 0},
    {"LegacyControl", SysLegacyControl, 2, 2},
    {"DisableLineHook", SysDisableLineHook, 0, 0},
    {"EnableLineHook", SysEnableLineHook, 0, 0},
    {"IncreasePointer", SysIncreasePointer},
    {"DecreasePointer", SysDecreasePointer},
    {"GetApplicationInfo", SysGetApplicationInfo, 0, 0},
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
