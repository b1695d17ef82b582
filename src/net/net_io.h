// The buffered transfer engine: sending a block in pieces and receiving all data, a number of
// bytes or one line into a script string, a fixed buffer, growable memory, a file or a script
// callback, with progress reports. Waiting never blocks the player: sockets of connections never
// wait in the socket layer; the engine runs the event pump before every piece and pauses for at
// most a millisecond at a time until data moves or the network time-out passes.
#pragma once

#include <cstddef>
#include <cstdint>

struct VmState;
struct qzConnection;
struct qzNetBytes;
struct qzVfsFile;

// Receive modes (script constants RECEIVEALL, RECEIVEBYTES, RECEIVELINE).
enum { QZ_RECEIVE_ALL = 0, QZ_RECEIVE_BYTES = 1, QZ_RECEIVE_LINE = 2 };

// A packet callback of ReceiveData: the stack indices of the script function and of its user
// data (0 when none).
struct qzPacketCallback {
    int function;
    int userData;
};

// Where an internal receive delivers: the first one set of file, fixed buffer and memory. A line
// read into the fixed buffer is terminated with a zero byte, so it holds capacity - 1 characters.
// With a file stage, bytes for the file gather there and go out in writes of QZ_NET_FILE_STAGE
// bytes; NetFlushFileStage writes the rest.
constexpr size_t QZ_NET_FILE_STAGE = 65536;
struct qzReceiveTarget {
    qzVfsFile* file = nullptr;
    qzNetBytes* fileStage = nullptr;
    char* fixed = nullptr;
    size_t fixedCapacity = 0;
    qzNetBytes* memory = nullptr;
};

// Sends count bytes in pieces: a socket-layer result (or the pump's error code) with the bytes
// sent; *callbackResult gets the last progress callback's result.
int NetSend(VmState* state, qzConnection* connection, const void* data, size_t count, size_t* sent,
            int* callbackResult);
// NetSend as an error code: 1003 while quitting, the callback's result, ERR_SOCKET with the text,
// ERR_SENDDATA for a short send, else 0.
int NetSendChecked(VmState* state, qzConnection* connection, const void* data, size_t count);

// Writes what the target's file stage holds: 0 or ERR_WRITE.
int NetFlushFileStage(const qzReceiveTarget* target);

// Receives for internal use into the target: 0, ERR_RECVTIMEOUT, ERR_RECVCLOSED, ERR_SOCKET
// with the text, 1003, a delivery error (ERR_MEM, ERR_WRITE) or a callback's error. *received
// (optional) gets the bytes delivered, also on failure.
int NetReceiveInto(VmState* state, qzConnection* connection, int mode, int64_t count, int wait,
                   const qzReceiveTarget* target, int64_t* received);
// Receives for a script: pushes the data (an empty string when the packet callback took it), the
// bytes delivered and the done flag and returns 3, or an error code.
int NetReceiveForScript(VmState* state, qzConnection* connection, int mode, int64_t count, int wait,
                        const qzPacketCallback* packet);

// Calls the running command's argument 3 with {action, count, total[, userdata = argument 4]}:
// 0, the callback's error, ERR_NUMCALLBACK for a result that is not a number, or 1003 when it
// returned 1 or the player is quitting.
int NetProgressCallback(VmState* state, qzConnection* connection);
// The same for a packet callback with {action 0, size, total, data[, userdata]}.
int NetPacketCallback(VmState* state, const qzPacketCallback* packet, const void* data, size_t size, int64_t total);
