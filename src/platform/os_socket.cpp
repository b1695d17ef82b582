// The socket layer over the system's BSD sockets, poll and resolver.
#include "platform/os_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

sockaddr_in ToSockaddr(const qzSockAddr* address) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(address->port);
    std::memcpy(&in.sin_addr, address->ip.data(), 4);
    return in;
}

void FromSockaddr(const sockaddr_in& in, qzSockAddr* address) {
    std::memcpy(address->ip.data(), &in.sin_addr, 4);
    address->port = ntohs(in.sin_port);
}

// Polls one descriptor. seconds < 0 waits without limit. Returns poll's result; *revents gets
// the events.
int PollOne(int fd, short events, double seconds, short* revents) {
    pollfd p{fd, events, 0};
    timespec limit{};
    if (seconds >= 0) {
        limit.tv_sec = static_cast<time_t>(seconds);
        limit.tv_nsec = static_cast<long>((seconds - static_cast<double>(limit.tv_sec)) * 1e6) * 1000L;
    }
    int n = ppoll(&p, 1, seconds < 0 ? nullptr : &limit, nullptr);
    *revents = p.revents;
    return n;
}

bool IsReadable(short revents) { return revents & (POLLIN | POLLHUP | POLLERR); }

// The result of a failed call that may wait: EINTR repeats (1), EAGAIN waits for `what` and
// repeats unless the wait fails; anything else ends with the error number.
enum { kRepeat = 1, kEnd = 0 };
int WaitOrFail(int fd, int what, const qzNetTimeout* timeout, int* result) {
    if (errno == EINTR) return kRepeat;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        *result = SockWait(fd, what, timeout);
        return *result ? kEnd : kRepeat;
    }
    *result = errno;
    return kEnd;
}

// Copies a hostent into our record.
void CopyHostEntry(const hostent* h, qzHostEntry* entry) {
    entry->name = h->h_name ? h->h_name : "";
    entry->aliases.clear();
    entry->addresses.clear();
    for (char** a = h->h_aliases; a && *a; a++) entry->aliases.push_back(*a);
    if (h->h_addrtype == AF_INET && h->h_length == 4) {
        for (char** a = h->h_addr_list; a && *a; a++) {
            std::array<uint8_t, 4> ip;
            std::memcpy(ip.data(), *a, 4);
            entry->addresses.push_back(ip);
        }
    }
}

// Runs a reentrant resolver call with a buffer that grows while the answer does not fit.
template <typename Call>
int Resolve(qzHostEntry* entry, Call call) {
    std::vector<char> buffer(2048);
    while (true) {
        hostent result{};
        hostent* found = nullptr;
        int herr = 0;
        errno = 0;
        int rc = call(&result, buffer.data(), buffer.size(), &found, &herr);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (found) {
            CopyHostEntry(found, entry);
            return 0;
        }
        // NETDB_INTERNAL (-1) means the system's error number tells.
        if (herr > 0) return herr;
        if (rc > 0) return rc;
        return errno > 0 ? errno : QZ_SOCK_LOOKUP;
    }
}

}  // namespace

void NetTimeoutSet(qzNetTimeout* timeout, double block, double total) {
    timeout->block = block;
    timeout->total = total;
}

qzNetTimeout* NetTimeoutMarkStart(qzNetTimeout* timeout) {
    timeout->start = OsGetTimeSeconds();
    return timeout;
}

double NetTimeoutRemaining(const qzNetTimeout* timeout) {
    double now = OsGetTimeSeconds();
    if (timeout->block < 0 && timeout->total < 0) return -1;
    double left = timeout->total - now + timeout->start;
    if (left < 0) left = 0;
    if (timeout->block < 0) return left;
    if (timeout->total < 0) {
        double b = timeout->block - now + timeout->start;
        return b < 0 ? 0 : b;
    }
    return timeout->block < left ? timeout->block : left;
}

int NetTimedOut(const qzTimeVal* elapsed, int32_t ms) {
    if (ms <= 0) return 0;
    uint32_t seconds = static_cast<uint32_t>(ms / 1000);
    uint32_t rest = static_cast<uint32_t>(ms % 1000);
    if (elapsed->seconds > seconds) return 1;
    return elapsed->seconds == seconds && elapsed->microseconds / 1000 > rest;
}

int SockOpenLayer() { return 1; }
int SockCloseLayer() { return 1; }

int SockCreate(int* fd, int kind) {
    int type = (kind == QZ_SOCK_DGRAM ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC;
    *fd = socket(AF_INET, type, 0);
    return *fd < 0 ? errno : 0;
}

void SockSetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void SockSetBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

int SockBind(int fd, const qzSockAddr* address) {
    if (fd < 0) return QZ_SOCK_CLOSED;
    sockaddr_in in = ToSockaddr(address);
    SockSetBlocking(fd);
    int rc = bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0 ? 0 : errno;
    SockSetNonBlocking(fd);
    return rc;
}

int SockListen(int fd, int backlog) {
    if (fd < 0) return QZ_SOCK_CLOSED;
    SockSetBlocking(fd);
    int rc = listen(fd, backlog) == 0 ? 0 : errno;
    SockSetNonBlocking(fd);
    return rc;
}

void SockDestroy(int* fd) {
    if (*fd == -1) return;
    SockSetBlocking(*fd);
    close(*fd);
    *fd = -1;
}

int SockSetReuseAddress(int fd) {
    int on = 1;
    return setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 ? 0 : errno;
}

int SockSetNoDelay(int fd) {
    int on = 1;
    return setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 0 : errno;
}

int SockLimitUnsent(int fd, int bytes) {
    return setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &bytes, sizeof bytes) == 0 ? 0 : errno;
}

int SockWait(int fd, int what, const qzNetTimeout* timeout) {
    if (fd < 0) return QZ_SOCK_CLOSED;
    if (timeout->block == 0) return QZ_SOCK_TIMEOUT;
    short events = 0;
    if (what & QZ_SOCK_WAIT_READ) events |= POLLIN;
    if (what & QZ_SOCK_WAIT_WRITE) events |= POLLOUT;
    while (true) {
        short revents = 0;
        int n = PollOne(fd, events, NetTimeoutRemaining(timeout), &revents);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return QZ_SOCK_TIMEOUT;
        if (what == QZ_SOCK_WAIT_EITHER && IsReadable(revents)) return QZ_SOCK_CLOSED;
        return 0;
    }
}

void SockPause(int fd, int what, int ms) {
    short revents = 0;
    short events = (what & QZ_SOCK_WAIT_READ ? POLLIN : 0) | (what & QZ_SOCK_WAIT_WRITE ? POLLOUT : 0);
    if (fd < 0) {
        OsDelay(ms);
        return;
    }
    PollOne(fd, events, ms / 1000.0, &revents);
}

int SockConnect(int fd, const qzSockAddr* address, int32_t timeoutMs, qzSockPump pump, void* pumpData, int* pumpError) {
    if (fd < 0) return QZ_SOCK_CLOSED;
    sockaddr_in in = ToSockaddr(address);
    int rc;
    while ((rc = connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in)) != 0 && errno == EINTR) {
    }
    if (rc == 0) return 0;
    if (errno != EAGAIN && errno != EINPROGRESS && errno != EALREADY) return errno;
    qzTimeVal start;
    OsGetMonotonicTime(&start);
    while (true) {
        if (pump && pump(pumpData, pumpError)) return QZ_SOCK_TIMEOUT;
        short revents = 0;
        int n = PollOne(fd, POLLIN | POLLOUT, 0.010, &revents);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) {
            qzTimeVal now;
            OsGetMonotonicTime(&now);
            OsSubTime(&now, &start);
            // Unlike NetTimedOut, a limit of 0 gives up here after the first wait.
            uint32_t seconds = static_cast<uint32_t>(timeoutMs / 1000);
            uint32_t rest = static_cast<uint32_t>(timeoutMs % 1000);
            if (now.seconds > seconds || (now.seconds == seconds && now.microseconds / 1000 > rest))
                return QZ_SOCK_TIMEOUT;
            continue;
        }
        // The attempt has an outcome: the socket's pending error tells which.
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
        return error;
    }
}

int SockAccept(int fd, int* newFd, qzSockAddr* peer, const qzNetTimeout* timeout) {
    if (fd < 0) return QZ_SOCK_CLOSED;
    while (true) {
        sockaddr_in in{};
        socklen_t length = sizeof in;
        int client = accept4(fd, reinterpret_cast<sockaddr*>(&in), &length, SOCK_CLOEXEC);
        if (client >= 0) {
            *newFd = client;
            if (peer) FromSockaddr(in, peer);
            return 0;
        }
        if (errno == ECONNABORTED) errno = EAGAIN;
        int result = 0;
        if (WaitOrFail(fd, QZ_SOCK_WAIT_READ, timeout, &result) == kEnd) return result;
    }
}

int SockSend(int fd, const void* data, size_t count, size_t* sent, const qzNetTimeout* timeout) {
    return SockSendTo(fd, data, count, sent, nullptr, timeout);
}

int SockSendTo(int fd, const void* data, size_t count, size_t* sent, const qzSockAddr* to,
               const qzNetTimeout* timeout) {
    *sent = 0;
    if (fd < 0) return QZ_SOCK_CLOSED;
    sockaddr_in in{};
    if (to) in = ToSockaddr(to);
    while (true) {
        ssize_t n = to ? sendto(fd, data, count, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&in), sizeof in)
                       : send(fd, data, count, MSG_NOSIGNAL);
        if (n > 0) {
            *sent = static_cast<size_t>(n);
            return 0;
        }
        if (n == 0 || errno == EPIPE) return QZ_SOCK_CLOSED;
        int result = 0;
        if (WaitOrFail(fd, QZ_SOCK_WAIT_WRITE, timeout, &result) == kEnd) return result;
    }
}

int SockRecv(int fd, void* buffer, size_t count, size_t* received, const qzNetTimeout* timeout) {
    return SockRecvFrom(fd, buffer, count, received, nullptr, timeout);
}

int SockRecvFrom(int fd, void* buffer, size_t count, size_t* received, qzSockAddr* from, const qzNetTimeout* timeout) {
    *received = 0;
    if (fd < 0) return QZ_SOCK_CLOSED;
    while (true) {
        sockaddr_in in{};
        socklen_t length = sizeof in;
        ssize_t n = from ? recvfrom(fd, buffer, count, 0, reinterpret_cast<sockaddr*>(&in), &length)
                         : recv(fd, buffer, count, 0);
        if (n > 0) {
            *received = static_cast<size_t>(n);
            if (from) FromSockaddr(in, from);
            return 0;
        }
        if (n == 0) return QZ_SOCK_CLOSED;
        int result = 0;
        if (WaitOrFail(fd, QZ_SOCK_WAIT_READ, timeout, &result) == kEnd) return result;
    }
}

int SockPeekByte(int fd, const qzNetTimeout* timeout, int datagram) {
    if (fd < 0) return QZ_SOCK_CLOSED;
    while (true) {
        unsigned char byte;
        ssize_t n = datagram ? recvfrom(fd, &byte, 1, MSG_PEEK, nullptr, nullptr) : recv(fd, &byte, 1, MSG_PEEK);
        if (n > 0) return 0;
        if (n == 0) return QZ_SOCK_CLOSED;
        int result = 0;
        if (WaitOrFail(fd, QZ_SOCK_WAIT_READ, timeout, &result) == kEnd) return result;
    }
}

int SockGetPeerAddress(int fd, qzSockAddr* address) {
    sockaddr_in in{};
    socklen_t length = sizeof in;
    if (fd < 0) return EBADF;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&in), &length) != 0) return errno;
    if (in.sin_family != AF_INET) return EAFNOSUPPORT;
    FromSockaddr(in, address);
    return 0;
}

int SockGetLocalAddress(int fd, qzSockAddr* address) {
    sockaddr_in in{};
    socklen_t length = sizeof in;
    if (fd < 0) return EBADF;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length) != 0) return errno;
    if (in.sin_family != AF_INET) return EAFNOSUPPORT;
    FromSockaddr(in, address);
    return 0;
}

int SockGetHostName(std::string* name) {
    char buffer[256];
    if (gethostname(buffer, sizeof buffer) != 0) return errno;
    buffer[sizeof buffer - 1] = 0;
    *name = buffer;
    return 0;
}

int SockResolveName(const char* name, qzHostEntry* entry) {
    return Resolve(entry, [name](hostent* result, char* buffer, size_t size, hostent** found, int* herr) {
        return gethostbyname2_r(name, AF_INET, result, buffer, size, found, herr);
    });
}

int SockResolveAddress(const std::array<uint8_t, 4>& ip, qzHostEntry* entry) {
    return Resolve(entry, [&ip](hostent* result, char* buffer, size_t size, hostent** found, int* herr) {
        return gethostbyaddr_r(ip.data(), 4, AF_INET, result, buffer, size, found, herr);
    });
}

bool SockParseIPv4(const char* text, std::array<uint8_t, 4>* ip) {
    in_addr address;
    if (!text || inet_aton(text, &address) == 0) return false;
    std::memcpy(ip->data(), &address, 4);
    return true;
}

std::string SockFormatIPv4(const std::array<uint8_t, 4>& ip) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, ip.data(), text, sizeof text);
    return text;
}

const char* SockIoErrorText(int code) {
    switch (code) {
    case 0: return "";
    case QZ_SOCK_TIMEOUT: return "timeout";
    case QZ_SOCK_CLOSED: return "closed";
    default: return "unknown error";
    }
}

const char* SockErrorText(int code) { return code > 0 ? strerror(code) : SockIoErrorText(code); }

const char* SockHostErrorText(int code) { return code > 0 ? hstrerror(code) : SockIoErrorText(code); }
