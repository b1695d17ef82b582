// The buffered transfer engine.
#include "net/net_io.h"

#include <cstring>

#include "base/error_codes.h"
#include "net/net_bytes.h"
#include "net/net_connection.h"
#include "net/net_state.h"
#include "platform/os_time.h"
#include "platform/vfs.h"
#include "runtime/error_messages.h"
#include "runtime/option_table.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Stack indices of the transfer commands' progress callback and its user data.
constexpr int kProgressFunction = 3;
constexpr int kProgressUserData = 4;
// The longest pause of a waiting loop, in milliseconds.
constexpr int kPauseMs = 1;

// Calls the function and table on the stack top with one result: 0, its error, ERR_NUMCALLBACK,
// or 1003 when it returned 1 or the player is quitting.
int RunCallback(VmState* state) {
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 1}});
    int status = VmProtectedCall(state, 1, 1, 0);
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 0}});
    if (status) return status;
    int error = 0;
    double result = VmGetNumberOrCode(state, -1, &error);
    VmPop(state, 1);
    if (error) return error;
    if (VmTruncateNumber(result) == 1 || IsQuitRequested()) return ERR_USERABORT;
    return 0;
}

void SetUserData(VmState* state, int index) {
    VmPushString(state, "userdata");
    VmPushValue(state, index);
    VmRawSet(state, -3);
}

// Milliseconds since `since` as a time value.
qzTimeVal Elapsed(const qzTimeVal& since) {
    qzTimeVal now;
    OsGetMonotonicTime(&now);
    OsSubTime(&now, &since);
    return now;
}

// Holds a connection for one send or receive. A removal meanwhile only marks the record; the
// release at the end of the scope frees it, also when the scope is left by unwinding.
class HeldConnection {
public:
    HeldConnection(VmState* state, qzConnection* connection) : state_(state), connection_(connection) {
        HoldConnection(connection);
    }
    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;
    ~HeldConnection() { ReleaseConnection(state_, connection_); }

private:
    VmState* state_;
    qzConnection* connection_;
};

// One receive in progress: where the bytes go and how many went.
struct Receive {
    VmState* state;
    qzConnection* connection;
    int mode;
    int64_t count;
    const qzReceiveTarget* target;   // internal use
    const qzPacketCallback* packet;  // script use with a packet callback
    qzNetBytes* text;                // script use without one
    int64_t delivered = 0;
};

// Delivers n bytes of a piece (not a line): 0 or an error code.
int Deliver(Receive& r, const unsigned char* bytes, size_t n) {
    if (n == 0) return 0;
    const qzReceiveTarget* t = r.target;
    if (t && t->file && t->fileStage) {
        if (NetBytesAppend(t->fileStage, bytes, n)) return ERR_MEM;
        if (t->fileStage->size >= QZ_NET_FILE_STAGE) {
            int rc = NetFlushFileStage(t);
            if (rc) return rc;
        }
    } else if (t && t->file) {
        if (VfsWrite(t->file, bytes, n) != n) return ERR_WRITE;
    } else if (t && t->fixed) {
        if (static_cast<uint64_t>(r.delivered) + n > t->fixedCapacity) return ERR_MEM;
        std::memcpy(t->fixed + r.delivered, bytes, n);
    } else if (t && t->memory) {
        if (NetBytesAppend(t->memory, bytes, n)) return ERR_MEM;
    } else if (r.packet) {
        int rc = NetPacketCallback(r.state, r.packet, bytes, n, r.delivered + static_cast<int64_t>(n));
        if (rc) return rc;
    } else if (NetBytesAppend(r.text, bytes, n)) {
        return ERR_MEM;
    }
    r.delivered += static_cast<int64_t>(n);
    return 0;
}

// Delivers one byte of a line: 0 or an error code. A fixed buffer keeps one byte for the zero.
int DeliverLineByte(Receive& r, unsigned char byte) {
    const qzReceiveTarget* t = r.target;
    if (t && t->file) {
        if (!VfsPutC(t->file, byte)) return ERR_WRITE;
        r.delivered++;
        return 0;
    }
    if (t && t->fixed && static_cast<uint64_t>(r.delivered) + 1 > t->fixedCapacity - 1) return ERR_MEM;
    return Deliver(r, &byte, 1);
}

// Takes what the buffer holds by the mode. *moved gets the bytes taken out of the buffer, *done
// whether the receive is complete. 0 or a delivery error.
int TakeFromBuffer(Receive& r, qzSocketBuffer* b, size_t* moved, bool* done) {
    // One piece per pass, however much the buffer holds.
    const unsigned char* start = b->data + b->first;
    size_t available = b->last - b->first;
    if (available > QZ_NET_PIECE) available = QZ_NET_PIECE;
    int rc = 0;
    switch (r.mode) {
    case QZ_RECEIVE_BYTES: {
        uint64_t want = static_cast<uint64_t>(r.count - r.delivered);
        size_t n = want < available ? static_cast<size_t>(want) : available;
        rc = Deliver(r, start, n);
        *moved = n;
        *done = r.delivered >= r.count;
        break;
    }
    case QZ_RECEIVE_LINE: {
        size_t i = 0;
        for (; i < available && !rc; i++) {
            if (start[i] == '\n') {
                *done = true;
                break;
            }
            if (start[i] != '\r') rc = DeliverLineByte(r, start[i]);
        }
        *moved = *done ? i + 1 : i;
        break;
    }
    default:
        rc = Deliver(r, start, available);
        *moved = available;
        break;
    }
    NetBufferSkip(b, *moved);
    return rc;
}

// Steps 2 to 5 of receiving: returns 0 or an error code that ends the receive at once (the
// pump's, a delivery error, a packet callback's); *result gets the socket-layer result and
// *progressResult the last progress callback's result.
int ReceiveLoop(Receive& r, int wait, int* result, int* progressResult) {
    qzConnection* c = r.connection;
    qzSocketBuffer* b = &c->socket->buffer;
    qzTimeVal lastData;
    OsGetMonotonicTime(&lastData);
    bool done = false;
    *result = 0;
    *progressResult = 0;
    while (true) {
        while (*result == 0 && !done) {
            int pumpError = 0;
            if (NetPumpEvents(r.state, &pumpError)) return pumpError;
            if (c->removed) {
                *result = QZ_SOCK_CLOSED;
                break;
            }
            if (NetBufferIsEmpty(b)) {
                size_t got = 0;
                *result = b->io->receive(b->io->context, b->data, b->capacity, &got);
                b->first = 0;
                b->last = got;
            }
            if (b->last <= b->first) continue;
            OsGetMonotonicTime(&lastData);
            size_t moved = 0;
            int rc = TakeFromBuffer(r, b, &moved, &done);
            if (rc) return rc;
            if (c->progress && moved) {
                c->progressCount += static_cast<int64_t>(moved);
                *progressResult = NetProgressCallback(r.state, c);
            }
        }
        if (*result == QZ_SOCK_TIMEOUT && wait) {
            qzTimeVal idle = Elapsed(lastData);
            if (!NetTimedOut(&idle, GetNetworkTimeout())) {
                SockPause(c->socket->fd, QZ_SOCK_WAIT_READ, kPauseMs);
                *result = 0;
                continue;
            }
        }
        break;
    }
    if (r.mode == QZ_RECEIVE_ALL && *result == QZ_SOCK_CLOSED && r.delivered > 0) *result = 0;
    return 0;
}

}  // namespace

int NetSend(VmState* state, qzConnection* connection, const void* data, size_t count, size_t* sent,
            int* callbackResult) {
    *callbackResult = 0;
    *sent = 0;
    if (count < 1) return 0;
    HeldConnection hold(state, connection);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    qzSocket* socket = connection->socket;
    qzTimeVal lastProgress;
    OsGetMonotonicTime(&lastProgress);
    size_t total = 0;
    int result = 0;
    while (true) {
        size_t inPass = 0;
        result = 0;
        while (total + inPass < count) {
            int pumpError = 0;
            if (NetPumpEvents(state, &pumpError)) {
                result = pumpError;
                break;
            }
            size_t left = count - total - inPass;
            size_t piece = left < socket->buffer.sendPiece ? left : socket->buffer.sendPiece;
            size_t done = 0;
            result = socket->io.send(socket->io.context, bytes + total + inPass, piece, &done);
            inPass += done;
            if (connection->progress && done) {
                connection->progressCount += static_cast<int64_t>(done);
                *callbackResult = NetProgressCallback(state, connection);
            }
            if (result) break;
        }
        socket->buffer.sent += inPass;
        if (result >= QZ_FIRST_ERROR) break;
        if (inPass) {
            OsGetMonotonicTime(&lastProgress);
            total += inPass;
            if (result != QZ_SOCK_TIMEOUT) break;
        } else {
            if (result != QZ_SOCK_TIMEOUT) break;
            qzTimeVal idle = Elapsed(lastProgress);
            if (NetTimedOut(&idle, GetNetworkTimeout())) break;
        }
        SockPause(socket->fd, QZ_SOCK_WAIT_WRITE, kPauseMs);
    }
    *sent = total;
    return result;
}

int NetSendChecked(VmState* state, qzConnection* connection, const void* data, size_t count) {
    size_t sent = 0;
    int callbackResult = 0;
    // The error text operation stays reachable after the send even when the node was freed.
    qzSocketIo io = connection->socket->io;
    int rc = NetSend(state, connection, data, count, &sent, &callbackResult);
    if (IsQuitRequested()) return ERR_USERABORT;
    if (callbackResult) return callbackResult;
    if (rc >= QZ_FIRST_ERROR) return rc;
    if (rc) {
        SetErrorArgString(io.errorText(io.context, rc));
        return ERR_SOCKET;
    }
    if (sent < count) return ERR_SENDDATA;
    return 0;
}

int NetFlushFileStage(const qzReceiveTarget* target) {
    qzNetBytes* stage = target->fileStage;
    if (!stage || !stage->size) return 0;
    size_t written = VfsWrite(target->file, stage->data, stage->size);
    bool complete = written == stage->size;
    stage->size = 0;
    return complete ? 0 : ERR_WRITE;
}

int NetReceiveInto(VmState* state, qzConnection* connection, int mode, int64_t count, int wait,
                   const qzReceiveTarget* target, int64_t* received) {
    Receive r{state, connection, mode, count, target, nullptr, nullptr};
    HeldConnection hold(state, connection);
    int result = 0, progressResult = 0;
    int rc = ReceiveLoop(r, wait, &result, &progressResult);
    const qzSocketIo& io = connection->socket->io;
    if (received) *received = r.delivered;
    if (mode == QZ_RECEIVE_LINE && target && target->fixed && target->fixedCapacity)
        target->fixed[r.delivered < static_cast<int64_t>(target->fixedCapacity) ? r.delivered
                                                                                : target->fixedCapacity - 1] = 0;
    if (rc) return rc;
    if (progressResult) return progressResult;
    if (IsQuitRequested()) return ERR_USERABORT;
    switch (result) {
    case 0: return 0;
    case QZ_SOCK_TIMEOUT: return ERR_RECVTIMEOUT;
    case QZ_SOCK_CLOSED: return ERR_RECVCLOSED;
    default: SetErrorArgString(io.errorText(io.context, result)); return ERR_SOCKET;
    }
}

int NetReceiveForScript(VmState* state, qzConnection* connection, int mode, int64_t count, int wait,
                        const qzPacketCallback* packet) {
    qzNetBytes text;
    NetBytesScope textScope(&text);
    Receive r{state, connection, mode, count, nullptr, packet, &text};
    HeldConnection hold(state, connection);
    int result = 0, progressResult = 0;
    int rc = ReceiveLoop(r, wait, &result, &progressResult);
    if (!rc) rc = progressResult;
    connection->dataPending = 0;
    if (rc) return rc;
    VmPushLString(state, NetBytesText(text), text.size);
    VmPushNumber(state, static_cast<double>(r.delivered));
    VmPushNumber(state, mode == QZ_RECEIVE_ALL ? (result == 0 ? 1 : 0) : 1);
    return 3;
}

int NetProgressCallback(VmState* state, qzConnection* connection) {
    if (!VmCheckStack(state, 4)) return ERR_STACK;
    VmPushValue(state, kProgressFunction);
    VmNewTable(state);
    SetTableFieldInt(state, "action", connection->progressAction);
    SetTableFieldNumber(state, "count", static_cast<double>(connection->progressCount));
    SetTableFieldNumber(state, "total", static_cast<double>(connection->progressTotal));
    if (connection->userData) SetUserData(state, kProgressUserData);
    return RunCallback(state);
}

int NetPacketCallback(VmState* state, const qzPacketCallback* packet, const void* data, size_t size, int64_t total) {
    if (!VmCheckStack(state, 4)) return ERR_STACK;
    VmPushValue(state, packet->function);
    VmNewTable(state);
    SetTableFieldInt(state, "action", 0);
    SetTableFieldNumber(state, "size", static_cast<double>(size));
    SetTableFieldNumber(state, "total", static_cast<double>(total));
    VmPushString(state, "data");
    VmPushLString(state, static_cast<const char*>(data), size);
    VmRawSet(state, -3);
    if (packet->userData) SetUserData(state, packet->userData);
    return RunCallback(state);
}
