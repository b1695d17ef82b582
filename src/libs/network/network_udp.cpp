// UDP object commands.
#include <string>

#include "base/error_codes.h"
#include "libs/network/network_commands.h"
#include "net/net_state.h"
#include "net/net_udp.h"
#include "platform/os_socket.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int NetCmdCreateUDPObject(VmState* state) {
    qzObjectId id = CheckNumericIdArg(state, 1);
    const qzObjectId requested = id;
    int port = ReadPortArg(state, 2, 0, true);
    std::string address = VmOptString(state, 3, "*");
    int rc = NetOpenLayer();
    if (rc) return rc;
    if (port < 0 || port > 65535) return ERR_WRONGUSAGE;
    if (!IsAutoObjectId(id)) {
        qzUdpObject* old;
        if (FindUdpObject(id, &old) == 0) RemoveUdpObject(state, id);
    }
    qzUdpObject* object;
    rc = CreateUdpNode(&id, port, address.c_str(), &object);
    if (rc) return rc;
    return PushNewObjectHandle(state, requested, &object->header);
}

int NetCmdCloseUDPObject(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return RemoveUdpObject(state, id);
}

int NetCmdSendUDPData(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    size_t length = 0;
    const char* data = VmCheckString(state, 2, &length);
    std::string ip = VmCheckString(state, 3);
    int port = ReadPortArg(state, 4, 0, false);
    if (port < 1 || port > 65535 || length == 0) return ERR_WRONGUSAGE;
    qzUdpObject* object = CheckUdpObject(state, id);
    qzSockAddr to;
    to.port = static_cast<uint16_t>(port);
    if (!SockParseIPv4(ip.c_str(), &to.ip)) return ERR_BADIP;
    size_t sent = 0;
    const int rc = UdpSend(object, data, length, &to, &sent);
    if (rc) {
        SetErrorArgString(UdpErrorText(rc));
        return ERR_SOCKET;
    }
    VmPushNumber(state, static_cast<double>(sent));
    return 1;
}

int NetCmdReceiveUDPData(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    double max = VmOptNumber(state, 2, static_cast<double>(QZ_NET_PIECE));
    // A maximum below one byte would take the datagram and lose it.
    if (!(max >= 1)) return ERR_WRONGUSAGE;
    qzUdpObject* object = CheckUdpObject(state, id);
    size_t received = 0;
    qzSockAddr from;
    const int rc = UdpReceive(object, max > QZ_NET_PIECE ? QZ_NET_PIECE : static_cast<size_t>(max), &received, &from);
    // Whatever happened, the next datagram is reported again.
    object->dataPending = 0;
    if (rc == QZ_SOCK_TIMEOUT) {
        VmPushString(state, "");
        VmPushString(state, "");
        VmPushNumber(state, 0);
        return 3;
    }
    if (rc) {
        SetErrorArgString(UdpErrorText(rc));
        return ERR_SOCKET;
    }
    VmPushLString(state, reinterpret_cast<const char*>(object->socket->data), received);
    VmPushString(state, SockFormatIPv4(from.ip).c_str());
    VmPushNumber(state, from.port);
    return 3;
}
