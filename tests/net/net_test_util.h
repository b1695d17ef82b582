// Test helpers for the network: child servers on loopback (the scripted canned server, nginx, an
// FTP server), started and stopped by each test, and a VM with the network library whose
// commands the tests call like a script does, with C functions as script callbacks.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "libs/network/network.h"
#include "libs/oracle.h"
#include "net/net_state.h"
#include "runtime/error_messages.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

extern char** environ;

namespace nettest {

using libtest::ReadFile;
using libtest::TempDir;
using libtest::WriteFile;

inline std::string SourceDir() {
    const char* env = std::getenv("QZ_SOURCE_DIR");
    return env && *env ? env : QZ_SOURCE_DIR;
}

inline std::string ServerScript(const char* name) { return SourceDir() + "/tests/net/servers/" + name; }

// A plain listening socket on 127.0.0.1 with a port the system chose, closed with the object.
struct RawListener {
    int fd = -1;
    int port = 0;
    RawListener() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof in;
        bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof in);
        listen(fd, 8);
        getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
        port = ntohs(in.sin_port);
    }
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;
    ~RawListener() { close(fd); }
    int Accept() { return accept(fd, nullptr, nullptr); }
};

// A port on 127.0.0.1 that nothing listens on at the moment.
inline int FreePort() {
    RawListener listener;
    return listener.port;
}

// The names in a folder, without "." and "..".
inline std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// True once something accepts connections on 127.0.0.1:port, within the time limit.
inline bool WaitForPort(int port, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(static_cast<uint16_t>(port));
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0;
        close(fd);
        if (ok) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A child process, killed and reaped when the object goes.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Stop(); }

    // Starts argv (its standard error goes to /dev/null); with captureStdout its standard output
    // comes through a pipe for ReadLine.
    bool Start(const std::vector<std::string>& args, bool captureStdout) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int pipeFds[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (captureStdout) {
            if (pipe(pipeFds) != 0) return false;
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
            posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        }
        int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (captureStdout) {
            close(pipeFds[1]);
            out_ = pipeFds[0];
        }
        if (rc != 0) pid_ = -1;
        return rc == 0;
    }

    // One line of the child's standard output; empty when none comes in time.
    std::string ReadLine(int timeoutMs = 10000) {
        std::string line;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char c;
            if (read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return "";
    }
    // Reads the line "PORT n" that the test servers print; 0 when it does not come in time.
    int ReadPort() {
        int port = 0;
        return std::sscanf(ReadLine().c_str(), "PORT %d", &port) == 1 ? port : 0;
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status;
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        if (out_ >= 0) close(out_);
        out_ = -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// The scripted canned server (tests/net/servers/canned_server.py) with one scenario.
struct CannedServer {
    TempDir dir;
    Child child;
    int port = 0;

    bool Start(const std::string& scenarioJson) {
        WriteFile(dir.File("scenario.json"), scenarioJson);
        if (!child.Start({"/usr/bin/python3", ServerScript("canned_server.py"), dir.File("scenario.json"), dir.path},
                         true))
            return false;
        port = child.ReadPort();
        return port != 0;
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    std::string Recorded(const std::string& name) const { return ReadFile(dir.File(name)); }
};

// nginx serving a document root with the given server-block directives, in which "{port}" stands
// for the port it listens on.
struct NginxServer {
    TempDir dir;
    Child child;
    int port = 0;

    std::string Root() const { return dir.File("root"); }

    bool Start(const std::string& directives) {
        chmod(dir.path.c_str(), 0755);
        mkdir(Root().c_str(), 0755);
        mkdir(dir.File("logs").c_str(), 0755);
        port = FreePort();
        std::string server = directives;
        for (size_t at; (at = server.find("{port}")) != std::string::npos;) server.replace(at, 6, std::to_string(port));
        std::string conf = "worker_processes 1;\nerror_log " + dir.File("logs/error.log") + " crit;\npid " +
                           dir.File("nginx.pid") +
                           ";\nevents { worker_connections 64; }\n"
                           "http {\n access_log off;\n default_type application/octet-stream;\n sendfile on;\n"
                           " client_body_temp_path " +
                           dir.File("body") + ";\n proxy_temp_path " + dir.File("proxy") + ";\n fastcgi_temp_path " +
                           dir.File("fcgi") + ";\n uwsgi_temp_path " + dir.File("uwsgi") + ";\n scgi_temp_path " +
                           dir.File("scgi") + ";\n server {\n  listen 127.0.0.1:" + std::to_string(port) +
                           ";\n  root " + Root() + ";\n" + server + "\n }\n}\n";
        WriteFile(dir.File("nginx.conf"), conf);
        if (!child.Start({"/usr/sbin/nginx", "-p", dir.path + "/", "-c", dir.File("nginx.conf"), "-g", "daemon off;",
                          "-e", dir.File("logs/error.log")},
                         false))
            return false;
        return WaitForPort(port, 10000);
    }
    // Writes a file into the document root, readable by the workers.
    void Put(const std::string& name, const std::string& bytes) {
        WriteFile(Root() + "/" + name, bytes);
        chmod((Root() + "/" + name).c_str(), 0644);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
};

// python3's http.server (HTTP/1.0) on a temporary root.
struct PythonHttpServer {
    TempDir root;
    Child child;
    int port = 0;

    bool Start() {
        if (!child.Start(
                {"/usr/bin/python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", root.path},
                true))
            return false;
        std::string line = child.ReadLine();
        size_t at = line.find(" port ");
        port = at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 6);
        return port != 0;
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
};

// pyftpdlib on a temporary root (tests/net/servers/ftp_server.py).
struct FtpServer {
    TempDir root;
    Child child;
    int port = 0;

    bool Start() {
        if (!child.Start({"/usr/bin/python3", ServerScript("ftp_server.py"), root.path}, true)) return false;
        port = child.ReadPort();
        return port != 0;
    }
    std::string Url(const std::string& userInfo, const std::string& path) const {
        return "ftp://" + userInfo + "127.0.0.1:" + std::to_string(port) + path;
    }
};

// One recorded call of a script callback.
struct CallbackCall {
    int action = -1;
    double count = -1, total = -1, size = -1;
    std::string data;
    std::string userData;
};

// What a C callback answers, by call number from 0; by default 0.
inline std::function<int(int)>& CallbackAnswer() {
    static std::function<int(int)> answer;
    return answer;
}
inline std::vector<CallbackCall>& CallbackCalls() {
    static std::vector<CallbackCall> calls;
    return calls;
}
// Runs inside the callback before it answers (say, to close a connection).
inline std::function<void(VmState*)>& CallbackAction() {
    static std::function<void(VmState*)> action;
    return action;
}

inline double FieldNumber(VmState* L, const char* key) {
    VmPushString(L, key);
    VmRawGet(L, 1);
    double n = VmType(L, -1) == VM_TNUMBER ? VmToNumber(L, -1) : -1;
    VmPop(L, 1);
    return n;
}

inline std::string FieldString(VmState* L, const char* key) {
    VmPushString(L, key);
    VmRawGet(L, 1);
    std::string s = VmIsString(L, -1) ? std::string(VmToString(L, -1), VmStrLen(L, -1)) : "";
    VmPop(L, 1);
    return s;
}

// The script callback: records its table and answers.
inline int RecordingCallback(VmState* L) {
    CallbackCall call;
    call.action = static_cast<int>(FieldNumber(L, "action"));
    call.count = FieldNumber(L, "count");
    call.total = FieldNumber(L, "total");
    call.size = FieldNumber(L, "size");
    call.data = FieldString(L, "data");
    call.userData = FieldString(L, "userdata");
    int index = static_cast<int>(CallbackCalls().size());
    CallbackCalls().push_back(call);
    if (CallbackAction()) CallbackAction()(L);
    VmPushNumber(L, CallbackAnswer() ? CallbackAnswer()(index) : 0);
    return 1;
}

// The results of a command: the error code (0 when none) and each result as raw bytes (numbers
// printed with %.14g, nil as "nil", other types by name).
struct Results {
    int error = 0;
    std::string message;  // the error's text with its arguments
    std::vector<std::string> values;
    void* handle = nullptr;  // the first light user data result
    std::string operator[](size_t i) const { return i < values.size() ? values[i] : "<none>"; }
};

// A VM with the network library registered.
class NetFixture : public ::testing::Test {
protected:
    VmState* L = nullptr;

    void SetUp() override {
        L = VmOpen();
        ASSERT_EQ(OpenLibrary(L, &qzNetworkLibrary), 0);
        CallbackCalls().clear();
        CallbackAnswer() = nullptr;
        CallbackAction() = nullptr;
        SetNetworkTimeoutMs(5000);
    }
    void TearDown() override {
        const qzLibraryDescriptor* const libraries[] = {&qzNetworkLibrary, nullptr};
        CloseLibraries(L, libraries);
        FreeObjectRegistry();
        VmClose(L);
        VmResetRuntimeLink();
        CallbackAction() = nullptr;
    }

    // Calls the global command with the arguments that push() leaves and collects its results.
    Results Call(const char* name, const std::function<void()>& push = nullptr) {
        std::string key(name);
        for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        VmSetTop(L, 0);
        VmPushString(L, key.c_str());
        VmGetTable(L, VM_GLOBALSINDEX);
        EXPECT_EQ(VmType(L, -1), VM_TFUNCTION) << name;
        if (push) push();
        Results r;
        r.error = VmProtectedCall(L, VmGetTop(L) - 1, VM_MULTRET, 0);
        if (r.error) {
            r.message = FormatErrorText(r.error);
        } else {
            for (int i = 1; i <= VmGetTop(L); i++) {
                if (!r.handle && VmType(L, i) == VM_TLIGHTUSERDATA) r.handle = VmToUserdata(L, i);
                r.values.push_back(Render(i));
            }
        }
        return r;
    }

    std::string Render(int i) {
        char buffer[64];
        switch (VmType(L, i)) {
        case VM_TNIL: return "nil";
        case VM_TNUMBER: std::snprintf(buffer, sizeof buffer, "%.14g", VmToNumber(L, i)); return buffer;
        case VM_TSTRING: return std::string(VmToString(L, i), VmStrLen(L, i));
        default: return VmTypeName(L, VmType(L, i));
        }
    }

    // Pushers for arguments.
    void Num(double n) { VmPushNumber(L, n); }
    void Str(const std::string& s) { VmPushLString(L, s.data(), s.size()); }
    void Nil() { VmPushNil(L); }
    void Callback() { VmPushCFunction(L, RecordingCallback); }
    void Handle(void* handle) { VmPushLightUserdata(L, handle); }
    // A table of string and number fields: {"key", "text"} or {"key", "=123"} for the number 123.
    void Table(const std::vector<std::pair<std::string, std::string>>& fields) {
        VmNewTable(L);
        for (const auto& [key, value] : fields) {
            VmPushString(L, key.c_str());
            if (!value.empty() && value[0] == '=')
                VmPushNumber(L, std::atof(value.c_str() + 1));
            else
                VmPushLString(L, value.data(), value.size());
            VmRawSet(L, -3);
        }
    }
    // Sets key = the value on the stack top in the table below it.
    void SetField(const char* key) {
        VmPushString(L, key);
        VmInsert(L, -2);
        VmRawSet(L, -3);
    }

    // DownloadFile or UploadFile with an options table and, when wanted, the recording callback.
    Results Transfer(const char* command, const std::string& url,
                     const std::vector<std::pair<std::string, std::string>>& options, bool callback = false) {
        return Call(command, [&] {
            Str(url);
            Table(options);
            if (callback) Callback();
        });
    }
};

}  // namespace nettest
