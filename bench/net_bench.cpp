// Transfers over loopback beside libcurl in the same process, in one run: a download from nginx
// into a file and into memory, and a multipart upload of a file to a sink server, with the
// throughput ratio of the player to curl printed at the end. The file downloads also report how
// far the process's peak memory grew (it must stay flat). Sizes: QZ_NET_BENCH_DOWNLOAD_MB
// (default 1024) and QZ_NET_BENCH_UPLOAD_MB (default 256).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "libs/network/network.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

extern char** environ;

namespace {

size_t EnvMb(const char* name, size_t def) {
    const char* env = std::getenv(name);
    size_t v = env ? std::strtoul(env, nullptr, 10) : 0;
    return (v ? v : def) << 20;
}

size_t DownloadBytes() { return EnvMb("QZ_NET_BENCH_DOWNLOAD_MB", 1024); }
size_t UploadBytes() { return EnvMb("QZ_NET_BENCH_UPLOAD_MB", 256); }

int Shell(const std::string& command) { return std::system(command.c_str()); }

void MakeFile(const std::string& path, size_t bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::vector<char> block(1 << 20);
    uint32_t seed = 3;
    for (size_t done = 0; done < bytes; done += block.size()) {
        for (char& c : block) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
        std::fwrite(block.data(), 1, block.size(), f);
    }
    std::fclose(f);
    chmod(path.c_str(), 0644);
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof in;
    bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof in);
    getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
    close(fd);
    return ntohs(in.sin_port);
}

bool Accepting(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<uint16_t>(port));
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0;
    close(fd);
    return ok;
}

// nginx serving the download file, and a sink that takes uploads; both live for the whole run.
struct Servers {
    std::string dir;
    int nginxPort = 0;
    pid_t nginx = -1;
    int sinkPort = 0;
    int sinkFd = -1;
    std::atomic<int64_t> lastUploadBody{0};
    std::thread sink;

    Servers() {
        char tmpl[] = "/tmp/qznetbench.XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp/qznetbench";
        chmod(dir.c_str(), 0755);
        mkdir((dir + "/root").c_str(), 0755);
        MakeFile(dir + "/root/download.bin", DownloadBytes());
        MakeFile(dir + "/upload.bin", UploadBytes());
        nginxPort = FreePort();
        std::ofstream(dir + "/nginx.conf")
            << "worker_processes 1;\nerror_log " << dir << "/error.log crit;\npid " << dir << "/nginx.pid;\n"
            << "events { worker_connections 64; }\nhttp {\n access_log off;\n sendfile on;\n"
            << " default_type application/octet-stream;\n client_body_temp_path " << dir << "/body;\n"
            << " server {\n  listen 127.0.0.1:" << nginxPort << ";\n  root " << dir << "/root;\n }\n}\n";
        std::string conf = dir + "/nginx.conf", prefix = dir + "/", log = dir + "/error.log";
        std::vector<char*> argv = {const_cast<char*>("/usr/sbin/nginx"),
                                   const_cast<char*>("-p"),
                                   prefix.data(),
                                   const_cast<char*>("-c"),
                                   conf.data(),
                                   const_cast<char*>("-g"),
                                   const_cast<char*>("daemon off;"),
                                   const_cast<char*>("-e"),
                                   log.data(),
                                   nullptr};
        if (posix_spawn(&nginx, argv[0], nullptr, nullptr, argv.data(), environ) != 0) nginx = -1;
        for (int i = 0; i < 500 && !Accepting(nginxPort); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        StartSink();
    }

    // Answers each upload after reading its whole body (Content-Length bytes after the header).
    void StartSink() {
        sinkFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof in;
        bind(sinkFd, reinterpret_cast<sockaddr*>(&in), sizeof in);
        listen(sinkFd, 8);
        getsockname(sinkFd, reinterpret_cast<sockaddr*>(&in), &length);
        sinkPort = ntohs(in.sin_port);
        sink = std::thread([this] {
            std::vector<char> buffer(1 << 16);
            while (true) {
                int client = accept(sinkFd, nullptr, nullptr);
                if (client < 0) return;
                std::string head;
                int64_t body = 0, want = -1;
                ssize_t n;
                while ((n = recv(client, buffer.data(), buffer.size(), 0)) > 0) {
                    if (want < 0) {
                        head.append(buffer.data(), n);
                        size_t end = head.find("\r\n\r\n");
                        if (end == std::string::npos) continue;
                        size_t at = head.find("Content-Length: ");
                        want = at == std::string::npos ? 0 : std::strtoll(head.c_str() + at + 16, nullptr, 10);
                        body = static_cast<int64_t>(head.size() - end - 4);
                    } else {
                        body += n;
                    }
                    if (body >= want) break;
                }
                lastUploadBody = body;
                const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
                send(client, answer, sizeof answer - 1, MSG_NOSIGNAL);
                shutdown(client, SHUT_WR);
                while (recv(client, buffer.data(), buffer.size(), 0) > 0) {
                }
                close(client);
            }
        });
    }

    ~Servers() {
        if (nginx > 0) {
            kill(nginx, SIGTERM);
            int status;
            waitpid(nginx, &status, 0);
        }
        shutdown(sinkFd, SHUT_RDWR);
        close(sinkFd);
        if (sink.joinable()) sink.join();
        Shell("rm -rf '" + dir + "'");
    }

    std::string DownloadUrl() const { return "http://127.0.0.1:" + std::to_string(nginxPort) + "/download.bin"; }
    std::string SinkUrl() const { return "http://127.0.0.1:" + std::to_string(sinkPort) + "/sink"; }
};

Servers& TheServers() {
    static Servers servers;
    return servers;
}

// Seconds per transfer of each benchmark, best of its iterations, for the ratios.
std::map<std::string, double>& Best() {
    static std::map<std::string, double> best;
    return best;
}

void Note(const char* name, double seconds) {
    auto it = Best().find(name);
    if (it == Best().end() || seconds < it->second) Best()[name] = seconds;
}

// Resets the process's peak memory mark and reads it back, in kilobytes.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
long PeakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}
long CurrentMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

struct Vm {
    VmState* state = VmOpen();
    Vm() {
        SetRuntimeAttrs(state, {{QZ_RTA_QUIET, 1}});
        OpenLibrary(state, &qzNetworkLibrary);
    }
    ~Vm() {
        FreeAllNetworkObjects(state);
        VmClose(state);
    }
    // Calls a command with the nargs values on the stack top; results stay.
    int Call(const char* name, int nargs) {
        VmPushString(state, name);
        VmGetTable(state, VM_GLOBALSINDEX);
        VmInsert(state, -(nargs + 1));
        return VmProtectedCall(state, nargs, VM_MULTRET, 0);
    }
    void Field(const char* key, const std::string& value) {
        VmPushString(state, key);
        VmPushLString(state, value.data(), value.size());
        VmRawSet(state, -3);
    }
};

// Runs body once per iteration and times it. Before each run the file it writes (when given) is
// removed and the page cache's dirty data goes to disk, so no run pays for another's writes.
template <typename Body>
void Timed(benchmark::State& state, const char* name, size_t bytes, Body body, const char* output = nullptr) {
    Servers& servers = TheServers();
    for (auto _ : state) {
        if (output) unlink((servers.dir + "/" + output).c_str());
        sync();
        auto start = std::chrono::steady_clock::now();
        if (!body(servers)) {
            state.SkipWithError("transfer failed");
            return;
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        Note(name, seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_PlayerDownloadToFile(benchmark::State& state) {
    Vm vm;
    long baseline = 0, peak = 0;
    Timed(
        state, "download to file: player", DownloadBytes(),
        [&](Servers& s) {
            baseline = CurrentMemoryKb();
            ResetPeakMemory();
            VmPushString(vm.state, s.DownloadUrl().c_str());
            VmNewTable(vm.state);
            vm.Field("file", s.dir + "/player.bin");
            bool ok =
                vm.Call("downloadfile", 2) == 0 && VmToNumber(vm.state, 2) == static_cast<double>(DownloadBytes());
            VmSetTop(vm.state, 0);
            peak = PeakMemoryKb();
            return ok;
        },
        "player.bin");
    state.counters["peak_memory_growth_MB"] = static_cast<double>(peak - baseline) / 1024.0;
}

void BM_CurlDownloadToFile(benchmark::State& state) {
    long baseline = 0, peak = 0;
    Timed(
        state, "download to file: curl", DownloadBytes(),
        [&](Servers& s) {
            baseline = CurrentMemoryKb();
            ResetPeakMemory();
            FILE* out = std::fopen((s.dir + "/curl.bin").c_str(), "wb");
            if (!out) return false;
            CURL* curl = curl_easy_init();
            curl_easy_setopt(curl, CURLOPT_URL, s.DownloadUrl().c_str());
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
            curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
            bool ok = curl_easy_perform(curl) == CURLE_OK;
            curl_easy_cleanup(curl);
            ok = std::fclose(out) == 0 && ok;
            peak = PeakMemoryKb();
            return ok;
        },
        "curl.bin");
    state.counters["peak_memory_growth_MB"] = static_cast<double>(peak - baseline) / 1024.0;
}

void BM_PlayerDownloadToMemory(benchmark::State& state) {
    Vm vm;
    Timed(state, "download to memory: player", DownloadBytes(), [&](Servers& s) {
        VmPushString(vm.state, s.DownloadUrl().c_str());
        bool ok = vm.Call("downloadfile", 1) == 0 && VmStrLen(vm.state, 1) == DownloadBytes();
        VmSetTop(vm.state, 0);
        return ok;
    });
}

size_t AppendToString(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_CurlDownloadToMemory(benchmark::State& state) {
    Timed(state, "download to memory: curl", DownloadBytes(), [](Servers& s) {
        std::string body;
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, s.DownloadUrl().c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendToString);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        bool ok = curl_easy_perform(curl) == CURLE_OK && body.size() == DownloadBytes();
        curl_easy_cleanup(curl);
        return ok;
    });
}

void BM_PlayerUpload(benchmark::State& state) {
    Vm vm;
    Timed(state, "upload: player", UploadBytes(), [&](Servers& s) {
        VmPushString(vm.state, s.SinkUrl().c_str());
        VmNewTable(vm.state);
        VmPushString(vm.state, "formdata");
        VmNewTable(vm.state);
        VmNewTable(vm.state);
        vm.Field("name", "file");
        vm.Field("file", s.dir + "/upload.bin");
        VmRawSetI(vm.state, -2, 0);
        VmRawSet(vm.state, -3);
        bool ok = vm.Call("uploadfile", 2) == 0 && s.lastUploadBody > static_cast<int64_t>(UploadBytes());
        VmSetTop(vm.state, 0);
        return ok;
    });
}

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

void BM_CurlUpload(benchmark::State& state) {
    Timed(state, "upload: curl", UploadBytes(), [](Servers& s) {
        CURL* curl = curl_easy_init();
        curl_mime* form = curl_mime_init(curl);
        curl_mimepart* part = curl_mime_addpart(form);
        curl_mime_name(part, "file");
        curl_mime_filedata(part, (s.dir + "/upload.bin").c_str());
        curl_slist* headers = curl_slist_append(nullptr, "Expect:");
        curl_easy_setopt(curl, CURLOPT_URL, s.SinkUrl().c_str());
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, form);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        bool ok = curl_easy_perform(curl) == CURLE_OK && s.lastUploadBody > static_cast<int64_t>(UploadBytes());
        curl_easy_cleanup(curl);
        curl_mime_free(form);
        curl_slist_free_all(headers);
        return ok;
    });
}

void PrintRatios() {
    const char* kinds[] = {"download to file", "download to memory", "upload"};
    std::printf("\nthroughput of the player relative to curl (best of each):\n");
    for (const char* kind : kinds) {
        auto player = Best().find(std::string(kind) + ": player");
        auto curl = Best().find(std::string(kind) + ": curl");
        if (player == Best().end() || curl == Best().end()) continue;
        std::printf("  %-20s player %7.1f MB/s, curl %7.1f MB/s, ratio %.2f\n", kind,
                    (kind[0] == 'u' ? UploadBytes() : DownloadBytes()) / 1048576.0 / player->second,
                    (kind[0] == 'u' ? UploadBytes() : DownloadBytes()) / 1048576.0 / curl->second,
                    curl->second / player->second);
    }
}

}  // namespace

BENCHMARK(BM_PlayerDownloadToFile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CurlDownloadToFile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PlayerDownloadToMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CurlDownloadToMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PlayerUpload)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CurlUpload)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
