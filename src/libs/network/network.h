// The `network` command library: TCP connections and servers, UDP objects, HTTP and FTP
// downloads and uploads, host names, the network time-out and the online test.
#pragma once

struct VmState;

// Registers the commands, the constants and the server, connection and UDP lists (called with
// the globals table pushed). 0 or an error code.
int RegisterNetworkLibrary(VmState* state);
// Closes and frees every connection, server and UDP object and closes the socket layer.
void FreeAllNetworkObjects(VmState* state);
