// Dates and times: GetDate, GetTime, GetWeekday, GetDateNum and CompareDates. Local time comes
// from the wall clock; locale texts are formatted with the user's time locale through a locale
// object, so the process locale (and with it number text) is never changed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "base/charset.h"
#include "base/error_codes.h"
#include "libs/system/system.h"
#include "platform/os_env.h"
#include "platform/os_time.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

enum { kDateYear = 0, kDateMonth = 1, kDateDay = 2, kDateTime = 3 };

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

time_t CurrentMoment() {
    qzTimeVal tv;
    OsGetSysTime(&tv);
    return static_cast<time_t>(tv.seconds);
}

// The number in the digits at text[from, to); other characters count as the end of the number.
int ReadField(const char* text, int from, int to) {
    int value = 0;
    for (int i = from; i < to && text[i] >= '0' && text[i] <= '9'; i++) value = value * 10 + (text[i] - '0');
    return value;
}

// Parses "dd-Mon-yyyy[ hh:mm:ss]" into year, month, day, hours, minutes, seconds.
bool ParseDate(const char* text, bool full, int fields[6]) {
    int month = -1;
    for (int m = 0; m < 12; m++)
        if (CompareNoCaseN(text + 3, kMonthNames[m], 3) == 0) month = m;
    if (month < 0) return false;
    fields[0] = ReadField(text, 7, 11);
    fields[1] = month;
    fields[2] = ReadField(text, 0, 2);
    fields[3] = full ? ReadField(text, 12, 14) : 0;
    fields[4] = full ? ReadField(text, 15, 17) : 0;
    fields[5] = full ? ReadField(text, 18, 20) : 0;
    return true;
}

}  // namespace

qzDateFields GetLocalDateFields(time_t moment) {
    int64_t seconds = static_cast<int64_t>(moment);
    qzLocalTime t;
    OsLocalTime(&seconds, &t, 0);
    return {t.year, t.month + 1, t.day, t.hour, t.min, t.sec, t.weekday};
}

std::string FormatLongDate(const qzDateFields& date) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.2d-%s-20%.2d %.2d:%.2d:%.2d", date.day, kMonthNames[date.month - 1],
                  date.year % 100, date.hour, date.minute, date.second);
    return buffer;
}

std::string FormatClockTime(const qzDateFields& date, bool seconds) {
    char buffer[32];
    if (seconds)
        std::snprintf(buffer, sizeof(buffer), "%.2d:%.2d:%.2d", date.hour, date.minute, date.second);
    else
        std::snprintf(buffer, sizeof(buffer), "%.2d:%.2d", date.hour, date.minute);
    return buffer;
}

std::string FormatLocaleDate(time_t moment) { return OsFormatUserLocaleTime(moment, "%x"); }
std::string FormatLocaleWeekday(time_t moment) { return OsFormatUserLocaleTime(moment, "%A"); }

int CompareDateTexts(const char* a, size_t aLength, const char* b, size_t bLength, bool dateOnly, int* result) {
    // The full form is 20 characters; with the date-only flag the 11-character date is accepted
    // too, and only the date parts are compared.
    auto valid = [dateOnly](size_t n) { return n == 20 || (dateOnly && n == 11); };
    if (!valid(aLength) || !valid(bLength)) return ERR_INVALIDDATE;
    int fa[6], fb[6];
    if (!ParseDate(a, aLength == 20 && !dateOnly, fa) || !ParseDate(b, bLength == 20 && !dateOnly, fb))
        return ERR_INVALIDDATE;
    *result = 0;
    for (int i = 0; i < 6; i++) {
        if (fa[i] != fb[i]) {
            *result = fa[i] > fb[i] ? 1 : 2;
            break;
        }
    }
    return 0;
}

int SysGetDate(VmState* state) {
    int32_t format = VmOptInteger(state, 1, 0);
    time_t now = CurrentMoment();
    std::string text = format == 0 ? FormatLocaleDate(now) : FormatLongDate(GetLocalDateFields(now));
    VmPushLString(state, text.data(), text.size());
    return 1;
}

int SysGetTime(VmState* state) {
    int32_t seconds = VmOptInteger(state, 1, 0);
    std::string text = FormatClockTime(GetLocalDateFields(CurrentMoment()), seconds != 0);
    VmPushLString(state, text.data(), text.size());
    return 1;
}

int SysGetWeekday(VmState* state) {
    std::string text = FormatLocaleWeekday(CurrentMoment());
    VmPushLString(state, text.data(), text.size());
    return 1;
}

int SysGetDateNum(VmState* state) {
    int32_t type = VmCheckInteger(state, 1);
    qzDateFields date = GetLocalDateFields(CurrentMoment());
    double value;
    switch (type) {
    case kDateYear: value = 2000 + date.year % 100; break;
    case kDateMonth: value = date.month; break;
    case kDateDay: value = date.day; break;
    case kDateTime: value = date.hour * 10000 + date.minute * 100 + date.second; break;
    default: return ERR_WRONGUSAGE;
    }
    VmPushNumber(state, value);
    return 1;
}

int SysCompareDates(VmState* state) {
    size_t aLength, bLength;
    const char* a = VmCheckString(state, 1, &aLength);
    const char* b = VmCheckString(state, 2, &bLength);
    int32_t dateOnly = VmOptInteger(state, 3, 0);
    int result;
    int error = CompareDateTexts(a, aLength, b, bLength, dateOnly != 0, &result);
    if (error) return error;
    VmPushNumber(state, result);
    return 1;
}
