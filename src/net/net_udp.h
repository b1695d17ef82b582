// UDP objects: bound datagram sockets that send to any IPv4 address and port and take waiting
// datagrams with their sender.
#pragma once

#include <cstdint>

#include "net/net_socket.h"
#include "runtime/object_registry.h"

struct VmState;

struct qzUdpSocket {
    int fd;
    qzNetTimeout timeout;
    unsigned char data[QZ_NET_PIECE];  // one received datagram
};

// A node of the UDP list (type QZ_TYPE_UDPOBJECT).
struct qzUdpObject {
    qzObjectHeader header;
    qzUdpSocket* socket;  // owned
    int dataPending;      // a waiting datagram was reported and not yet taken
};

// 0; ERR_FINDARRAY for a handle; ERR_FINDUDPOBJECT with the number as error argument.
int FindUdpObject(const qzObjectId& id, qzUdpObject** out);
// FindUdpObject for a command: the object, or the command fails (VmFailCommand) with
// FindUdpObject's error.
qzUdpObject* CheckUdpObject(VmState* state, const qzObjectId& id);
int RemoveUdpObject(VmState* state, const qzObjectId& id);
void FreeAllUdpObjects(VmState* state);
// Creates a bound, non-blocking datagram socket and its node (the CreateUDPObject command's
// steps 2 to 5). 0 or an error code with its text as the error argument.
int CreateUdpNode(qzObjectId* id, int port, const char* address, qzUdpObject** out);

// 1 when a newly waiting datagram is to be reported (marks it); never waits.
int PollUdpData(qzUdpObject* object);
// -2 gives "connection refused"; other codes SockErrorText.
const char* UdpErrorText(int code);

// One datagram out, without waiting: a socket-layer result with the bytes sent.
int UdpSend(qzUdpObject* object, const void* data, size_t count, const qzSockAddr* to, size_t* sent);
// One waiting datagram, at most max bytes (cut to the data area), into the object's data area:
// a socket-layer result (-1 when none waits) with its size and sender.
int UdpReceive(qzUdpObject* object, size_t max, size_t* received, qzSockAddr* from);
