// Host names, the network time-out and the online test.
#include <string>

#include "base/error_codes.h"
#include "libs/network/network_commands.h"
#include "net/net_connection.h"
#include "net/net_state.h"
#include "platform/os_socket.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// A dotted IPv4 text is looked up by address, anything else by name.
int ResolveHost(const char* text, qzHostEntry* entry) {
    std::array<uint8_t, 4> ip;
    if (SockParseIPv4(text, &ip)) return SockResolveAddress(ip, entry);
    return SockResolveName(text, entry);
}

void PushStringList(VmState* state, const char* key, const std::vector<std::string>& items) {
    VmPushString(state, key);
    VmNewTable(state);
    for (size_t i = 0; i < items.size(); i++) {
        VmPushString(state, items[i].c_str());
        VmRawSetI(state, -2, static_cast<int>(i + 1));
    }
    VmRawSet(state, -3);
}

// {name = official name, alias = {aliases from 1}, ip = {dotted addresses from 1}}
void PushHostTable(VmState* state, const qzHostEntry& entry) {
    VmNewTable(state);
    VmPushString(state, "name");
    VmPushString(state, entry.name.c_str());
    VmRawSet(state, -3);
    PushStringList(state, "alias", entry.aliases);
    std::vector<std::string> addresses;
    for (const auto& ip : entry.addresses) addresses.push_back(SockFormatIPv4(ip));
    PushStringList(state, "ip", addresses);
}

int Lookup(VmState* state, qzHostEntry* entry) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    std::string text = VmCheckString(state, 1);
    int rc = NetOpenLayer();
    if (rc) return rc;
    rc = ResolveHost(text.c_str(), entry);
    if (!rc && entry->addresses.empty()) rc = QZ_SOCK_LOOKUP;
    if (rc) {
        SetErrorArgString(SockHostErrorText(rc));
        return ERR_SOCKET;
    }
    return 0;
}

}  // namespace

int NetCmdGetHostName(VmState* state) {
    int rc = NetOpenLayer();
    if (rc) return rc;
    std::string name;
    if (SockGetHostName(&name)) return ERR_HOSTNAME;
    VmPushString(state, name.c_str());
    return 1;
}

int NetCmdToIP(VmState* state) {
    qzHostEntry entry;
    int rc = Lookup(state, &entry);
    if (rc) return rc;
    VmPushString(state, SockFormatIPv4(entry.addresses[0]).c_str());
    PushHostTable(state, entry);
    return 2;
}

int NetCmdToHostName(VmState* state) {
    qzHostEntry entry;
    int rc = Lookup(state, &entry);
    if (rc) return rc;
    VmPushString(state, entry.name.c_str());
    PushHostTable(state, entry);
    return 2;
}

int NetCmdSetNetworkTimeout(VmState* state) {
    int32_t ms = VmTruncateNumber(VmCheckNumber(state, 1));
    if (ms < 0) return ERR_WRONGUSAGE;
    SetNetworkTimeoutMs(ms);
    return 0;
}

int NetCmdIsOnline(VmState* state) {
    int online = 0;
    if (NetOpenLayer() == 0) {
        std::string host;
        int port;
        GetOnlineProbeHost(&host, &port);
        qzObjectId id{0, QZ_AUTO_ID};
        qzConnection* connection;
        if (ConnectTcp(state, &id, host.c_str(), port, &connection) == 0) {
            RemoveConnectionNode(state, connection);
            online = 1;
        }
    }
    VmPushNumber(state, online);
    return 1;
}
