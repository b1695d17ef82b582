#include "platform/host/input_script.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/charset.h"

namespace {

constexpr int64_t kMaxTimeMs = 1000000000000ll;  // about 31 years
constexpr int32_t kMaxCoordinate = 1000000;
constexpr int32_t kMaxRepeat = 100;
// A script stays a script: more events than this are refused rather than held in memory.
constexpr size_t kMaxEvents = 1000000;

// Scancodes the script gives its keys, so that a key's up pairs with its down.
constexpr uint32_t kCharScancodes = 0x10000;
constexpr uint32_t kNamedScancodes = 0x20000;

struct NamedKey {
    const char* name;
    int32_t key;
    int32_t keyChar;    // for keys that type a character
    uint32_t modifier;  // for modifier keys
};

const NamedKey kNamedKeys[] = {
    {"space", QZ_HKEY_CHAR, ' ', 0},
    {"return", QZ_HKEY_RETURN, 0, 0},
    {"enter", QZ_HKEY_RETURN, 0, 0},
    {"escape", QZ_HKEY_ESCAPE, 0, 0},
    {"esc", QZ_HKEY_ESCAPE, 0, 0},
    {"tab", QZ_HKEY_TAB, 0, 0},
    {"backspace", QZ_HKEY_BACKSPACE, 0, 0},
    {"delete", QZ_HKEY_DELETE, 0, 0},
    {"del", QZ_HKEY_DELETE, 0, 0},
    {"up", QZ_HKEY_UP, 0, 0},
    {"down", QZ_HKEY_DOWN, 0, 0},
    {"left", QZ_HKEY_LEFT, 0, 0},
    {"right", QZ_HKEY_RIGHT, 0, 0},
    {"home", QZ_HKEY_HOME, 0, 0},
    {"end", QZ_HKEY_END, 0, 0},
    {"pageup", QZ_HKEY_PAGEUP, 0, 0},
    {"pagedown", QZ_HKEY_PAGEDOWN, 0, 0},
    {"help", QZ_HKEY_HELP, 0, 0},
    {"insert", QZ_HKEY_HELP, 0, 0},
    {"shift", QZ_HKEY_OTHER, 0, QZ_HMOD_SHIFT},
    {"ctrl", QZ_HKEY_OTHER, 0, QZ_HMOD_CTRL},
    {"control", QZ_HKEY_OTHER, 0, QZ_HMOD_CTRL},
    {"alt", QZ_HKEY_OTHER, 0, QZ_HMOD_ALT},
    {"option", QZ_HKEY_OTHER, 0, QZ_HMOD_ALT},
    {"cmd", QZ_HKEY_OTHER, 0, QZ_HMOD_GUI},
    {"command", QZ_HKEY_OTHER, 0, QZ_HMOD_GUI},
    {"super", QZ_HKEY_OTHER, 0, QZ_HMOD_GUI},
};

struct KeySpec {
    int32_t key = QZ_HKEY_NONE;
    int32_t keyChar = 0;
    uint32_t modifier = 0;  // the key is this modifier
    uint32_t combo = 0;     // modifiers the token holds with it ("ctrl+c", an upper-case letter)
    uint32_t scancode = 0;
    uint32_t character = 0;  // the typed character, for character keys
};

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string EncodeUtf8(uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

uint32_t ModifierByName(const std::string& name) {
    std::string lower = Lower(name);
    for (const NamedKey& k : kNamedKeys) {
        if (k.modifier && lower == k.name) return k.modifier;
    }
    return 0;
}

bool ResolveKey(const std::string& token, KeySpec* spec) {
    std::string rest = token;
    // Modifier prefixes: "ctrl+c", "cmd+shift+return". A lone "+" is the plus key.
    for (size_t plus = rest.find('+'); plus != std::string::npos && plus > 0 && plus + 1 < rest.size();
         plus = rest.find('+')) {
        uint32_t bit = ModifierByName(rest.substr(0, plus));
        if (!bit) break;
        spec->combo |= bit;
        rest = rest.substr(plus + 1);
    }

    uint32_t cp = 0;
    if (DecodeUtf8Char(rest, 0, &cp) == rest.size() && !rest.empty()) {
        // One character: a key that types it.
        if (cp <= 0xFF && ToLowerChar(static_cast<int>(cp)) != static_cast<int>(cp)) {
            spec->combo |= QZ_HMOD_SHIFT;  // an upper-case letter is typed with Shift
            cp = static_cast<uint32_t>(ToLowerChar(static_cast<int>(cp)));
        }
        spec->key = QZ_HKEY_CHAR;
        spec->keyChar = cp <= 0xFF ? static_cast<int32_t>(cp) : 0;
        spec->character = cp;
        spec->scancode = kCharScancodes + cp;
        return true;
    }
    std::string lower = Lower(rest);
    for (const NamedKey& k : kNamedKeys) {
        if (lower == k.name) {
            spec->key = k.key;
            spec->keyChar = k.keyChar;
            spec->character = static_cast<uint32_t>(k.keyChar);
            spec->modifier = k.modifier;
            spec->scancode = kNamedScancodes + static_cast<uint32_t>(k.key) * 16 + k.modifier;
            return true;
        }
    }
    if (lower.size() >= 2 && lower[0] == 'f') {
        char* end = nullptr;
        long n = std::strtol(lower.c_str() + 1, &end, 10);
        if (*end == 0 && n >= 1 && n <= 24 && lower[1] != '0' && lower[1] != '+' && lower[1] != '-') {
            spec->key = QZ_HKEY_F1 + static_cast<int32_t>(n) - 1;
            spec->scancode = kNamedScancodes + static_cast<uint32_t>(spec->key) * 16;
            return true;
        }
    }
    return false;
}

bool ParseInteger(const std::string& word, int64_t low, int64_t high, int64_t* out) {
    size_t digits = word[0] == '-' ? 1 : 0;
    if (word.size() <= digits || word[digits] < '0' || word[digits] > '9') return false;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(word.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || value < low || value > high) return false;
    *out = value;
    return true;
}

// The line being read: its words, what it makes, and the error it finds.
struct LineReader {
    std::vector<std::string> words;
    size_t at = 1;  // the next word after the event name
    std::string error;

    bool More() const { return at < words.size(); }

    bool Number(int64_t low, int64_t high, int64_t* out, const char* what) {
        if (!More()) {
            error = std::string("missing ") + what;
            return false;
        }
        if (!ParseInteger(words[at], low, high, out)) {
            error = "bad number \"" + words[at] + "\"";
            return false;
        }
        at++;
        return true;
    }

    bool Point(int32_t* x, int32_t* y) {
        int64_t a, b;
        if (!Number(-kMaxCoordinate, kMaxCoordinate, &a, "x position") ||
            !Number(-kMaxCoordinate, kMaxCoordinate, &b, "y position"))
            return false;
        *x = static_cast<int32_t>(a);
        *y = static_cast<int32_t>(b);
        return true;
    }

    bool Word(std::string* out, const char* what) {
        if (!More()) {
            error = std::string("missing ") + what;
            return false;
        }
        *out = words[at++];
        return true;
    }

    bool End() {
        if (More()) {
            error = "unexpected \"" + words[at] + "\"";
            return false;
        }
        return true;
    }
};

// Reads the optional button word of mouse events: left (default), right or middle.
int32_t ReadButton(LineReader* r) {
    if (!r->More()) return 1;
    std::string word = Lower(r->words[r->at]);
    int32_t button = word == "left" ? 1 : word == "right" ? 2 : word == "middle" ? 3 : 0;
    if (button) r->at++;
    return button ? button : 1;
}

qzHostEvent Make(int32_t kind) {
    qzHostEvent e;
    e.kind = kind;
    return e;
}

qzHostEvent WindowEvent(int32_t sub) {
    qzHostEvent e = Make(QZ_HEV_WINDOW);
    e.sub = sub;
    return e;
}

// The events of one key press, release or both.
void KeyEvents(const KeySpec& spec, uint32_t* held, bool down, bool up, std::vector<qzHostEvent>* out) {
    qzHostEvent key = Make(QZ_HEV_KEY);
    key.key = spec.key;
    key.keyChar = spec.keyChar;
    key.scancode = spec.scancode;
    if (down) {
        *held |= spec.modifier;
        key.pressed = 1;
        key.modifiers = *held | spec.combo;
        out->push_back(key);
        if (spec.key == QZ_HKEY_CHAR && !(key.modifiers & QZ_HMOD_CTRL)) {
            uint32_t cp = spec.character;
            if ((key.modifiers & QZ_HMOD_SHIFT) && cp <= 0xFF)
                cp = static_cast<uint32_t>(ToUpperChar(static_cast<int>(cp)));
            qzHostEvent text = Make(QZ_HEV_TEXT);
            text.text = EncodeUtf8(cp);
            out->push_back(text);
        }
    }
    if (up) {
        key.pressed = 0;
        key.modifiers = *held | spec.combo;
        out->push_back(key);
        *held &= ~spec.modifier;
    }
}

// Reads the event of a line (after its time and target) into `out`.
bool ReadEvent(LineReader* r, uint32_t* held, std::vector<qzHostEvent>* out) {
    std::string name = Lower(r->words[0]);
    if (name == "key" || name == "keydown" || name == "keyup") {
        std::string token;
        if (!r->Word(&token, "key name")) return false;
        KeySpec spec;
        if (!ResolveKey(token, &spec)) {
            r->error = "unknown key \"" + token + "\"";
            return false;
        }
        KeyEvents(spec, held, name != "keyup", name != "keydown", out);
        return r->End();
    }
    if (name == "text") {
        qzHostEvent e = Make(QZ_HEV_TEXT);
        if (!r->Word(&e.text, "text")) return false;
        out->push_back(e);
        return r->End();
    }
    if (name == "move" || name == "windowmove") {
        qzHostEvent e = name == "move" ? Make(QZ_HEV_MOUSE_MOVE) : WindowEvent(QZ_HWIN_MOVED);
        if (!r->Point(&e.x, &e.y)) return false;
        out->push_back(e);
        return r->End();
    }
    if (name == "mousedown" || name == "mouseup" || name == "click") {
        qzHostEvent e = Make(QZ_HEV_MOUSE_BUTTON);
        e.sub = ReadButton(r);
        if (!r->Point(&e.x, &e.y)) return false;
        e.modifiers = *held;
        if (name != "mouseup") {
            e.pressed = 1;
            out->push_back(e);
        }
        if (name != "mousedown") {
            e.pressed = 0;
            out->push_back(e);
        }
        return r->End();
    }
    if (name == "wheel") {
        std::string direction;
        if (!r->Word(&direction, "wheel direction")) return false;
        direction = Lower(direction);
        if (direction != "up" && direction != "down") {
            r->error = "bad wheel direction \"" + direction + "\" (up or down)";
            return false;
        }
        int64_t count = 1;
        if (r->More() && !r->Number(1, kMaxRepeat, &count, "count")) return false;
        qzHostEvent e = Make(QZ_HEV_WHEEL);
        e.wheel = direction == "up" ? 1 : -1;
        for (int64_t i = 0; i < count; i++) out->push_back(e);
        return r->End();
    }
    if (name == "resize") {
        qzHostEvent e = WindowEvent(QZ_HWIN_RESIZED);
        int64_t w, h;
        if (!r->Number(1, kMaxCoordinate, &w, "width") || !r->Number(1, kMaxCoordinate, &h, "height")) return false;
        e.width = static_cast<int32_t>(w);
        e.height = static_cast<int32_t>(h);
        out->push_back(e);
        return r->End();
    }
    if (name == "drop") {
        qzHostEvent e = Make(QZ_HEV_DROP);
        if (!r->Point(&e.x, &e.y)) return false;
        while (r->More()) e.paths.push_back(r->words[r->at++]);
        if (e.paths.empty()) {
            r->error = "missing file name";
            return false;
        }
        out->push_back(e);
        return true;
    }
    if (name == "menu") {
        qzHostEvent e = Make(QZ_HEV_MENU);
        if (!r->Word(&e.text, "menu item")) return false;
        out->push_back(e);
        return r->End();
    }
    struct Simple {
        const char* name;
        int32_t kind;
        int32_t sub;
    };
    static const Simple kSimple[] = {
        {"close", QZ_HEV_WINDOW, QZ_HWIN_CLOSE},
        {"focus", QZ_HEV_WINDOW, QZ_HWIN_FOCUS_GAINED},
        {"unfocus", QZ_HEV_WINDOW, QZ_HWIN_FOCUS_LOST},
        {"minimize", QZ_HEV_WINDOW, QZ_HWIN_MINIMIZED},
        {"restore", QZ_HEV_WINDOW, QZ_HWIN_RESTORED},
        {"expose", QZ_HEV_WINDOW, QZ_HWIN_EXPOSED},
        {"clipboard", QZ_HEV_CLIPBOARD, 0},
        {"quit", QZ_HEV_QUIT, 0},
    };
    for (const Simple& s : kSimple) {
        if (name == s.name) {
            qzHostEvent e = Make(s.kind);
            e.sub = s.sub;
            out->push_back(e);
            return r->End();
        }
    }
    r->error = "unknown event \"" + r->words[0] + "\"";
    return false;
}

}  // namespace

bool SplitScriptWords(const std::string& line, std::vector<std::string>* words, std::vector<bool>* quoted) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
        if (i >= line.size()) break;
        std::string word;
        if (line[i] == '"') {
            i++;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) {
                    char e = line[i++];
                    word += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                } else {
                    word += c;
                }
            }
            if (!closed) return false;
            words->push_back(word);
            quoted->push_back(true);
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
            words->push_back(word);
            quoted->push_back(false);
        }
    }
    return true;
}

bool ParseInputScript(const std::string& text, const std::string& name, std::vector<qzScriptedEvent>* out,
                      std::string* message) {
    std::vector<qzScriptedEvent> events;
    std::istringstream in(text);
    // A line that cannot be read for want of memory throws instead of ending the script early,
    // which would drop the rest of its events silently.
    in.exceptions(std::ios::badbit);
    std::string line;
    int32_t lineNumber = 0;
    int64_t previousMs = 0;
    uint32_t held = 0;
    auto fail = [&](const std::string& what) {
        *message = name + ":" + std::to_string(lineNumber) + ": " + what;
        return false;
    };

    while (std::getline(in, line)) {
        lineNumber++;
        std::vector<std::string> words;
        std::vector<bool> quoted;
        if (!SplitScriptWords(line, &words, &quoted)) return fail("unterminated quote");
        if (words.empty() || (!quoted[0] && words[0][0] == '#')) continue;

        // Time: milliseconds from the start, or +milliseconds after the previous line.
        int64_t ms = 0;
        const std::string& time = words[0];
        bool relative = !time.empty() && time[0] == '+';
        if (!ParseInteger(relative ? time.substr(1) : time, 0, kMaxTimeMs, &ms))
            return fail("bad time \"" + time + "\"");
        if (relative) ms += previousMs;
        if (ms < previousMs)
            return fail("time " + time + " is before the previous line's " + std::to_string(previousMs));
        previousMs = ms;

        size_t at = 1;
        int32_t display = 0;
        if (at < words.size() && words[at].size() > 1 && words[at][0] == '@' && !quoted[at]) {
            int64_t id;
            if (!ParseInteger(words[at].substr(1), 1, INT32_MAX, &id)) return fail("bad display \"" + words[at] + "\"");
            display = static_cast<int32_t>(id);
            at++;
        }
        if (at >= words.size()) return fail("missing event");

        LineReader reader;
        reader.words.assign(words.begin() + static_cast<long>(at), words.end());
        if (reader.words[0] == "waitwindow" && !quoted[at]) {
            if (reader.words.size() > 1) return fail("unexpected \"" + reader.words[1] + "\"");
            if (events.size() >= kMaxEvents)
                return fail("too many events (more than " + std::to_string(kMaxEvents) + ")");
            events.push_back({static_cast<uint64_t>(ms) * 1000u, display, lineNumber, qzHostEvent(), true});
            continue;
        }
        std::vector<qzHostEvent> made;
        if (!ReadEvent(&reader, &held, &made)) return fail(reader.error);
        if (events.size() + made.size() > kMaxEvents)
            return fail("too many events (more than " + std::to_string(kMaxEvents) + ")");
        for (qzHostEvent& e : made)
            events.push_back({static_cast<uint64_t>(ms) * 1000u, display, lineNumber, std::move(e)});
    }
    out->insert(out->end(), events.begin(), events.end());
    return true;
}

bool ReadScriptFile(const char* path, const char* variable, std::string* text, std::string* message) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int error = errno;
        *message = std::string(variable) + ": cannot read \"" + path + "\": " + std::strerror(error);
        return false;
    }
    // Read in blocks rather than through the stream operators, which would take memory running
    // out for the end of the file and parse a part of it.
    char block[4096];
    while (file.read(block, sizeof block) || file.gcount() > 0) text->append(block, static_cast<size_t>(file.gcount()));
    if (file.bad()) {
        *message = std::string(variable) + ": cannot read \"" + path + "\"";
        return false;
    }
    return true;
}

bool LoadInputScript(const char* path, std::vector<qzScriptedEvent>* out, std::string* message) {
    std::string text;
    return ReadScriptFile(path, "QUARNELIX_INPUT", &text, message) && ParseInputScript(text, path, out, message);
}
