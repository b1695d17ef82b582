// A 1080p30 H.264 film (ten seconds of ffmpeg's test pattern) played on a 1920 x 1080 display by
// an applet, beside `ffmpeg -i FILE -f null -` decoding the same file, in one run:
// - headless (the in-memory windows of the headless driver);
// - under Xvfb with the SDL driver, an X server this program starts on a free display number and
//   stops again (skipped when Xvfb is not installed).
// Each playing runs the player in a child process (fork, then the player's own start-up on the
// applet) so that its CPU time is its own; the X server's CPU time is read from /proc and added.
// Reported for each: frames shown (drawn into the window) and their rate over the film's length,
// frames dropped (the film's frames never shown), the CPU time and share of a core, and the CPU
// time against ffmpeg's, the goal being under 1.5. Both sides are counted whole: ffmpeg runs in a
// child process too, and its CPU time includes its start as the player's does; its own -benchmark
// count leaves out its start (loading its libraries, about a fifth of the whole) and is shown
// beside it.
//
// Run it on two cores (`taskset -c 6,7 video_play_bench`) for the two-core figures: the children
// inherit the affinity.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "asm/asm.h"
#include "platform/movie_player.h"
#include "player/startup.h"

namespace {

constexpr int kSeconds = 10;
constexpr int kFps = 30;
constexpr int kFrames = kSeconds * kFps;

std::string Folder() {
    static std::string dir = [] {
        std::string d = "/tmp/qzvideoplay-" + std::to_string(getpid());
        mkdir(d.c_str(), 0700);
        return d;
    }();
    return dir;
}

std::string& Film() {
    static std::string path = [] {
        std::string p = Folder() + "/film.mp4";
        std::string command =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=1920x1080:rate=" + std::to_string(kFps) +
            ":duration=" + std::to_string(kSeconds) + " -c:v libx264 -pix_fmt yuv420p '" + p + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) p.clear();
        return p;
    }();
    return path;
}

// Opens a 1920 x 1080 display (display 2), plays the film at its top left corner and waits until it is no
// longer playing.
std::string& Applet() {
    static std::string path = [] {
        const std::string text =
            ".applet\n.record 10 u8 6 u8 0\n.function main\n"
            "    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    NEWTABLE r2 0 0\n"
            "    SETTABLE r2 \"width\" 1920\n    SETTABLE r2 \"height\" 1080\n    CALL r0 3 1\n"
            "    GETGLOBAL r0 \"opendisplay\"\n    LOADK r1 2\n    CALL r0 2 1\n"
            "    GETGLOBAL r0 \"openvideo\"\n    LOADK r1 1\n    LOADK r2 \"" +
            Film() +
            "\"\n    CALL r0 3 1\n"
            "    GETGLOBAL r0 \"playvideo\"\n    LOADK r1 1\n    LOADK r2 0\n    LOADK r3 0\n    CALL r0 4 1\n"
            "wait:\n    GETGLOBAL r0 \"wait\"\n    LOADK r1 2\n    CALL r0 2 1\n"
            "    GETGLOBAL r0 \"isvideoplaying\"\n    LOADK r1 1\n    CALL r0 2 2\n"
            "    EQ 1 r0 1\n    JMP wait\n    RETURN r0 1\n.end\n";
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        std::string p = Folder() + "/play.qza";
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return bytes.empty() || !out ? std::string() : p;
    }();
    return path;
}

// Utime plus stime of a process, seconds, from /proc; 0 when it cannot be read.
double ProcessCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return 0;
    size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; rest >> field; i++) {
        if (i == 14) utime = std::atof(field.c_str());
        if (i == 15) {
            stime = std::atof(field.c_str());
            break;
        }
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Played {
    bool ok = false;
    uint64_t shown = 0;
    double cpu = 0;     // the player's, seconds
    double server = 0;  // the X server's, seconds
    double wall = 0;
};

// Plays the applet in a child process with the environment given.
Played Play(const std::vector<std::pair<std::string, std::string>>& env) {
    Played r;
    int fds[2];
    if (pipe(fds) != 0) return r;
    auto began = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        unsetenv("QUARNELIX_INPUT");
        unsetenv("QUARNELIX_AUDIO_CAPTURE");
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        const char* argv[] = {"qzplayer", "-QUIET", Applet().c_str(), nullptr};
        RunPlayer(3, argv);
        uint64_t shown = MacMovieFramesDrawn();
        ssize_t written = write(fds[1], &shown, sizeof shown);
        _exit(written == sizeof shown ? 0 : 1);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return r;
    }
    uint64_t shown = 0;
    ssize_t got = read(fds[0], &shown, sizeof shown);
    close(fds[0]);
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.ok = got == sizeof shown && WIFEXITED(status) && WEXITSTATUS(status) == 0 && shown > 0;
    r.shown = shown;
    return r;
}

// An X server of our own: started on the first free display number, stopped by its process id.
struct XServer {
    pid_t pid = -1;
    std::string display;
    bool Start() {
        if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) return false;
        for (int n = 90; n < 120; n++) {
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (access(lock.c_str(), F_OK) == 0) continue;
            char name[16];
            std::snprintf(name, sizeof name, ":%d", n);
            display = name;
            pid = fork();
            if (pid == 0) {
                int null = open("/dev/null", O_WRONLY);
                dup2(null, 1);
                dup2(null, 2);
                execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
                       static_cast<char*>(nullptr));
                _exit(127);
            }
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            for (int i = 0; i < 100; i++) {
                if (access(socket.c_str(), F_OK) == 0) return true;
                if (waitpid(pid, nullptr, WNOHANG) == pid) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            Stop();
        }
        return false;
    }
    void Stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

void Report(benchmark::State& state, const Played& p) {
    state.SetIterationTime(p.wall);
    state.counters["shown"] = static_cast<double>(p.shown);
    state.counters["shown_per_s"] = static_cast<double>(p.shown) / kSeconds;
    state.counters["dropped"] = p.shown >= kFrames ? 0.0 : static_cast<double>(kFrames - p.shown);
    state.counters["cpu_s"] = p.cpu + p.server;
    state.counters["cpu_share"] = (p.cpu + p.server) / kSeconds;
    state.counters["server_cpu_s"] = p.server;
}

void BM_Play_Headless(benchmark::State& state) {
    if (Film().empty() || Applet().empty()) {
        state.SkipWithError("ffmpeg made no film");
        return;
    }
    for (auto _ : state) {
        Played p = Play({{"QUARNELIX_DRIVER", "headless"}});
        if (!p.ok) {
            state.SkipWithError("the player failed");
            break;
        }
        Report(state, p);
    }
}

void BM_Play_Xvfb(benchmark::State& state) {
    if (Film().empty() || Applet().empty()) {
        state.SkipWithError("ffmpeg made no film");
        return;
    }
    for (auto _ : state) {
        XServer x;
        if (!x.Start()) {
            state.SkipWithError("no Xvfb");
            break;
        }
        double before = ProcessCpu(x.pid);
        Played p = Play({{"QUARNELIX_DRIVER", "sdl"}, {"DISPLAY", x.display}, {"SDL_AUDIODRIVER", "dummy"}});
        p.server = ProcessCpu(x.pid) - before;
        x.Stop();
        if (!p.ok) {
            state.SkipWithError("the player failed");
            break;
        }
        Report(state, p);
    }
}

// ffmpeg decoding the film in a child process, counted as the player is: the whole process's CPU
// time, its start (loading its libraries) included. Its own -benchmark count (from after its start
// to its end) is kept beside it.
void BM_Decode_Ffmpeg(benchmark::State& state) {
    if (Film().empty()) {
        state.SkipWithError("ffmpeg made no film");
        return;
    }
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        auto began = std::chrono::steady_clock::now();
        pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            dup2(fds[1], 2);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            execlp("ffmpeg", "ffmpeg", "-nostdin", "-benchmark", "-i", Film().c_str(), "-f", "null", "-",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        double utime = 0, stime = 0;
        if (FILE* p = child > 0 ? fdopen(fds[0], "r") : nullptr) {
            char line[512];
            while (std::fgets(line, sizeof line, p)) {
                double u, s, r;
                if (std::sscanf(line, "bench: utime=%lfs stime=%lfs rtime=%lfs", &u, &s, &r) == 3) {
                    utime = u;
                    stime = s;
                }
            }
            std::fclose(p);
        } else {
            close(fds[0]);
        }
        int status = 0;
        struct rusage usage = {};
        if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        state.SetIterationTime(wall);
        state.counters["cpu_s"] = cpu;
        state.counters["cpu_share"] = cpu / wall;
        state.counters["benchmark_cpu_s"] = utime + stime;
    }
}

// Keeps the counters of every run for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::map<std::string, double>> counters;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
            for (const auto& [key, counter] : r.counters) counters[name][key] = counter.value;
        }
    }
};

}  // namespace

BENCHMARK(BM_Decode_Ffmpeg)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Play_Headless)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Play_Xvfb)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& c = reporter.counters;
    auto decode = c.find("BM_Decode_Ffmpeg");
    cpu_set_t cores;
    CPU_ZERO(&cores);
    int count = sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) : 0;
    std::printf("\n%d s of 1080p%d H.264 (%d frames), on %d cores\n", kSeconds, kFps, kFrames, count);
    // Against ffmpeg's whole process (as the player is counted), and against its own -benchmark count.
    const double whole = decode != c.end() ? decode->second.at("cpu_s") : 0.0;
    const double own = decode != c.end() ? decode->second.at("benchmark_cpu_s") : 0.0;
    std::printf("%-22s %8s %8s %10s %10s %12s\n", "", "shown/s", "dropped", "CPU s", "CPU/decode", "CPU/-bench");
    if (decode != c.end())
        std::printf("%-22s %8s %8s %10.2f %10.2f %12.2f\n", "ffmpeg decode alone", "-", "-", whole, 1.0,
                    own > 0 ? whole / own : 0.0);
    if (own > 0) std::printf("%-22s %8s %8s %10.2f %10s %12.2f\n", "  its -benchmark count", "-", "-", own, "-", 1.0);
    for (const char* name : {"BM_Play_Headless", "BM_Play_Xvfb"}) {
        auto it = c.find(name);
        if (it == c.end()) continue;
        const auto& m = it->second;
        std::printf("%-22s %8.1f %8.0f %10.2f %10.2f %12.2f\n", name + 8, m.at("shown_per_s"), m.at("dropped"),
                    m.at("cpu_s"), whole > 0 ? m.at("cpu_s") / whole : 0.0, own > 0 ? m.at("cpu_s") / own : 0.0);
    }
    benchmark::Shutdown();
    std::system(("rm -rf '" + Folder() + "'").c_str());
    return 0;
}
