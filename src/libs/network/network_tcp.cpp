// Connection and server commands.
#include <string>

#include "base/error_codes.h"
#include "libs/network/network_commands.h"
#include "net/net_connection.h"
#include "net/net_io.h"
#include "net/net_state.h"
#include "net/net_udp.h"
#include "platform/os_socket.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Type argument values of GetLocalIP / GetLocalPort.
constexpr int32_t kTypeConnection = 99;
constexpr int32_t kTypeUdp = 117;

// The local address of the object that GetLocalIP / GetLocalPort name.
int LocalAddress(VmState* state, qzSockAddr* address) {
    VmCheckArgCount(state, 1, 2, 0, 0);
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t type = VmTruncateNumber(VmOptNumber(state, 2, kTypeConnection));
    int fd = -1;
    int rc;
    if (type == kTypeUdp) {
        qzUdpObject* object;
        rc = FindUdpObject(id, &object);
        if (!rc) fd = object->socket->fd;
    } else if (type == kTypeConnection) {
        qzConnection* connection;
        rc = FindConnection(id, &connection);
        if (!rc) fd = connection->socket->fd;
    } else {
        qzServer* server;
        rc = FindServer(id, &server);
        if (!rc) fd = server->socket->fd;
    }
    if (rc) return rc;
    return SockGetLocalAddress(fd, address) ? ERR_SOCKNAME : 0;
}

int PeerAddress(VmState* state, qzSockAddr* address) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    qzConnection* connection = CheckConnection(state, CheckObjectIdArg(state, 1));
    return SockGetPeerAddress(connection->socket->fd, address) ? ERR_PEERNAME : 0;
}

}  // namespace

int ReadPortArg(VmState* state, int index, int def, bool optional) {
    double value = optional ? VmOptNumber(state, index, def) : VmCheckNumber(state, index);
    return VmTruncateNumber(value);
}

int NetCmdOpenConnection(VmState* state) {
    qzObjectId id = CheckNumericIdArg(state, 1);
    const qzObjectId requested = id;
    std::string host = VmCheckString(state, 2);
    int port = ReadPortArg(state, 3, 0, false);
    int rc = NetOpenLayer();
    if (rc) return rc;
    if (port < 1 || port > 65535) return ERR_WRONGUSAGE;
    qzConnection* old;
    if (!IsAutoObjectId(id) && FindConnection(id, &old) == 0) RemoveConnectionNode(state, old);
    qzConnection* connection;
    rc = ConnectTcp(state, &id, host.c_str(), port, &connection);
    if (rc) return rc;
    return PushNewObjectHandle(state, requested, &connection->header);
}

int NetCmdCloseConnection(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return RemoveConnection(state, id);
}

int NetCmdCreateServer(VmState* state) {
    qzObjectId id = CheckNumericIdArg(state, 1);
    const qzObjectId requested = id;
    int port = ReadPortArg(state, 2, 0, true);
    std::string address = VmOptString(state, 3, "*");
    int backlog = VmTruncateNumber(VmOptNumber(state, 4, 32));
    int rc = NetOpenLayer();
    if (rc) return rc;
    if (port < 0 || port > 65535) return ERR_WRONGUSAGE;
    if (!IsAutoObjectId(id)) {
        qzServer* old;
        if (FindServer(id, &old) == 0) RemoveServer(state, id);
    }
    qzServer* server;
    rc = CreateServerNode(&id, port, address.c_str(), backlog, &server);
    if (rc) return rc;
    return PushNewObjectHandle(state, requested, &server->header);
}

int NetCmdCloseServer(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return RemoveServer(state, id);
}

int NetCmdSendData(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    size_t length = 0;
    const char* data = VmCheckString(state, 2, &length);
    qzConnection* connection = CheckConnection(state, id);
    size_t sent = 0;
    int callbackResult = 0;
    NetSend(state, connection, data, length, &sent, &callbackResult);
    VmPushNumber(state, static_cast<double>(sent));
    return 1;
}

int NetCmdReceiveData(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t mode = VmTruncateNumber(VmCheckNumber(state, 2));
    int64_t count = 0;
    int wait = 1;
    int callbackIndex;
    switch (mode) {
    case QZ_RECEIVE_BYTES: {
        double n = VmCheckNumber(state, 3);
        if (!(n >= 1)) return ERR_WRONGUSAGE;
        count = n > 9007199254740992.0 ? int64_t(9007199254740992) : static_cast<int64_t>(n);
        callbackIndex = 4;
        break;
    }
    case QZ_RECEIVE_LINE: callbackIndex = 3; break;
    case QZ_RECEIVE_ALL:
        wait = VmOptNumber(state, 3, 1) != 0;
        callbackIndex = 4;
        break;
    default: return ERR_WRONGUSAGE;
    }
    qzConnection* connection = CheckConnection(state, id);
    qzPacketCallback packet{0, 0};
    int top = VmGetTop(state);
    if (top >= callbackIndex) {
        VmCheckFunction(state, callbackIndex);
        packet.function = callbackIndex;
        if (top > callbackIndex) packet.userData = callbackIndex + 1;
    }
    return NetReceiveForScript(state, connection, mode, count, wait, packet.function ? &packet : nullptr);
}

int NetCmdGetConnectionIP(VmState* state) {
    qzSockAddr address;
    int rc = PeerAddress(state, &address);
    if (rc) return rc;
    VmPushString(state, SockFormatIPv4(address.ip).c_str());
    return 1;
}

int NetCmdGetConnectionPort(VmState* state) {
    qzSockAddr address;
    int rc = PeerAddress(state, &address);
    if (rc) return rc;
    VmPushNumber(state, address.port);
    return 1;
}

int NetCmdGetLocalIP(VmState* state) {
    qzSockAddr address;
    int rc = LocalAddress(state, &address);
    if (rc) return rc;
    VmPushString(state, SockFormatIPv4(address.ip).c_str());
    return 1;
}

int NetCmdGetLocalPort(VmState* state) {
    qzSockAddr address;
    int rc = LocalAddress(state, &address);
    if (rc) return rc;
    VmPushNumber(state, address.port);
    return 1;
}
