// TCP connections and listening servers: the nodes of the connection and server lists, opening
// connections, binding and accepting, and the polls that turn network activity into events.
#pragma once

#include <cstdint>

#include "net/net_socket.h"
#include "runtime/object_registry.h"

struct VmState;

// A node of the connection list (type QZ_TYPE_CLIENT). Allocated cleared.
struct qzConnection {
    qzObjectHeader header;
    qzSocket* socket;       // owned
    int dataPending;        // waiting data was reported and not yet taken
    int closedReported;     // the peer's close was reported
    int progress;           // transfer progress goes to the script callback
    int64_t progressCount;  // bytes moved so far
    int64_t progressTotal;  // bytes expected (0 or an estimate when not announced)
    int userData;           // the callback gets the command's argument 4 as "userdata"
    int progressAction;     // the "action" reported
    int busy;               // sends and receives running on the node
    int removed;            // taken out of the list while busy: freed when the last one ends
};

// A node of the server list (type QZ_TYPE_SERVER).
struct qzServer {
    qzObjectHeader header;
    qzSocket* socket;  // owned, listening
};

// Finds by identifier (both words): 0; ERR_FINDARRAY for a handle; ERR_FINDCLIENT with the
// number as error argument.
int FindConnection(const qzObjectId& id, qzConnection** out);
int FindServer(const qzObjectId& id, qzServer** out);
// FindConnection for a command: the connection, or the command fails (VmFailCommand) with
// FindConnection's error.
qzConnection* CheckConnection(VmState* state, const qzObjectId& id);
// Appends a cleared node for the socket (an automatic identifier becomes the node's handle) and
// sets the socket's time-out to block 0, total 0. 0 or ERR_MEM (the socket stays the caller's).
int AddConnection(qzObjectId* id, qzSocket* socket, qzConnection** out);
// Finds and removes: the socket is closed at once; the node is freed unless a send or receive
// is running on it, which then frees it when it ends. 0, ERR_FINDARRAY or ERR_FINDCLIENT.
int RemoveConnection(VmState* state, const qzObjectId& id);
// The same for a node at hand (whether or not it is still in the list).
void RemoveConnectionNode(VmState* state, qzConnection* connection);
int RemoveServer(VmState* state, const qzObjectId& id);
// Frees every connection and server (clean-up).
void FreeAllConnections(VmState* state);

// Marks a send or receive as running on the node; the release frees a node that was removed
// meanwhile.
void HoldConnection(qzConnection* connection);
void ReleaseConnection(VmState* state, qzConnection* connection);

// Opens a connection to host:port within the network time-out while the event pump runs and
// adds it to the list. 0 with *out set, or an error code: the pump's, ERR_USERABORT while
// quitting, else ERR_SOCKET with the socket layer's (or resolver's) text.
int ConnectTcp(VmState* state, qzObjectId* id, const char* host, int port, qzConnection** out);

// The IPv4 address of a bind: "*" any, dotted text, or the first address of a host name.
// Returns a socket-layer result; *resolveFailed is set when the look-up failed. A failed bind
// closes the descriptor.
int BindSocket(int* fd, const char* address, int port, int* resolveFailed);
// Creates a listening server: the CreateServer command's steps 3 to 6. 0 or an error code.
int CreateServerNode(qzObjectId* id, int port, const char* address, int backlog, qzServer** out);

// Event polls; none of them waits. AcceptClient: 1 when a client was accepted, its handle in
// *handle; 1 with *error set (ERR_MEM) when the accepted client could not be kept (its socket is
// closed). PollConnectionData: 1 when newly waiting data is to be reported (marks it).
// PollConnectionClosed: 1 when the peer's close is newly seen (marks it).
int AcceptClient(qzServer* server, void** handle, int* error);
int PollConnectionData(qzConnection* connection);
int PollConnectionClosed(qzConnection* connection);
