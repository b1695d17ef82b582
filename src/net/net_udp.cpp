// UDP objects: their list, creation, sending and receiving one datagram, and the event poll.
#include "net/net_udp.h"

#include <memory>

#include "base/error_codes.h"
#include "net/net_connection.h"
#include "net/net_events.h"
#include "net/net_state.h"
#include "platform/os_alloc.h"
#include "runtime/error_messages.h"
#include "runtime/object_data.h"
#include "vm/vm.h"

namespace {

void DestroyUdpSocket(qzUdpSocket* socket) {
    if (!socket) return;
    SockDestroy(&socket->fd);
    OsFree(socket);
}

void FreeUdpNode(VmState* state, qzUdpObject* object) {
    DestroyUdpSocket(object->socket);
    if (state) FreeObjectDataList(state, object->header.data);
    OsFree(object);
}

void UnlinkAndFree(VmState* state, qzUdpObject* object) {
    NetEventsForgetNode(&object->header);
    RemoveObjectFromList(NetUdpList(), &object->header);
    FreeUdpNode(state, object);
}

}  // namespace

int FindUdpObject(const qzObjectId& id, qzUdpObject** out) {
    *out = reinterpret_cast<qzUdpObject*>(FindObjectInList(*NetUdpList(), id));
    if (*out) return 0;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDUDPOBJECT;
}

qzUdpObject* CheckUdpObject(VmState* state, const qzObjectId& id) {
    qzUdpObject* object = nullptr;
    if (int error = FindUdpObject(id, &object)) VmFailCommand(state, error);
    return object;
}

int RemoveUdpObject(VmState* state, const qzObjectId& id) {
    qzUdpObject* object;
    int rc = FindUdpObject(id, &object);
    if (rc) return rc;
    UnlinkAndFree(state, object);
    return 0;
}

void FreeAllUdpObjects(VmState* state) {
    while (qzObjectHeader* node = *NetUdpList()) UnlinkAndFree(state, reinterpret_cast<qzUdpObject*>(node));
}

int CreateUdpNode(qzObjectId* id, int port, const char* address, qzUdpObject** out) {
    qzUdpSocket* socket = static_cast<qzUdpSocket*>(OsAlloc(sizeof(qzUdpSocket), 1));
    if (!socket) return ERR_MEM;
    int rc = SockCreate(&socket->fd, QZ_SOCK_DGRAM);
    if (rc) {
        OsFree(socket);
        SetErrorArgString(SockErrorText(rc));
        return ERR_SOCKET;
    }
    // The socket goes on every way out until the object takes it, also when resolving the
    // address runs out of memory.
    std::unique_ptr<qzUdpSocket, void (*)(qzUdpSocket*)> owner(socket, DestroyUdpSocket);
    SockSetNonBlocking(socket->fd);
    NetTimeoutSet(&socket->timeout, -1, -1);
    int resolveFailed = 0;
    rc = BindSocket(&socket->fd, address, port, &resolveFailed);
    if (rc) {
        owner.reset();
        SetErrorArgString(resolveFailed ? SockHostErrorText(rc) : SockErrorText(rc));
        return ERR_SOCKET;
    }
    qzUdpObject* object = static_cast<qzUdpObject*>(OsAlloc(sizeof(qzUdpObject), 1));
    if (!object) return ERR_MEM;
    AddObjectToList(NetUdpList(), &object->header, QZ_TYPE_UDPOBJECT, *id);
    *id = object->header.id;
    object->socket = owner.release();
    NetTimeoutSet(&socket->timeout, 0, 0);
    if (out) *out = object;
    return 0;
}

int PollUdpData(qzUdpObject* object) {
    if (object->dataPending) return 0;
    qzUdpSocket* socket = object->socket;
    NetTimeoutSet(&socket->timeout, 0, 0);
    if (SockPeekByte(socket->fd, NetTimeoutMarkStart(&socket->timeout), 1) != 0) return 0;
    object->dataPending = 1;
    return 1;
}

const char* UdpErrorText(int code) { return code == QZ_SOCK_CLOSED ? "connection refused" : SockErrorText(code); }

int UdpSend(qzUdpObject* object, const void* data, size_t count, const qzSockAddr* to, size_t* sent) {
    qzUdpSocket* socket = object->socket;
    return SockSendTo(socket->fd, data, count, sent, to, NetTimeoutMarkStart(&socket->timeout));
}

int UdpReceive(qzUdpObject* object, size_t max, size_t* received, qzSockAddr* from) {
    qzUdpSocket* socket = object->socket;
    if (max > sizeof socket->data) max = sizeof socket->data;
    return SockRecvFrom(socket->fd, socket->data, max, received, from, NetTimeoutMarkStart(&socket->timeout));
}
