// The headless driver's requesters and clipboard: dialogs answered from the answers file, a
// clipboard kept in memory.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "base/error_codes.h"
#include "base/player_identity.h"
#include "platform/host/headless/headless.h"

namespace {

struct DialogState {
    std::mutex mutex;
    std::vector<qzAnswerLine> answers;
    size_t next = 0;
    std::string name;  // names the answers in messages
    std::vector<qzHostDialog> shown;
    qzHostClipboard clipboard;
};
DialogState gDialogs;

// A dialog of tests that nobody takes stays here at most this often.
constexpr size_t kMaxShown = 1000;

}  // namespace

int HeadlessStartDialogs(std::string* message) {
    std::vector<qzAnswerLine> answers;
    const char* path = std::getenv("QUARNELIX_ANSWERS");
    if (path && *path && !LoadAnswers(path, &answers, message)) return ERR_ERRORCALLED;
    std::lock_guard<std::mutex> lock(gDialogs.mutex);
    gDialogs.answers = std::move(answers);
    gDialogs.next = 0;
    gDialogs.name = path ? path : "";
    gDialogs.shown.clear();
    gDialogs.clipboard = qzHostClipboard{};
    return 0;
}

void HeadlessStopDialogs() {
    std::lock_guard<std::mutex> lock(gDialogs.mutex);
    gDialogs.answers.clear();
    gDialogs.next = 0;
    gDialogs.shown.clear();
    gDialogs.clipboard = qzHostClipboard{};
}

int HeadlessDialog(const qzHostDialog& dialog, qzHostDialogAnswer* answer, std::string*) {
    *answer = qzHostDialogAnswer{};
    if (dialog.text.empty())
        std::fprintf(stderr, "%s\n", dialog.title.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", dialog.title.c_str(), dialog.text.c_str());
    std::fflush(stderr);
    std::lock_guard<std::mutex> lock(gDialogs.mutex);
    if (gDialogs.shown.size() < kMaxShown) gDialogs.shown.push_back(dialog);
    if (gDialogs.next >= gDialogs.answers.size()) return 0;
    const qzAnswerLine& line = gDialogs.answers[gDialogs.next++];
    std::string complaint;
    AnswerDialog(dialog, line, answer, &complaint);
    if (!complaint.empty()) {
        std::fprintf(stderr, "%s: %s:%d: %s\n", QZ_PLAYER_NAME, gDialogs.name.c_str(), int(line.line),
                     complaint.c_str());
        std::fflush(stderr);
    }
    return 0;
}

int HeadlessClipboardRead(int withData, qzHostClipboard* out) {
    std::lock_guard<std::mutex> lock(gDialogs.mutex);
    out->kind = gDialogs.clipboard.kind;
    out->text.clear();
    out->png.clear();
    if (withData) {
        out->text = gDialogs.clipboard.text;
        out->png = gDialogs.clipboard.png;
    }
    return 0;
}

int HeadlessClipboardWrite(const qzHostClipboard& contents) {
    std::lock_guard<std::mutex> lock(gDialogs.mutex);
    gDialogs.clipboard = contents;
    if (contents.kind == QZ_HCLIP_EMPTY) {
        gDialogs.clipboard.text.clear();
        gDialogs.clipboard.png.clear();
    }
    return 0;
}

void HeadlessSetAnswers(const std::vector<qzAnswerLine>& answers, const std::string& name) {
    std::lock_guard<std::mutex> lock(gDialogs.mutex);
    gDialogs.answers = answers;
    gDialogs.next = 0;
    gDialogs.name = name;
}

std::vector<qzHostDialog> HeadlessTakeDialogs() {
    std::lock_guard<std::mutex> lock(gDialogs.mutex);
    std::vector<qzHostDialog> shown;
    shown.swap(gDialogs.shown);
    return shown;
}
