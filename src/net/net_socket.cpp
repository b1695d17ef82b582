// Socket records: creation, the socket layer's operations as the I/O record, and the receive
// buffer's bookkeeping.
#include "net/net_socket.h"

#include <cstring>

#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "runtime/error_messages.h"

namespace {

int SocketSend(void* context, const void* data, size_t count, size_t* sent) {
    qzSocket* s = static_cast<qzSocket*>(context);
    return SockSend(s->fd, data, count, sent, NetTimeoutMarkStart(&s->timeout));
}

int SocketReceive(void* context, void* buffer, size_t count, size_t* received) {
    qzSocket* s = static_cast<qzSocket*>(context);
    return SockRecv(s->fd, buffer, count, received, NetTimeoutMarkStart(&s->timeout));
}

const char* SocketErrorText(void*, int code) { return SockErrorText(code); }

}  // namespace

void SetSocketIo(qzSocket* socket) {
    socket->io.context = socket;
    socket->io.send = SocketSend;
    socket->io.receive = SocketReceive;
    socket->io.errorText = SocketErrorText;
}

int CreateTcpSocket(qzSocket** out) {
    *out = nullptr;
    qzSocket* socket = static_cast<qzSocket*>(OsAlloc(sizeof(qzSocket), 1));
    if (!socket) return ERR_MEM;
    int rc = SockCreate(&socket->fd, QZ_SOCK_STREAM);
    if (rc) {
        OsFree(socket);
        SetErrorArgString(SockErrorText(rc));
        return ERR_SOCKET;
    }
    SockSetNonBlocking(socket->fd);
    SetSocketIo(socket);
    NetTimeoutSet(&socket->timeout, -1, -1);
    NetBufferInit(&socket->buffer, &socket->io, &socket->timeout);
    *out = socket;
    return 0;
}

qzSocket* WrapTcpSocket(int fd) {
    qzSocket* socket = static_cast<qzSocket*>(OsAlloc(sizeof(qzSocket), 1));
    if (!socket) return nullptr;
    socket->fd = fd;
    SockSetNonBlocking(fd);
    SetSocketIo(socket);
    NetBufferInit(&socket->buffer, &socket->io, &socket->timeout);
    return socket;
}

void DestroySocket(qzSocket* socket) {
    if (!socket) return;
    SockDestroy(&socket->fd);
    if (socket->buffer.data != socket->buffer.area) OsFree(socket->buffer.data);
    OsFree(socket);
}

void NetBufferInit(qzSocketBuffer* buffer, qzSocketIo* io, qzNetTimeout* timeout) {
    buffer->sent = 0;
    buffer->received = 0;
    buffer->first = 0;
    buffer->last = 0;
    buffer->io = io;
    buffer->timeout = timeout;
    buffer->data = buffer->area;
    buffer->capacity = sizeof buffer->area;
    buffer->sendPiece = QZ_NET_PIECE;
    buffer->birthday = OsGetTimeSeconds();
}

void SetBulkTransferSocket(qzSocket* socket) {
    SockSetNoDelay(socket->fd);
    SockLimitUnsent(socket->fd, static_cast<int>(2 * QZ_NET_BULK_PIECE));
    qzSocketBuffer* buffer = &socket->buffer;
    buffer->sendPiece = QZ_NET_BULK_PIECE;
    size_t size = QZ_NET_READAHEAD;
    if (size <= buffer->capacity) return;
    unsigned char* block = static_cast<unsigned char*>(OsAlloc(size, 0));
    if (!block) return;
    size_t held = buffer->last - buffer->first;
    std::memcpy(block, buffer->data + buffer->first, held);
    if (buffer->data != buffer->area) OsFree(buffer->data);
    buffer->data = block;
    buffer->capacity = size;
    buffer->first = 0;
    buffer->last = held;
}

void NetBufferSkip(qzSocketBuffer* buffer, size_t count) {
    buffer->received += count;
    buffer->first += count;
    if (buffer->first >= buffer->last) buffer->first = buffer->last = 0;
}
