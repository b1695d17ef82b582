// stdio-backed platform files, chunk windows into containers and windows onto registered memory.
#include "platform/os_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/os_process.h"

namespace {

void StoreName(qzPlatformFile* file, std::string_view name) {
    size_t len = name.size() < QZ_PATH_MAX - 1 ? name.size() : QZ_PATH_MAX - 1;
    std::memcpy(file->name, name.data(), len);
    file->name[len] = '\0';
}

// Opens a chunk name as a window. Windows are read-only: they lie inside a container (often the
// applet itself), and a write mode would truncate or overwrite it.
qzPlatformFile* OpenChunk(qzPlatformFile* file, const char* name, int mode) {
    qzChunkNameParts parts;
    if ((mode & (QZ_OPEN_WRITE | QZ_OPEN_READWRITE)) || !ParseChunkName(name, &parts)) return nullptr;
    StoreName(file, name);
    file->window = 1;
    file->windowStart = static_cast<int64_t>(parts.offset);
    file->size = static_cast<int64_t>(parts.size);
    if (parts.containerPath.empty()) {
        // Memory data: only blocks the player registered itself.
        file->memory = FindChunkMemory(parts.address, parts.size);
        return file->memory ? file : nullptr;
    }
    std::string fsPath;
    if (!OsExistingFileSystemPath(parts.containerPath.c_str(), &fsPath)) return nullptr;
    file->stream = std::fopen(fsPath.c_str(), "rb");
    if (!file->stream) return nullptr;
    struct stat st;
    if (fstat(fileno(file->stream), &st) != 0 || S_ISDIR(st.st_mode) ||
        fseeko(file->stream, static_cast<off_t>(file->windowStart), SEEK_SET) != 0) {
        std::fclose(file->stream);
        file->stream = nullptr;
        return nullptr;
    }
    // A window never reaches past the container's end: bytes that a name claims beyond it do not
    // exist, and the size must not make a reader allocate for them.
    int64_t available =
        static_cast<int64_t>(st.st_size) > file->windowStart ? static_cast<int64_t>(st.st_size) - file->windowStart : 0;
    if (file->size > available) file->size = available;
    return file;
}

qzPlatformFile* OpenPlain(qzPlatformFile* file, const char* name, int mode) {
    const char* stdioMode = (mode & QZ_OPEN_WRITE) ? "wb" : (mode & QZ_OPEN_READWRITE) ? "r+b" : "rb";
    std::string fsPath;
    if (!OsExistingFileSystemPath(name, &fsPath)) return nullptr;
    // Room for the resolved name is taken before the file is opened (and, for writing,
    // truncated): nothing after the open can run out of memory.
    std::string engineName;
    engineName.reserve(PATH_MAX);
    file->stream = std::fopen(fsPath.c_str(), stdioMode);
    if (!file->stream && (mode & QZ_OPEN_READWRITE) && !(mode & QZ_OPEN_WRITE)) {
        // Update mode on a missing file: create it once and open it again.
        if (FILE* created = std::fopen(fsPath.c_str(), "wb")) {
            std::fclose(created);
            file->stream = std::fopen(fsPath.c_str(), stdioMode);
        }
    }
    if (!file->stream) return nullptr;
    struct stat st;
    if (fstat(fileno(file->stream), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(file->stream);
        file->stream = nullptr;
        return nullptr;
    }
    char resolved[PATH_MAX];
    if (realpath(fsPath.c_str(), resolved)) {
        FileSystemToEnginePath(std::string_view(resolved), &engineName);
        StoreName(file, engineName);
    } else {
        StoreName(file, name);
    }
    file->size = -1;
    if (mode & QZ_OPEN_READ) {
        if (fseeko(file->stream, 0, SEEK_END) == 0) {
            off_t end = ftello(file->stream);
            if (end >= 0) file->size = static_cast<int64_t>(end);
        }
        fseeko(file->stream, 0, SEEK_SET);
    }
    return file;
}

// Bytes left before the end of a window (or of a memory block); unlimited for plain files.
uint64_t Remaining(const qzPlatformFile* file) {
    if (!file->window) return UINT64_MAX;
    if (file->position >= file->size) return 0;
    return static_cast<uint64_t>(file->size - file->position);
}

// stdio needs a positioning call between writing and reading, and between reading and writing.
void SwitchDirection(qzPlatformFile* file, bool toWrite) {
    if (file->stream && (file->lastWasWrite != 0) != toWrite) fseeko(file->stream, 0, SEEK_CUR);
    file->lastWasWrite = toWrite ? 1 : 0;
}

}  // namespace

bool OsCreateSiblingTempFile(const char* target, std::string* tempName, std::string* finalName) {
    if (!target || !*target) return false;
    std::string fsTarget;
    if (!OsExistingFileSystemPath(target, &fsTarget)) return false;
    *finalName = target;
    struct stat st;
    if (lstat(fsTarget.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(fsTarget.c_str(), resolved)) {
            fsTarget = resolved;
            *finalName = FileSystemToEnginePath(fsTarget);
        }
    }
    bool existed = stat(fsTarget.c_str(), &st) == 0;
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof(suffix), ".qz%d.%u", static_cast<int>(getpid()), counter.fetch_add(1));
        std::string fsTemp = fsTarget + suffix;
        // Both names are made before the file: running out of memory then leaves nothing behind.
        std::string engineTemp = FileSystemToEnginePath(fsTemp);
        int fd = open(fsTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (existed) fchmod(fd, st.st_mode & 07777);
        close(fd);
        *tempName = std::move(engineTemp);
        return true;
    }
    return false;
}

bool OsExpandProgDir(const char* name, char* buffer, size_t bufferSize) {
    static const char kPrefix[] = "PROGDIR:";
    if (std::strncmp(name, kPrefix, sizeof(kPrefix) - 1) != 0) return false;
    char exe[QZ_PATH_MAX];
    if (!MacGetExecutablePath(exe, sizeof(exe))) return false;
    exe[GetPathPartEnd(exe)] = '\0';
    std::string joined = exe;
    AddPathPart(joined, name + sizeof(kPrefix) - 1);
    if (joined.size() >= bufferSize || joined.size() >= QZ_PATH_MAX) return false;
    std::memcpy(buffer, joined.c_str(), joined.size() + 1);
    return true;
}

qzPlatformFile* OsOpenFile(const char* name, int mode) {
    if (!name) return nullptr;
    // Owned until it is handed out: running out of memory in a name conversion frees it.
    std::unique_ptr<qzPlatformFile, decltype(&std::free)> file(
        static_cast<qzPlatformFile*>(std::calloc(1, sizeof(qzPlatformFile))), &std::free);
    if (!file) return nullptr;
    char expanded[QZ_PATH_MAX];
    if (std::strncmp(name, "PROGDIR:", 8) == 0) {
        if (!OsExpandProgDir(name, expanded, sizeof(expanded))) return nullptr;
        name = expanded;
    }
    qzPlatformFile* opened = IsChunkName(name) ? OpenChunk(file.get(), name, mode) : OpenPlain(file.get(), name, mode);
    if (!opened) return nullptr;
    return file.release();
}

int OsCloseFile(qzPlatformFile* file) {
    if (!file) return 1;
    int result = 1;
    if (file->stream && std::fclose(file->stream) != 0) result = 0;
    std::free(file->line);
    std::free(file);
    return result;
}

int64_t OsSeekFile(qzPlatformFile* file, int64_t offset, int mode) {
    int64_t previous = file->position;
    int64_t target;
    bool overflow = false;
    switch (mode) {
    case QZ_SEEK_BEGINNING: overflow = __builtin_add_overflow(file->windowStart, offset, &target); break;
    case QZ_SEEK_CURRENT: overflow = __builtin_add_overflow(file->windowStart + file->position, offset, &target); break;
    case QZ_SEEK_END:
        if (!file->window) {
            // A plain file is positioned from its real end, which may have moved since the open.
            if (!file->stream || fseeko(file->stream, static_cast<off_t>(offset), SEEK_END) != 0) return -1;
            off_t pos = ftello(file->stream);
            if (pos < 0) return -1;
            file->lastWasWrite = 0;
            file->position = static_cast<int64_t>(pos);
            return previous;
        }
        overflow = __builtin_add_overflow(file->windowStart + file->size, offset, &target);
        break;
    default: target = offset; break;
    }
    if (overflow) return -1;
    if (file->window) {
        // A window is never left: targets before its start or behind its end stop at its edges.
        if (target < file->windowStart) target = file->windowStart;
        if (target > file->windowStart + file->size) target = file->windowStart + file->size;
    } else if (target < 0) {
        return -1;
    }
    if (file->stream && fseeko(file->stream, static_cast<off_t>(target), SEEK_SET) != 0) return -1;
    file->lastWasWrite = 0;
    file->position = target - file->windowStart;
    return previous;
}

size_t OsReadFile(qzPlatformFile* file, void* buffer, size_t count) {
    if (!file || !buffer || count == 0) return 0;
    SwitchDirection(file, false);
    uint64_t left = Remaining(file);
    if (count > left) count = static_cast<size_t>(left);
    if (count == 0) return 0;
    size_t got = 0;
    if (file->memory) {
        std::memcpy(buffer, file->memory + file->position, count);
        got = count;
    } else if (file->stream) {
        got = std::fread(buffer, 1, count, file->stream);
    }
    file->position += static_cast<int64_t>(got);
    return got;
}

namespace {

// Appends bytes to the file's line buffer, which holds used bytes; false when memory ran out.
bool AppendLine(qzPlatformFile* file, size_t* used, const char* bytes, size_t count) {
    if (*used + count > file->lineRoom) {
        size_t room = file->lineRoom ? file->lineRoom : 128;
        while (room < *used + count) room *= 2;
        char* grown = static_cast<char*>(std::realloc(file->line, room));
        if (!grown) return false;
        file->line = grown;
        file->lineRoom = room;
    }
    std::memcpy(file->line + *used, bytes, count);
    *used += count;
    return true;
}

constexpr uint64_t kByteOnes = 0x0101010101010101ull;

// The bytes of a word that are zero, as their top bits (exact up to the first zero byte, which is
// all that is used).
uint64_t ZeroBytes(uint64_t word) { return (word - kByteOnes) & ~word & (kByteOnes * 0x80); }

// The first line feed in [p, end), or null; *returnBefore tells whether a carriage return comes
// before it. Lines are mostly short: their first bytes are looked at eight at a time for both
// bytes at once, which costs less than starting two searches; the rest of a long line is left to
// memchr.
const char* FindLineFeed(const char* p, const char* end, bool* returnBefore) {
    uint64_t returns = 0;
    const char* quickEnd = end - p > 64 ? p + 64 : end;
    for (; quickEnd - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        // Byte i of the text becomes byte i of the word counted from the low end.
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        uint64_t lf = ZeroBytes(word ^ (kByteOnes * '\n'));
        uint64_t cr = ZeroBytes(word ^ (kByteOnes * '\r'));
        if (lf) {
            *returnBefore = returns || (cr & ((lf & (0 - lf)) - 1));
            return p + __builtin_ctzll(lf) / 8;
        }
        returns |= cr;
    }
    const char* lf = p < end ? static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))) : nullptr;
    *returnBefore = returns || (lf && std::memchr(p, '\r', static_cast<size_t>(lf - p)));
    return lf;
}

}  // namespace

int OsReadLineDirect(qzPlatformFile* file, const char** text, size_t* length) {
    if (!file || !file->stream || file->window || file->memory || file->lastWasWrite) return 0;
    *text = "";
    *length = 0;
    // The line feed is looked for in the stdio buffer itself, through the fields that stdio's own
    // unlocked getc reads (a platform file is used by one thread at a time): a line that lies
    // wholly in the buffer and has no carriage return is given from there without a copy. The
    // buffer's consumed bytes stay as they were, since a seek may read them again.
    FILE* stream = file->stream;
    // A stream that failed to read before gives no line, as a failed read gives none.
    if (ferror_unlocked(stream)) return -1;
    const char* begin = stream->_IO_read_ptr;
    const char* end = stream->_IO_read_end;
    bool returnBefore = false;
    const char* lf = FindLineFeed(begin, end, &returnBefore);
    size_t n = 0;
    if (lf) {
        n = static_cast<size_t>(lf - begin);
        stream->_IO_read_ptr += n + 1;
        file->position += static_cast<int64_t>(n + 1);
        if (!returnBefore) {
            *text = begin;
            *length = n;
            return 1;
        }
        // A line with carriage returns is copied and cleaned in the line buffer.
        size_t bytes = n;
        n = 0;
        if (!AppendLine(file, &n, begin, bytes)) return -1;
    } else {
        // The line goes on past the buffer: it is gathered in the file's line buffer, refilling
        // the stdio buffer through getc until a line feed or the end of the file.
        for (;;) {
            if (begin < end) {
                size_t count = static_cast<size_t>(end - begin);
                if (!AppendLine(file, &n, begin, count)) return -1;
                stream->_IO_read_ptr += count;
                file->position += static_cast<int64_t>(count);
            }
            int c = getc_unlocked(stream);
            if (c == EOF) {
                // A line cut short by a read error is no line.
                if (ferror(stream)) return -1;
                break;
            }
            file->position++;
            if (c == '\n') break;
            char byte = static_cast<char>(c);
            if (!AppendLine(file, &n, &byte, 1)) return -1;
            begin = stream->_IO_read_ptr;
            end = stream->_IO_read_end;
            const void* found = std::memchr(begin, '\n', static_cast<size_t>(end - begin));
            if (found) {
                size_t count = static_cast<size_t>(static_cast<const char*>(found) - begin);
                if (!AppendLine(file, &n, begin, count)) return -1;
                stream->_IO_read_ptr += count + 1;
                file->position += static_cast<int64_t>(count + 1);
                break;
            }
        }
    }
    if (n == 0) return 1;
    if (char* cr = static_cast<char*>(std::memchr(file->line, '\r', n))) {
        char* out = cr;
        for (const char* in = cr; in < file->line + n; in++)
            if (*in != '\r') *out++ = *in;
        n = static_cast<size_t>(out - file->line);
    }
    *text = file->line;
    *length = n;
    return 1;
}

namespace {

bool IsPlainStream(const qzPlatformFile* file) { return file && file->stream && !file->window && !file->memory; }

// Copies by the kernel's copy_file_range, which needs no pass through the process and may share
// blocks. 1 at the source's end, -1 when the destination cannot take more, 0 when the file
// systems or the kernel do not copy this way (what was copied so far stays).
int KernelCopy(int from, int to, uint64_t* copied) {
    for (;;) {
        ssize_t n = copy_file_range(from, nullptr, to, nullptr, size_t{1} << 30, 0);
        if (n > 0) {
            *copied += static_cast<uint64_t>(n);
        } else if (n == 0) {
            return 1;
        } else if (errno != EINTR) {
            return errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? -1 : 0;
        }
    }
}

// Copies by reads and writes of 1 MB: 1 at the source's end or when it cannot be read further,
// -1 when writing failed.
int BlockCopy(int from, int to, uint64_t* copied) {
    constexpr size_t kBlock = size_t{1} << 20;
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBlock]);
    if (!block) return -1;
    for (;;) {
        ssize_t got = read(from, block.get(), kBlock);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return 1;
        for (ssize_t put = 0; put < got;) {
            ssize_t n = write(to, block.get() + put, static_cast<size_t>(got - put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                *copied += static_cast<uint64_t>(put);
                return -1;
            }
            put += n;
        }
        *copied += static_cast<uint64_t>(got);
    }
}

}  // namespace

int OsCopyFileData(qzPlatformFile* in, qzPlatformFile* out, uint64_t* copied) {
    *copied = 0;
    if (!IsPlainStream(in) || !IsPlainStream(out) || in->lastWasWrite || out->lastWasWrite) return 0;
    int from = fileno(in->stream), to = fileno(out->stream);
    struct stat st;
    if (from < 0 || to < 0 || fstat(from, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    // The descriptors start where the files stand, whatever their streams have read ahead.
    if (lseek(from, static_cast<off_t>(in->position), SEEK_SET) < 0 ||
        lseek(to, static_cast<off_t>(out->position), SEEK_SET) < 0)
        return 0;
    int result = KernelCopy(from, to, copied);
    // Where the kernel does not copy, plain reads and writes go on from where it stopped.
    if (result == 0) result = BlockCopy(from, to, copied);
    // The streams were passed by: their positions follow what was copied.
    in->position += static_cast<int64_t>(*copied);
    out->position += static_cast<int64_t>(*copied);
    return result;
}

const unsigned char* OsFileMemory(const qzPlatformFile* file) { return file ? file->memory : nullptr; }

int OsGetC(qzPlatformFile* file) {
    unsigned char c;
    return OsReadFile(file, &c, 1) == 1 ? c : -1;
}

size_t OsWriteFile(qzPlatformFile* file, const void* buffer, size_t count) {
    if (!file || !file->stream || file->window || !buffer || count == 0) return 0;
    SwitchDirection(file, true);
    size_t put = std::fwrite(buffer, 1, count, file->stream);
    file->position += static_cast<int64_t>(put);
    return put;
}

int OsPutC(qzPlatformFile* file, int byte) {
    unsigned char c = static_cast<unsigned char>(byte);
    return OsWriteFile(file, &c, 1) == 1 ? 1 : 0;
}

int OsFlushFile(qzPlatformFile* file) {
    if (file && file->stream) std::fflush(file->stream);
    return 1;
}

int OsEof(qzPlatformFile* file) { return file->size > file->position ? 0 : 1; }

void OsStatToFileInfo(const struct stat* st, const char* name, qzFileInfo* info) {
    static const struct {
        mode_t posix;
        uint32_t engine;
    } kBits[] = {
        {S_IRUSR, QZ_PROT_READ_USR}, {S_IWUSR, QZ_PROT_WRITE_USR}, {S_IXUSR, QZ_PROT_EXECUTE_USR},
        {S_IRGRP, QZ_PROT_READ_GRP}, {S_IWGRP, QZ_PROT_WRITE_GRP}, {S_IXGRP, QZ_PROT_EXECUTE_GRP},
        {S_IROTH, QZ_PROT_READ_OTH}, {S_IWOTH, QZ_PROT_WRITE_OTH}, {S_IXOTH, QZ_PROT_EXECUTE_OTH},
    };
    info->isDirectory = S_ISDIR(st->st_mode) ? 1 : 0;
    info->size = static_cast<int64_t>(st->st_size);
    info->protection = 0;
    for (const auto& b : kBits)
        if (st->st_mode & b.posix) info->protection |= b.engine;
    info->accessTime = static_cast<int64_t>(st->st_atime);
    info->modifyTime = static_cast<int64_t>(st->st_mtime);
    info->changeTime = static_cast<int64_t>(st->st_ctime);
    info->name = name;
}

int OsExamineFile(qzPlatformFile* file, qzFileInfo* info) {
    struct stat st;
    std::memset(&st, 0, sizeof(st));
    if (file->stream && fstat(fileno(file->stream), &st) != 0) return 0;
    OsStatToFileInfo(&st, file->name, info);
    if (file->window) {
        info->isDirectory = 0;
        info->size = file->size;
    }
    return 1;
}
