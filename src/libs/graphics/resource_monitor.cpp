// The resource monitor's text: how many objects of every kind exist.
#include <algorithm>
#include <cstdio>
#include <string>

#include "display/layer_system.h"
#include "libs/graphics/graphics.h"
#include "runtime/object_registry.h"

namespace {

struct Line {
    const char* label;
    int32_t type;  // an object type, or one of the layer and sprite counts below
    bool lessOne;  // the player keeps one object of the kind for itself
};
constexpr int32_t kLayersOnScreen = -1, kLayersTotal = -2, kSpritesOnScreen = -3;

const Line kLines[] = {
    {"Anims               ", 4, false},
    {"Async draws         ", 37, false},
    {"BGPics              ", 1, true},
    {"Brushes             ", 3, false},
    {"Clip regions        ", 35, false},
    {"Directories         ", 45, false},
    {"Displays            ", 21, true},
    {"Files               ", 44, false},
    {"Fonts               ", 43, false},
    {"Layers (on screen)  ", kLayersOnScreen, false},
    {"Layers (total)      ", kLayersTotal, true},
    {"Memory blocks       ", 39, false},
    {"Menus               ", 57, false},
    {"Musics              ", 33, false},
    {"Pointer images      ", 36, false},
    {"Samples             ", 2, false},
    {"Sprites (on screen) ", kSpritesOnScreen, false},
    {"Sprites (total)     ", 32, false},
    {"Text objects        ", 8, false},
    {"Timers              ", 53, false},
    {"Vector paths        ", 49, false},
    {"Videos              ", 50, false},
};

}  // namespace

std::string BuildResourceMonitorText() {
    std::string text;
    char number[16];
    for (const Line& line : kLines) {
        int32_t count;
        switch (line.type) {
        case kLayersOnScreen: count = CountLayersOnScreen(); break;
        case kLayersTotal: count = CountAllLayers(); break;
        case kSpritesOnScreen: count = CountOnScreenSprites(); break;
        default: count = CountObjectsOfType(line.type); break;
        }
        // The kinds the player keeps one of for itself; none kept shows 0, not -1.
        if (line.lessOne) count = std::max(count - 1, 0);
        std::snprintf(number, sizeof number, "%d\n", count);
        text += line.label;
        text += number;
    }
    const int plugins = GetPluginTypeCount();
    for (int32_t type = QZ_FIRST_PLUGIN_TYPE; type < QZ_FIRST_PLUGIN_TYPE + plugins; ++type) {
        const char* name = GetObjectTypeName(type);
        std::string label = name ? std::string(name).substr(0, 20) : std::string();
        label.resize(20, ' ');
        std::snprintf(number, sizeof number, "%d\n", CountObjectsOfType(type));
        text += label;
        text += number;
    }
    return text;
}
