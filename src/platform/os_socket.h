// The socket layer: the only code of the player that calls the system's socket interface. Every
// socket is non-blocking; an operation that would block waits (with poll) at most as long as its
// time-out record allows, and every operation returns one integer result:
//   0 done, -1 time-out, -2 closed (also for descriptor -1 and a broken pipe), -3 a failed
//   host-name look-up without an error number, > 0 the system's (or the resolver's) error number.
// Addresses are IPv4.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_time.h"

enum { QZ_SOCK_OK = 0, QZ_SOCK_TIMEOUT = -1, QZ_SOCK_CLOSED = -2, QZ_SOCK_LOOKUP = -3 };
// Socket kinds for SockCreate.
enum { QZ_SOCK_STREAM = 1, QZ_SOCK_DGRAM = 2 };
// What SockWait waits for.
enum { QZ_SOCK_WAIT_READ = 1, QZ_SOCK_WAIT_WRITE = 2, QZ_SOCK_WAIT_EITHER = 3 };

// Time limits of one exchange, in seconds. block: the longest single wait (negative = no limit,
// 0 = never wait); total: the longest time from start for the whole exchange (negative = no
// limit); start: the monotonic time the exchange began.
struct qzNetTimeout {
    double block;
    double total;
    double start;
};

void NetTimeoutSet(qzNetTimeout* timeout, double block, double total);
qzNetTimeout* NetTimeoutMarkStart(qzNetTimeout* timeout);
// How long the next wait may last: -1 for no limit, else >= 0 seconds.
double NetTimeoutRemaining(const qzNetTimeout* timeout);
// 1 when elapsed exceeds the limit in milliseconds: more whole seconds than ms / 1000, or as many
// and more milliseconds than ms % 1000. A limit of 0 never times out.
int NetTimedOut(const qzTimeVal* elapsed, int32_t ms);

// An IPv4 end point: the address bytes in network order and the port.
struct qzSockAddr {
    std::array<uint8_t, 4> ip{};
    uint16_t port = 0;
};

// The layer needs no set-up: writes to a closed connection report -2 through MSG_NOSIGNAL
// instead of a process-wide SIGPIPE setting. Both return 1.
int SockOpenLayer();
int SockCloseLayer();

// Creates an IPv4 socket of the kind (close-on-exec); 0 or the error number with *fd = -1.
int SockCreate(int* fd, int kind);
void SockSetNonBlocking(int fd);
void SockSetBlocking(int fd);
// bind and listen run with the socket switched to blocking and back.
int SockBind(int fd, const qzSockAddr* address);
int SockListen(int fd, int backlog);
// Closes the socket (switched to blocking first, so queued data still goes out) and sets -1.
void SockDestroy(int* fd);
int SockSetReuseAddress(int fd);
// Sends small writes at once instead of holding them until earlier data is acknowledged: 0 or
// the error number.
int SockSetNoDelay(int fd);
// Reports the socket writable only while fewer than `bytes` sent bytes wait unsent, so a fast
// writer waits on a short queue instead of a deep one (the bytes in flight still grow with the
// connection): 0 or the error number.
int SockLimitUnsent(int fd, int bytes);

// Waits until the socket is readable (1), writable (2) or either (3). Block 0 returns -1 at
// once. For 3, a readable socket gives -2 (a connection attempt that was refused or closed).
int SockWait(int fd, int what, const qzNetTimeout* timeout);
// Waits at most ms milliseconds for the socket to be ready (what as SockWait), without a result:
// the pause of the waiting loops above this layer, which ends early when data moves.
void SockPause(int fd, int what, int ms);

// Called between the 10-millisecond waits of a connection attempt; non-zero stops the attempt
// (-1) with the pump's error code left in *error.
typedef int (*qzSockPump)(void* data, int* error);
// Connects, keeping the pump running; gives up with -1 once the time-out in milliseconds has
// passed without an answer (a time-out of 0 gives up after the first wait).
int SockConnect(int fd, const qzSockAddr* address, int32_t timeoutMs, qzSockPump pump, void* pumpData, int* pumpError);
// Accepts one client: *newFd is the new descriptor (close-on-exec) and *peer its address.
int SockAccept(int fd, int* newFd, qzSockAddr* peer, const qzNetTimeout* timeout);

// One send or receive call that may move fewer bytes than asked (*done tells how many).
int SockSend(int fd, const void* data, size_t count, size_t* sent, const qzNetTimeout* timeout);
int SockSendTo(int fd, const void* data, size_t count, size_t* sent, const qzSockAddr* to, const qzNetTimeout* timeout);
// A received count of 0 is reported as -2.
int SockRecv(int fd, void* buffer, size_t count, size_t* received, const qzNetTimeout* timeout);
int SockRecvFrom(int fd, void* buffer, size_t count, size_t* received, qzSockAddr* from, const qzNetTimeout* timeout);
// 0 when at least one byte (or datagram) waits, without taking it.
int SockPeekByte(int fd, const qzNetTimeout* timeout, int datagram);

// Addresses of a connected or bound socket: 0 or the error number.
int SockGetPeerAddress(int fd, qzSockAddr* address);
int SockGetLocalAddress(int fd, qzSockAddr* address);
// The local host's name: 0 or the error number.
int SockGetHostName(std::string* name);

// A host entry, copied out of the resolver's answer.
struct qzHostEntry {
    std::string name;
    std::vector<std::string> aliases;
    std::vector<std::array<uint8_t, 4>> addresses;
};
// Resolver results: 0, the resolver's error number, else the system's, else -3.
int SockResolveName(const char* name, qzHostEntry* entry);
int SockResolveAddress(const std::array<uint8_t, 4>& ip, qzHostEntry* entry);

// Dotted IPv4 text in any form the system's parser takes ("127.0.0.1", "127.1", ...).
bool SockParseIPv4(const char* text, std::array<uint8_t, 4>* ip);
std::string SockFormatIPv4(const std::array<uint8_t, 4>& ip);

// Texts of result codes: none for 0, "timeout" for -1, "closed" for -2, "unknown error" for
// other codes that are not positive; positive codes give the system's (SockErrorText) or the
// resolver's (SockHostErrorText) text.
const char* SockIoErrorText(int code);
const char* SockErrorText(int code);
const char* SockHostErrorText(int code);
