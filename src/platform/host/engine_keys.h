// Engine key codes and the tables that turn window-system keys into them.
//
// Printable characters are their ISO 8859-1 code points; special keys have codes from 256 up.
// The window-system drivers report special keys as qzHostKey values and characters as text; these
// tables give both their engine codes.
#pragma once

#include <cstdint>

enum : int32_t {
    QZ_KEY_UP = 256,
    QZ_KEY_DOWN = 257,
    QZ_KEY_RIGHT = 258,
    QZ_KEY_LEFT = 259,
    QZ_KEY_HELP = 260,
    QZ_KEY_F1 = 261,  // F1 to F10 are 261 to 270
    QZ_KEY_F10 = 270,
    QZ_KEY_BACKSPACE = 271,
    QZ_KEY_TAB = 272,
    QZ_KEY_RETURN = 274,
    QZ_KEY_ESCAPE = 275,
    QZ_KEY_SPACE = 276,
    QZ_KEY_DEL = 277,
    QZ_KEY_F11 = 278,
    QZ_KEY_F12 = 279,
    QZ_KEY_HOME = 281,
    QZ_KEY_END = 282,
    QZ_KEY_PAGEUP = 283,
    QZ_KEY_PAGEDOWN = 284,
    QZ_KEY_F13 = 287,  // F13 to F16 are 287 to 290
    QZ_KEY_F16 = 290,
};

// Size of a display's key-state array (indexed by engine key code).
constexpr int QZ_KEYSTATE_SIZE = 300;

// Keys as the window-system drivers report them.
enum qzHostKey : int32_t {
    QZ_HKEY_NONE = 0,
    QZ_HKEY_CHAR,   // a key that types text: its character comes in a text event
    QZ_HKEY_OTHER,  // modifiers and keys the engine has no code for
    QZ_HKEY_UP,
    QZ_HKEY_DOWN,
    QZ_HKEY_RIGHT,
    QZ_HKEY_LEFT,
    QZ_HKEY_HELP,  // also the Insert key, which sits where Help is on other keyboards
    QZ_HKEY_HOME,
    QZ_HKEY_END,
    QZ_HKEY_PAGEUP,
    QZ_HKEY_PAGEDOWN,
    QZ_HKEY_BACKSPACE,
    QZ_HKEY_TAB,
    QZ_HKEY_RETURN,  // Return and the keypad's Enter
    QZ_HKEY_ESCAPE,
    QZ_HKEY_DELETE,
    QZ_HKEY_F1,  // F1 to F24 follow in order
    QZ_HKEY_F24 = QZ_HKEY_F1 + 23,
};

// Modifier bits of host events and of the driver's modifier state.
enum : uint32_t {
    QZ_HMOD_SHIFT = 0x1,
    QZ_HMOD_CTRL = 0x2,
    QZ_HMOD_ALT = 0x4,  // Option
    QZ_HMOD_GUI = 0x8,  // Command: the Super / Windows key
};

// Qualifier word bits.
enum : uint32_t {
    QZ_QUALIFIER_BASE = 0x80000000u,
    QZ_QUALIFIER_CONTROL = 0x00400000u,
    QZ_QUALIFIER_OPTION = 0x00040000u,
    QZ_QUALIFIER_SHIFT = 0x00010000u,
    QZ_QUALIFIER_COMMAND = 0x00100000u,
};

// The engine code of a special key, or 0 when the key has none (no event).
int32_t EngineCodeForHostKey(int32_t key);

// The engine code of a typed character (a Unicode code point): control characters and space
// become their special keys, other characters up to 255 their ISO 8859-1 code, anything beyond
// Latin-1 0 (no event).
int32_t EngineCodeForCharacter(uint32_t codePoint);

// The qualifier word for a set of QZ_HMOD_* bits.
uint32_t QualifiersFromModifiers(uint32_t modifiers);
