// Program and system information: GetMemoryInfo, GetVersion, GetCommandLine, GetProgramInfo,
// GetFileArgument, GetApplicationInfo, GetSystemInfo, the system language and country, OpenURL,
// the line-hook and compatibility switches and pointer arithmetic.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "base/charset.h"
#include "base/error_codes.h"
#include "base/path_limit.h"
#include "base/player_identity.h"
#include "libs/system/system.h"
#include "platform/os_env.h"
#include "platform/os_machine.h"
#include "platform/os_process.h"
#include "platform/os_url.h"
#include "runtime/applet_records.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/option_table.h"
#include "runtime/player_records.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

enum { kChipMemory = 0, kFastMemory = 1 };
enum { kPrgTypeScript = 0, kPrgTypeApplet = 1, kPrgTypeProgram = 2 };

bool legacyLineBasedShapes = false;
bool legacySingleMusic = false;

// Pointer arithmetic on addresses as unsigned numbers (no overflow traps).
int MovePointer(VmState* state, int direction) {
    VmCheckArgCount(state, 2, 2, 0, 0);
    void* pointer = VmCheckUserdata(state, 1);
    double n = VmCheckNumber(state, 2);
    // Truncated toward zero and saturated at the 64-bit limits (NaN as -2147483648), so no
    // number can make the conversion undefined.
    int64_t bytes;
    if (std::isnan(n))
        bytes = INT32_MIN;
    else if (n >= 9223372036854775807.0)
        bytes = INT64_MAX;
    else if (n <= -9223372036854775808.0)
        bytes = INT64_MIN;
    else
        bytes = static_cast<int64_t>(n);
    uintptr_t step = static_cast<uintptr_t>(bytes);
    uintptr_t address = reinterpret_cast<uintptr_t>(pointer);
    address = direction > 0 ? address + step : address - step;
    VmPushLightUserdata(state, reinterpret_cast<void*>(address));
    return 1;
}

}  // namespace

void ResetLegacyControls() {
    legacyLineBasedShapes = false;
    legacySingleMusic = false;
}

bool IsLegacyLineBasedShapes() { return legacyLineBasedShapes; }
bool IsLegacySingleMusic() { return legacySingleMusic; }

int SysGetMemoryInfo(VmState* state) {
    int32_t type = VmCheckInteger(state, 1);
    if (type != kChipMemory && type != kFastMemory) return ERR_WRONGUSAGE;
    // Numbers are doubles: sizes beyond 4 GiB come through whole.
    VmPushNumber(state, static_cast<double>(OsGetPhysicalMemory()));
    return 1;
}

int SysGetVersion(VmState* state) {
    VmNewTable(state);
    SetTableFieldString(state, "application", QZ_PLAYER_NAME);
    SetTableFieldString(state, "version", QZ_PLAYER_VERSION);
    SetTableFieldString(state, "version_date", QZ_PLAYER_DATE);
    SetTableFieldString(state, "kernel", QZ_PLAYER_VERSION);
    SetTableFieldString(state, "kernel_date", QZ_PLAYER_DATE);
    SetTableFieldNumber(state, "beta", 0);
    SetTableFieldString(state, "platform", QZ_PLAYER_PLATFORM);
    SetTableFieldNumber(state, "bigendian", HostIsBigEndian() ? 1 : 0);
    SetTableFieldString(state, "cpu", OsGetCpuName().c_str());
    VmPushString(state, "plugins");
    PushPluginsTable(state);
    VmRawSet(state, -3);
    return 1;
}

int SysGetCommandLine(VmState* state) {
    qzPlayerContext* context = GetPlayerContext(state);
    VmNewTable(state);
    int count = 0;
    if (context) {
        for (const qzCommandLineArg& arg : context->unknownArgs) {
            VmNewTable(state);
            SetTableFieldString(state, "arg", arg.name.c_str());
            SetTableFieldString(state, "param", arg.hasValue ? arg.value.c_str() : "");
            VmRawSetI(state, -2, count++);
        }
    }
    VmPushNumber(state, count);
    VmPushNumber(state, context ? (context->launchedFromShell ? 1 : 0) : 1);
    return 3;
}

int SysGetProgramInfo(VmState* state) {
    qzPlayerContext* context = GetPlayerContext(state);
    std::string programPath = context ? context->programPath : std::string();
    if (context && context->appended) {
        VmPushNumber(state, kPrgTypeProgram);
        VmPushLString(state, programPath.data(), programPath.size());
        return 2;
    }
    VmPushNumber(state, context && context->compiledApplet ? kPrgTypeApplet : kPrgTypeScript);
    std::string appletPath = context ? context->appletPath : std::string();
    VmPushLString(state, appletPath.data(), appletPath.size());
    VmPushLString(state, programPath.data(), programPath.size());
    return 3;
}

int SysGetFileArgument(VmState* state) {
    qzPlayerContext* context = GetPlayerContext(state);
    std::string name = context ? context->firstFileArg : std::string();
    VmPushLString(state, name.data(), name.size());
    return 1;
}

int SysGetApplicationInfo(VmState* state) {
    qzAppletDescriptor* applet = GetAppletDescriptor(state);
    VmNewTable(state);
    SetTableFieldString(state, "title", applet ? applet->title.c_str() : "");
    SetTableFieldString(state, "version", applet ? applet->version.c_str() : "");
    SetTableFieldString(state, "copyright", applet ? applet->copyright.c_str() : "");
    SetTableFieldString(state, "author", applet ? applet->author.c_str() : "");
    SetTableFieldString(state, "description", applet ? applet->description.c_str() : "");
    return 1;
}

int SysGetSystemInfo(VmState* state) {
    static const char* const kKeys[] = {"programfiles", "appdata", "userhome", "mydocuments", "username"};
    VmNewTable(state);
    for (int kind = 0; kind < 5; kind++) {
        char buffer[QZ_PATH_MAX];
        buffer[0] = 0;
        MacGetSystemFolder(kind, buffer, sizeof(buffer));
        SetTableFieldString(state, kKeys[kind], buffer);
    }
    return 1;
}

int SysGetSystemLanguage(VmState* state) {
    VmPushNumber(state, OsGetSystemLanguage());
    return 1;
}

int SysGetSystemCountry(VmState* state) {
    VmPushNumber(state, OsGetSystemCountry());
    return 1;
}

int SysOpenURL(VmState* state) {
    const char* url = VmCheckString(state, 1);
    int error = OsOpenURL(url);
    if (error) SetErrorArgString(url);
    return error;
}

int SysLegacyControl(VmState* state) {
    const char* name = VmCheckString(state, 1);
    bool on = VmCheckInteger(state, 2) != 0;
    if (CompareNoCase(name, "linebasedshapes") == 0)
        legacyLineBasedShapes = on;
    else if (CompareNoCase(name, "singlemusic") == 0)
        legacySingleMusic = on;
    else {
        SetErrorArgString(name);
        return ERR_UNKNOWNTAG;
    }
    return 0;
}

int SysDisableLineHook(VmState* state) {
    SetLineHookDisabled(true);
    return 0;
}

int SysEnableLineHook(VmState* state) {
    SetLineHookDisabled(false);
    return 0;
}

int SysIncreasePointer(VmState* state) { return MovePointer(state, 1); }
int SysDecreasePointer(VmState* state) { return MovePointer(state, -1); }
