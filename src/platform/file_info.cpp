// Conversion of examine records into script-facing file information.
#include "platform/file_info.h"

#include <cstring>

#include "platform/os_env.h"

namespace {

void ToDateStamp(int64_t seconds, qzDateStamp* out) {
    qzLocalTime t;
    OsLocalTime(&seconds, &t, 0);
    out->sec = t.sec;
    out->min = t.min;
    out->hour = t.hour;
    out->day = t.day;
    out->month = t.month;
    out->year = t.year;
}

}  // namespace

void ConvertFileInfo(const qzFileInfo* record, qzDosFileInfo* info) {
    std::memset(info, 0, sizeof(*info));
    info->type = record->isDirectory == 1 ? 1 : 0;
    info->size = record->size;
    info->protection = record->protection;
    ToDateStamp(record->changeTime, &info->created);
    ToDateStamp(record->modifyTime, &info->modified);
    ToDateStamp(record->accessTime, &info->accessed);
    if (record->name) {
        std::strncpy(info->fullName, record->name, sizeof(info->fullName) - 1);
    }
}

void InitFileInfo(qzDosFileInfo* info, int isDirectory, int32_t size) {
    std::memset(info, 0, sizeof(*info));
    info->type = isDirectory ? 1 : 0;
    info->size = static_cast<int64_t>(size);
    info->protection = 15;
    const qzDateStamp stamp = {0, 0, 0, 4, 9, 2002};
    info->created = stamp;
    info->modified = stamp;
    info->accessed = stamp;
}
