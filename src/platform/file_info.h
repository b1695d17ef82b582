// File information records: the file layer's examine record (filled by the platform and the
// virtual-file layer) and the script-facing record with dates split into local-time fields.
#pragma once

#include <cstdint>

#include "base/path_limit.h"

// Protection flags (engine bits; the POSIX mode bit each one stands for).
enum {
    QZ_PROT_READ_USR = 0x1,     // owner read
    QZ_PROT_WRITE_USR = 0x2,    // owner write
    QZ_PROT_EXECUTE_USR = 0x8,  // owner execute
    QZ_PROT_READ_GRP = 0x200,
    QZ_PROT_WRITE_GRP = 0x400,
    QZ_PROT_EXECUTE_GRP = 0x800,
    QZ_PROT_READ_OTH = 0x1000,
    QZ_PROT_WRITE_OTH = 0x2000,
    QZ_PROT_EXECUTE_OTH = 0x4000,
    QZ_PROT_DEFAULT = 0x10000,  // in a request: mode 0644
};

// The file layer's examine record.
struct qzFileInfo {
    int isDirectory;  // 1 for a directory
    int64_t size;
    uint32_t protection;  // QZ_PROT_ flags
    int64_t accessTime;   // seconds since the epoch
    int64_t modifyTime;
    int64_t changeTime;
    const char* name;  // the examined object's full name; owned by the lock or file
};

// A date split into local-time fields.
struct qzDateStamp {
    int sec;
    int min;
    int hour;
    int day;    // 1-31
    int month;  // 0-11
    int year;   // full year
};

// The script-facing record that the dos commands build their tables from.
struct qzDosFileInfo {
    int type;  // 0 file, 1 directory
    int64_t size;
    uint32_t protection;
    char comment[256];  // name or comment text
    qzDateStamp created;
    qzDateStamp modified;
    qzDateStamp accessed;
    char fullName[QZ_PATH_MAX];  // filled by VfsExamineName
};

// Fills info from an examine record; times in local time, the creation date from the change time.
void ConvertFileInfo(const qzFileInfo* record, qzDosFileInfo* info);

// A record for a virtual entry without a real file: the given type, size, protection 15, empty
// text and all three dates 4 October 2002 00:00:00.
void InitFileInfo(qzDosFileInfo* info, int isDirectory, int32_t size);
