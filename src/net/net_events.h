// The network event sources of the event-source machine: UDP data ("OnReceiveUDPData"), connects
// ("OnConnect"), received data ("OnReceiveData") and disconnects ("OnDisconnect"). Each source
// walks its list from a cursor and reports one object at a time; an object is marked as
// reported when its event is taken, so it does not fire again until the network clears the mark
// (ReceiveData, ReceiveUDPData). Removing a node under a cursor moves the cursor to its
// successor.
#pragma once

#include "runtime/object_id.h"

struct qzObjectHeader;

enum { QZ_NET_SOURCE_UDP = 0, QZ_NET_SOURCE_CONNECT = 1, QZ_NET_SOURCE_DATA = 2, QZ_NET_SOURCE_DISCONNECT = 3 };

struct qzNetEvent {
    int source;         // QZ_NET_SOURCE_...
    qzObjectId object;  // the UDP object, server or connection
    void* client;       // connects: the new connection's handle
    int error;          // non-zero (ERR_*): taking the event failed, there is no event
};

// Puts every cursor back to the start of its list (the machine's state 0).
void ResetNetEventCursors();
// The next event of a source from its cursor: 1 with *event filled and the cursor past the
// object (event->error set when the object's event failed, e.g. a client accepted without the
// memory to keep it); 0 when the walk has reached the end of the list (it stays there until a reset).
int NextNetEvent(int source, qzNetEvent* event);
// Moves every cursor that stands on the node to its successor (the list code calls it before it
// unlinks the node).
void NetEventsForgetNode(const qzObjectHeader* node);
