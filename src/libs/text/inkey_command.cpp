// InKeyStr: a line of keyboard input on the current display, echoed character by character as
// layers at the text cursor and printed once as a whole when it ends.
#include <memory>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_links.h"
#include "display/event_pump.h"
#include "display/layer.h"
#include "display/layer_records.h"
#include "display/layer_system.h"
#include "libs/text/text_lib.h"
#include "platform/host/engine_keys.h"
#include "runtime/arg_check.h"
#include "runtime/event_queue.h"
#include "text/text_output.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr size_t kMaxInput = 1024;

enum { INKEY_ALL = 0, INKEY_ALPHANUMERICAL = 1, INKEY_ALPHABETICAL = 2, INKEY_NUMERICAL = 3, INKEY_HEXNUMERICAL = 4 };

bool IsLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(int c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool Accepts(int32_t type, int c) {
    switch (type) {
    case INKEY_ALL: return c >= 32 && c != 127 && !(c >= 128 && c < 160);
    case INKEY_ALPHANUMERICAL: return c == ' ' || IsLetter(c) || IsDigit(c);
    case INKEY_ALPHABETICAL: return c == ' ' || IsLetter(c);
    case INKEY_NUMERICAL: return IsDigit(c);
    case INKEY_HEXNUMERICAL: return IsHexDigit(c);
    default: return false;
    }
}

// The display must be the output itself, without double buffering or a refresh block.
int CheckInputOutput(const qzDisplay* display) {
    switch (display->outputKind) {
    case QZ_TYPE_DISPLAY: break;
    case QZ_TYPE_BRUSH: return ERR_SELECTBRUSH;
    case QZ_TYPE_MASK: return ERR_SELECTMASK;
    case QZ_TYPE_ALPHACHANNEL: return ERR_SELECTALPHACHANNEL;
    case QZ_TYPE_BGPIC: return ERR_SELECTBG;
    default: return ERR_SELECTANIM;
    }
    if (display->doubleBuffer) return ERR_ENDDOUBLEBUFFER;
    if (display->refreshBlock) return ERR_BEGINREFRESH;
    return 0;
}

// The number of PRINT layers without an object on the current picture: echo layers stack on top.
int32_t CountPrintLayers() {
    int32_t n = 0;
    for (qzLayer* layer = FirstLayer(CurrentBGPic()); layer; layer = NextLayer(layer))
        if (layer->type == QZ_LAYER_PRINT && !layer->id.pointer && !layer->id.number) n++;
    return n;
}

// Takes the pressed keys off the queue and drops everything else queued.
void TakeKeys(VmState* state, std::vector<int32_t>* keys) {
    qzMutex* mutex = GetEventQueueMutex();
    if (mutex) OsLockMutex(mutex);
    // Unlocked on every way out, also when the key list runs out of memory and unwinds through here.
    std::unique_ptr<qzMutex, void (*)(qzMutex*)> unlock(mutex, OsUnlockMutex);
    qzPeekedEvent event{};
    for (int i = 0; PeekQueuedEvent(state, i, &event, 0); i++)
        if (event.type == QZ_EVENT_KEY && event.params[0] == 1) keys->push_back(event.extra2);
    DropQueuedEvents(state, -1, 0);
}

}  // namespace

int TextInKeyStr(VmState* state) {
    const int count = VmGetTop(state);
    const int32_t type = VmCheckInteger(state, 1);
    const int32_t maximum = count >= 2 ? VmCheckInteger(state, 2) : 0;
    const int hide = count >= 3 && VmCheckInteger(state, 3) != 0;
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    int error = CheckInputOutput(display);
    if (error) return error;
    const int32_t layersWere = display->layersEnabled;
    if (!layersWere) {
        error = EnableDisplayLayers(state, display);
        if (error) return error;
    }
    const int32_t startX = display->textCursorX, startY = display->textCursorY;
    const int32_t base = CountPrintLayers();
    std::string input;
    std::vector<std::pair<int32_t, int32_t>> places;  // where each character was echoed
    // The echoes go and the display is as before on every way out, also when running out of memory
    // unwinds through the input: every print layer above those there before is removed.
    const auto finish = [&] {
        for (int32_t k = CountPrintLayers(); k > base; k--)
            RemoveLayerOfObject(state, QZ_LAYER_PRINT, qzObjectId{0, nullptr}, k, 0);
        if (!layersWere) display->layersEnabled = 0;
        display->textCursorX = startX;
        display->textCursorY = startY;
    };
    bool done = false;
    try {
        while (!done && !error) {
            int pumpError = 0;
            if (PumpEvents(state, QZ_PUMP_HOOKS, &pumpError)) {
                error = pumpError;
                break;
            }
            std::vector<int32_t> keys;
            TakeKeys(state, &keys);
            for (int32_t key : keys) {
                if (done || error) break;
                if (key == QZ_KEY_BACKSPACE) {
                    if (input.empty()) continue;
                    RemoveLayerOfObject(state, QZ_LAYER_PRINT, qzObjectId{0, nullptr}, base + (int32_t)input.size(), 0);
                    display->textCursorX = places.back().first;
                    display->textCursorY = places.back().second;
                    input.pop_back();
                    places.pop_back();
                    continue;
                }
                if (key == QZ_KEY_RETURN) {
                    done = true;
                    break;
                }
                int c = key;
                if (key == QZ_KEY_TAB || key == QZ_KEY_SPACE)
                    c = ' ';
                else if (key > 255 || key < 0)
                    continue;
                if (!Accepts(type, c)) continue;
                if (maximum > 0 && (int32_t)input.size() >= maximum) continue;
                if (input.size() >= kMaxInput) {
                    done = true;
                    break;
                }
                places.emplace_back(display->textCursorX, display->textCursorY);
                const char echo = hide ? '*' : (char)c;
                error = PrintText(state, &echo, 1, 1);
                if (!error)
                    input.push_back((char)c);
                else
                    places.pop_back();
            }
            if (!done && !error) WaitForEvents(state, 0);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (error) return error;
    const std::string shown = (hide ? std::string(input.size(), '*') : input) + "\n";
    error = PrintText(state, shown.data(), shown.size(), 1);
    if (error) return error;
    VmPushLString(state, input.data(), input.size());
    return 1;
}
