// Cursors over the network lists for the event-source machine.
#include "net/net_events.h"

#include "net/net_connection.h"
#include "net/net_state.h"
#include "net/net_udp.h"

namespace {

struct Cursor {
    bool started;          // false: the walk begins at the head of the list
    qzObjectHeader* node;  // the next node to look at; null at the end
};

Cursor cursors[4];

qzObjectHeader* ListOf(int source) {
    switch (source) {
    case QZ_NET_SOURCE_UDP: return *NetUdpList();
    case QZ_NET_SOURCE_CONNECT: return *NetServerList();
    default: return *NetConnectionList();
    }
}

// Asks the node for an event of the source; 1 with *event filled.
int Poll(int source, qzObjectHeader* node, qzNetEvent* event) {
    event->source = source;
    event->object = node->id;
    event->client = nullptr;
    event->error = 0;
    switch (source) {
    case QZ_NET_SOURCE_UDP: return PollUdpData(reinterpret_cast<qzUdpObject*>(node));
    case QZ_NET_SOURCE_CONNECT: return AcceptClient(reinterpret_cast<qzServer*>(node), &event->client, &event->error);
    case QZ_NET_SOURCE_DATA: return PollConnectionData(reinterpret_cast<qzConnection*>(node));
    case QZ_NET_SOURCE_DISCONNECT: return PollConnectionClosed(reinterpret_cast<qzConnection*>(node));
    default: return 0;
    }
}

}  // namespace

void ResetNetEventCursors() {
    for (Cursor& c : cursors) c = Cursor{false, nullptr};
}

int NextNetEvent(int source, qzNetEvent* event) {
    if (source < 0 || source > QZ_NET_SOURCE_DISCONNECT) return 0;
    Cursor& cursor = cursors[source];
    if (!cursor.started) {
        cursor.started = true;
        cursor.node = ListOf(source);
    }
    while (qzObjectHeader* node = cursor.node) {
        cursor.node = node->next;
        if (Poll(source, node, event)) return 1;
    }
    return 0;
}

void NetEventsForgetNode(const qzObjectHeader* node) {
    for (Cursor& c : cursors)
        if (c.started && c.node == node) c.node = node->next;
}
