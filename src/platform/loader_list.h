// Loader lists: "|"-separated, case-insensitive lists of loader names ("default", "inbuilt",
// "native", "plugin" or plugin module names) that choose who may serve a load. The empty list
// and "default" select everything.
#pragma once

// Whether name is "default", "inbuilt", "native" or empty.
bool IsReservedLoaderName(const char* name);
// For "native", "inbuilt" and "plugin" the list must hold the name as a whole item. A plugin's
// module name is selected by an item that matches its start over the item's length, and, with
// pluginWildcard, by the item "plugin".
bool IsLoaderSelected(const char* list, const char* name, bool pluginWildcard);
// False for an empty or "default" list, else IsLoaderSelected without the wildcard.
bool IsLoaderNamedExplicitly(const char* list, const char* name);
