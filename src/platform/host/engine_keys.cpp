#include "platform/host/engine_keys.h"

namespace {

struct KeyRow {
    int32_t key;
    int32_t code;
};

const KeyRow kSpecialKeys[] = {
    {QZ_HKEY_UP, QZ_KEY_UP},
    {QZ_HKEY_DOWN, QZ_KEY_DOWN},
    {QZ_HKEY_RIGHT, QZ_KEY_RIGHT},
    {QZ_HKEY_LEFT, QZ_KEY_LEFT},
    {QZ_HKEY_HELP, QZ_KEY_HELP},
    {QZ_HKEY_HOME, QZ_KEY_HOME},
    {QZ_HKEY_END, QZ_KEY_END},
    {QZ_HKEY_PAGEUP, QZ_KEY_PAGEUP},
    {QZ_HKEY_PAGEDOWN, QZ_KEY_PAGEDOWN},
    {QZ_HKEY_BACKSPACE, QZ_KEY_BACKSPACE},
    {QZ_HKEY_TAB, QZ_KEY_TAB},
    {QZ_HKEY_RETURN, QZ_KEY_RETURN},
    {QZ_HKEY_ESCAPE, QZ_KEY_ESCAPE},
    {QZ_HKEY_DELETE, QZ_KEY_DEL},
};

// Engine codes of F1 to F16; keys beyond F16 have none.
const int32_t kFunctionKeys[16] = {261, 262, 263, 264, 265, 266, 267, 268, 269, 270, 278, 279, 287, 288, 289, 290};

// Characters that stand for special keys.
const KeyRow kCharacterKeys[] = {
    {8, QZ_KEY_BACKSPACE}, {9, QZ_KEY_TAB},    {13, QZ_KEY_RETURN},
    {27, QZ_KEY_ESCAPE},   {32, QZ_KEY_SPACE}, {127, QZ_KEY_DEL},
};

}  // namespace

int32_t EngineCodeForHostKey(int32_t key) {
    if (key >= QZ_HKEY_F1 && key <= QZ_HKEY_F24) {
        int index = key - QZ_HKEY_F1;
        return index < 16 ? kFunctionKeys[index] : 0;
    }
    for (const KeyRow& row : kSpecialKeys) {
        if (row.key == key) return row.code;
    }
    return 0;
}

int32_t EngineCodeForCharacter(uint32_t codePoint) {
    for (const KeyRow& row : kCharacterKeys) {
        if (static_cast<uint32_t>(row.key) == codePoint) return row.code;
    }
    if (codePoint > 255) return 0;
    return static_cast<int32_t>(codePoint);
}

uint32_t QualifiersFromModifiers(uint32_t modifiers) {
    uint32_t word = QZ_QUALIFIER_BASE;
    if (modifiers & QZ_HMOD_CTRL) word |= QZ_QUALIFIER_CONTROL;
    if (modifiers & QZ_HMOD_ALT) word |= QZ_QUALIFIER_OPTION;
    if (modifiers & QZ_HMOD_SHIFT) word |= QZ_QUALIFIER_SHIFT;
    if (modifiers & QZ_HMOD_GUI) word |= QZ_QUALIFIER_COMMAND;
    return word;
}
