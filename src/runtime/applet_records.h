// The records that start-up builds from the options and the applet container: the player context,
// the applet descriptor, the directive list and the display settings they carry. The container
// reader and the option reader fill them; start-up, the directive run and shutdown consume them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/path_limit.h"
#include "runtime/linked_file.h"

// Field limits of the stored texts (characters, without the terminating zero).
constexpr size_t QZ_MAX_METADATA = 255;
constexpr size_t QZ_MAX_LINKED_NAME = 1023;
constexpr size_t QZ_MAX_TITLE = 255;
constexpr size_t QZ_MAX_LOADER_NAME = 255;
constexpr size_t QZ_MAX_SYMBOL_NAME = 2559;     // label and constant names
constexpr size_t QZ_MAX_CONSTANT_TEXT = 65535;  // constant string values
constexpr int QZ_MAX_GRADIENT_STOPS = 64;
constexpr int QZ_MAX_REGIONS = 64;
constexpr int QZ_ICON_SLOTS = 18;

// Screen position that means "centred".
constexpr int QZ_CENTER = -100000;

// Directive types, in container numbering.
enum qzDirectiveType {
    QZ_DIR_BGPIC = 0,
    QZ_DIR_BRUSH = 1,
    QZ_DIR_ANIM = 2,
    QZ_DIR_MUSIC = 3,
    QZ_DIR_SAMPLE = 4,
    QZ_DIR_BUTTON = 5,
    QZ_DIR_KEYDOWN = 6,
    QZ_DIR_SPRITE = 7,
    QZ_DIR_FILE = 8,
    QZ_DIR_FONT = 9,
    QZ_DIR_DISPLAY = 10,
    QZ_DIR_VIDEO = 11,
    QZ_DIR_PLUGIN = 12,
    QZ_DIR_MENU = 13,
    QZ_DIR_LAST = QZ_DIR_MENU
};

// Display flag bits, shared by display directives and the option overrides.
enum : uint32_t {
    QZ_DISPF_BORDERLESS = 0x1,
    QZ_DISPF_SIZEABLE = 0x2,
    QZ_DISPF_FIXED = 0x4,
    QZ_DISPF_NOMODESWITCH = 0x8,
    QZ_DISPF_HIDEPOINTER = 0x10,
    QZ_DISPF_NOHIDE = 0x20,
    QZ_DISPF_AUTOSCALE = 0x40,
    QZ_DISPF_SMOOTHSCALE = 0x80,
    QZ_DISPF_LAYERSCALE = 0x100,
    QZ_DISPF_BGPIC = 0x200,
    QZ_DISPF_ACTIVE = 0x400,
    QZ_DISPF_HIDDEN = 0x800,
    QZ_DISPF_LAYERS = 0x1000,
    QZ_DISPF_USEQUARTZ = 0x2000,
    QZ_DISPF_NOCLOSE = 0x4000,
    QZ_DISPF_KEEPPROPORTIONS = 0x8000,
    QZ_DISPF_FITSCALE = 0x10000,
    QZ_DISPF_KEEPSCREENON = 0x40000,
    QZ_DISPF_HIDEFROMTASKBAR = 0x80000,
    QZ_DISPF_HIDEOPTIONSMENU = 0x100000,
    QZ_DISPF_NOHARDWARESCALE = 0x200000,
    QZ_DISPF_DISABLEBLANKER = 0x1000000
};

struct qzGradientStop {
    uint32_t color = 0;
    double position = 0;
};

// A colour gradient: the start and end colours and angle come from the directive fields, the
// rest from the container's gradient record (fractions stored in millionths).
struct qzGradient {
    int style = 2;  // LINEAR
    uint32_t startColor = 0;
    uint32_t endColor = 0;
    int angle = 0;
    double centerX = 0.5;
    double centerY = 0.5;
    double balance = 0.5;
    double border = 0;
    std::vector<qzGradientStop> stops;  // at most QZ_MAX_GRADIENT_STOPS
};

struct qzBackfillSettings {
    int type = 0;  // 0 none, 1 colour, 2 gradient, 3 texture, 4 picture
    int32_t startColor = -1;
    int32_t endColor = -1;
    int x = QZ_CENTER;
    int y = QZ_CENTER;
    int brush = 0;
    int scalePicture = 0;
    int32_t transparentColor = -1;
    std::string pictureFile;  // at most QZ_MAX_PATH characters
    int hideTitleBar = 0;
    int smoothScale = 0;
};

struct qzScreenOptions {
    int displayMode = 0;
    int screenWidth = 0;
    int screenHeight = 0;
    int screenDepth = 0;
    int desktop = 0;
    qzBackfillSettings backfill;
};

struct qzTimerSettings {
    int32_t flags = 0;
    int32_t value1 = -1;
    int32_t value2 = -1;
    uint8_t byte = 0;
};

struct qzRegion {
    int32_t type = 0, x = 0, y = 0, width = 0, height = 0;
};

struct qzDisplayDirective {
    std::string title = "Quarnelix";
    uint32_t flags = 0;
    int bgpicId = 0;
    int x = QZ_CENTER;
    int y = QZ_CENTER;
    int width = 640;
    int height = 480;
    int32_t color = 0;
    int scaleWidth = 0;
    int scaleHeight = 0;
    std::vector<qzRegion> dragRegions;  // at most QZ_MAX_REGIONS each
    std::vector<qzRegion> sizeRegions;
    int fillStyle = 1;
    qzGradient gradient;
    int textureBrush = 0;
    int textureX = 0;
    int textureY = 0;
    int orientation = 0;
    int monitor = 0;  // 0-based
    int menuId = -1;
    qzScreenOptions screen;
};

// Image settings of BRUSH, ANIM and SPRITE directives.
struct qzImageDirectiveData {
    int width = 0, height = 0, x = 0, y = 0;
    int frames = 0, framesPerRow = 0;
    int globalAlpha = -1;
    int cache = 0, cacheAlpha = 0, cachedLoad = 0;
    int fromDisk = 0, hardware = 0, skipLoopFrames = 0, deinterlace = 0;
    int scaleWidth = 0, scaleHeight = 0, smoothScale = 0;
    int display = 0;
};

struct qzBGPicDirectiveData {
    int fillStyle = 0;
    int32_t fillColor = 0;
    qzGradient gradient;
    int textureBrush = 0, textureX = 0, textureY = 0;
    int scaleWidth = 0, scaleHeight = 0, smoothScale = 0;
};

// One tag handed to a required plugin: a number or a string.
struct qzRequireTag {
    std::string key;
    int isString = 0;
    double number = 0;
    std::string text;
};

// One entry of a MENU directive's tree as the container stores it.
struct qzDirectiveMenuItem {
    int hasName = 0;
    std::string name;
    std::string id;      // empty: none
    std::string hotkey;  // empty: none
    int32_t flags = 0;
    int hasSubMenu = 0;
    std::vector<qzDirectiveMenuItem> subMenu;
};

struct qzDirective {
    int type = 0;
    int32_t id = 0;
    int hasName = 0;
    std::string name;
    int64_t dataOffset = 0;  // linked data, relative to the container start
    int64_t dataSize = 0;    // 0: load from disk
    int32_t value = -1;
    int32_t flags = 0;
    int32_t line = 0;
    int quiet = 0;
    std::string containerPath;
    std::string loader;
    std::string adapter;
    // Type data; which member is used depends on type.
    qzImageDirectiveData image;                   // BRUSH, ANIM, SPRITE
    std::unique_ptr<qzBGPicDirectiveData> bgpic;  // BGPIC
    int16_t button[4] = {0, 0, 0, 0};             // BUTTON
    std::unique_ptr<qzDisplayDirective> display;  // DISPLAY
    std::vector<qzRequireTag> tags;               // plugin requirement
    std::vector<qzDirectiveMenuItem> menu;        // MENU
};

struct qzIncludeRange {
    int32_t firstLine = 0;
    int32_t lastLine = 0;
    int32_t lineOffset = 0;
    std::string sourceName;
    std::string containerName;
};

struct qzLabel {
    std::string name;
    int32_t value = 0;
};

struct qzUserConstant {
    std::string name;
    int isString = 0;
    double number = 0;
    std::string text;
};

// One of the 18 application icon slots; a filled slot names its image data by a chunk file name.
struct qzIconSlot {
    const char* label = nullptr;
    int size = 0;
    int used = 0;
    int flag = 0;
    std::string chunkName;
};

// An argument that no option knows, kept for GetCommandLine.
struct qzCommandLineArg {
    std::string name;
    int hasValue = 0;
    std::string value;
};

// Process-wide start-up record, one per process.
struct qzPlayerContext {
    int compiledApplet = 0;
    std::string appletPath;    // the file the applet is read from
    std::string programPath;   // the executable
    std::string firstFileArg;  // the applet name as given on the command line
    int quiet = 0;
    int noSound = 0;
    int soundSetting = 30;
    int numChannels = 0;  // 0: not set
    int allDisplays = 0;
    int displaySettingsLocked = 0;
    int consoleMode = 0;  // DEBUGDEVICE
    int debugOutput = 0;  // DEBUGOUTPUT
    int launchedFromShell = 1;
    std::vector<std::string> skipPlugins;
    std::vector<std::string> requirePlugins;
    std::string requireTags;
    int hasRequireTags = 0;
    std::string errorText;
    std::vector<qzCommandLineArg> unknownArgs;  // command line first, then the .ini file
    // Temporary files that shutdown deletes (the unpacked copy of a packed applet).
    std::vector<std::string> tempFiles;
    // From the link stamp: whether an applet is appended to the executable and where.
    int appended = 0;
    uint64_t appendedOffset = 0;
};

// Everything read from the applet container, plus the display overrides from the options.
struct qzAppletDescriptor {
    std::vector<uint8_t> bytecode;
    std::string title, version, copyright, author, description;  // metadata
    std::vector<qzDirective> directives;
    std::vector<qzIncludeRange> includeRanges;
    qzLinkedFile* linkedFiles = nullptr;  // singly linked, in container order; owned
    int hasLabels = 0;
    std::vector<qzLabel> labels;            // registry table "labels"
    std::vector<qzUserConstant> constants;  // "userconstants"
    int versionMajor = 6;
    int versionMinor = 0;
    int containerRead = 0;
    // The file the container was actually read from and where its data starts there. Linked data
    // and directive data lie at containerBase + offset in containerPath: chunk names for them are
    // built with this base and path. For a packed applet this is the unpacked copy at base 0,
    // whatever the appended offset in the executable.
    std::string containerPath;
    uint64_t containerBase = 0;
    uint64_t containerSize = 0;
    // Settings that old container tags give for display 1; start-up applies them after loading.
    // Unset: mode 0, sizes, depth and desktop -1, backfill type -1.
    qzScreenOptions screenOptions;
    qzTimerSettings timerSettings;
    qzIconSlot icons[QZ_ICON_SLOTS];
    // Display overrides from the options.
    int scaleWidth = 0;
    int scaleHeight = 0;
    int monitor = 0;
    int displayMode = 0;
    int screenWidth = -1;
    int screenHeight = -1;
    int screenDepth = -1;
    qzBackfillSettings backfill;
    uint32_t displayFlags = 0;

    qzAppletDescriptor();
    ~qzAppletDescriptor();
    qzAppletDescriptor(const qzAppletDescriptor&) = delete;
    qzAppletDescriptor& operator=(const qzAppletDescriptor&) = delete;
};

// Appends a linked file to the descriptor's list.
void AddLinkedFile(qzAppletDescriptor* applet, const std::string& name, const std::string& containerPath,
                   uint64_t offset, uint64_t size);
// Frees the descriptor's linked-file list.
void FreeLinkedFiles(qzAppletDescriptor* applet);

// Resets a backfill record to "not set" values.
void InitBackfillSettings(qzBackfillSettings* backfill);
// Resets a gradient to the defaults: linear, centred, balanced, no border, no stops.
void InitGradientSettings(qzGradient* gradient);
// Default screen options of a display directive: windowed, sizes and desktop 0, default backfill.
void InitBackfillOptions(qzScreenOptions* options);
// Defaults of a display directive.
void InitDisplayDirective(qzDisplayDirective* display);
// Appends a DISPLAY directive with id 1, value -1, the defaults, the active flag and the title
// when one is given and not empty. Returns the new directive's index.
size_t AddDefaultDisplayDirective(qzAppletDescriptor* applet, const char* title);
