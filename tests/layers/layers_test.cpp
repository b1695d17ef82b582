// The layering of src/: every folder includes only its own and lower layers' headers, operating
// system headers and calls stay in src/platform/, and the build's include roots refuse a backward
// include.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace layers_test {

namespace fs = std::filesystem;

namespace {

// The layers and the layers each builds on, as QZ_LAYERS and QZ_LAYER_DEPS_<layer> in
// CMakeLists.txt. A layer may use what it names and, through those, what they name in turn.
struct Layer {
    std::string name;
    std::vector<std::string> dependsOn;
};
const std::vector<Layer> kLayers = {
    {"base", {}},
    {"platform", {"base"}},
    {"vm", {"platform"}},
    {"runtime", {"vm"}},
    {"gfx", {"runtime"}},
    {"media", {"runtime"}},
    {"net", {"runtime"}},
    {"display", {"gfx", "media", "net"}},
    {"image", {"display"}},
    {"text", {"image"}},
    {"vector", {"text"}},
    {"anim", {"image"}},
    {"sprite", {"text"}},
    {"video", {"anim", "sprite"}},
    {"fx", {"vector"}},
    {"libs", {"gfx", "media", "net", "display", "image", "text", "vector", "anim", "sprite", "video", "fx"}},
    {"player", {"libs"}},
};

bool IsLayer(const std::string& name) {
    return std::any_of(kLayers.begin(), kLayers.end(), [&](const Layer& l) { return l.name == name; });
}

// Every layer that `name` may use (not itself), whether its folder exists or not.
std::set<std::string> Reach(const std::string& name) {
    std::set<std::string> reach;
    for (const Layer& layer : kLayers) {
        if (layer.name != name) continue;
        for (const std::string& dep : layer.dependsOn) {
            reach.insert(dep);
            std::set<std::string> below = Reach(dep);
            reach.insert(below.begin(), below.end());
        }
    }
    return reach;
}

bool MayInclude(const std::string& layer, const std::string& target) {
    return layer == target || Reach(layer).count(target) != 0;
}

struct SourceFile {
    std::string path;   // relative to src/
    std::string layer;  // its first folder
    std::string text;
};

std::vector<SourceFile> ReadSources() {
    std::vector<SourceFile> files;
    fs::path src = fs::path(QZ_SOURCE_DIR) / "src";
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h" && ext != ".c") continue;
        SourceFile f;
        f.path = fs::relative(entry.path(), src).generic_string();
        f.layer = f.path.substr(0, f.path.find('/'));
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        f.text = s.str();
        files.push_back(std::move(f));
    }
    return files;
}

// The file's "#include" lines: {quoted?, name, line number}.
struct Include {
    bool quoted;
    std::string name;
    int line;
};

std::vector<Include> IncludesOf(const std::string& text) {
    std::vector<Include> out;
    std::istringstream in(text);
    std::string line;
    for (int n = 1; std::getline(in, line); n++) {
        size_t p = line.find_first_not_of(" \t");
        if (p == std::string::npos || line[p] != '#') continue;
        p = line.find_first_not_of(" \t", p + 1);
        if (line.compare(p, 7, "include") != 0) continue;
        p = line.find_first_of("\"<", p + 7);
        if (p == std::string::npos) continue;
        char close = line[p] == '"' ? '"' : '>';
        size_t end = line.find(close, p + 1);
        if (end == std::string::npos) continue;
        out.push_back({close == '"', line.substr(p + 1, end - p - 1), n});
    }
    return out;
}

// The text with comments, string literals and character literals blanked (line breaks kept), so
// that only code is searched for calls.
std::string CodeOnly(const std::string& text) {
    std::string out = text;
    size_t i = 0;
    while (i < out.size()) {
        if (out.compare(i, 2, "//") == 0) {
            while (i < out.size() && out[i] != '\n') out[i++] = ' ';
        } else if (out.compare(i, 2, "/*") == 0) {
            size_t end = out.find("*/", i + 2);
            end = end == std::string::npos ? out.size() : end + 2;
            for (; i < end; i++)
                if (out[i] != '\n') out[i] = ' ';
        } else if (out.compare(i, 2, "R\"") == 0 && (i == 0 || !std::isalnum(static_cast<unsigned char>(out[i - 1])))) {
            size_t open = out.find('(', i);
            std::string close = ")" + out.substr(i + 2, open - i - 2) + "\"";
            size_t end = out.find(close, open);
            end = end == std::string::npos ? out.size() : end + close.size();
            for (; i < end; i++)
                if (out[i] != '\n') out[i] = ' ';
        } else if (out[i] == '"' ||
                   (out[i] == '\'' && (i == 0 || !std::isxdigit(static_cast<unsigned char>(out[i - 1]))))) {
            char quote = out[i];
            out[i++] = ' ';
            while (i < out.size() && out[i] != quote && out[i] != '\n') {
                if (out[i] == '\\' && i + 1 < out.size()) out[i++] = ' ';
                out[i++] = ' ';
            }
            if (i < out.size() && out[i] == quote) out[i++] = ' ';
        } else {
            i++;
        }
    }
    return out;
}

bool IsOsHeader(const std::string& name) {
    static const std::set<std::string> kExact = {"unistd.h",   "dirent.h",   "fcntl.h", "dlfcn.h",  "pthread.h",
                                                 "langinfo.h", "termios.h",  "poll.h",  "netdb.h",  "signal.h",
                                                 "csignal",    "spawn.h",    "pwd.h",   "glob.h",   "strings.h",
                                                 "thread",     "filesystem", "fstream", "ifaddrs.h"};
    static const char* const kPrefixes[] = {"sys/",     "SDL",   "X11/", "libav",  "libsw", "fontconfig/",
                                            "netinet/", "arpa/", "net/", "linux/", "alsa/"};
    if (kExact.count(name)) return true;
    for (const char* prefix : kPrefixes)
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

// Calls of the C library and POSIX that reach the operating system: files by name, directories,
// the environment, processes, clocks, the user's locale and sockets.
bool IsOsCall(const std::string& name) {
    static const std::set<std::string> kCalls = {
        "fopen",    "freopen",   "fdopen",      "popen",  "pclose",   "tmpfile",  "opendir",       "readdir",
        "closedir", "chdir",     "getcwd",      "unlink", "rmdir",    "mkdir",    "realpath",      "stat",
        "lstat",    "fstat",     "access",      "getenv", "setenv",   "unsetenv", "putenv",        "system",
        "dlopen",   "localtime", "localtime_r", "gmtime", "gmtime_r", "time",     "clock_gettime", "gettimeofday",
        "sleep",    "usleep",    "nanosleep",   "uname",  "socket",   "fork",     "execv",         "execvp",
        "waitpid",  "kill",      "nl_langinfo", "remove", "rename",   "isatty",   "sysconf"};
    return kCalls.count(name) != 0;
}

// Calls named in kCalls that the code makes: an identifier followed by '(', not a member
// (".", "->") and not qualified by anything but "std::" or the global "::".
std::vector<std::string> OsCallsIn(const std::string& code) {
    std::vector<std::string> found;
    size_t i = 0;
    int line = 1;
    while (i < code.size()) {
        char c = code[i];
        if (c == '\n') line++;
        if (!(std::isalpha(static_cast<unsigned char>(c)) || c == '_')) {
            i++;
            continue;
        }
        size_t start = i;
        while (i < code.size() && (std::isalnum(static_cast<unsigned char>(code[i])) || code[i] == '_')) i++;
        std::string word = code.substr(start, i - start);
        size_t after = code.find_first_not_of(" \t", i);
        if (after == std::string::npos || code[after] != '(' || !IsOsCall(word)) continue;
        size_t before = start;
        while (before > 0 && (code[before - 1] == ' ' || code[before - 1] == '\t')) before--;
        if (before > 0 && code[before - 1] == '.') continue;
        if (before > 1 && code.compare(before - 2, 2, "->") == 0) continue;
        if (before > 1 && code.compare(before - 2, 2, "::") == 0) {
            size_t q = before - 2;
            size_t qs = q;
            while (qs > 0 && (std::isalnum(static_cast<unsigned char>(code[qs - 1])) || code[qs - 1] == '_')) qs--;
            std::string qualifier = code.substr(qs, q - qs);
            if (!qualifier.empty() && qualifier != "std") continue;
        } else if (before > 0 &&
                   (std::isalnum(static_cast<unsigned char>(code[before - 1])) || code[before - 1] == '_')) {
            // A declaration such as "int stat(": a type name stands before it.
            size_t ws = before;
            while (ws > 0 && (std::isalnum(static_cast<unsigned char>(code[ws - 1])) || code[ws - 1] == '_')) ws--;
            std::string prev = code.substr(ws, before - ws);
            if (prev != "return" && prev != "else" && prev != "do") continue;
        }
        found.push_back(word + "() on line " + std::to_string(line));
    }
    return found;
}

TEST(Layers, EveryFolderOfSrcIsALayer) {
    for (const auto& entry : fs::directory_iterator(fs::path(QZ_SOURCE_DIR) / "src")) {
        if (entry.is_directory()) {
            EXPECT_TRUE(IsLayer(entry.path().filename().string())) << entry.path();
        }
    }
}

TEST(Layers, EachLayerBuildsOnlyOnLayersBeforeIt) {
    std::set<std::string> before;
    for (const Layer& layer : kLayers) {
        for (const std::string& dep : layer.dependsOn)
            EXPECT_TRUE(before.count(dep)) << layer.name << " builds on " << dep << ", which does not come before it";
        before.insert(layer.name);
    }
}

TEST(Layers, IncludesOnlyReachLayersTheLayerBuildsOn) {
    for (const SourceFile& f : ReadSources()) {
        for (const Include& inc : IncludesOf(f.text)) {
            if (!inc.quoted) continue;
            const std::string target = inc.name.substr(0, inc.name.find('/'));
            if (!IsLayer(target)) continue;  // a header beside the file
            EXPECT_TRUE(MayInclude(f.layer, target))
                << "src/" << f.path << ":" << inc.line << " includes \"" << inc.name << "\" of layer " << target
                << ", which " << f.layer << " does not build on";
        }
    }
}

TEST(Layers, OperatingSystemHeadersAndCallsStayInPlatform) {
    for (const SourceFile& f : ReadSources()) {
        if (f.layer == "platform") continue;
        for (const Include& inc : IncludesOf(f.text))
            EXPECT_FALSE(!inc.quoted && IsOsHeader(inc.name)) << "src/" << f.path << ":" << inc.line << " includes <"
                                                              << inc.name << ">; OS headers belong in src/platform/";
        for (const std::string& call : OsCallsIn(CodeOnly(f.text)))
            ADD_FAILURE() << "src/" << f.path << " calls " << call << "; OS calls belong in src/platform/";
    }
}

// The scanner itself: what it must find and what it must leave alone.
TEST(Layers, CallScannerFindsCallsButNotMembersDeclarationsOrText) {
    struct Case {
        const char* code;
        size_t calls;
    };
    const Case cases[] = {
        {"FILE* f = fopen(name, \"rb\");", 1},
        {"if (std::getenv(\"HOME\")) {}", 1},
        {"::unlink(p);", 1},
        {"return stat(p, &st);", 1},
        {"if (ok && chdir(dir) != 0) {} else unlink(p);", 2},
        {"file->stat(p); obj.time(); Os::chdir(x);", 0},
        {"struct stat st; int stat(const char*);", 0},
        {"// fopen(name)\nPrint(\"time(\"); /* chdir( */", 0},
        {"char c = '('; R\"(fopen(x))\";", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(OsCallsIn(CodeOnly(c.code)).size(), c.calls) << c.code;
}

// Compiles a one-line source with a layer's include root; returns the compiler's exit status and
// its messages.
int CompileWithLayerRoot(const std::string& layer, const std::string& include, std::string* messages) {
    fs::path dir = fs::temp_directory_path() /
                   ("qz-layers-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + layer);
    fs::create_directories(dir);
    fs::path source = dir / "probe.cpp";
    fs::path log = dir / "probe.log";
    std::ofstream(source) << "#include \"" << include << "\"\n";
    std::string command = std::string(QZ_CXX_COMPILER) + " -std=c++20 -fsyntax-only -I" + QZ_BINARY_DIR +
                          "/layer-include/" + layer + " " + source.string() + " > " + log.string() + " 2>&1";
    int status = std::system(command.c_str());
    std::ifstream in(log);
    std::ostringstream s;
    s << in.rdbuf();
    *messages = s.str();
    fs::remove_all(dir);
    return status;
}

TEST(Layers, IncludeRootsRefuseHigherLayers) {
    std::string messages;
    EXPECT_NE(CompileWithLayerRoot("platform", "runtime/object_id.h", &messages), 0);
    EXPECT_NE(messages.find("runtime/object_id.h"), std::string::npos) << messages;
    EXPECT_NE(CompileWithLayerRoot("vm", "player/startup.h", &messages), 0);
    // The same header compiles from a layer that may see it.
    EXPECT_EQ(CompileWithLayerRoot("runtime", "runtime/object_id.h", &messages), 0) << messages;
}

// Side by side in the graph: sound and network see neither the graphics engines nor each other;
// the display code sees both.
TEST(Layers, IncludeRootsRefuseLayersBesideThem) {
    struct Case {
        const char* layer;
        const char* include;
        bool compiles;
    };
    const Case cases[] = {
        {"media", "gfx/bitmap.h", false},
        {"media", "net/net_events.h", false},
        {"net", "display/display.h", false},
        {"net", "media/sound/sound_events.h", false},
        {"gfx", "net/net_events.h", false},
        {"display", "net/net_events.h", true},
        {"display", "media/sound/sound_events.h", true},
    };
    for (const Case& c : cases) {
        std::string messages;
        EXPECT_EQ(CompileWithLayerRoot(c.layer, c.include, &messages) == 0, c.compiles)
            << c.layer << " includes " << c.include << ": " << messages;
    }
}

// The build's include roots hold the folders of exactly the layers the graph above lets each
// layer use, so the graph here and the one in CMakeLists.txt cannot drift apart.
TEST(Layers, IncludeRootsFollowTheGraph) {
    const fs::path src = fs::path(QZ_SOURCE_DIR) / "src";
    const fs::path roots = fs::path(QZ_BINARY_DIR) / "layer-include";
    for (const Layer& layer : kLayers) {
        if (!fs::is_directory(src / layer.name)) continue;
        std::set<std::string> expected = {layer.name};
        for (const std::string& reached : Reach(layer.name))
            if (fs::is_directory(src / reached)) expected.insert(reached);
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(roots / layer.name))
            found.insert(entry.path().filename().string());
        EXPECT_EQ(found, expected) << "include root of " << layer.name;
    }
}

}  // namespace

}  // namespace layers_test
