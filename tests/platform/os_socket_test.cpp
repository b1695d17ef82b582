// The socket layer: its result codes, waits without select's descriptor limit, connection
// attempts that pump, refuse and time out, writes to closed peers without SIGPIPE, and the
// resolver's texts.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/os_socket.h"
#include "support/manual_clock.h"

namespace os_socket_test {

namespace {

// A listening socket on 127.0.0.1 with a system-chosen port.
struct Listener {
    int fd = -1;
    qzSockAddr address;
    explicit Listener(int backlog = 8) {
        EXPECT_EQ(SockCreate(&fd, QZ_SOCK_STREAM), 0);
        address.ip = {127, 0, 0, 1};
        EXPECT_EQ(SockBind(fd, &address), 0);
        EXPECT_EQ(SockListen(fd, backlog), 0);
        EXPECT_EQ(SockGetLocalAddress(fd, &address), 0);
    }
    ~Listener() { SockDestroy(&fd); }
};

// A listener whose queue is full: it drops further SYNs, so a connection attempt gets no answer.
struct SilentListener : Listener {
    int filler[3] = {-1, -1, -1};
    SilentListener() : Listener(0) {
        for (int& fd : filler) {
            EXPECT_EQ(SockCreate(&fd, QZ_SOCK_STREAM), 0);
            SockSetNonBlocking(fd);
            int unused = 0;
            SockConnect(fd, &address, 0, nullptr, nullptr, &unused);
        }
    }
    ~SilentListener() {
        for (int& fd : filler) SockDestroy(&fd);
    }
};

qzNetTimeout Limits(double block, double total) {
    qzNetTimeout t{};
    NetTimeoutSet(&t, block, total);
    NetTimeoutMarkStart(&t);
    return t;
}

// A connected pair over loopback: the client end (non-blocking) and the accepted end.
void ConnectedPair(Listener& listener, int* client, int* server) {
    ASSERT_EQ(SockCreate(client, QZ_SOCK_STREAM), 0);
    SockSetNonBlocking(*client);
    int pumpError = 0;
    ASSERT_EQ(SockConnect(*client, &listener.address, 1000, nullptr, nullptr, &pumpError), 0);
    qzNetTimeout wait = Limits(2, -1);
    ASSERT_EQ(SockAccept(listener.fd, server, nullptr, &wait), 0);
}

TEST(SocketLayer, ClosedDescriptorReportsClosedWithoutCalls) {
    qzNetTimeout t = Limits(-1, -1);
    char byte = 0;
    size_t n = 99;
    int fd = -1;
    qzSockAddr to;
    EXPECT_EQ(SockWait(-1, QZ_SOCK_WAIT_READ, &t), QZ_SOCK_CLOSED);
    EXPECT_EQ(SockSend(-1, &byte, 1, &n, &t), QZ_SOCK_CLOSED);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(SockSendTo(-1, &byte, 1, &n, &to, &t), QZ_SOCK_CLOSED);
    EXPECT_EQ(SockRecv(-1, &byte, 1, &n, &t), QZ_SOCK_CLOSED);
    EXPECT_EQ(SockRecvFrom(-1, &byte, 1, &n, &to, &t), QZ_SOCK_CLOSED);
    EXPECT_EQ(SockPeekByte(-1, &t, 0), QZ_SOCK_CLOSED);
    EXPECT_EQ(SockAccept(-1, &fd, nullptr, &t), QZ_SOCK_CLOSED);
    EXPECT_EQ(SockConnect(-1, &to, 10, nullptr, nullptr, &fd), QZ_SOCK_CLOSED);
}

TEST(SocketLayer, RemainingWaitFollowsBothLimits) {
    ManualClock clock;
    struct Case {
        double block, total, elapsed, remaining;
    } cases[] = {
        {-1, -1, 5, -1}, {-1, 10, 4, 6}, {-1, 10, 12, 0}, {3, -1, 1, 2}, {3, -1, 4, 0}, {3, 10, 4, 3}, {3, 10, 8, 2},
    };
    for (const Case& c : cases) {
        qzNetTimeout t = Limits(c.block, c.total);
        clock.AdvanceMs(static_cast<uint64_t>(c.elapsed * 1000));
        EXPECT_DOUBLE_EQ(NetTimeoutRemaining(&t), c.remaining) << c.block << " " << c.total << " " << c.elapsed;
    }
}

TEST(SocketLayer, TimedOutComparesSecondsThenMilliseconds) {
    struct Case {
        uint32_t seconds, micros;
        int32_t ms;
        int out;
    } cases[] = {{5, 0, 0, 0}, {1, 500000, 1500, 0}, {1, 501000, 1500, 1}, {2, 0, 1500, 1}, {0, 999999, 1000, 0}};
    for (const Case& c : cases) {
        qzTimeVal elapsed{c.seconds, c.micros};
        EXPECT_EQ(NetTimedOut(&elapsed, c.ms), c.out) << c.seconds << "." << c.micros << " / " << c.ms;
    }
}

TEST(SocketLayer, WaitWithBlockZeroReturnsAtOnceEvenWhenReady) {
    Listener listener;
    int client = -1, server = -1;
    ConnectedPair(listener, &client, &server);
    ASSERT_EQ(write(server, "x", 1), 1);
    qzNetTimeout wait = Limits(-1, -1);
    EXPECT_EQ(SockWait(client, QZ_SOCK_WAIT_READ, &wait), 0);
    qzNetTimeout never = Limits(0, 0);
    EXPECT_EQ(SockWait(client, QZ_SOCK_WAIT_READ, &never), QZ_SOCK_TIMEOUT);
    SockDestroy(&client);
    SockDestroy(&server);
}

// select could not watch descriptors of 1024 and more; the layer must.
TEST(SocketLayer, HighDescriptorsWaitAndReceive) {
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur < 1600) {
        limit.rlim_cur = limit.rlim_max < 1600 ? limit.rlim_max : 1600;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < 1600) GTEST_SKIP() << "descriptor limit below 1600";
    Listener listener;
    int client = -1, server = -1;
    ConnectedPair(listener, &client, &server);
    int high = dup2(client, 1500);
    ASSERT_EQ(high, 1500);
    close(client);
    ASSERT_EQ(write(server, "hello", 5), 5);
    qzNetTimeout wait = Limits(2, -1);
    char buffer[8];
    size_t got = 0;
    EXPECT_EQ(SockWait(high, QZ_SOCK_WAIT_READ, &wait), 0);
    EXPECT_EQ(SockRecv(high, buffer, sizeof buffer, &got, &wait), 0);
    EXPECT_EQ(std::string(buffer, got), "hello");
    SockDestroy(&high);
    SockDestroy(&server);
}

TEST(SocketLayer, ConnectionRefusedGivesTheSystemError) {
    int port;
    {
        Listener gone;
        port = gone.address.port;
    }
    int fd = -1;
    ASSERT_EQ(SockCreate(&fd, QZ_SOCK_STREAM), 0);
    SockSetNonBlocking(fd);
    qzSockAddr address;
    address.ip = {127, 0, 0, 1};
    address.port = static_cast<uint16_t>(port);
    int pumps = 0;
    auto pump = [](void* data, int*) {
        ++*static_cast<int*>(data);
        return 0;
    };
    int pumpError = 0;
    EXPECT_EQ(SockConnect(fd, &address, 1000, pump, &pumps, &pumpError), ECONNREFUSED);
    EXPECT_STREQ(SockErrorText(ECONNREFUSED), strerror(ECONNREFUSED));
    SockDestroy(&fd);
}

// The pump moves the clock by 100 ms per wait: an attempt that gets no answer ends once more
// than 1.5 s have passed.
TEST(SocketLayer, ConnectionWithoutAnswerTimesOutAfterItsLimitWhilePumping) {
    SilentListener listener;
    ManualClock clock;
    struct Pump {
        ManualClock* clock;
        int calls;
    } pump{&clock, 0};
    int fd = -1;
    ASSERT_EQ(SockCreate(&fd, QZ_SOCK_STREAM), 0);
    SockSetNonBlocking(fd);
    int pumpError = 0;
    int rc = SockConnect(
        fd, &listener.address, 1500,
        [](void* data, int*) {
            Pump* p = static_cast<Pump*>(data);
            p->calls++;
            p->clock->AdvanceMs(100);
            return 0;
        },
        &pump, &pumpError);
    EXPECT_EQ(rc, QZ_SOCK_TIMEOUT);
    EXPECT_EQ(pump.calls, 16);
    EXPECT_STREQ(SockErrorText(rc), "timeout");
    SockDestroy(&fd);
}

TEST(SocketLayer, PumpThatAsksToStopEndsTheAttempt) {
    SilentListener listener;
    int fd = -1;
    ASSERT_EQ(SockCreate(&fd, QZ_SOCK_STREAM), 0);
    SockSetNonBlocking(fd);
    int pumpError = 0;
    int rc = SockConnect(
        fd, &listener.address, 60000,
        [](void*, int* error) {
            *error = 1003;
            return 1;
        },
        nullptr, &pumpError);
    EXPECT_EQ(rc, QZ_SOCK_TIMEOUT);
    EXPECT_EQ(pumpError, 1003);
    SockDestroy(&fd);
}

TEST(SocketLayer, WritingToAClosedPeerReportsClosedAndKeepsTheProcess) {
    // The process keeps the default action for SIGPIPE: only MSG_NOSIGNAL keeps it alive.
    struct sigaction old;
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, &old);
    Listener listener;
    int client = -1, server = -1;
    ConnectedPair(listener, &client, &server);
    SockDestroy(&server);
    qzNetTimeout t = Limits(1, -1);
    char block[4096] = {};
    int rc = 0;
    for (int i = 0; i < 100 && rc == 0; i++) {
        size_t sent = 0;
        rc = SockSend(client, block, sizeof block, &sent, &t);
        if (rc == 0) usleep(1000);
    }
    EXPECT_TRUE(rc == QZ_SOCK_CLOSED || rc == ECONNRESET) << rc;
    SockDestroy(&client);
    sigaction(SIGPIPE, &old, nullptr);
}

TEST(SocketLayer, DatagramsGoBothWaysWithTheirSender) {
    int a = -1, b = -1;
    ASSERT_EQ(SockCreate(&a, QZ_SOCK_DGRAM), 0);
    ASSERT_EQ(SockCreate(&b, QZ_SOCK_DGRAM), 0);
    SockSetNonBlocking(a);
    SockSetNonBlocking(b);
    qzSockAddr any;
    any.ip = {127, 0, 0, 1};
    ASSERT_EQ(SockBind(a, &any), 0);
    ASSERT_EQ(SockBind(b, &any), 0);
    qzSockAddr addressA, addressB;
    ASSERT_EQ(SockGetLocalAddress(a, &addressA), 0);
    ASSERT_EQ(SockGetLocalAddress(b, &addressB), 0);
    qzNetTimeout now = Limits(0, 0);
    size_t n = 0;
    char buffer[16];
    EXPECT_EQ(SockRecvFrom(b, buffer, sizeof buffer, &n, nullptr, &now), QZ_SOCK_TIMEOUT);
    EXPECT_EQ(SockSendTo(a, "ping", 4, &n, &addressB, &now), 0);
    EXPECT_EQ(n, 4u);
    qzNetTimeout wait = Limits(2, -1);
    EXPECT_EQ(SockPeekByte(b, &wait, 1), 0);
    qzSockAddr from;
    EXPECT_EQ(SockRecvFrom(b, buffer, sizeof buffer, &n, &from, &wait), 0);
    EXPECT_EQ(std::string(buffer, n), "ping");
    EXPECT_EQ(from.port, addressA.port);
    EXPECT_EQ(SockFormatIPv4(from.ip), "127.0.0.1");
    SockDestroy(&a);
    SockDestroy(&b);
}

TEST(SocketLayer, ResolverAndTexts) {
    qzHostEntry entry;
    ASSERT_EQ(SockResolveName("localhost", &entry), 0);
    ASSERT_FALSE(entry.addresses.empty());
    EXPECT_EQ(SockFormatIPv4(entry.addresses[0]), "127.0.0.1");
    std::array<uint8_t, 4> ip;
    EXPECT_TRUE(SockParseIPv4("127.1", &ip));
    EXPECT_EQ(SockFormatIPv4(ip), "127.0.0.1");
    EXPECT_FALSE(SockParseIPv4("local.host", &ip));
    int rc = SockResolveName("no-such-host.invalid", &entry);
    EXPECT_NE(rc, 0);
    EXPECT_NE(rc, QZ_SOCK_TIMEOUT);
    EXPECT_STRNE(SockHostErrorText(rc), "");
    EXPECT_STREQ(SockIoErrorText(0), "");
    EXPECT_STREQ(SockErrorText(QZ_SOCK_TIMEOUT), "timeout");
    EXPECT_STREQ(SockHostErrorText(QZ_SOCK_CLOSED), "closed");
    EXPECT_STREQ(SockErrorText(QZ_SOCK_LOOKUP), "unknown error");
}

}  // namespace

}  // namespace os_socket_test
