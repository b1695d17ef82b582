// The `system` command library: timers, dates, waiting, catalogs, debugging and error control,
// table helpers, metatables, program and system information, the requesters, the clipboard and
// the named data of objects.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "runtime/library.h"

struct VmState;

// Object type of script timers.
constexpr int32_t QZ_TYPE_TIMER = 53;

// Script type constants, also the type codes of the memblock commands.
enum {
    QZ_VT_NIL = 0,
    QZ_VT_INTEGER = 1,
    QZ_VT_NUMBER = 2,
    QZ_VT_STRING = 3,
    QZ_VT_TABLE = 4,
    QZ_VT_FUNCTION = 5,
    QZ_VT_SHORT = 6,
    QZ_VT_BYTE = 7,
    QZ_VT_USERDATA = 8,
    QZ_VT_LIGHTUSERDATA = 9,
    QZ_VT_THREAD = 10,
    QZ_VT_FLOAT = 11,
    QZ_VT_DOUBLE = 12,
};

// The "system" library: its commands, constants and timer list; at shutdown its timers.
extern const qzLibraryDescriptor qzSystemLibrary;
// Frees every timer, closes the script catalog, removes the error handler and resets the library's
// switches (line hook on, compatibility switches off).
void FreeSystemLibrary(VmState* state);

// The switch that makes the line hook do nothing (DisableLineHook / EnableLineHook).
bool IsLineHookDisabled();
void SetLineHookDisabled(bool disabled);
// Compatibility switches of LegacyControl, read by the shape and music code.
bool IsLegacyLineBasedShapes();
bool IsLegacySingleMusic();

// The constant rows of the library (ERR_ codes, types, units, languages, countries...).
extern const struct qzConstantRow qzSystemConstants[];

// ---- Parts shared between the topic files of the library (not for other callers) ----

// Command handlers, one group per topic file.
int SysWait(VmState* state);
int SysGetTimer(VmState* state);
int SysPauseTimer(VmState* state);
int SysResumeTimer(VmState* state);
int SysStartTimer(VmState* state);
int SysStopTimer(VmState* state);
int SysResetTimer(VmState* state);
int SysWaitTimer(VmState* state);
void FreeSystemTimers(VmState* state);
int RegisterSystemTimerList();

int SysSystemRequest(VmState* state);
int SysFileRequest(VmState* state);
int SysPathRequest(VmState* state);
int SysStringRequest(VmState* state);
int SysListRequest(VmState* state);
int SysFontRequest(VmState* state);
int SysColorRequest(VmState* state);
// Forgets the file and folder the requesters chose last.
void ForgetRequesterPaths();

int SysSetClipboard(VmState* state);
int SysGetClipboard(VmState* state);
int SysPeekClipboard(VmState* state);
int SysClearClipboard(VmState* state);

int SysGetDate(VmState* state);
int SysGetTime(VmState* state);
int SysGetWeekday(VmState* state);
int SysGetDateNum(VmState* state);
int SysCompareDates(VmState* state);

int SysOpenCatalog(VmState* state);
int SysCloseCatalog(VmState* state);
int SysGetCatalogString(VmState* state);
void CloseScriptCatalog();

int SysSort(VmState* state);
int SysInsertItem(VmState* state);
int SysRemoveItem(VmState* state);
int SysListItems(VmState* state);
int SysUnpack(VmState* state);
int SysCopyTable(VmState* state);
int SysConcat(VmState* state);
int SysForEach(VmState* state);
int SysForEachI(VmState* state);
int SysHaveItem(VmState* state);
int SysIPairs(VmState* state);
int SysPairs(VmState* state);
int SysNextItem(VmState* state);

int SysSetMetaTable(VmState* state);
int SysGetMetaTable(VmState* state);
int SysRawEqual(VmState* state);
int SysRawGet(VmState* state);
int SysRawSet(VmState* state);
int SysGCInfo(VmState* state);
int SysCollectGarbage(VmState* state);
int SysGetType(VmState* state);
int SysIIf(VmState* state);
int SysIsNil(VmState* state);
int SysAssert(VmState* state);

int SysEnd(VmState* state);
int SysGetErrorName(VmState* state);
int SysDebugPrint(VmState* state);
int SysExitOnError(VmState* state);
int SysGetLastError(VmState* state);
int SysDebugOutput(VmState* state);
int SysError(VmState* state);
int SysRaiseOnError(VmState* state);
int SysDebugPrompt(VmState* state);
int SysGetConstant(VmState* state);

int SysGetMemoryInfo(VmState* state);
int SysGetVersion(VmState* state);
int SysGetPlugins(VmState* state);
int SysLoadPlugin(VmState* state);
int SysHavePlugin(VmState* state);
int SysDisablePlugin(VmState* state);
int SysEnablePlugin(VmState* state);
// Pushes the table of loaded plugins that GetPlugins and GetVersion give.
void PushPluginsTable(VmState* state);
int SysGetCommandLine(VmState* state);
int SysGetProgramInfo(VmState* state);
int SysOpenURL(VmState* state);
int SysGetSystemLanguage(VmState* state);
int SysGetSystemCountry(VmState* state);
int SysGetFileArgument(VmState* state);
int SysGetSystemInfo(VmState* state);
int SysLegacyControl(VmState* state);
int SysDisableLineHook(VmState* state);
int SysEnableLineHook(VmState* state);
int SysIncreasePointer(VmState* state);
int SysDecreasePointer(VmState* state);
int SysGetApplicationInfo(VmState* state);
void ResetLegacyControls();

int SysGetObjectType(VmState* state);
int SysGetObjectData(VmState* state);
int SysSetObjectData(VmState* state);
int SysClearObjectData(VmState* state);
int SysCopyObjectData(VmState* state);
int SysGetObjects(VmState* state);
int SysHaveObject(VmState* state);

// ---- Date helpers (VM-free, for the commands and their tests) ----

// Local time fields of a moment.
struct qzDateFields {
    int year;   // full year
    int month;  // 1-12
    int day;    // 1-31
    int hour, minute, second;
    int weekday;  // 0 Sunday .. 6
};
qzDateFields GetLocalDateFields(time_t moment);
// "dd-Mon-20yy hh:mm:ss" (GetDate(1)).
std::string FormatLongDate(const qzDateFields& date);
// "hh:mm" or "hh:mm:ss".
std::string FormatClockTime(const qzDateFields& date, bool seconds);
// The user's locale date text and weekday name for the moment, formatted with the user's time
// locale (the process locale is left alone).
std::string FormatLocaleDate(time_t moment);
std::string FormatLocaleWeekday(time_t moment);
// CompareDates on two texts: 0 equal, 1 when a is later, 2 when earlier, or ERR_INVALIDDATE.
int CompareDateTexts(const char* a, size_t aLength, const char* b, size_t bLength, bool dateOnly, int* result);
