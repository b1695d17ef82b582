// Environment, system language and country, temporary files, local time conversion and the
// standard requester button sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Local time fields as OsLocalTime gives them and OsMakeTime takes them.
struct qzLocalTime {
    int sec;
    int min;
    int hour;
    int day;      // day of the month, 1-31
    int month;    // 0-11
    int year;     // full year
    int weekday;  // 0 Sunday .. 6 (OsLocalTime only; OsMakeTime ignores it)
};

// Language numbers (two letters before '_' in LANG); 18 = unknown or unset.
enum { QZ_LANGUAGE_ENGLISH = 0, QZ_LANGUAGE_NONE = 18 };
// Country number for unknown or absent.
enum { QZ_COUNTRY_NONE = 38 };

// Standard requester button sets.
enum { QZ_BUTTONS_OKCANCEL = 0, QZ_BUTTONS_YESNO = 1, QZ_BUTTONS_YESNOCANCEL = 2, QZ_BUTTONS_OK = 3 };

// The directory temporary files are created in: "/tmp" until changed (the TEMPDIR option).
void OsSetTempDir(const char* path);
std::string OsGetTempDir();

// Creates an empty temporary file "quarnelix.XXXXXX" in the temporary directory and leaves its
// name in buffer (bufferSize bytes, at most QZ_PATH_MAX used). The WithSuffix form adds suffix
// (such as ".png") to the name the file is created under. False when no file could be created.
bool OsGetTempFileName(char* buffer, size_t bufferSize);
bool OsGetTempFileNameWithSuffix(char* buffer, size_t bufferSize, const char* suffix);

// Environment: OsGetEnv gives false when the variable is not set.
bool OsGetEnv(const char* name, std::string* value);
int OsSetEnv(const char* name, const char* value);  // 0 or ERR_SETENV
int OsUnsetEnv(const char* name);                   // 0

int OsGetSystemLanguage();
int OsGetSystemCountry();

// When *text is one of "OK", "OK|Cancel", "Yes|No", "Yes|No|Cancel" (any case), sets *text to
// null and *set to the set's number; otherwise leaves both.
void OsMatchStandardButtons(const char** text, int* set);

// Converts seconds[index] with the local time zone.
void OsLocalTime(const int64_t* seconds, qzLocalTime* out, int index);
// Formats the moment's local time with strftime's format in the user's time locale (from the
// environment), falling back to the C locale when that locale is not available. Text in UTF-8 is
// turned into the engine's Latin-1. The process locale (and with it number text) is never changed.
std::string OsFormatUserLocaleTime(int64_t moment, const char* format);
// Stores the seconds of a local date at out[index]; 1, or 0 when the date cannot be represented.
int OsMakeTime(const qzLocalTime* date, int64_t* out, int index);
