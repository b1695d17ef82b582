// Mapping VM lines to the user's source files.
#include "runtime/script_position.h"

#include <cstdint>
#include <cstring>

#include "base/charset.h"
#include "runtime/applet_records.h"
#include "runtime/error_messages.h"
#include "runtime/player_records.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

qzScriptPosition MapScriptPosition(int errorLine, const char* scriptEntry, int beginLine, const char* sourceName,
                                   const std::vector<qzIncludeRange>& ranges, const char* defaultName) {
    if (scriptEntry && std::strcmp(scriptEntry, ":none:") != 0) {
        // A script run from its source file: lines count from its first line, and the lines that
        // include ranges of the same file took in the compiled chunk are added back.
        long long line = static_cast<long long>(errorLine) - beginLine + 1;
        for (const qzIncludeRange& r : ranges)
            if (CompareNoCase(r.sourceName.c_str(), scriptEntry) == 0)
                line += static_cast<long long>(r.lastLine) - r.firstLine;
        return {static_cast<int>(line), scriptEntry};
    }
    const char* current = (sourceName && sourceName[0] != '?') ? sourceName : "";
    for (const qzIncludeRange& r : ranges) {
        if (CompareNoCase(r.containerName.c_str(), current) == 0 && r.firstLine <= errorLine && errorLine <= r.lastLine)
            return {errorLine - r.firstLine + r.lineOffset + 1, r.sourceName};
    }
    return {-1, defaultName ? defaultName : ""};
}

qzScriptPosition CurrentScriptPosition(VmState* state) {
    std::string script;
    bool haveScript = false;
    int beginLine = 0;
    if (state) {
        VmPushString(state, "script");
        VmRawGet(state, VM_REGISTRYINDEX);
        if (VmType(state, -1) == VM_TSTRING) {
            script = VmToString(state, -1);
            haveScript = true;
        }
        VmPop(state, 1);
        VmPushString(state, "beginline");
        VmRawGet(state, VM_REGISTRYINDEX);
        if (VmType(state, -1) == VM_TNUMBER) beginLine = VmTruncateNumber(VmToNumber(state, -1));
        VmPop(state, 1);
    }
    static const std::vector<qzIncludeRange> none;
    qzAppletDescriptor* applet = GetAppletDescriptor(state);
    qzPlayerContext* context = GetPlayerContext(state);
    // With no matching range the applet's own file stands for the script.
    std::string defaultName = context && !context->appletPath.empty() ? context->appletPath : GetErrorSourceFile();
    return MapScriptPosition(vmRuntime.errorLine, haveScript ? script.c_str() : nullptr, beginLine,
                             GetErrorSourceFile(), applet ? applet->includeRanges : none, defaultName.c_str());
}

int GetScriptLine(VmState* state) { return CurrentScriptPosition(state).line; }

std::string GetScriptFile(VmState* state) { return CurrentScriptPosition(state).file; }
