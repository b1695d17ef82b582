// The host-service tables of the runtime layer: the virtual machine's C interface as plugins
// reach it, and the plugin list services.
#pragma once

#include "platform/plugin_api.h"

qzVmBase* GetHostVmTable();
qzPluginBase* GetHostPluginTable();
