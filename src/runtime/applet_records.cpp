// Defaults of the start-up records and of display directives.
#include "runtime/applet_records.h"

static const struct {
    const char* label;
    int size;
} kIconSlots[QZ_ICON_SLOTS] = {
    {"ic16x16", 16},     {"ic24x24", 24},     {"ic32x32", 32},     {"ic48x48", 48},    {"ic64x64", 64},
    {"ic96x96", 96},     {"ic128x128", 128},  {"ic256x256", 256},  {"ic512x512", 512}, {"ic16x16s", 16},
    {"ic24x24s", 24},    {"ic32x32s", 32},    {"ic48x48s", 48},    {"ic64x64s", 64},   {"ic96x96s", 96},
    {"ic128x128s", 128}, {"ic256x256s", 256}, {"ic512x512s", 512},
};

qzAppletDescriptor::qzAppletDescriptor() {
    screenOptions.displayMode = 0;
    screenOptions.screenWidth = -1;
    screenOptions.screenHeight = -1;
    screenOptions.screenDepth = -1;
    screenOptions.desktop = -1;
    InitBackfillSettings(&screenOptions.backfill);
    screenOptions.backfill.type = -1;
    InitBackfillSettings(&backfill);
    for (int i = 0; i < QZ_ICON_SLOTS; i++) {
        icons[i].label = kIconSlots[i].label;
        icons[i].size = kIconSlots[i].size;
    }
}

qzAppletDescriptor::~qzAppletDescriptor() { FreeLinkedFiles(this); }

void AddLinkedFile(qzAppletDescriptor* applet, const std::string& name, const std::string& containerPath,
                   uint64_t offset, uint64_t size) {
    qzLinkedFile* file = new qzLinkedFile{nullptr, name, containerPath, offset, size};
    qzLinkedFile** tail = &applet->linkedFiles;
    while (*tail) tail = &(*tail)->next;
    *tail = file;
}

void FreeLinkedFiles(qzAppletDescriptor* applet) {
    qzLinkedFile* file = applet->linkedFiles;
    while (file) {
        qzLinkedFile* next = file->next;
        delete file;
        file = next;
    }
    applet->linkedFiles = nullptr;
}

void InitBackfillSettings(qzBackfillSettings* backfill) { *backfill = qzBackfillSettings(); }

void InitGradientSettings(qzGradient* gradient) { *gradient = qzGradient(); }

void InitBackfillOptions(qzScreenOptions* options) {
    *options = qzScreenOptions();
    options->displayMode = 1;
    InitBackfillSettings(&options->backfill);
}

void InitDisplayDirective(qzDisplayDirective* display) {
    *display = qzDisplayDirective();
    InitGradientSettings(&display->gradient);
    InitBackfillOptions(&display->screen);
}

size_t AddDefaultDisplayDirective(qzAppletDescriptor* applet, const char* title) {
    qzDirective directive;
    directive.type = QZ_DIR_DISPLAY;
    directive.id = 1;
    directive.value = -1;
    directive.display = std::make_unique<qzDisplayDirective>();
    InitDisplayDirective(directive.display.get());
    directive.display->flags |= QZ_DISPF_ACTIVE;
    if (title && *title) directive.display->title = title;
    applet->directives.push_back(std::move(directive));
    return applet->directives.size() - 1;
}
