// Runs a fuzz target without the fuzzing engine: every input of its corpus, then a fixed number of
// inputs mutated from them by a seeded generator, so that a run does the same work every time.
// The sanitizer build links every target with this file and runs it as a test; `make fuzz` runs the
// targets under the coverage-guided engine instead.
//
// Usage: NAME_replay [-runs=N] [-seed=S] [-max_len=BYTES] [-timeout=SECONDS] [-artifacts=DIR]
//                    FILE_OR_FOLDER...
// An input that ends the process (a sanitizer report, a crash, an input running longer than the
// timeout) is written to the artifacts folder first, and the command that replays it is printed.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

struct Options {
    long runs = 1000;
    unsigned seed = 1;
    size_t maxLen = 0;  // 0: the longest corpus input, at least 4096 bytes
    unsigned timeout = 60;
    std::string artifacts = ".";
    std::vector<std::string> paths;
};

// The input being run, for the handlers that write it out when the process ends with it.
std::vector<uint8_t> gCurrent;
char gArtifact[4096];
char gReplay[8192];

void WriteAll(int fd, const char* text) {
    for (size_t left = strlen(text); left > 0;) {
        ssize_t n = write(fd, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

// Only async-signal-safe calls: this runs from the sanitizers' death callback and from SIGALRM.
void SaveCurrentInput() {
    int fd = open(gArtifact, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        size_t done = 0;
        while (done < gCurrent.size()) {
            ssize_t n = write(fd, gCurrent.data() + done, gCurrent.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(fd);
    }
    WriteAll(2, "\nThe input that did it: ");
    WriteAll(2, gArtifact);
    WriteAll(2, "\nReplay: ");
    WriteAll(2, gReplay);
    WriteAll(2, "\n");
}

void OnTimeout(int) {
    WriteAll(2, "\nAn input ran longer than the timeout.");
    SaveCurrentInput();
    _exit(70);
}

#if !defined(__SANITIZE_ADDRESS__)
// Without the sanitizers, a crash is a signal.
void OnFatalSignal(int sig) {
    SaveCurrentInput();
    signal(sig, SIG_DFL);
    raise(sig);
}
#endif

bool ParseOption(const char* arg, const char* name, std::string* value) {
    size_t n = strlen(name);
    if (strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
    *value = arg + n + 1;
    return true;
}

bool ParseArgs(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; i++) {
        std::string v;
        if (ParseOption(argv[i], "-runs", &v)) {
            o->runs = strtol(v.c_str(), nullptr, 10);
        } else if (ParseOption(argv[i], "-seed", &v)) {
            o->seed = static_cast<unsigned>(strtoul(v.c_str(), nullptr, 10));
        } else if (ParseOption(argv[i], "-max_len", &v)) {
            o->maxLen = strtoul(v.c_str(), nullptr, 10);
        } else if (ParseOption(argv[i], "-timeout", &v)) {
            o->timeout = static_cast<unsigned>(strtoul(v.c_str(), nullptr, 10));
        } else if (ParseOption(argv[i], "-artifacts", &v)) {
            o->artifacts = v;
        } else if (argv[i][0] == '-') {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return false;
        } else {
            o->paths.push_back(argv[i]);
        }
    }
    return true;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The files named, and the files of the folders named, in name order.
bool CollectInputs(const std::vector<std::string>& paths, std::vector<std::string>* files) {
    for (const std::string& path : paths) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            fprintf(stderr, "cannot read %s\n", path.c_str());
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            files->push_back(path);
            continue;
        }
        DIR* dir = opendir(path.c_str());
        if (!dir) return false;
        std::vector<std::string> names;
        while (dirent* e = readdir(dir)) {
            std::string file = path + "/" + e->d_name;
            if (e->d_name[0] != '.' && stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(file);
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        files->insert(files->end(), names.begin(), names.end());
    }
    return true;
}

// Values at the edges of the sizes and counts that formats store.
const uint32_t kInteresting[] = {0,      1,      0x7F,    0x80,       0xFF,        0x100,      0x7FFF,
                                 0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};

// One random change of `b`; `other` is another input to splice with.
void MutateOnce(std::vector<uint8_t>& b, const std::vector<uint8_t>& other, std::mt19937& rng, size_t maxLen) {
    auto below = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    switch (rng() % 9) {
    case 0:  // flip a bit
        if (!b.empty()) b[below(b.size())] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
    case 1:  // a random byte
        if (!b.empty()) b[below(b.size())] = static_cast<uint8_t>(rng());
        break;
    case 2:  // add or take a little
        if (!b.empty()) b[below(b.size())] += static_cast<uint8_t>(static_cast<int>(rng() % 17) - 8);
        break;
    case 3: {  // an edge value, 1, 2 or 4 bytes, either byte order
        if (b.empty()) break;
        uint32_t v = kInteresting[rng() % std::size(kInteresting)];
        size_t width = size_t{1} << (rng() % 3), at = below(b.size());
        bool big = rng() & 1;
        for (size_t i = 0; i < width && at + i < b.size(); i++)
            b[at + i] = static_cast<uint8_t>(v >> (8 * (big ? width - 1 - i : i)));
        break;
    }
    case 4: {  // insert random bytes
        size_t at = below(b.size() + 1), n = 1 + rng() % 8;
        std::vector<uint8_t> bytes(n);
        for (uint8_t& x : bytes) x = static_cast<uint8_t>(rng());
        b.insert(b.begin() + static_cast<ptrdiff_t>(at), bytes.begin(), bytes.end());
        break;
    }
    case 5: {  // erase a range
        if (b.size() < 2) break;
        size_t at = below(b.size()), n = 1 + below(std::min<size_t>(b.size() - at, 64));
        b.erase(b.begin() + static_cast<ptrdiff_t>(at), b.begin() + static_cast<ptrdiff_t>(at + n));
        break;
    }
    case 6: {  // copy a range over another place
        if (b.size() < 2) break;
        size_t from = below(b.size()), to = below(b.size());
        size_t n = 1 + below(std::min<size_t>({b.size() - from, b.size() - to, 64}));
        std::memmove(b.data() + to, b.data() + from, n);
        break;
    }
    case 7: {  // this input's start, the other's end
        if (other.empty()) break;
        size_t keep = below(b.size() + 1), from = below(other.size());
        b.resize(keep);
        b.insert(b.end(), other.begin() + static_cast<ptrdiff_t>(from), other.end());
        break;
    }
    default:  // cut the end off
        if (!b.empty()) b.resize(below(b.size()));
        break;
    }
    if (b.size() > maxLen) b.resize(maxLen);
}

void Run(const std::vector<uint8_t>& input, unsigned timeout) {
    // An empty input still comes with a valid pointer, as the fuzzing engine gives it.
    static const uint8_t kNoBytes[1] = {0};
    gCurrent = input;
    alarm(timeout);
    LLVMFuzzerTestOneInput(gCurrent.empty() ? kNoBytes : gCurrent.data(), gCurrent.size());
    alarm(0);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArgs(argc, argv, &o)) return 2;
    std::vector<std::string> files;
    if (!CollectInputs(o.paths, &files)) return 2;
    mkdir(o.artifacts.c_str(), 0755);
    const char* name = strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0];
    snprintf(gArtifact, sizeof gArtifact, "%s/%s-input", o.artifacts.c_str(), name);
    snprintf(gReplay, sizeof gReplay, "%s %s", argv[0], gArtifact);
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(SaveCurrentInput);
#else
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, OnFatalSignal);
#endif
    signal(SIGALRM, OnTimeout);

    std::vector<std::vector<uint8_t>> corpus;
    for (const std::string& file : files) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(file, &bytes)) {
            fprintf(stderr, "cannot read %s\n", file.c_str());
            return 2;
        }
        Run(bytes, o.timeout);
        corpus.push_back(std::move(bytes));
    }
    if (corpus.empty()) corpus.push_back({});
    if (o.maxLen == 0) {
        o.maxLen = 4096;
        for (const std::vector<uint8_t>& c : corpus) o.maxLen = std::max(o.maxLen, c.size());
    }
    std::mt19937 rng(o.seed);
    for (long run = 0; run < o.runs; run++) {
        std::vector<uint8_t> input = corpus[rng() % corpus.size()];
        const std::vector<uint8_t>& other = corpus[rng() % corpus.size()];
        for (unsigned n = 1 + rng() % 4; n > 0; n--) MutateOnce(input, other, rng, o.maxLen);
        Run(input, o.timeout);
    }
    printf("%s: %zu corpus inputs and %ld mutated ones (seed %u)\n", name, files.size(), o.runs, o.seed);
    return 0;
}
