// Player options: the 45 names that serve both as command-line options ("-NAME [value]") and as
// keys of the applet's ".ini" file, how both are read, and ApplyOptions, which turns the values
// into settings of the player context and display overrides of the applet descriptor.
#pragma once

#include <cstddef>
#include <string>

#include "runtime/applet_records.h"

// Option codes index qzOptionValues; entry 0 is the applet file argument.
enum qzOptionCode {
    QZ_OPT_FILE = 0,
    QZ_OPT_WINDOW = 1,
    QZ_OPT_BORDERLESS = 2,
    QZ_OPT_SIZEABLE = 3,
    QZ_OPT_BACKFILL = 4,
    QZ_OPT_HIDETITLEBAR = 5,
    QZ_OPT_BRUSH = 6,
    QZ_OPT_STARTCOLOR = 7,
    QZ_OPT_ENDCOLOR = 8,
    QZ_OPT_SCRDEPTH = 9,
    QZ_OPT_QUIET = 11,
    QZ_OPT_BRUSHFILE = 13,
    QZ_OPT_FIXED = 15,
    QZ_OPT_NOSOUND = 16,
    QZ_OPT_SCALEPICTURE = 18,
    QZ_OPT_PICXPOS = 19,
    QZ_OPT_PICYPOS = 20,
    QZ_OPT_PICTRANS = 21,
    QZ_OPT_FULLSCREEN = 22,
    QZ_OPT_USEQUARTZ = 25,
    QZ_OPT_NOHIDE = 26,
    QZ_OPT_SCRWIDTH = 27,
    QZ_OPT_SCRHEIGHT = 28,
    QZ_OPT_FAKEFULLSCREEN = 29,
    QZ_OPT_HIDEPOINTER = 30,
    QZ_OPT_NOMODESWITCH = 31,
    QZ_OPT_DEBUGDEVICE = 33,
    QZ_OPT_AUTOSCALE = 36,
    QZ_OPT_SCALEWIDTH = 37,
    QZ_OPT_SCALEHEIGHT = 38,
    QZ_OPT_SMOOTHSCALE = 39,
    QZ_OPT_LAYERSCALE = 40,
    QZ_OPT_KEEPPROPORTIONS = 61,
    QZ_OPT_FITSCALE = 62,
    QZ_OPT_SKIPPLUGINS = 67,
    QZ_OPT_SOFTTIMER = 70,
    QZ_OPT_REQUIREPLUGINS = 74,
    QZ_OPT_DISABLEBLANKER = 75,
    QZ_OPT_TEMPDIR = 78,
    QZ_OPT_MODEREQUESTER = 79,
    QZ_OPT_ASKDISPLAYMODE = 80,
    QZ_OPT_MONITOR = 81,
    QZ_OPT_ALLDISPLAYS = 82,
    QZ_OPT_REQUIRETAGS = 86,
    QZ_OPT_DEBUGOUTPUT = 87,
    QZ_OPT_NUMCHANNELS = 88,
    QZ_OPTION_SLOTS = 89
};

// One row of the option table; the table ends with a row whose name is null. The player reads
// only name, code and takesValue; the help columns serve a usage printer.
struct qzOptionDef {
    const char* name;
    int code;
    int takesValue;
    int groupHelpId;
    int helpId;
    const char* valueTemplate;
    const char* valueHint;
};

extern const qzOptionDef qzOptionTable[];

// Parsed option values. A boolean option has given[code] 1 (on) or 0 (off); a value option has
// given[code] 1 and its text in text[code] once it was met.
struct qzOptionValues {
    int given[QZ_OPTION_SLOTS] = {};
    std::string text[QZ_OPTION_SLOTS];
};

// Longest joined command line, in characters.
constexpr size_t QZ_MAX_COMMAND_LINE = 4095;

// Looks an option up by name, without regard to case; null when unknown.
const qzOptionDef* FindOption(const char* name);

// Joins argv[1..argc-1] into one line: arguments beginning with "-" as they are, others wrapped in
// double quotes, one space between. ERR_ARGS when the line would exceed QZ_MAX_COMMAND_LINE.
int JoinCommandLine(int argc, const char* const* argv, std::string* line);

// Reads a joined command line into values; options that the table does not know go to the
// context's unknown arguments. 0 or ERR_ARGS.
int ReadCommandLine(const std::string& line, qzOptionValues* values, qzPlayerContext* context);

// The ".ini" file of the applet: the applet path with its file name's extension replaced by
// ".ini", or, for an applet appended to the executable, the executable's path plus ".ini".
std::string GetIniFileName(const qzPlayerContext* context);

// Reads ".ini" text into values (its entries replace those from the command line); unknown keys
// go to the context's unknown arguments. 0 or ERR_INISYNTAX.
int ReadIniText(const char* text, size_t length, qzOptionValues* values, qzPlayerContext* context);

// Reads an ".ini" file; a missing file is no error. 0, ERR_READ, ERR_MEM or ERR_INISYNTAX.
int ReadIniFile(const std::string& path, qzOptionValues* values, qzPlayerContext* context);

// Turns the option values into settings: display overrides into the applet descriptor, the rest
// into the player context. 0 or an error code.
int ApplyOptions(const qzOptionValues* values, qzPlayerContext* context, qzAppletDescriptor* applet);
