// Connections and servers: their lists, opening, binding, accepting and the event polls.
#include "net/net_connection.h"

#include <cstring>
#include <memory>

#include "base/error_codes.h"
#include "net/net_events.h"
#include "net/net_state.h"
#include "platform/os_alloc.h"
#include "runtime/error_messages.h"
#include "runtime/object_data.h"
#include "runtime/runtime.h"
#include "vm/vm.h"

namespace {

using SocketOwner = std::unique_ptr<qzSocket, void (*)(qzSocket*)>;

// The "not found" rule of every network list: a handle gives ERR_FINDARRAY, a number the list's
// own code with the number as error argument.
int NotFound(const qzObjectId& id, int code) {
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return code;
}

void FreeConnectionNode(VmState* state, qzConnection* connection) {
    DestroySocket(connection->socket);
    if (state) FreeObjectDataList(state, connection->header.data);
    OsFree(connection);
}

void FreeServerNode(VmState* state, qzServer* server) {
    DestroySocket(server->socket);
    if (state) FreeObjectDataList(state, server->header.data);
    OsFree(server);
}

bool InList(const qzObjectHeader* list, const qzObjectHeader* node) {
    for (; list; list = list->next)
        if (list == node) return true;
    return false;
}

int PumpForConnect(void* data, int* error) { return NetPumpEvents(static_cast<VmState*>(data), error); }

// The IPv4 address of a host text for connecting: "*" any, dotted text, or the first address of
// a host name. A socket-layer or resolver result.
int HostAddress(const char* host, qzSockAddr* address) {
    if (std::strcmp(host, "*") == 0) {
        address->ip = {0, 0, 0, 0};
        return 0;
    }
    if (SockParseIPv4(host, &address->ip)) return 0;
    qzHostEntry entry;
    int rc = SockResolveName(host, &entry);
    if (rc) return rc;
    if (entry.addresses.empty()) return QZ_SOCK_LOOKUP;
    address->ip = entry.addresses[0];
    return 0;
}

}  // namespace

int FindConnection(const qzObjectId& id, qzConnection** out) {
    *out = reinterpret_cast<qzConnection*>(FindObjectInList(*NetConnectionList(), id));
    return *out ? 0 : NotFound(id, ERR_FINDCLIENT);
}

int FindServer(const qzObjectId& id, qzServer** out) {
    *out = reinterpret_cast<qzServer*>(FindObjectInList(*NetServerList(), id));
    return *out ? 0 : NotFound(id, ERR_FINDSERVER);
}

qzConnection* CheckConnection(VmState* state, const qzObjectId& id) {
    qzConnection* connection = nullptr;
    if (int error = FindConnection(id, &connection)) VmFailCommand(state, error);
    return connection;
}

int AddConnection(qzObjectId* id, qzSocket* socket, qzConnection** out) {
    qzConnection* connection = static_cast<qzConnection*>(OsAlloc(sizeof(qzConnection), 1));
    if (!connection) return ERR_MEM;
    AddObjectToList(NetConnectionList(), &connection->header, QZ_TYPE_CLIENT, *id);
    *id = connection->header.id;
    connection->socket = socket;
    NetTimeoutSet(&socket->timeout, 0, 0);
    if (out) *out = connection;
    return 0;
}

void RemoveConnectionNode(VmState* state, qzConnection* connection) {
    if (InList(*NetConnectionList(), &connection->header)) {
        NetEventsForgetNode(&connection->header);
        RemoveObjectFromList(NetConnectionList(), &connection->header);
    }
    if (connection->busy) {
        // A send or receive still works on the record: close the descriptor now, so that it ends
        // as closed, and leave the record to its release.
        SockDestroy(&connection->socket->fd);
        connection->removed = 1;
        return;
    }
    FreeConnectionNode(state, connection);
}

int RemoveConnection(VmState* state, const qzObjectId& id) {
    qzConnection* connection;
    int rc = FindConnection(id, &connection);
    if (rc) return rc;
    RemoveConnectionNode(state, connection);
    return 0;
}

void HoldConnection(qzConnection* connection) { connection->busy++; }

void ReleaseConnection(VmState* state, qzConnection* connection) {
    if (--connection->busy == 0 && connection->removed) FreeConnectionNode(state, connection);
}

int RemoveServer(VmState* state, const qzObjectId& id) {
    qzServer* server;
    int rc = FindServer(id, &server);
    if (rc) return rc;
    NetEventsForgetNode(&server->header);
    RemoveObjectFromList(NetServerList(), &server->header);
    FreeServerNode(state, server);
    return 0;
}

void FreeAllConnections(VmState* state) {
    while (qzObjectHeader* node = *NetConnectionList())
        RemoveConnectionNode(state, reinterpret_cast<qzConnection*>(node));
    while (qzObjectHeader* node = *NetServerList()) {
        NetEventsForgetNode(node);
        RemoveObjectFromList(NetServerList(), node);
        FreeServerNode(state, reinterpret_cast<qzServer*>(node));
    }
}

int ConnectTcp(VmState* state, qzObjectId* id, const char* host, int port, qzConnection** out) {
    qzSocket* socket;
    int rc = CreateTcpSocket(&socket);
    if (rc) return rc;
    // The socket goes on every way out until the connection takes it, also when resolving the
    // name or pumping the events while connecting runs out of memory.
    SocketOwner owner(socket, DestroySocket);
    qzSockAddr address;
    address.port = static_cast<uint16_t>(port);
    rc = HostAddress(host, &address);
    if (rc) {
        SetErrorArgString(SockHostErrorText(rc));
        return IsQuitRequested() ? ERR_USERABORT : ERR_SOCKET;
    }
    int pumpError = 0;
    rc = SockConnect(socket->fd, &address, GetNetworkTimeout(), PumpForConnect, state, &pumpError);
    if (rc == 0) {
        rc = AddConnection(id, socket, out);
        if (!rc) owner.release();
        return rc;
    }
    owner.reset();
    if (pumpError) return pumpError;
    SetErrorArgString(SockErrorText(rc));
    return IsQuitRequested() ? ERR_USERABORT : ERR_SOCKET;
}

int BindSocket(int* fd, const char* address, int port, int* resolveFailed) {
    *resolveFailed = 0;
    qzSockAddr bindAddress;
    bindAddress.port = static_cast<uint16_t>(port);
    if (std::strcmp(address, "*") != 0 && !SockParseIPv4(address, &bindAddress.ip)) {
        qzHostEntry entry;
        int rc = SockResolveName(address, &entry);
        if (!rc && entry.addresses.empty()) rc = QZ_SOCK_LOOKUP;
        if (rc) {
            *resolveFailed = 1;
            return rc;
        }
        bindAddress.ip = entry.addresses[0];
    }
    int rc = SockBind(*fd, &bindAddress);
    if (rc) SockDestroy(fd);
    return rc;
}

int CreateServerNode(qzObjectId* id, int port, const char* address, int backlog, qzServer** out) {
    qzSocket* socket;
    int rc = CreateTcpSocket(&socket);
    if (rc) return rc;
    // The socket goes on every way out until the server takes it, also when resolving the
    // address runs out of memory.
    SocketOwner owner(socket, DestroySocket);
    if (SockSetReuseAddress(socket->fd)) return ERR_SOCKOPT;
    int resolveFailed = 0;
    rc = BindSocket(&socket->fd, address, port, &resolveFailed);
    if (!rc) {
        rc = SockListen(socket->fd, backlog);
        resolveFailed = 0;
    }
    if (rc) {
        owner.reset();
        SetErrorArgString(resolveFailed ? SockHostErrorText(rc) : SockErrorText(rc));
        return ERR_SOCKET;
    }
    qzServer* server = static_cast<qzServer*>(OsAlloc(sizeof(qzServer), 1));
    if (!server) return ERR_MEM;
    AddObjectToList(NetServerList(), &server->header, QZ_TYPE_SERVER, *id);
    *id = server->header.id;
    server->socket = owner.release();
    NetTimeoutSet(&socket->timeout, 0, 0);
    if (out) *out = server;
    return 0;
}

int AcceptClient(qzServer* server, void** handle, int* error) {
    *error = 0;
    int fd = -1;
    if (SockAccept(server->socket->fd, &fd, nullptr, NetTimeoutMarkStart(&server->socket->timeout))) return 0;
    // A client taken off the queue but not kept is reported: the script would otherwise wait for
    // a connect that never comes.
    qzSocket* socket = WrapTcpSocket(fd);
    if (!socket) {
        SockDestroy(&fd);
        *error = ERR_MEM;
        return 1;
    }
    qzObjectId id{0, QZ_AUTO_ID};
    if (int rc = AddConnection(&id, socket, nullptr)) {
        DestroySocket(socket);
        *error = rc;
        return 1;
    }
    *handle = id.pointer;
    return 1;
}

int PollConnectionData(qzConnection* connection) {
    if (connection->dataPending || connection->closedReported) return 0;
    qzSocket* socket = connection->socket;
    if (!NetBufferIsEmpty(&socket->buffer) || SockPeekByte(socket->fd, NetTimeoutMarkStart(&socket->timeout), 0) == 0) {
        connection->dataPending = 1;
        return 1;
    }
    return 0;
}

int PollConnectionClosed(qzConnection* connection) {
    if (connection->closedReported) return 0;
    qzSocket* socket = connection->socket;
    if (SockPeekByte(socket->fd, NetTimeoutMarkStart(&socket->timeout), 0) != QZ_SOCK_CLOSED) return 0;
    connection->closedReported = 1;
    return 1;
}
