// The network's shared state.
#include "net/net_state.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "platform/os_env.h"
#include "platform/os_socket.h"

namespace {

qzObjectHeader* connections = nullptr;
qzObjectHeader* servers = nullptr;
qzObjectHeader* udpObjects = nullptr;
int layerOpen = 0;
int32_t timeoutMs = QZ_NET_DEFAULT_TIMEOUT;
qzNetPump pumpHook = nullptr;

constexpr const char* kOnlineHostVariable = "QUARNELIX_ONLINE_HOST";
constexpr const char* kOnlineHost = "www.example.com";
constexpr int kOnlinePort = 80;

}  // namespace

qzObjectHeader** NetConnectionList() { return &connections; }
qzObjectHeader** NetServerList() { return &servers; }
qzObjectHeader** NetUdpList() { return &udpObjects; }

int32_t GetNetworkTimeout() { return timeoutMs; }
void SetNetworkTimeoutMs(int32_t ms) { timeoutMs = ms; }

int NetOpenLayer() {
    if (layerOpen) return 0;
    if (!SockOpenLayer()) return ERR_OPENSOCKET;
    layerOpen = 1;
    return 0;
}

bool IsNetLayerOpen() { return layerOpen != 0; }

void NetCloseLayer() {
    if (layerOpen) SockCloseLayer();
    layerOpen = 0;
    timeoutMs = QZ_NET_DEFAULT_TIMEOUT;
}

void SetNetEventPump(qzNetPump pump) { pumpHook = pump; }
qzNetPump GetNetEventPump() { return pumpHook; }

int NetPumpEvents(VmState* state, int* error) {
    *error = 0;
    if (!pumpHook || !pumpHook(state, error)) return 0;
    if (!*error) *error = ERR_USERABORT;
    return 1;
}

void GetOnlineProbeHost(std::string* host, int* port) {
    *host = kOnlineHost;
    *port = kOnlinePort;
    std::string value;
    if (!OsGetEnv(kOnlineHostVariable, &value) || value.empty()) return;
    size_t colon = value.rfind(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        long p = std::strtol(value.c_str() + colon + 1, &end, 10);
        if (end && !*end && p >= 1 && p <= 65535) {
            *port = static_cast<int>(p);
            value.resize(colon);
        }
    }
    *host = value;
}
