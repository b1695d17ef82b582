// Command line, .ini file and ApplyOptions.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "platform/os_env.h"
#include "player/options.h"

namespace options_test {

namespace {

// Joins and reads argv as start-up does.
int ReadArgs(std::vector<const char*> args, qzOptionValues* values, qzPlayerContext* context) {
    args.insert(args.begin(), "qzplayer");
    std::string line;
    int error = JoinCommandLine((int)args.size(), args.data(), &line);
    if (error) return error;
    return ReadCommandLine(line, values, context);
}

int Ini(const std::string& text, qzOptionValues* values, qzPlayerContext* context) {
    return ReadIniText(text.data(), text.size(), values, context);
}

}  // namespace

TEST(Options, TableHasEveryOptionOnceWithDistinctCodes) {
    int count = 0;
    bool seen[QZ_OPTION_SLOTS] = {};
    for (const qzOptionDef* def = qzOptionTable; def->name; def++, count++) {
        ASSERT_GT(def->code, 0);
        ASSERT_LT(def->code, QZ_OPTION_SLOTS);
        EXPECT_FALSE(seen[def->code]) << def->name;
        seen[def->code] = true;
        EXPECT_EQ(FindOption(def->name), def);
    }
    EXPECT_EQ(count, 45);
    EXPECT_EQ(FindOption("scrWidth")->code, QZ_OPT_SCRWIDTH);
    EXPECT_EQ(FindOption("nosuchoption"), nullptr);
}

TEST(Options, CommandLineErrors) {
    const struct {
        std::vector<const char*> args;
        int error;
    } cases[] = {
        {{"-SCRWIDTH"}, ERR_ARGS},                                              // value option at the end
        {{"-SCRWIDTH", "-QUIET"}, ERR_ARGS},                                    // value option followed by an option
        {{"a.qza", "b.qza"}, ERR_ARGS},                                         // two file arguments
        {{"-SCRWIDTH", "800", "a.qza"}, 0},  {{"-QUIET", "a.qza", "-FOO"}, 0},  // unknown option at the end
    };
    for (const auto& c : cases) {
        qzOptionValues values;
        qzPlayerContext context;
        EXPECT_EQ(ReadArgs(c.args, &values, &context), c.error) << c.args[0];
    }
    qzOptionValues values;
    qzPlayerContext context;
    EXPECT_EQ(ReadCommandLine("\"unterminated", &values, &context), ERR_ARGS);
}

TEST(Options, CommandLineValuesAndUnknownArguments) {
    qzOptionValues values;
    qzPlayerContext context;
    ASSERT_EQ(ReadArgs({"-mode", "fast", "-Quiet", "my applet.qza", "-scrwidth", "1024", "-flag"}, &values, &context),
              0);
    EXPECT_EQ(values.given[QZ_OPT_QUIET], 1);
    EXPECT_EQ(values.text[QZ_OPT_SCRWIDTH], "1024");
    EXPECT_EQ(values.text[QZ_OPT_FILE], "my applet.qza");  // quoted by the join, spaces kept
    ASSERT_EQ(context.unknownArgs.size(), 2u);
    EXPECT_EQ(context.unknownArgs[0].name, "mode");
    EXPECT_EQ(context.unknownArgs[0].hasValue, 1);
    EXPECT_EQ(context.unknownArgs[0].value, "fast");
    EXPECT_EQ(context.unknownArgs[1].name, "flag");
    EXPECT_EQ(context.unknownArgs[1].hasValue, 0);
}

TEST(Options, JoinedCommandLineIsLimited) {
    std::string longArg(QZ_MAX_COMMAND_LINE - 2, 'x');  // quoted: exactly the limit
    const char* ok[] = {"qzplayer", longArg.c_str()};
    std::string line;
    EXPECT_EQ(JoinCommandLine(2, ok, &line), 0);
    EXPECT_EQ(line.size(), QZ_MAX_COMMAND_LINE);
    std::string tooLong(QZ_MAX_COMMAND_LINE - 1, 'x');
    const char* bad[] = {"qzplayer", tooLong.c_str()};
    EXPECT_EQ(JoinCommandLine(2, bad, &line), ERR_ARGS);
}

TEST(Options, IniFileName) {
    qzPlayerContext context;
    context.appletPath = "/games/dir.v2/Game.qza";
    EXPECT_EQ(GetIniFileName(&context), "/games/dir.v2/Game.ini");
    context.appletPath = "/games/dir.v2/Game";  // the dot of the folder is no extension
    EXPECT_EQ(GetIniFileName(&context), "/games/dir.v2/Game.ini");
    context.appletPath = "a.b.qza";
    EXPECT_EQ(GetIniFileName(&context), "a.b.ini");
    context.appended = 1;
    context.programPath = "/opt/game/Game";
    EXPECT_EQ(GetIniFileName(&context), "/opt/game/Game.ini");
}

TEST(Options, IniSyntax) {
    const struct {
        const char* text;
        int error;
    } cases[] = {
        {"# comment\n[section]\n\n  \t\r\nQUIET = yes\r\n", 0},
        {"1KEY=1\n", ERR_INISYNTAX},              // key begins with a digit
        {"QUIET yes\n", ERR_INISYNTAX},           // no "="
        {"QUIET\n= yes\n", ERR_INISYNTAX},        // "=" on the next line
        {"TEMPDIR=\"/tmp\n\"\n", ERR_INISYNTAX},  // quote not closed on its line
        {"TEMPDIR=\"/tmp\" x\n", ERR_INISYNTAX},  // text behind the closing quote
        {"KEY-1=2\n", ERR_INISYNTAX},
        {"KEY=", 0},  // empty value at the end of the file
    };
    for (const auto& c : cases) {
        qzOptionValues values;
        qzPlayerContext context;
        EXPECT_EQ(Ini(c.text, &values, &context), c.error) << c.text;
    }
    std::string longKey(128, 'K');
    qzOptionValues values;
    qzPlayerContext context;
    EXPECT_EQ(Ini(longKey + "=1\n", &values, &context), ERR_INISYNTAX);
    EXPECT_EQ(Ini(longKey.substr(1) + "=1\n", &values, &context), 0);
}

TEST(Options, IniValuesReplaceCommandLine) {
    qzOptionValues values;
    qzPlayerContext context;
    ASSERT_EQ(ReadArgs({"-QUIET", "-NOSOUND", "-SCRWIDTH", "800", "-extra", "x", "a.qza"}, &values, &context), 0);
    ASSERT_EQ(Ini("quiet = no\n"
                  "NoSound=1\n"
                  "SCRWIDTH = 1024  \t\n"
                  "TEMPDIR = \"  spaced  \"\n"
                  "custom = some value \n",
                  &values, &context),
              0);
    EXPECT_EQ(values.given[QZ_OPT_QUIET], 0);  // switched off by the .ini file
    EXPECT_EQ(values.given[QZ_OPT_NOSOUND], 1);
    EXPECT_EQ(values.text[QZ_OPT_SCRWIDTH], "1024");
    EXPECT_EQ(values.text[QZ_OPT_TEMPDIR], "  spaced  ");
    ASSERT_EQ(context.unknownArgs.size(), 2u);  // command line first, then the .ini file
    EXPECT_EQ(context.unknownArgs[0].name, "extra");
    EXPECT_EQ(context.unknownArgs[1].name, "custom");
    EXPECT_EQ(context.unknownArgs[1].value, "some value");

    const struct {
        const char* value;
        int on;
    } booleans[] = {{"true", 1}, {"YES", 1}, {"On", 1},  {"1", 1}, {"$10", 1}, {"-2", 1},
                    {"0", 0},    {"no", 0},  {"off", 0}, {"", 0},  {"2x", 0}};
    for (const auto& b : booleans) {
        qzOptionValues v;
        ASSERT_EQ(Ini(std::string("DEBUGOUTPUT=") + b.value + "\n", &v, &context), 0);
        EXPECT_EQ(v.given[QZ_OPT_DEBUGOUTPUT], b.on) << b.value;
    }
}

TEST(Options, IniFileOnDisk) {
    std::string path = testing::TempDir() + "options_test.ini";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("SCRHEIGHT=600\nbad line\n", f);
    std::fclose(f);
    qzOptionValues values;
    qzPlayerContext context;
    EXPECT_EQ(ReadIniFile(path, &values, &context), ERR_INISYNTAX);
    EXPECT_EQ(values.text[QZ_OPT_SCRHEIGHT], "600");
    std::remove(path.c_str());
    EXPECT_EQ(ReadIniFile(path, &values, &context), 0);                       // a missing file is no error
    EXPECT_EQ(ReadIniFile(testing::TempDir(), &values, &context), ERR_READ);  // a folder
}

namespace {

// Applies a command line to fresh records.
struct Applied {
    qzOptionValues values;
    qzPlayerContext context;
    qzAppletDescriptor applet;
    int error = 0;
};

void Apply(std::vector<const char*> args, Applied* a) {
    a->error = ReadArgs(args, &a->values, &a->context);
    if (!a->error) a->error = ApplyOptions(&a->values, &a->context, &a->applet);
}

}  // namespace

TEST(Options, ApplyErrors) {
    const struct {
        std::vector<const char*> args;
        int error;
    } cases[] = {
        {{"-BACKFILL", "rainbow", "-STARTCOLOR", "$FF"}, ERR_BACKFILL},
        {{"-BACKFILL", "stripes", "-STARTCOLOR", "$FF"}, ERR_BACKFILL},
        {{"-BACKFILL", "color"}, ERR_BACKFILL},
        {{"-BACKFILL", "texture"}, ERR_BACKFILL},
        {{"-BACKFILL", "picture", "-BRUSH", "2", "-BRUSHFILE", "x.png"}, ERR_BACKFILL},
        {{"-BACKFILL", "color", "-STARTCOLOR", "red"}, ERR_VALUEEXPECTED},
        {{"-BACKFILL", "color", "-STARTCOLOR", "$"}, ERR_SYNTAXERROR},
        {{"-MONITOR", "0"}, ERR_MONITORRANGE},
        {{"-WINDOW", "-FULLSCREEN"}, ERR_CONSOLEARG},
        {{"-AUTOSCALE", "-LAYERSCALE"}, ERR_CONSOLEARG},
        {{"-NUMCHANNELS", "0"}, ERR_CONSOLEARG},
        {{"-SCRWIDTH", "wide"}, ERR_VALUEEXPECTED},
        // Without a scaling engine the scale size is not even parsed.
        {{"-SCALEWIDTH", "wide"}, 0},
        // Without BACKFILL its companions are ignored.
        {{"-STARTCOLOR", "red", "-BRUSH", "1", "-BRUSHFILE", "x"}, 0},
    };
    for (const auto& c : cases) {
        Applied a;
        Apply(c.args, &a);
        EXPECT_EQ(a.error, c.error) << c.args[0] << " " << c.args[1];
    }
}

TEST(Options, ApplySettings) {
    Applied a;
    Apply({"-AUTOSCALE",
           "-SCALEWIDTH",
           "50%",
           "-SCALEHEIGHT",
           "$100",
           "-MONITOR",
           "2",
           "-BORDERLESS",
           "-SMOOTHSCALE",
           "-DISABLEBLANKER",
           "-HIDETITLEBAR",
           "-FAKEFULLSCREEN",
           "-SCRWIDTH",
           "800",
           "-SCRHEIGHT",
           "600",
           "-SCRDEPTH",
           "32",
           "-NUMCHANNELS",
           "8",
           "-NOSOUND",
           "-QUIET",
           "-ALLDISPLAYS",
           "-SKIPPLUGINS",
           "a|b||c",
           "-REQUIREPLUGINS",
           "p1",
           "-REQUIRETAGS",
           "p1[x=1]",
           "-DEBUGDEVICE",
           "con",
           "-DEBUGOUTPUT",
           "-SOFTTIMER",
           "-BACKFILL",
           "Picture",
           "-BRUSHFILE",
           "back.png",
           "-SCALEPICTURE",
           "-PICXPOS",
           "7",
           "-PICTRANS",
           "$FFFFFFFF"},
          &a);
    ASSERT_EQ(a.error, 0);
    EXPECT_EQ(a.applet.scaleWidth, -50);  // percentage
    EXPECT_EQ(a.applet.scaleHeight, 256);
    EXPECT_EQ(a.applet.monitor, 1);
    EXPECT_EQ(a.applet.displayFlags,
              QZ_DISPF_AUTOSCALE | QZ_DISPF_BORDERLESS | QZ_DISPF_SMOOTHSCALE | QZ_DISPF_DISABLEBLANKER);
    EXPECT_EQ(a.applet.displayMode, 6);
    EXPECT_EQ(a.applet.screenWidth, 800);
    EXPECT_EQ(a.applet.screenHeight, 600);
    EXPECT_EQ(a.applet.screenDepth, 32);
    EXPECT_EQ(a.applet.backfill.hideTitleBar, 1);
    EXPECT_EQ(a.applet.backfill.type, 4);
    EXPECT_EQ(a.applet.backfill.pictureFile, "back.png");
    EXPECT_EQ(a.applet.backfill.scalePicture, 1);
    EXPECT_EQ(a.applet.backfill.x, 7);
    EXPECT_EQ(a.applet.backfill.y, QZ_CENTER);
    EXPECT_EQ(a.applet.backfill.transparentColor, -1);  // all 32 bits of $FFFFFFFF
    EXPECT_EQ(a.applet.timerSettings.flags & 1, 1);
    EXPECT_EQ(a.context.numChannels, 8);
    EXPECT_EQ(a.context.noSound, 1);
    EXPECT_EQ(a.context.quiet, 1);
    EXPECT_EQ(a.context.allDisplays, 1);
    EXPECT_EQ(a.context.consoleMode, 1);
    EXPECT_EQ(a.context.debugOutput, 1);
    EXPECT_EQ(a.context.skipPlugins, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(a.context.requirePlugins, (std::vector<std::string>{"p1"}));
    EXPECT_EQ(a.context.requireTags, "p1[x=1]");

    Applied b;
    Apply({"-BACKFILL", "gradient", "-STARTCOLOR", "$FF0000", "-ENDCOLOR", "255", "-ASKDISPLAYMODE"}, &b);
    ASSERT_EQ(b.error, 0);
    EXPECT_EQ(b.applet.backfill.type, 2);
    EXPECT_EQ(b.applet.backfill.startColor, 0xFF0000);
    EXPECT_EQ(b.applet.backfill.endColor, 255);
    EXPECT_EQ(b.applet.displayMode, 3);
    EXPECT_EQ(b.applet.scaleWidth, 0);
}

TEST(Options, TempDirOption) {
    std::string before = OsGetTempDir();
    Applied a;
    Apply({"-TEMPDIR", "/var/tmp"}, &a);
    EXPECT_EQ(a.error, 0);
    EXPECT_EQ(OsGetTempDir(), "/var/tmp");
    OsSetTempDir(before.c_str());
    // A relative folder is kept as seen from the folder the player started in.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    Applied r;
    Apply({"-TEMPDIR", "scratch/tmp"}, &r);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(OsGetTempDir(), std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "scratch/tmp");
    OsSetTempDir(before.c_str());
    std::string tooLong(QZ_MAX_PATH + 1, 'd');
    Applied b;
    Apply({"-TEMPDIR", tooLong.c_str()}, &b);
    EXPECT_EQ(b.error, ERR_CONSOLEARG);
    EXPECT_EQ(OsGetTempDir(), before);
}

}  // namespace options_test
