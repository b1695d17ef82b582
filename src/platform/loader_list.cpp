// Loader-list selection.
#include "platform/loader_list.h"

#include <cstring>
#include <string>

#include "base/charset.h"

namespace {

bool SelectsEverything(const char* list) { return !list || !*list || CompareNoCase(list, "default") == 0; }

bool IsKeyword(const char* name) {
    return CompareNoCase(name, "native") == 0 || CompareNoCase(name, "inbuilt") == 0 ||
           CompareNoCase(name, "plugin") == 0;
}

template <typename Visit>
bool AnyItem(const char* list, Visit visit) {
    const char* p = list;
    while (true) {
        const char* bar = std::strchr(p, '|');
        size_t len = bar ? static_cast<size_t>(bar - p) : std::strlen(p);
        if (len > 0 && visit(std::string(p, len))) return true;
        if (!bar) return false;
        p = bar + 1;
    }
}

bool Selected(const char* list, const char* name, bool pluginWildcard) {
    if (IsKeyword(name))
        return AnyItem(list, [&](const std::string& item) { return CompareNoCase(item.c_str(), name) == 0; });
    return AnyItem(list, [&](const std::string& item) {
        if (pluginWildcard && CompareNoCase(item.c_str(), "plugin") == 0) return true;
        return CompareNoCaseN(item.c_str(), name, item.size()) == 0 && std::strlen(name) >= item.size();
    });
}

}  // namespace

bool IsReservedLoaderName(const char* name) {
    return !name || !*name || CompareNoCase(name, "default") == 0 || CompareNoCase(name, "inbuilt") == 0 ||
           CompareNoCase(name, "native") == 0;
}

bool IsLoaderSelected(const char* list, const char* name, bool pluginWildcard) {
    if (!name) return false;
    if (SelectsEverything(list)) return true;
    return Selected(list, name, pluginWildcard);
}

bool IsLoaderNamedExplicitly(const char* list, const char* name) {
    if (!name || SelectsEverything(list)) return false;
    return Selected(list, name, false);
}
