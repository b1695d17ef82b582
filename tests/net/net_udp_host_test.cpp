// UDP objects, host names, the network time-out and the online test through the commands.
#include "base/error_codes.h"
#include "net/net_events.h"
#include "net/net_test_util.h"
#include "platform/os_env.h"

namespace net_udp_host_test {

namespace {

using namespace nettest;

class NetUdpTest : public NetFixture {
protected:
    int LocalPort(double id) {
        return std::atoi(Call("GetLocalPort",
                              [&] {
                                  Num(id);
                                  Num(117);
                              })[0]
                             .c_str());
    }
    Results SendTo(double id, const std::string& data, const std::string& ip, double port) {
        return Call("SendUDPData", [&] {
            Num(id);
            Str(data);
            Str(ip);
            Num(port);
        });
    }
    // Waits until the object has a datagram reported by its event source.
    bool Reported(void* handle) {
        qzNetEvent event;
        for (int i = 0; i < 200; i++) {
            ResetNetEventCursors();
            if (NextNetEvent(QZ_NET_SOURCE_UDP, &event)) return event.object.pointer == handle;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};

TEST_F(NetUdpTest, DatagramsRoundTripAndAreReportedOnce) {
    Results a = Call("CreateUDPObject", [&] { Nil(); });
    ASSERT_EQ(a.error, 0) << a.message;
    ASSERT_NE(a.handle, nullptr);
    ASSERT_EQ(Call("CreateUDPObject",
                   [&] {
                       Num(2);
                       Num(0);
                       Str("127.0.0.1");
                   })
                  .error,
              0);
    int portA = std::atoi(Call("GetLocalPort",
                               [&] {
                                   Handle(a.handle);
                                   Num(117);
                               })[0]
                              .c_str());
    int portB = LocalPort(2);
    ASSERT_GT(portA, 0);
    EXPECT_EQ(Call("GetLocalIP",
                   [&] {
                       Num(2);
                       Num(117);
                   })[0],
              "127.0.0.1");

    // Nothing waiting: two empty strings and 0, at once.
    EXPECT_EQ(Call("ReceiveUDPData", [&] { Num(2); }).values, (std::vector<std::string>{"", "", "0"}));

    std::string payload("da\0ta", 5);
    EXPECT_EQ(Call("SendUDPData",
                   [&] {
                       Handle(a.handle);
                       Str(payload);
                       Str("127.0.0.1");
                       Num(portB);
                   })[0],
              "5");
    qzNetEvent event;
    int reported = 0;
    for (int i = 0; i < 200 && !reported; i++) {
        ResetNetEventCursors();
        reported = NextNetEvent(QZ_NET_SOURCE_UDP, &event);
        if (!reported) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(reported, 1);
    EXPECT_EQ(event.object.number, 2);
    ResetNetEventCursors();
    EXPECT_EQ(NextNetEvent(QZ_NET_SOURCE_UDP, &event), 0);
    Results r = Call("ReceiveUDPData", [&] {
        Num(2);
        Num(3);
    });
    // A datagram longer than the maximum is cut; the rest is lost.
    EXPECT_EQ(r.values, (std::vector<std::string>{std::string("da\0", 3), "127.0.0.1", std::to_string(portA)}));
    EXPECT_EQ(Call("ReceiveUDPData", [&] { Num(2); }).values, (std::vector<std::string>{"", "", "0"}));

    // The next datagram is reported again.
    SendTo(2, "again", "127.0.0.1", portA);
    EXPECT_TRUE(Reported(a.handle));
    EXPECT_EQ(Call("ReceiveUDPData", [&] { Handle(a.handle); })[0], "again");
}

TEST_F(NetUdpTest, Errors) {
    ASSERT_EQ(Call("CreateUDPObject", [&] { Num(1); }).error, 0);
    int port = LocalPort(1);
    EXPECT_EQ(SendTo(1, "x", "localhost", port).error, ERR_BADIP);
    EXPECT_EQ(SendTo(1, "", "127.0.0.1", port).error, ERR_WRONGUSAGE);
    EXPECT_EQ(SendTo(1, "x", "127.0.0.1", 0).error, ERR_WRONGUSAGE);
    EXPECT_EQ(SendTo(9, "x", "127.0.0.1", port).message, "Could not find UDP object 9!");
    EXPECT_EQ(Call("CreateUDPObject",
                   [&] {
                       Num(3);
                       Num(70000);
                   })
                  .error,
              ERR_WRONGUSAGE);
    EXPECT_EQ(Call("CreateUDPObject",
                   [&] {
                       Num(3);
                       Num(port);
                       Str("127.0.0.1");
                   })
                  .error,
              ERR_SOCKET);
    EXPECT_EQ(Call("ReceiveUDPData",
                   [&] {
                       Num(1);
                       Num(0);
                   })
                  .error,
              ERR_WRONGUSAGE);
    // A datagram of zero bytes reads as a closed socket.
    int raw = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(sendto(raw, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    close(raw);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Results r = Call("ReceiveUDPData", [&] { Num(1); });
    EXPECT_EQ(r.error, ERR_SOCKET);
    EXPECT_EQ(r.message, "The following network error occurred:\nconnection refused");
    EXPECT_EQ(Call("CloseUDPObject", [&] { Num(1); }).error, 0);
    EXPECT_EQ(Call("CloseUDPObject", [&] { Num(1); }).error, ERR_FINDUDPOBJECT);
}

TEST_F(NetUdpTest, HostNames) {
    Results ip = Call("ToIP", [&] { Str("127.0.0.1"); });
    ASSERT_EQ(ip.error, 0) << ip.message;
    EXPECT_EQ(ip[0], "127.0.0.1");
    EXPECT_EQ(ip[1], "table");
    // The host table: name, alias (from 1) and ip (from 1).
    VmPushString(L, "ip");
    VmRawGet(L, 2);
    VmRawGetI(L, -1, 1);
    EXPECT_EQ(std::string(VmToString(L, -1)), "127.0.0.1");
    VmSetTop(L, 0);

    Results name = Call("ToHostName", [&] { Str("localhost"); });
    ASSERT_EQ(name.error, 0) << name.message;
    EXPECT_EQ(name[0], "localhost");
    VmPushString(L, "alias");
    VmRawGet(L, 2);
    EXPECT_EQ(VmType(L, -1), VM_TTABLE);
    VmPushString(L, "name");
    VmRawGet(L, 2);
    EXPECT_EQ(std::string(VmToString(L, -1)), "localhost");
    VmSetTop(L, 0);

    Results bad = Call("ToIP", [&] { Str("no-such-host.invalid"); });
    EXPECT_EQ(bad.error, ERR_SOCKET);
    EXPECT_EQ(bad.message.rfind("The following network error occurred:\n", 0), 0u);
    EXPECT_FALSE(Call("GetHostName")[0].empty());
    EXPECT_EQ(Call("GetHostName", [&] { Num(1); }).error, ERR_TOOMANYARGS);
}

TEST_F(NetUdpTest, TimeoutSetting) {
    EXPECT_EQ(Call("SetNetworkTimeout", [&] { Num(-1); }).error, ERR_WRONGUSAGE);
    EXPECT_EQ(Call("SetNetworkTimeout", [&] { Num(250); }).error, 0);
    EXPECT_EQ(GetNetworkTimeout(), 250);
}

// IsOnline probes the host that QUARNELIX_ONLINE_HOST names: 1 when it answers, 0 otherwise,
// never an error.
TEST_F(NetUdpTest, IsOnlineProbesTheConfiguredHost) {
    RawListener listener;
    int open = listener.port;
    int closed = FreePort();
    struct Case {
        std::string host;
        const char* online;
    } cases[] = {
        {"127.0.0.1:" + std::to_string(open), "1"},
        {"127.0.0.1:" + std::to_string(closed), "0"},
        {"no-such-host.invalid:80", "0"},
    };
    for (const Case& c : cases) {
        OsSetEnv("QUARNELIX_ONLINE_HOST", c.host.c_str());
        Results r = Call("IsOnline");
        EXPECT_EQ(r.error, 0);
        EXPECT_EQ(r[0], c.online) << c.host;
    }
    OsUnsetEnv("QUARNELIX_ONLINE_HOST");
    EXPECT_EQ(*NetConnectionList(), nullptr);
}

}  // namespace

}  // namespace net_udp_host_test
