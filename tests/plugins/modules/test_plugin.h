/* Shared parts of the test plugins: the host block, the plugin's name from its file name, and a
 * marker file that ClosePlugin leaves beside the plugin file. */
#ifndef QZ_TEST_PLUGIN_H
#define QZ_TEST_PLUGIN_H

#include <string.h>

#include "platform/plugin_api.h"

static qzHostApi* host;
static qzPluginInfo* self;
static char pluginPath[1024];
static char pluginName[256];

/* The file part of the path without its extension and without a leading "_". */
static inline void TakeNameFromPath(const char* path) {
    const char* file = strrchr(path, '/');
    file = file ? file + 1 : path;
    if (*file == '_') ++file;
    size_t n = strlen(file);
    if (n >= 4) n -= 4;
    if (n >= sizeof pluginName) n = sizeof pluginName - 1;
    memcpy(pluginName, file, n);
    pluginName[n] = '\0';
    strncpy(pluginPath, path, sizeof pluginPath - 1);
}

static inline int NameStartsWith(const char* prefix) { return strncmp(pluginName, prefix, strlen(prefix)) == 0; }

/* The start of every InitPlugin: the host block, the information block, the name from the file
 * name (also the module name) and version 1. */
static inline void StartInit(qzPluginInfo* info, qzHostApi* api, const char* path) {
    host = api;
    self = info;
    TakeNameFromPath(path);
    info->name = pluginName;
    info->moduleName = pluginName;
    info->version = 1;
}

/* Writes "<plugin path>.closed" through the host's file services. */
static inline void MarkClosed(void) {
    char marker[1100];
    strcpy(marker, pluginPath);
    strcat(marker, ".closed");
    host->dos->WriteBufferToFile(marker, "closed", 6, 1);
}

#endif
