// Environment, language and country from LANG, temporary files, local time and button sets.
#include "platform/os_env.h"

#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "base/charset.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_path.h"

namespace {

std::mutex tempDirMutex;
std::string tempDir = "/tmp";

const char* const kLanguages[] = {"en", "de", "nl", "it", "fr", "es", "pt", "sv", "da",
                                  "fi", "no", "pl", "hu", "el", "cs", "tr", "hr", "ru"};

const char* const kCountries[] = {"GB", "US", "AU", "BE", "BG", "BR", "CA", "CZ", "DK", "DE", "ES", "FR", "GR",
                                  "IT", "LI", "LT", "LU", "HU", "MT", "MC", "NL", "NO", "PL", "PT", "RO", "RU",
                                  "SM", "SK", "SI", "CH", "FI", "SE", "TR", "IE", "AT", "IS", "AD", "UA"};

}  // namespace

void OsSetTempDir(const char* path) {
    std::lock_guard<std::mutex> lock(tempDirMutex);
    tempDir.assign(path ? path : "", path ? strnlen(path, QZ_PATH_MAX - 1) : 0);
}

std::string OsGetTempDir() {
    std::lock_guard<std::mutex> lock(tempDirMutex);
    return tempDir;
}

bool OsGetTempFileNameWithSuffix(char* buffer, size_t bufferSize, const char* suffix) {
    if (!buffer || bufferSize == 0) return false;
    buffer[0] = '\0';
    if (!suffix) suffix = "";
    std::string name = OsGetTempDir();
    AddPathPart(name, "quarnelix.XXXXXX");
    size_t xPos = name.size() - 6;
    name += suffix;
    if (name.size() >= QZ_PATH_MAX || name.size() >= bufferSize) return false;

    // The template goes to the disk in its file-system form; the suffix keeps its own converted
    // length behind the six letters that mkstemps replaces.
    std::string fsName, fsSuffix;
    MacPathToFileSystem(name.c_str(), &fsName);
    MacPathToFileSystem(suffix, &fsSuffix);
    if (fsSuffix.size() > static_cast<size_t>(INT32_MAX)) return false;
    int fd = mkstemps(fsName.data(), static_cast<int>(fsSuffix.size()));
    if (fd < 0) return false;
    close(fd);
    size_t fsXPos = fsName.size() - fsSuffix.size() - 6;
    name.replace(xPos, 6, fsName, fsXPos, 6);
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return true;
}

bool OsGetTempFileName(char* buffer, size_t bufferSize) { return OsGetTempFileNameWithSuffix(buffer, bufferSize, ""); }

bool OsGetEnv(const char* name, std::string* value) {
    const char* v = name ? std::getenv(name) : nullptr;
    if (!v) return false;
    if (value) *value = v;
    return true;
}

int OsSetEnv(const char* name, const char* value) {
    if (!name || !value || setenv(name, value, 1) != 0) return ERR_SETENV;
    return 0;
}

int OsUnsetEnv(const char* name) {
    if (name) unsetenv(name);
    return 0;
}

int OsGetSystemLanguage() {
    const char* lang = std::getenv("LANG");
    if (!lang || std::strlen(lang) < 2) return QZ_LANGUAGE_NONE;
    for (int i = 0; i < static_cast<int>(sizeof(kLanguages) / sizeof(kLanguages[0])); ++i)
        if (std::strncmp(lang, kLanguages[i], 2) == 0) return i;
    return QZ_LANGUAGE_NONE;
}

int OsGetSystemCountry() {
    const char* lang = std::getenv("LANG");
    if (!lang) return QZ_COUNTRY_NONE;
    const char* underscore = std::strchr(lang, '_');
    if (!underscore || std::strlen(underscore + 1) < 2) return QZ_COUNTRY_NONE;
    const char* code = underscore + 1;
    if (std::strncmp(code, "UK", 2) == 0) return 0;
    for (int i = 0; i < static_cast<int>(sizeof(kCountries) / sizeof(kCountries[0])); ++i)
        if (std::strncmp(code, kCountries[i], 2) == 0) return i;
    return QZ_COUNTRY_NONE;
}

void OsMatchStandardButtons(const char** text, int* set) {
    static const struct {
        const char* name;
        int set;
    } kSets[] = {
        {"OK", QZ_BUTTONS_OK},
        {"OK|Cancel", QZ_BUTTONS_OKCANCEL},
        {"Yes|No", QZ_BUTTONS_YESNO},
        {"Yes|No|Cancel", QZ_BUTTONS_YESNOCANCEL},
    };
    if (!text || !*text) return;
    for (const auto& s : kSets) {
        if (CompareNoCase(*text, s.name) == 0) {
            *text = nullptr;
            if (set) *set = s.set;
            return;
        }
    }
}

void OsLocalTime(const int64_t* seconds, qzLocalTime* out, int index) {
    time_t t = static_cast<time_t>(seconds[index]);
    struct tm tmv;
    if (!localtime_r(&t, &tmv)) std::memset(&tmv, 0, sizeof(tmv));
    out->sec = tmv.tm_sec;
    out->min = tmv.tm_min;
    out->hour = tmv.tm_hour;
    out->day = tmv.tm_mday;
    out->month = tmv.tm_mon;
    out->year = tmv.tm_year + 1900;
    out->weekday = tmv.tm_wday;
}

std::string OsFormatUserLocaleTime(int64_t moment, const char* format) {
    time_t t = static_cast<time_t>(moment);
    struct tm fields;
    localtime_r(&t, &fields);
    locale_t locale = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (!locale) locale = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    char buffer[256];
    size_t n = 0;
    bool utf8 = false;
    if (locale) {
        n = strftime_l(buffer, sizeof(buffer), format, &fields, locale);
        const char* codeset = nl_langinfo_l(CODESET, locale);
        utf8 = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
        freelocale(locale);
    }
    std::string text(buffer, n);
    return utf8 ? ConvertUtf8ToLatin1(text) : text;
}

int OsMakeTime(const qzLocalTime* date, int64_t* out, int index) {
    if (date->year < INT32_MIN + 1900) return 0;
    struct tm tmv;
    std::memset(&tmv, 0, sizeof(tmv));
    tmv.tm_sec = date->sec;
    tmv.tm_min = date->min;
    tmv.tm_hour = date->hour;
    tmv.tm_mday = date->day;
    tmv.tm_mon = date->month;
    tmv.tm_year = date->year - 1900;
    tmv.tm_isdst = -1;
    time_t t = mktime(&tmv);
    if (t == static_cast<time_t>(-1)) return 0;
    out[index] = static_cast<int64_t>(t);
    return 1;
}
