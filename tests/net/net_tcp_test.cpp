// Connections and servers through the network commands, with a plain socket as the peer: the
// receive modes, packet callbacks (also one that closes its connection), identifiers and their
// errors, servers with the event sources that report connects, data and disconnects, the pump
// seam, and the clean-up.
#include <dirent.h>

#include <atomic>

#include "base/error_codes.h"
#include "net/net_events.h"
#include "net/net_state.h"
#include "net/net_test_util.h"
#include "platform/os_alloc_fault.h"
#include "runtime/runtime.h"

namespace net_tcp_test {

namespace {

using namespace nettest;

// A plain client socket connected to 127.0.0.1:port.
int RawConnect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<uint16_t>(port));
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in), 0);
    return fd;
}

void Send(int fd, const std::string& bytes) { ASSERT_EQ(write(fd, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) n++;
        closedir(d);
    }
    return n;
}

class NetTcpTest : public NetFixture {
protected:
    RawListener listener;
    int peer = -1;

    void TearDown() override {
        if (peer >= 0) close(peer);
        SetNetEventPump(nullptr);
        SetQuitFlag(0);
        NetFixture::TearDown();
    }
    // Opens connection 1 to the listener and accepts its peer.
    void Open() {
        Results r = Call("OpenConnection", [&] {
            Num(1);
            Str("127.0.0.1");
            Num(listener.port);
        });
        ASSERT_EQ(r.error, 0) << r.message;
        EXPECT_TRUE(r.values.empty());
        peer = listener.Accept();
    }
    // The port a server listens on, as GetLocalPort answers it.
    int ServerPort(void* server) {
        return std::atoi(Call("GetLocalPort",
                              [&] {
                                  Handle(server);
                                  Num(115);
                              })[0]
                             .c_str());
    }
    Results Receive(const std::function<void()>& args) {
        return Call("ReceiveData", [&] {
            Num(1);
            args();
        });
    }
};

TEST_F(NetTcpTest, ReceiveModesDeliverLinesBytesAndAll) {
    Open();
    Send(peer, "abc\r\ndef\nx\ry\nhead");
    struct Step {
        int mode;
        int count;
        std::vector<std::string> out;
    } steps[] = {
        {2, -1, {"abc", "3", "1"}}, {2, -1, {"def", "3", "1"}}, {2, -1, {"xy", "2", "1"}},
        {1, 2, {"he", "2", "1"}},   {0, -1, {"ad", "2", "0"}},  // no wait: what is there, not done
    };
    for (const Step& s : steps) {
        Results r = Receive([&] {
            Num(s.mode);
            if (s.count >= 0) Num(s.count);
            if (s.mode == 0) Num(0);
        });
        ASSERT_EQ(r.error, 0) << r.message;
        EXPECT_EQ(r.values, s.out) << s.mode;
    }
}

TEST_F(NetTcpTest, ReceiveEndsAtCloseOrAfterTheTimeout) {
    SetNetworkTimeoutMs(150);
    Open();
    // Nothing arrives: all modes end after the time-out.
    EXPECT_EQ(Receive([&] { Num(0); }).values, (std::vector<std::string>{"", "0", "0"}));
    Send(peer, "abcd");
    EXPECT_EQ(Receive([&] {
                  Num(1);
                  Num(10);
              }).values,
              (std::vector<std::string>{"abcd", "4", "1"}));
    Send(peer, std::string("he\0lo", 5));
    shutdown(peer, SHUT_WR);
    EXPECT_EQ(Receive([&] { Num(0); }).values, (std::vector<std::string>{std::string("he\0lo", 5), "5", "1"}));
}

TEST_F(NetTcpTest, TimeoutZeroWaitsForData) {
    SetNetworkTimeoutMs(0);
    Open();
    std::thread later([fd = peer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Send(fd, "late\n");
    });
    Results r = Receive([&] { Num(2); });
    later.join();
    EXPECT_EQ(r.values, (std::vector<std::string>{"late", "4", "1"}));
}

TEST_F(NetTcpTest, ArgumentErrors) {
    Open();
    struct Case {
        std::function<void()> args;
        int error;
    } cases[] = {
        {[&] { Num(3); }, ERR_WRONGUSAGE},
        {[&] {
             Num(1);
             Num(0);
         },
         ERR_WRONGUSAGE},
        {[&] {
             Num(2);
             Str("no function");
         },
         ERR_FUNCEXPECTED},
    };
    for (const Case& c : cases) EXPECT_EQ(Receive(c.args).error, c.error);
    for (double port : {0.0, 65536.0, -1.0}) {
        Results r = Call("OpenConnection", [&] {
            Nil();
            Str("127.0.0.1");
            Num(port);
        });
        EXPECT_EQ(r.error, ERR_WRONGUSAGE) << port;
    }
    Results missing = Call("CloseConnection", [&] { Num(7); });
    EXPECT_EQ(missing.error, ERR_FINDCLIENT);
    EXPECT_EQ(missing.message, "Could not find connection 7!");
    EXPECT_EQ(Call("CloseServer", [&] { Num(7); }).message, "Could not find server 7!");
}

TEST_F(NetTcpTest, IdentifiersAddressesAndRefusals) {
    Results h = Call("OpenConnection", [&] {
        Nil();
        Str("localhost");
        Num(listener.port);
    });
    ASSERT_EQ(h.error, 0) << h.message;
    ASSERT_NE(h.handle, nullptr);
    int first = listener.Accept();
    EXPECT_EQ(Call("GetConnectionIP", [&] { Handle(h.handle); }).values, std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(Call("GetConnectionPort", [&] { Handle(h.handle); })[0], std::to_string(listener.port));
    EXPECT_EQ(Call("GetLocalIP", [&] { Handle(h.handle); })[0], "127.0.0.1");
    EXPECT_EQ(Call("CloseConnection", [&] { Handle(h.handle); }).error, 0);
    EXPECT_EQ(Call("CloseConnection", [&] { Handle(h.handle); }).error, ERR_FINDARRAY);
    char byte;
    EXPECT_EQ(read(first, &byte, 1), 0);
    close(first);

    // A number in use is closed before its new connection opens.
    Open();
    int old = peer;
    Open();
    EXPECT_EQ(read(old, &byte, 1), 0);
    close(old);

    int closedPort = FreePort();
    Results refused = Call("OpenConnection", [&] {
        Nil();
        Str("127.0.0.1");
        Num(closedPort);
    });
    EXPECT_EQ(refused.error, ERR_SOCKET);
    EXPECT_EQ(refused.message, std::string("The following network error occurred:\n") + strerror(ECONNREFUSED));
}

TEST_F(NetTcpTest, SendDataSendsEveryByte) {
    Open();
    EXPECT_EQ(Call("SendData",
                   [&] {
                       Num(1);
                       Str("");
                   })[0],
              "0");
    std::string big(3 << 20, 'q');
    big[12345] = '\0';
    std::string got;
    std::thread reader([&] {
        char buffer[65536];
        ssize_t n;
        while (got.size() < big.size() && (n = read(peer, buffer, sizeof buffer)) > 0) got.append(buffer, n);
    });
    Results r = Call("SendData", [&] {
        Num(1);
        Str(big);
    });
    reader.join();
    EXPECT_EQ(r[0], std::to_string(big.size()));
    EXPECT_TRUE(got == big);
}

TEST_F(NetTcpTest, PacketCallbackTakesTheDataAndCanStopIt) {
    Open();
    Send(peer, "abcdef");
    Results r = Receive([&] {
        Num(1);
        Num(6);
        Callback();
        Str("mine");
    });
    ASSERT_EQ(r.error, 0) << r.message;
    EXPECT_EQ(r.values, (std::vector<std::string>{"", "6", "1"}));
    ASSERT_EQ(CallbackCalls().size(), 1u);
    EXPECT_EQ(CallbackCalls()[0].action, 0);
    EXPECT_EQ(CallbackCalls()[0].data, "abcdef");
    EXPECT_EQ(CallbackCalls()[0].size, 6);
    EXPECT_EQ(CallbackCalls()[0].total, 6);
    EXPECT_EQ(CallbackCalls()[0].userData, "mine");

    // Lines go through the callback a byte at a time; returning 1 stops at once.
    Send(peer, "xyz\n");
    CallbackAnswer() = [](int call) { return call == 2 ? 1 : 0; };
    EXPECT_EQ(Receive([&] {
                  Num(2);
                  Callback();
              }).error,
              ERR_USERABORT);
    EXPECT_EQ(CallbackCalls().size(), 3u);
    EXPECT_EQ(CallbackCalls()[2].data, "y");
}

// Closing the connection inside its own packet callback must not free it under the receive.
TEST_F(NetTcpTest, CloseConnectionInsidePacketCallback) {
    Open();
    Send(peer, "first second");
    CallbackAction() = [](VmState* L) {
        VmPushString(L, "closeconnection");
        VmGetTable(L, VM_GLOBALSINDEX);
        VmPushNumber(L, 1);
        VmCall(L, 1, 0);
    };
    Results r = Receive([&] {
        Num(0);
        Num(1);
        Callback();
    });
    EXPECT_EQ(r.error, 0) << r.message;
    EXPECT_EQ(CallbackCalls().size(), 1u);
    EXPECT_EQ(Call("CloseConnection", [&] { Num(1); }).error, ERR_FINDCLIENT);
    char byte;
    EXPECT_EQ(read(peer, &byte, 1), 0);
}

TEST_F(NetTcpTest, ServersAcceptClientsAndReportEvents) {
    Results s = Call("CreateServer", [&] { Nil(); });
    ASSERT_EQ(s.error, 0) << s.message;
    int port = ServerPort(s.handle);
    ASSERT_GT(port, 0);
    // Any type but 99 and 117 names the server list.
    EXPECT_EQ(Call("GetLocalIP",
                   [&] {
                       Handle(s.handle);
                       Num(42);
                   })[0],
              "0.0.0.0");
    EXPECT_EQ(Call("GetLocalIP", [&] { Handle(s.handle); }).error, ERR_FINDARRAY);

    ResetNetEventCursors();
    qzNetEvent event;
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_CONNECT, &event), 0);
    int client = RawConnect(port);
    ResetNetEventCursors();
    int accepted = 0;
    for (int i = 0; i < 200 && !accepted; i++) {
        accepted = NextNetEvent(QZ_NET_SOURCE_CONNECT, &event);
        if (!accepted) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ResetNetEventCursors();
        }
    }
    ASSERT_EQ(accepted, 1);
    EXPECT_EQ(event.object.pointer, s.handle);
    void* connection = event.client;
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_CONNECT, &event), 0);

    // Waiting data is reported once until ReceiveData has run.
    ResetNetEventCursors();
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_DATA, &event), 0);
    Send(client, "ping\n");
    int reported = 0;
    for (int i = 0; i < 200 && !reported; i++) {
        ResetNetEventCursors();
        reported = NextNetEvent(QZ_NET_SOURCE_DATA, &event);
        if (!reported) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(reported, 1);
    EXPECT_EQ(event.object.pointer, connection);
    ResetNetEventCursors();
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_DATA, &event), 0);
    EXPECT_EQ(Call("ReceiveData",
                   [&] {
                       Handle(connection);
                       Num(2);
                   })[0],
              "ping");
    EXPECT_EQ(Call("SendData",
                   [&] {
                       Handle(connection);
                       Str("pong");
                   })[0],
              "4");

    // Closing the server leaves its client open; the client's close is reported once.
    EXPECT_EQ(Call("CloseServer", [&] { Handle(s.handle); }).error, 0);
    char buffer[8];
    EXPECT_EQ(read(client, buffer, sizeof buffer), 4);
    close(client);
    reported = 0;
    for (int i = 0; i < 200 && !reported; i++) {
        ResetNetEventCursors();
        reported = NextNetEvent(QZ_NET_SOURCE_DISCONNECT, &event);
        if (!reported) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(reported, 1);
    ResetNetEventCursors();
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_DISCONNECT, &event), 0);
}

// Removing the node under a cursor moves the cursor on.
TEST_F(NetTcpTest, CursorSkipsRemovedNodes) {
    int ports[4] = {};
    for (int id = 1; id <= 3; id++) {
        ASSERT_EQ(Call("CreateServer", [&] { Num(id); }).error, 0);
        ports[id] = std::atoi(Call("GetLocalPort",
                                   [&] {
                                       Num(id);
                                       Num(115);
                                   })[0]
                                  .c_str());
    }
    int one = RawConnect(ports[1]);
    int three = RawConnect(ports[3]);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ResetNetEventCursors();
    qzNetEvent event;
    ASSERT_EQ(NextNetEvent(QZ_NET_SOURCE_CONNECT, &event), 1);
    EXPECT_EQ(event.object.number, 1);
    // The cursor now stands on server 2, which goes away.
    EXPECT_EQ(Call("CloseServer", [&] { Num(2); }).error, 0);
    ASSERT_EQ(NextNetEvent(QZ_NET_SOURCE_CONNECT, &event), 1);
    EXPECT_EQ(event.object.number, 3);
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_CONNECT, &event), 0);
    close(one);
    close(three);
}

// A client accepted without the memory to keep it is reported as the connect event's error, and
// its socket is closed, so neither the script nor the peer waits for ever.
TEST_F(NetTcpTest, AcceptThatRunsOutOfMemoryReportsTheError) {
    Results s = Call("CreateServer", [&] { Nil(); });
    ASSERT_EQ(s.error, 0) << s.message;
    int port = ServerPort(s.handle);
    int client = RawConnect(port);
    qzNetEvent event;
    int reported = 0;
    for (int i = 0; i < 200 && !reported; i++) {
        ResetNetEventCursors();
        OsStartAllocFaults(QZ_ALLOC_FAULT_FROM, 1);
        reported = NextNetEvent(QZ_NET_SOURCE_CONNECT, &event);
        OsStopAllocFaults();
        if (!reported) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(reported, 1);
    EXPECT_EQ(event.error, ERR_MEM);
    EXPECT_EQ(event.object.pointer, s.handle);
    EXPECT_EQ(*NetConnectionList(), nullptr);
    timeval limit{2, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char byte;
    EXPECT_EQ(read(client, &byte, 1), 0);  // the server side is closed
    ResetNetEventCursors();
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_CONNECT, &event), 0);
    close(client);
}

TEST_F(NetTcpTest, PumpRunsDuringWaitsAndCanEndThem) {
    static std::atomic<int> pumps{0};
    static int stopAfter = 0;
    pumps = 0;
    stopAfter = 1000000;
    SetNetEventPump([](VmState*, int* error) {
        if (++pumps >= stopAfter) {
            *error = 0;
            return 1;
        }
        return 0;
    });
    SetNetworkTimeoutMs(100);
    Open();
    Receive([&] { Num(0); });
    EXPECT_GT(pumps.load(), 10);
    stopAfter = pumps + 3;
    EXPECT_EQ(Receive([&] { Num(0); }).error, ERR_USERABORT);
}

TEST_F(NetTcpTest, CleanUpClosesEverySocket) {
    int before = OpenDescriptors();
    Open();
    Call("CreateServer", [&] { Num(5); });
    Call("CreateUDPObject", [&] { Num(5); });
    EXPECT_EQ(OpenDescriptors(), before + 4);
    FreeAllNetworkObjects(L);
    EXPECT_EQ(OpenDescriptors(), before + 1);  // the accepted peer is the test's
}

}  // namespace

}  // namespace net_tcp_test
