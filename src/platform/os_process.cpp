// Program execution with posix_spawn, document opening through xdg-open, and folder queries.
#include "platform/os_process.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_path.h"

extern char** environ;

namespace {

constexpr size_t kMaxArgs = 128;

bool EndsWith(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    return text.size() > 5 && text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool IsExecutable(const std::string& fsPath) {
    struct stat st;
    return stat(fsPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(fsPath.c_str(), X_OK) == 0;
}

// Reaps a child that nobody waits for, so it does not linger as a zombie. The child runs
// already: when no thread can be made for it (out of memory), it stays unreaped until the player
// ends rather than its start being reported as failed.
void ReapInBackground(pid_t pid) {
    try {
        std::thread([pid] {
            int status;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::exception&) {
    }
}

// Starts argv[0] along the search path; output goes to outputFile when one is given.
bool Spawn(const std::vector<std::string>& args, const std::string* outputFile, bool wait) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outputFile) {
        posix_spawn_file_actions_addopen(&actions, 1, outputFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    if (wait) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else {
        ReapInBackground(pid);
    }
    return true;
}

// Engine text (ISO 8859-1) in the file system's encoding, without touching separators.
std::string ToFileSystemText(const char* text) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x80) {
            out += static_cast<char>(*p);
        } else {
            out += static_cast<char>(0xC0 | (*p >> 6));
            out += static_cast<char>(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

// Splits the argument text of an asynchronous run. Returns 0 or ERR_WRONGUSAGE.
int SplitArguments(const char* text, std::vector<std::string>* args, std::string* outputFile, bool* hasOutput) {
    const char* p = text;
    bool wantOutputName = false;
    while (true) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        std::string token;
        if (*p == '"') {
            const char* close = std::strchr(p + 1, '"');
            if (!close) return ERR_WRONGUSAGE;
            token.assign(p + 1, static_cast<size_t>(close - p - 1));
            p = close + 1;
        } else {
            const char* start = p;
            while (*p && *p != ' ' && *p != '\t') ++p;
            token.assign(start, static_cast<size_t>(p - start));
            if (!wantOutputName && token[0] == '>') {
                if (token.size() > 1) {
                    *outputFile = token.substr(1);
                    *hasOutput = true;
                } else {
                    wantOutputName = true;
                }
                continue;
            }
        }
        if (wantOutputName) {
            *outputFile = token;
            *hasOutput = true;
            wantOutputName = false;
            continue;
        }
        if (args->size() >= kMaxArgs) return ERR_WRONGUSAGE;
        args->push_back(ToFileSystemText(token.c_str()));
    }
    if (wantOutputName) return ERR_WRONGUSAGE;
    return 0;
}

}  // namespace

int OsExecute(const char* program, const char* arguments, int async) {
    if (!program) return ERR_WRONGUSAGE;
    char converted[QZ_PATH_MAX];
    const char* path = OsConvertPath(program, converted);
    std::string fsProgram;
    if (!OsExistingFileSystemPath(path, &fsProgram)) return ERR_MEM;

    // A name with an extension that is not a program is a document: open it with the desktop's
    // default application. Executable files count as programs whatever their name.
    std::string pathText = path;
    std::string filePart = pathText.substr(GetPathPartEnd(path));
    bool hasDot = filePart.find('.') != std::string::npos;
    bool programSuffix = EndsWith(pathText, ".app") || EndsWith(pathText, ".exe");
    bool executable = IsExecutable(fsProgram);
    if (!executable && fsProgram.find('/') == std::string::npos) {
        // A bare name is searched along the executable search path, as the start itself does.
        const char* searchPath = std::getenv("PATH");
        std::string dirs = searchPath ? searchPath : "";
        size_t begin = 0;
        while (!executable && begin <= dirs.size()) {
            size_t end = dirs.find(':', begin);
            if (end == std::string::npos) end = dirs.size();
            std::string dir = dirs.substr(begin, end - begin);
            executable = IsExecutable((dir.empty() ? std::string(".") : dir) + "/" + fsProgram);
            begin = end + 1;
        }
    }
    if (hasDot && !programSuffix && !executable) {
        OsOpenWithDesktop(fsProgram.c_str());
        return 0;
    }

    if (!async) {
        std::string line = fsProgram;
        if (arguments && *arguments) {
            line += ' ';
            line += ToFileSystemText(arguments);
        }
        Spawn({"/bin/sh", "-c", line}, nullptr, true);
        return 0;
    }

    std::vector<std::string> args;
    args.push_back(fsProgram);
    std::string outputFile;
    bool hasOutput = false;
    if (arguments) {
        int rc = SplitArguments(arguments, &args, &outputFile, &hasOutput);
        if (rc) return rc;
    }
    std::string fsOutput;
    if (hasOutput) MacPathToFileSystem(outputFile.c_str(), &fsOutput);
    // A program that cannot be started is not reported (the run simply does nothing).
    Spawn(args, hasOutput ? &fsOutput : nullptr, false);
    return 0;
}

bool OsOpenWithDesktop(const char* target) { return target && Spawn({"xdg-open", target}, nullptr, false); }

bool MacGetExecutablePath(char* buffer, size_t size) {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        CopyPathOut("", buffer, size);
        return false;
    }
    path[n] = '\0';
    std::string engine = FileSystemToEnginePath(path);
    if (engine.size() >= size) {
        CopyPathOut("", buffer, size);
        return false;
    }
    CopyPathOut(engine, buffer, size);
    return true;
}

bool MacGetBundlePath(char* buffer, size_t size) {
    if (!MacGetExecutablePath(buffer, size)) return false;
    buffer[GetPathPartEnd(buffer)] = '\0';
    return true;
}

void MacGetBundleExecutableArgs(char* buffer, size_t size) { CopyPathOut("", buffer, size); }

int MacGetSystemFolder(int kind, char* buffer, size_t size) {
    CopyPathOut("", buffer, size);
    const char* home = std::getenv("HOME");
    const struct passwd* pw = getpwuid(getuid());
    if (!home && pw) home = pw->pw_dir;
    std::string result;
    struct stat st;
    switch (kind) {
    case 0: result = "/usr/share/applications"; break;
    case 1: {
        const char* data = std::getenv("XDG_DATA_HOME");
        if (data && *data)
            result = data;
        else if (home)
            result = std::string(home) + "/.local/share";
        break;
    }
    case 2:
        if (home) result = home;
        break;
    case 3:
        if (home) result = std::string(home) + "/Documents";
        break;
    case 4:
        if (pw) {
            std::string gecos = pw->pw_gecos ? pw->pw_gecos : "";
            result = gecos.substr(0, gecos.find(','));
            if (result.empty() && pw->pw_name) result = pw->pw_name;
        }
        break;
    default: break;
    }
    // A folder that does not exist is not reported.
    if (kind != 4 && !result.empty() && (stat(result.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) result.clear();
    CopyPathOut(FileSystemToEnginePath(result), buffer, size);
    return 0;
}
