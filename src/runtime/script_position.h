// The user-visible source file and line of the last error. The VM only knows lines of the one
// compiled chunk; the applet's include ranges map them back to the files the user wrote.
#pragma once

#include <string>
#include <vector>

struct VmState;
struct qzIncludeRange;

struct qzScriptPosition {
    int line;
    std::string file;
};

// The mapping itself. scriptEntry is the registry's "script" entry (":none:" or null for a
// compiled applet) and beginLine its "beginline"; sourceName is the recorded source-file name;
// defaultName is shown when no include range matches.
qzScriptPosition MapScriptPosition(int errorLine, const char* scriptEntry, int beginLine, const char* sourceName,
                                   const std::vector<qzIncludeRange>& ranges, const char* defaultName);

// The mapping for the running player: error line, registry entries, source-file name and the
// applet's include ranges.
qzScriptPosition CurrentScriptPosition(VmState* state);
int GetScriptLine(VmState* state);
std::string GetScriptFile(VmState* state);
