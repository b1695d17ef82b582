// The script's own locale catalog: OpenCatalog, CloseCatalog and GetCatalogString. At most one
// is open at a time.
#include "libs/system/system.h"
#include "platform/catalog.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

qzCatalog* scriptCatalog;

}  // namespace

void CloseScriptCatalog() {
    if (scriptCatalog) OsCloseCatalog(scriptCatalog);
    scriptCatalog = nullptr;
}

int SysOpenCatalog(VmState* state) {
    const char* name = VmCheckString(state, 1);
    // The version argument is accepted and not used.
    VmOptInteger(state, 2, 0);
    CloseScriptCatalog();
    // No catalog for the user's language is not an error: the defaults are used.
    scriptCatalog = OsOpenCatalog(name);
    return 0;
}

int SysCloseCatalog(VmState* state) {
    CloseScriptCatalog();
    return 0;
}

int SysGetCatalogString(VmState* state) {
    int32_t index = VmCheckInteger(state, 1);
    size_t length;
    const char* defaultText = VmCheckString(state, 2, &length);
    const char* text = scriptCatalog ? OsGetCatalogString(scriptCatalog, index, defaultText) : defaultText;
    if (text == defaultText)
        VmPushLString(state, defaultText, length);
    else
        VmPushString(state, text);
    return 1;
}
