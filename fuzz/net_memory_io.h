// A connection of the network list whose socket reads from a byte string in pieces of varying
// size and swallows what is sent: the fuzz targets run the real line readers and exchanges on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "net/net_connection.h"
#include "net/net_socket.h"
#include "platform/os_alloc.h"
#include "runtime/object_id.h"

struct FuzzSource {
    const uint8_t* data;
    size_t size;
    size_t position;
    unsigned piece;  // pieces are 1 .. piece bytes long, varying with the position
};

inline int FuzzReceive(void* context, void* buffer, size_t count, size_t* received) {
    FuzzSource* s = static_cast<FuzzSource*>(context);
    *received = 0;
    if (s->position >= s->size) return QZ_SOCK_CLOSED;
    size_t n = 1 + (s->position * 31 + 7) % s->piece;
    if (n > count) n = count;
    if (n > s->size - s->position) n = s->size - s->position;
    std::memcpy(buffer, s->data + s->position, n);
    s->position += n;
    *received = n;
    return 0;
}

inline int FuzzSend(void*, const void*, size_t count, size_t* sent) {
    *sent = count;
    return 0;
}

inline const char* FuzzErrorText(void*, int code) { return SockErrorText(code); }

// A new connection in the network list reading from the source (null without memory).
inline qzConnection* FuzzConnection(FuzzSource* source) {
    qzSocket* socket = static_cast<qzSocket*>(OsAlloc(sizeof(qzSocket), 1));
    if (!socket) return nullptr;
    socket->fd = -1;
    socket->io.context = source;
    socket->io.send = FuzzSend;
    socket->io.receive = FuzzReceive;
    socket->io.errorText = FuzzErrorText;
    NetBufferInit(&socket->buffer, &socket->io, &socket->timeout);
    qzObjectId id{0, QZ_AUTO_ID};
    qzConnection* connection = nullptr;
    if (AddConnection(&id, socket, &connection)) {
        OsFree(socket);
        return nullptr;
    }
    return connection;
}
