// Console and progress output.
#include "runtime/console.h"

#include <cstring>

#include "platform/chunk_name.h"
#include "runtime/error_messages.h"
#include "runtime/runtime.h"

namespace {

void PutText(const std::string& text) { PrintConsoleText(text.data(), text.size()); }

void EndProgress(int id, const char* fallback) {
    if (IsRuntimeQuiet()) return;
    const char* word = GetCatalogText(id);
    PutText(std::string(word ? word : fallback) + "\n");
}

}  // namespace

void PrintProgressStart(const char* message, const char* fileName, bool addDots) {
    if (IsRuntimeQuiet() || !message) return;
    std::string line;
    if (fileName) {
        std::string name = GetDisplayFileName(fileName);
        for (const char* p = message; *p; p++) {
            if (p[0] == '%' && p[1] == 's') {
                line += name;
                p++;
            } else if (p[0] == '%' && p[1] == '%') {
                line.push_back('%');
                p++;
            } else {
                line.push_back(*p);
            }
        }
    } else {
        line = message;
    }
    if (addDots) line += "...";
    PutText(line);
}

void PrintProgressDone() { EndProgress(QZ_MSG_DONE, "done"); }

void PrintProgressFailed() { EndProgress(QZ_MSG_FAILED, "failed"); }

void PrintProgressSkipped() { EndProgress(QZ_MSG_SKIPPED, "skipped"); }

std::string EscapePercentSigns(const char* text) {
    std::string out;
    for (const char* p = text ? text : ""; *p; p++) {
        out.push_back(*p);
        if (*p == '%') out.push_back('%');
    }
    return out;
}
