// The `network` command library: TCP connections and servers, UDP objects, HTTP and FTP
// downloads and uploads, host names, the network time-out and the online test.
#pragma once

#include "runtime/library.h"

struct VmState;

// The "network" library: its commands, constants and the server, connection and UDP lists; at
// shutdown every network object.
extern const qzLibraryDescriptor qzNetworkLibrary;
// Closes and frees every connection, server and UDP object and closes the socket layer.
void FreeAllNetworkObjects(VmState* state);
