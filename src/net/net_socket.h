// The socket record of every TCP end point (script connections, accepted clients, listening
// servers, the control and data connections of transfers): a descriptor with its I/O operations,
// an 8192-byte receive buffer and a time-out record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_socket.h"

// Pieces of data move in at most this many bytes.
constexpr size_t QZ_NET_PIECE = 8192;
// A bulk transfer's connection (downloads and uploads) takes up to QZ_NET_READAHEAD bytes off the
// socket per call, which the engine still hands on in pieces of QZ_NET_PIECE, and sends pieces of
// up to QZ_NET_BULK_PIECE bytes: per-call costs of the system stay small beside the data.
constexpr size_t QZ_NET_READAHEAD = 131072;
constexpr size_t QZ_NET_BULK_PIECE = 65536;

// The I/O operations of a socket; each takes the context first and returns a socket-layer result.
struct qzSocketIo {
    void* context;
    int (*send)(void* context, const void* data, size_t count, size_t* sent);
    int (*receive)(void* context, void* buffer, size_t count, size_t* received);
    const char* (*errorText)(void* context, int code);
};

// Invariant: first <= last <= capacity; empty when first >= last, reset to 0 / 0 whenever a skip
// empties it.
struct qzSocketBuffer {
    double birthday;    // when the buffer was set up (monotonic seconds)
    uint64_t sent;      // bytes sent
    uint64_t received;  // bytes taken out of the buffer
    qzSocketIo* io;
    qzNetTimeout* timeout;
    size_t first;         // first unread byte
    size_t last;          // one past the last stored byte
    unsigned char* data;  // `area`, or a larger read-ahead block
    size_t capacity;
    size_t sendPiece;  // the most bytes one send call carries
    unsigned char area[QZ_NET_PIECE];
};

struct qzSocket {
    int fd;  // -1 when none
    qzSocketIo io;
    qzSocketBuffer buffer;
    qzNetTimeout timeout;
};

// A new non-blocking IPv4 stream socket with time-out block -1, total -1: 0, ERR_MEM, or
// ERR_SOCKET with the system's text as the error argument.
int CreateTcpSocket(qzSocket** out);
// A record around a descriptor that exists already (an accepted client): non-blocking, time-out
// all 0. Null without memory (the descriptor is left to the caller).
qzSocket* WrapTcpSocket(int fd);
// Closes the descriptor and frees the record; null is ignored.
void DestroySocket(qzSocket* socket);
// Points the I/O record at the socket layer's operations on this socket's descriptor.
void SetSocketIo(qzSocket* socket);

void NetBufferInit(qzSocketBuffer* buffer, qzSocketIo* io, qzNetTimeout* timeout);
// Makes the socket one of a bulk transfer: a read-ahead block (what the buffer holds is kept;
// without memory it keeps its own area), larger send pieces, small writes sent at once, and at
// most two send pieces waiting unsent.
void SetBulkTransferSocket(qzSocket* socket);
inline bool NetBufferIsEmpty(const qzSocketBuffer* buffer) { return buffer->first >= buffer->last; }
void NetBufferSkip(qzSocketBuffer* buffer, size_t count);
