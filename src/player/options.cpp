// Command line, ".ini" file and ApplyOptions.
#include "player/options.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "base/number_literal.h"
#include "platform/os_env.h"
#include "platform/os_host_file.h"

const qzOptionDef qzOptionTable[] = {
    {"WINDOW", QZ_OPT_WINDOW, 0, 0, 0, nullptr, nullptr},
    {"BORDERLESS", QZ_OPT_BORDERLESS, 0, 0, 0, nullptr, nullptr},
    {"SIZEABLE", QZ_OPT_SIZEABLE, 0, 0, 0, nullptr, nullptr},
    {"FIXED", QZ_OPT_FIXED, 0, 0, 0, nullptr, nullptr},
    {"NOHIDE", QZ_OPT_NOHIDE, 0, 0, 0, nullptr, nullptr},
    {"DISABLEBLANKER", QZ_OPT_DISABLEBLANKER, 0, 0, 0, nullptr, nullptr},
    {"ALLDISPLAYS", QZ_OPT_ALLDISPLAYS, 0, 0, 0, nullptr, nullptr},
    {"FULLSCREEN", QZ_OPT_FULLSCREEN, 0, 0, 0, nullptr, nullptr},
    {"FAKEFULLSCREEN", QZ_OPT_FAKEFULLSCREEN, 0, 0, 0, nullptr, nullptr},
    {"MODEREQUESTER", QZ_OPT_MODEREQUESTER, 0, 0, 0, nullptr, nullptr},
    {"ASKDISPLAYMODE", QZ_OPT_ASKDISPLAYMODE, 0, 0, 0, nullptr, nullptr},
    {"SCRWIDTH", QZ_OPT_SCRWIDTH, 1, 0, 0, "<width>", nullptr},
    {"SCRHEIGHT", QZ_OPT_SCRHEIGHT, 1, 0, 0, "<height>", nullptr},
    {"SCRDEPTH", QZ_OPT_SCRDEPTH, 1, 0, 0, "<depth>", nullptr},
    {"MONITOR", QZ_OPT_MONITOR, 1, 0, 0, "<num>", nullptr},
    {"HIDEPOINTER", QZ_OPT_HIDEPOINTER, 0, 0, 0, nullptr, nullptr},
    {"NOMODESWITCH", QZ_OPT_NOMODESWITCH, 0, 0, 0, nullptr, nullptr},
    {"BACKFILL", QZ_OPT_BACKFILL, 1, 0, 0, "<mode>", "color|gradient|texture|picture"},
    {"STARTCOLOR", QZ_OPT_STARTCOLOR, 1, 0, 0, "<color>", "$RRGGBB"},
    {"ENDCOLOR", QZ_OPT_ENDCOLOR, 1, 0, 0, "<color>", "$RRGGBB"},
    {"BRUSHFILE", QZ_OPT_BRUSHFILE, 1, 0, 0, "<image file>", nullptr},
    {"BRUSH", QZ_OPT_BRUSH, 1, 0, 0, "<brush id>", nullptr},
    {"SCALEPICTURE", QZ_OPT_SCALEPICTURE, 0, 0, 0, nullptr, nullptr},
    {"PICXPOS", QZ_OPT_PICXPOS, 1, 0, 0, "<pos>", nullptr},
    {"PICYPOS", QZ_OPT_PICYPOS, 1, 0, 0, "<pos>", nullptr},
    {"PICTRANS", QZ_OPT_PICTRANS, 1, 0, 0, "<color>", "$RRGGBB"},
    {"HIDETITLEBAR", QZ_OPT_HIDETITLEBAR, 0, 0, 0, nullptr, nullptr},
    {"AUTOSCALE", QZ_OPT_AUTOSCALE, 0, 0, 0, nullptr, nullptr},
    {"LAYERSCALE", QZ_OPT_LAYERSCALE, 0, 0, 0, nullptr, nullptr},
    {"SCALEWIDTH", QZ_OPT_SCALEWIDTH, 1, 0, 0, "<width>", nullptr},
    {"SCALEHEIGHT", QZ_OPT_SCALEHEIGHT, 1, 0, 0, "<height>", nullptr},
    {"SMOOTHSCALE", QZ_OPT_SMOOTHSCALE, 0, 0, 0, nullptr, nullptr},
    {"KEEPPROPORTIONS", QZ_OPT_KEEPPROPORTIONS, 0, 0, 0, nullptr, nullptr},
    {"FITSCALE", QZ_OPT_FITSCALE, 0, 0, 0, nullptr, nullptr},
    {"NOSOUND", QZ_OPT_NOSOUND, 0, 0, 0, nullptr, nullptr},
    {"NUMCHANNELS", QZ_OPT_NUMCHANNELS, 1, 0, 0, "<count>", nullptr},
    {"REQUIREPLUGINS", QZ_OPT_REQUIREPLUGINS, 1, 0, 0, "<list>", nullptr},
    {"REQUIRETAGS", QZ_OPT_REQUIRETAGS, 1, 0, 0, "<list>", nullptr},
    {"SKIPPLUGINS", QZ_OPT_SKIPPLUGINS, 1, 0, 0, "<list>", nullptr},
    {"DEBUGDEVICE", QZ_OPT_DEBUGDEVICE, 1, 0, 0, "<name>", nullptr},
    {"DEBUGOUTPUT", QZ_OPT_DEBUGOUTPUT, 0, 0, 0, nullptr, nullptr},
    {"QUIET", QZ_OPT_QUIET, 0, 0, 0, nullptr, nullptr},
    {"TEMPDIR", QZ_OPT_TEMPDIR, 1, 0, 0, "<path>", nullptr},
    {"USEQUARTZ", QZ_OPT_USEQUARTZ, 0, 0, 0, nullptr, nullptr},
    {"SOFTTIMER", QZ_OPT_SOFTTIMER, 0, 0, 0, nullptr, nullptr},
    {nullptr, 0, 0, 0, 0, nullptr, nullptr},
};

// Options that OR a display flag bit into the descriptor's flags.
static const struct {
    int code;
    uint32_t flag;
} kDisplayFlagOptions[] = {
    {QZ_OPT_BORDERLESS, QZ_DISPF_BORDERLESS},
    {QZ_OPT_SIZEABLE, QZ_DISPF_SIZEABLE},
    {QZ_OPT_FIXED, QZ_DISPF_FIXED},
    {QZ_OPT_NOHIDE, QZ_DISPF_NOHIDE},
    {QZ_OPT_DISABLEBLANKER, QZ_DISPF_DISABLEBLANKER},
    {QZ_OPT_HIDEPOINTER, QZ_DISPF_HIDEPOINTER},
    {QZ_OPT_NOMODESWITCH, QZ_DISPF_NOMODESWITCH},
    {QZ_OPT_AUTOSCALE, QZ_DISPF_AUTOSCALE},
    {QZ_OPT_LAYERSCALE, QZ_DISPF_LAYERSCALE},
    {QZ_OPT_SMOOTHSCALE, QZ_DISPF_SMOOTHSCALE},
    {QZ_OPT_KEEPPROPORTIONS, QZ_DISPF_KEEPPROPORTIONS},
    {QZ_OPT_FITSCALE, QZ_DISPF_FITSCALE},
    {QZ_OPT_USEQUARTZ, QZ_DISPF_USEQUARTZ},
};

// The display-mode options and the mode each selects, in this order.
static const struct {
    int code;
    int mode;
} kDisplayModeOptions[] = {
    {QZ_OPT_WINDOW, 1},        {QZ_OPT_FULLSCREEN, 2},     {QZ_OPT_FAKEFULLSCREEN, 6},
    {QZ_OPT_MODEREQUESTER, 4}, {QZ_OPT_ASKDISPLAYMODE, 3},
};

static const struct {
    const char* word;
    int type;
} kBackfillWords[] = {
    {"COLOR", 1}, {"RAINBOW", 2}, {"GRADIENT", 2}, {"TEXTURE", 3}, {"PICTURE", 4},
};

static bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

static bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

const qzOptionDef* FindOption(const char* name) {
    for (const qzOptionDef* def = qzOptionTable; def->name; def++)
        if (CompareNoCase(def->name, name) == 0) return def;
    return nullptr;
}

int JoinCommandLine(int argc, const char* const* argv, std::string* line) {
    line->clear();
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        size_t extra = std::strlen(arg) + (arg[0] == '-' ? 0 : 2) + (line->empty() ? 0 : 1);
        if (line->size() + extra > QZ_MAX_COMMAND_LINE) return ERR_ARGS;
        if (!line->empty()) *line += ' ';
        if (arg[0] == '-') {
            *line += arg;
        } else {
            *line += '"';
            *line += arg;
            *line += '"';
        }
    }
    return 0;
}

int ReadCommandLine(const std::string& line, qzOptionValues* values, qzPlayerContext* context) {
    const qzOptionDef* expecting = nullptr;  // value option still waiting for its value
    long pendingUnknown = -1;                // unknown option that may take the next word
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && line[i] == ' ') i++;
        if (i >= n) break;
        if (line[i] == '-') {
            if (expecting) return ERR_ARGS;
            pendingUnknown = -1;
            size_t start = ++i;
            while (i < n && IsNameChar(line[i])) i++;
            std::string name = line.substr(start, i - start);
            const qzOptionDef* def = FindOption(name.c_str());
            if (def) {
                if (def->takesValue)
                    expecting = def;
                else
                    values->given[def->code] = 1;
            } else {
                context->unknownArgs.push_back(qzCommandLineArg{name, 0, std::string()});
                pendingUnknown = (long)context->unknownArgs.size() - 1;
            }
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            size_t close = line.find('"', i + 1);
            if (close == std::string::npos) return ERR_ARGS;
            word = line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            size_t start = i;
            while (i < n && line[i] != ' ') i++;
            word = line.substr(start, i - start);
        }
        if (expecting) {
            values->given[expecting->code] = 1;
            values->text[expecting->code] = word;
            expecting = nullptr;
        } else if (pendingUnknown >= 0) {
            context->unknownArgs[pendingUnknown].hasValue = 1;
            context->unknownArgs[pendingUnknown].value = word;
            pendingUnknown = -1;
        } else if (values->given[QZ_OPT_FILE]) {
            return ERR_ARGS;
        } else {
            values->given[QZ_OPT_FILE] = 1;
            values->text[QZ_OPT_FILE] = word;
        }
    }
    return expecting ? ERR_ARGS : 0;
}

std::string GetIniFileName(const qzPlayerContext* context) {
    if (context->appended) return context->programPath + ".ini";
    std::string path = context->appletPath;
    size_t slash = path.find_last_of('/');
    size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && dot >= fileStart) path.erase(dot);
    return path + ".ini";
}

// A boolean ".ini" value: "true", "yes", "on" or a whole number other than 0.
static int IniBoolean(const std::string& value) {
    const char* v = value.c_str();
    if (CompareNoCase(v, "true") == 0 || CompareNoCase(v, "yes") == 0 || CompareNoCase(v, "on") == 0) return 1;
    int consumed = 0, error = 0;
    double number = ParseNumberLiteral(v, &consumed, &error);
    return error == 0 && (size_t)consumed == value.size() && number != 0;
}

int ReadIniText(const char* text, size_t length, qzOptionValues* values, qzPlayerContext* context) {
    size_t i = 0;
    auto blank = [&](size_t at) { return text[at] == ' ' || text[at] == '\t'; };
    while (i < length) {
        while (i < length && (blank(i) || text[i] == '\r')) i++;
        if (i >= length) break;
        if (text[i] == '\n') {
            i++;
            continue;
        }
        if (text[i] == '#' || text[i] == '[') {
            while (i < length && text[i] != '\n') i++;
            continue;
        }
        if (!IsAsciiLetter(text[i])) return ERR_INISYNTAX;
        size_t keyStart = i;
        while (i < length && IsNameChar(text[i])) i++;
        if (i - keyStart > 127) return ERR_INISYNTAX;
        std::string key(text + keyStart, i - keyStart);
        while (i < length && blank(i)) i++;
        if (i >= length || text[i] != '=') return ERR_INISYNTAX;
        i++;
        while (i < length && blank(i)) i++;
        std::string value;
        if (i < length && text[i] == '"') {
            size_t start = ++i;
            while (i < length && text[i] != '"' && text[i] != '\n') i++;
            if (i >= length || text[i] != '"') return ERR_INISYNTAX;
            value.assign(text + start, i - start);
            i++;
            // Only blanks may follow the closing quote on its line.
            while (i < length && (blank(i) || text[i] == '\r')) i++;
            if (i < length && text[i] != '\n') return ERR_INISYNTAX;
        } else {
            size_t start = i;
            while (i < length && text[i] != '\n') i++;
            size_t end = i;
            while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) end--;
            value.assign(text + start, end - start);
        }
        const qzOptionDef* def = FindOption(key.c_str());
        if (!def) {
            context->unknownArgs.push_back(qzCommandLineArg{key, 1, value});
        } else if (def->takesValue) {
            values->given[def->code] = 1;
            values->text[def->code] = value;
        } else {
            values->given[def->code] = IniBoolean(value);
        }
    }
    return 0;
}

// An ".ini" file larger than this is refused instead of being read into memory.
static const int64_t kMaxIniSize = 16 * 1024 * 1024;

int ReadIniFile(const std::string& path, qzOptionValues* values, qzPlayerContext* context) {
    qzHostFile* file = OsHostOpen(path.c_str(), false);
    if (!file) return 0;
    int result = 0;
    std::string text;
    uint64_t size = 0;
    if (!OsHostIsRegularFile(file)) {
        // A folder or a device under the .ini name cannot be read as one.
        OsHostClose(file);
        return ERR_READ;
    }
    if (!OsHostSize(file, &size) || !OsHostSeek(file, 0)) {
        result = ERR_READ;
    } else if (size > (uint64_t)kMaxIniSize) {
        result = ERR_MEM;
    } else {
        text.resize((size_t)size);
        if (size > 0 && OsHostRead(file, &text[0], (size_t)size) != (size_t)size) result = ERR_READ;
    }
    OsHostClose(file);
    if (result) return result;
    return ReadIniText(text.data(), text.size(), values, context);
}

// Saturating conversion: out-of-range values clamp, NaN gives the lowest value.
static int32_t ToInt32(double value) {
    if (std::isnan(value)) return INT32_MIN;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return (int32_t)value;
}

// Colours are 32-bit patterns: "$FFFFFFFF" keeps all bits, negative values saturate.
static int32_t ToColor(double value) {
    if (std::isnan(value) || value < 0) return ToInt32(value);
    if (value >= 4294967295.0) return (int32_t)UINT32_MAX;
    return (int32_t)(uint32_t)value;
}

// Parses an option's number; *after receives the character behind the number.
static int ParseOptionNumber(const std::string& text, double* number, char* after = nullptr) {
    int consumed = 0, error = 0;
    *number = ParseNumberLiteral(text.c_str(), &consumed, &error);
    if (error) return error;
    if (after) *after = (size_t)consumed < text.size() ? text[consumed] : '\0';
    return 0;
}

static int ParseOptionInt(const std::string& text, int32_t* out) {
    double number;
    int error = ParseOptionNumber(text, &number);
    if (error) return error;
    *out = ToInt32(number);
    return 0;
}

static int ParseOptionColor(const std::string& text, int32_t* out) {
    double number;
    int error = ParseOptionNumber(text, &number);
    if (error) return error;
    *out = ToColor(number);
    return 0;
}

static void SplitPluginList(const std::string& text, std::vector<std::string>* names) {
    names->clear();
    size_t start = 0;
    for (;;) {
        size_t bar = text.find('|', start);
        std::string name = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (!name.empty()) names->push_back(name);
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
}

int ApplyOptions(const qzOptionValues* values, qzPlayerContext* context, qzAppletDescriptor* applet) {
    const int* given = values->given;
    const std::string* text = values->text;
    int error;

    // 1. Display flags.
    if (given[QZ_OPT_HIDETITLEBAR]) applet->backfill.hideTitleBar = 1;
    for (const auto& option : kDisplayFlagOptions)
        if (given[option.code]) applet->displayFlags |= option.flag;
    if (given[QZ_OPT_AUTOSCALE] && given[QZ_OPT_LAYERSCALE]) return ERR_CONSOLEARG;

    // 2.
    if (given[QZ_OPT_ALLDISPLAYS]) context->allDisplays = 1;

    // 3. Scaling size; a "%" behind the number makes it a percentage, stored negated.
    if (given[QZ_OPT_AUTOSCALE] || given[QZ_OPT_LAYERSCALE]) {
        const int codes[2] = {QZ_OPT_SCALEWIDTH, QZ_OPT_SCALEHEIGHT};
        int* targets[2] = {&applet->scaleWidth, &applet->scaleHeight};
        for (int k = 0; k < 2; k++) {
            if (!given[codes[k]]) continue;
            double number;
            char after = 0;
            if ((error = ParseOptionNumber(text[codes[k]], &number, &after))) return error;
            int32_t value = ToInt32(number);
            *targets[k] = after == '%' ? (value == INT32_MIN ? INT32_MAX : -value) : value;
        }
    }

    // 4. Screen size, depth and monitor.
    int32_t number;
    if (given[QZ_OPT_SCRDEPTH]) {
        if ((error = ParseOptionInt(text[QZ_OPT_SCRDEPTH], &number))) return error;
        applet->screenDepth = number;
    }
    if (given[QZ_OPT_SCRWIDTH]) {
        if ((error = ParseOptionInt(text[QZ_OPT_SCRWIDTH], &number))) return error;
        applet->screenWidth = number;
    }
    if (given[QZ_OPT_SCRHEIGHT]) {
        if ((error = ParseOptionInt(text[QZ_OPT_SCRHEIGHT], &number))) return error;
        applet->screenHeight = number;
    }
    if (given[QZ_OPT_MONITOR]) {
        if ((error = ParseOptionInt(text[QZ_OPT_MONITOR], &number))) return error;
        if (number < 1) return ERR_MONITORRANGE;
        applet->monitor = number - 1;
    }

    // 5. Backfill; its seven companion options count only together with BACKFILL.
    if (given[QZ_OPT_BACKFILL]) {
        qzBackfillSettings* backfill = &applet->backfill;
        int type = 0;
        for (const auto& word : kBackfillWords)
            if (CompareNoCase(word.word, text[QZ_OPT_BACKFILL].c_str()) == 0) type = word.type;
        if (type == 0) return ERR_BACKFILL;
        bool brush = given[QZ_OPT_BRUSH], brushFile = given[QZ_OPT_BRUSHFILE];
        if (brush && brushFile) return ERR_BACKFILL;
        if (type == 1 && !given[QZ_OPT_STARTCOLOR]) return ERR_BACKFILL;
        if (type == 2 && (!given[QZ_OPT_STARTCOLOR] || !given[QZ_OPT_ENDCOLOR])) return ERR_BACKFILL;
        if ((type == 3 || type == 4) && !brush && !brushFile) return ERR_BACKFILL;
        backfill->type = type;
        if (brush) {
            if ((error = ParseOptionInt(text[QZ_OPT_BRUSH], &number))) return error;
            backfill->brush = number;
        }
        if (brushFile) {
            if (text[QZ_OPT_BRUSHFILE].size() > QZ_MAX_PATH) return ERR_BACKFILL;
            backfill->pictureFile = text[QZ_OPT_BRUSHFILE];
        }
        if (given[QZ_OPT_STARTCOLOR]) {
            if ((error = ParseOptionColor(text[QZ_OPT_STARTCOLOR], &number))) return error;
            backfill->startColor = number;
        }
        if (given[QZ_OPT_ENDCOLOR]) {
            if ((error = ParseOptionColor(text[QZ_OPT_ENDCOLOR], &number))) return error;
            backfill->endColor = number;
        }
        if (given[QZ_OPT_SCALEPICTURE]) backfill->scalePicture = 1;
        if (given[QZ_OPT_PICXPOS]) {
            if ((error = ParseOptionInt(text[QZ_OPT_PICXPOS], &number))) return error;
            backfill->x = number;
        }
        if (given[QZ_OPT_PICYPOS]) {
            if ((error = ParseOptionInt(text[QZ_OPT_PICYPOS], &number))) return error;
            backfill->y = number;
        }
        if (given[QZ_OPT_PICTRANS]) {
            if ((error = ParseOptionColor(text[QZ_OPT_PICTRANS], &number))) return error;
            backfill->transparentColor = number;
        }
    }

    // 6. Sound and quiet.
    if (given[QZ_OPT_QUIET]) context->quiet = 1;
    if (given[QZ_OPT_NOSOUND]) context->noSound = 1;
    if (given[QZ_OPT_NUMCHANNELS]) {
        if ((error = ParseOptionInt(text[QZ_OPT_NUMCHANNELS], &number))) return error;
        if (number < 1) return ERR_CONSOLEARG;
        context->numChannels = number;
    }

    // 7. Temporary folder and plugin lists.
    if (given[QZ_OPT_TEMPDIR]) {
        std::string folder = text[QZ_OPT_TEMPDIR];
        if (folder.size() > QZ_MAX_PATH) return ERR_CONSOLEARG;
        // A relative folder is taken from where the player was started: reading the applet
        // changes the current folder to the applet's own before any temporary file is made.
        std::string cwd = OsHostCurrentDir();
        if (!folder.empty() && folder[0] != '/' && !cwd.empty() && cwd.size() <= QZ_MAX_PATH) {
            std::string absolute = cwd;
            if (absolute.empty() || absolute.back() != '/') absolute += '/';
            absolute += folder;
            if (absolute.size() > QZ_MAX_PATH) return ERR_CONSOLEARG;
            folder = absolute;
        }
        OsSetTempDir(folder.c_str());
    }
    if (given[QZ_OPT_SKIPPLUGINS]) SplitPluginList(text[QZ_OPT_SKIPPLUGINS], &context->skipPlugins);
    if (given[QZ_OPT_REQUIREPLUGINS]) SplitPluginList(text[QZ_OPT_REQUIREPLUGINS], &context->requirePlugins);
    if (given[QZ_OPT_REQUIRETAGS]) {
        context->hasRequireTags = 1;
        context->requireTags = text[QZ_OPT_REQUIRETAGS];
    }

    // 8. Console mode, debug output, timer.
    if (given[QZ_OPT_DEBUGDEVICE]) context->consoleMode = 1;
    if (given[QZ_OPT_DEBUGOUTPUT]) context->debugOutput = 1;
    if (given[QZ_OPT_SOFTTIMER]) applet->timerSettings.flags |= 1;

    // 9. At most one display mode.
    int modes = 0;
    for (const auto& option : kDisplayModeOptions) {
        if (!given[option.code]) continue;
        if (++modes > 1) return ERR_CONSOLEARG;
        applet->displayMode = option.mode;
    }
    return 0;
}
