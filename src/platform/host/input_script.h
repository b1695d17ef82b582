// The headless input script (QUARNELIX_INPUT): timed input events, one per line, that the
// headless driver delivers as if a user had made them. The grammar is documented in
// docs/headless.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/host.h"

struct qzScriptedEvent {
    uint64_t atMicros;  // from the start of the player, the script's waits not counted
    int32_t display;    // the window of this display identifier; 0 = the focused window
    int32_t line;       // the script line it came from
    qzHostEvent event;
    // A `waitwindow` line: no event; the script stands still until the display's window is open
    // (display 0: until a window has the keyboard focus), and its later times count on from then.
    bool waitForWindow = false;
};

// Splits a line into words: blanks separate them, and "quoted text" is one word with \" \\ \n
// and \t escapes; `quoted` tells for each word whether it was quoted. False for an unterminated
// quote.
bool SplitScriptWords(const std::string& line, std::vector<std::string>* words, std::vector<bool>* quoted);

// Parses a whole script. `name` names it in messages. Returns true, or false with a message
// "NAME:LINE: what is wrong" and nothing appended.
bool ParseInputScript(const std::string& text, const std::string& name, std::vector<qzScriptedEvent>* out,
                      std::string* message);

// Reads a whole script file (a file-system path) into *text. False with a message naming the
// environment variable that gave the path when the file cannot be opened or read.
bool ReadScriptFile(const char* path, const char* variable, std::string* text, std::string* message);

// Reads and parses the script file (a file-system path). false with a message when the file
// cannot be read or a line is bad.
bool LoadInputScript(const char* path, std::vector<qzScriptedEvent>* out, std::string* message);
