// The host-service tables that the platform layer fills alone: the C library in the player's
// form, files and directories through the virtual-file layer, FreeType, zlib, libjpeg and the
// encoders, and the font-file service of the font table. Each table is static and lives for the
// whole process.
#pragma once

#include "platform/plugin_api.h"

qzCLibBase* GetHostCLibTable();
qzDosBase* GetHostDosTable();
qzFtBase* GetHostFtTable();
qzZBase* GetHostZTable();
qzJpegBase* GetHostJpegTable();
qzEncodeBase* GetHostEncodeTable();

// The font-file service (qzFontBase.OpenFontFile): a font file, also one inside a container, made
// available under a path in buffer. 1, or 0 when it cannot be.
int HostOpenFontFile(const char* name, char* buffer, size_t size);
// Deletes the temporary copies that the font-file service made.
void DeleteHostTempFiles();

// Single wrappers that other tables and tests use.
void* HostAlloc(size_t size, uint32_t flags);  // flags bit 0: cleared
void HostFree(void* block);
uint32_t HostCrc32(const void* bytes, intptr_t length);
int HostStat(const char* name, qzPluginStat* stat);
struct qzVfsFile* HostOpenFile(const char* name, int mode);
struct qzVfsLock* HostLock(const char* name, int mode);
int HostWriteBufferToFile(const char* name, const void* buffer, size_t length, uint32_t flags);
// The plugin's own format and arguments on the console.
int HostVPrintF(const char* format, va_list args);
