// The network's shared state: the connection, server and UDP lists, the layer-opened flag, the
// network time-out, the event pump that every network wait runs, and the host the online test
// connects to. Main thread only.
#pragma once

#include <cstdint>
#include <string>

struct VmState;
struct qzObjectHeader;

// Object types of the three lists.
constexpr int32_t QZ_TYPE_CLIENT = 54;
constexpr int32_t QZ_TYPE_SERVER = 55;
constexpr int32_t QZ_TYPE_UDPOBJECT = 56;

// The network time-out at start, in milliseconds.
constexpr int32_t QZ_NET_DEFAULT_TIMEOUT = 10000;

// Heads of the three lists (registered with the object registry by the network library).
qzObjectHeader** NetConnectionList();
qzObjectHeader** NetServerList();
qzObjectHeader** NetUdpList();

// The network time-out in milliseconds; 0 means no limit for sending and receiving.
int32_t GetNetworkTimeout();
void SetNetworkTimeoutMs(int32_t ms);

// Opens the socket layer once; 0, or ERR_OPENSOCKET when it cannot be opened.
int NetOpenLayer();
bool IsNetLayerOpen();
// Closes the layer when it was opened (clean-up).
void NetCloseLayer();

// The event pump that waits run between their steps (one pass that handles pending system
// events without running script hooks). It returns non-zero when the caller must stop, with an
// error code or 0 in *error. Null until the player's event pump is installed: waits then have
// nothing to service.
typedef int (*qzNetPump)(VmState* state, int* error);
void SetNetEventPump(qzNetPump pump);
qzNetPump GetNetEventPump();
// Runs the installed pump: 0 to go on; non-zero to stop, with the error code in *error (1003 when
// the pump gave none).
int NetPumpEvents(VmState* state, int* error);

// The host (and port) the online test connects to: "www.example.com" on port 80 unless the
// environment variable QUARNELIX_ONLINE_HOST names another as "host" or "host:port".
void GetOnlineProbeHost(std::string* host, int* port);
