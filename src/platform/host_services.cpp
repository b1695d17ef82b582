// The host-service tables of the platform layer and their wrappers.
#include "platform/host_services.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "base/base64.h"
#include "base/charset.h"
#include "base/crc32.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/md5.h"
#include "base/out_of_memory.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/file_info.h"
#include "platform/os_alloc.h"
#include "platform/os_dir.h"
#include "platform/os_env.h"
#include "platform/os_path.h"
#include "platform/vfs.h"

namespace {

// ---- C library in the player's form ----------------------------------------------------------

int HostStrCaseCmp(const char* a, const char* b) { return CompareNoCase(a, b); }
int HostStrNCaseCmp(const char* a, const char* b, size_t n) { return CompareNoCaseN(a, b, n); }
int HostToLower(int c) { return ToLowerChar(c); }
int HostToUpper(int c) { return ToUpperChar(c); }
char* HostStrLower(char* text) { return text ? LowerCaseString(text) : text; }
char* HostStrUpper(char* text) {
    if (!text) return text;
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p)
        *p = static_cast<unsigned char>(ToUpperChar(*p));
    return text;
}
char* HostStrDup(const char* text) { return text ? strdup(text) : nullptr; }
int HostFileNo(FILE* file) { return fileno(file); }
long HostLRint(double x) { return lrint(x); }

void ToPluginTime(const struct tm& from, qzPluginTime* to) {
    to->size = sizeof(qzPluginTime);
    to->sec = from.tm_sec;
    to->min = from.tm_min;
    to->hour = from.tm_hour;
    to->mday = from.tm_mday;
    to->mon = from.tm_mon;
    to->year = from.tm_year;
    to->wday = from.tm_wday;
    to->yday = from.tm_yday;
    to->isdst = from.tm_isdst;
    to->gmtoff = from.tm_gmtoff;
    to->zone = from.tm_zone;
}

struct tm FromPluginTime(const qzPluginTime* from) {
    struct tm to;
    std::memset(&to, 0, sizeof to);
    to.tm_sec = from->sec;
    to.tm_min = from->min;
    to.tm_hour = from->hour;
    to.tm_mday = from->mday;
    to.tm_mon = from->mon;
    to.tm_year = from->year;
    to.tm_wday = from->wday;
    to.tm_yday = from->yday;
    to.tm_isdst = from->isdst;
    to.tm_gmtoff = from->gmtoff;
    to.tm_zone = from->zone;
    return to;
}

qzPluginTime localRecord;
qzPluginTime gmRecord;
char ascBuffer[64];

qzPluginTime* HostLocalTime(const time_t* moment) {
    struct tm value;
    if (!moment || !localtime_r(moment, &value)) return nullptr;
    ToPluginTime(value, &localRecord);
    return &localRecord;
}

qzPluginTime* HostGmTime(const time_t* moment) {
    struct tm value;
    if (!moment || !gmtime_r(moment, &value)) return nullptr;
    ToPluginTime(value, &gmRecord);
    return &gmRecord;
}

char* HostAscTime(const qzPluginTime* time) {
    if (!time) return nullptr;
    struct tm value = FromPluginTime(time);
    return asctime_r(&value, ascBuffer);
}

time_t HostMkTime(qzPluginTime* time) {
    if (!time) return static_cast<time_t>(-1);
    struct tm value = FromPluginTime(time);
    time_t result = mktime(&value);
    ToPluginTime(value, time);
    return result;
}

size_t HostStrFTime(char* buffer, size_t size, const char* format, const qzPluginTime* time) {
    if (!buffer || !format || !time) return 0;
    struct tm value = FromPluginTime(time);
    return strftime(buffer, size, format, &value);
}

void HostDiffTime(time_t end, time_t start, double* out) {
    if (out) *out = difftime(end, start);
}

uint32_t PluginStatFlags(mode_t mode) {
    uint32_t flags = 0;
    if (S_ISDIR(mode)) flags |= QZ_PSTAT_DIRECTORY;
    if (mode & 0400) flags |= QZ_PSTAT_OWNER_READ;
    if (mode & 0200) flags |= QZ_PSTAT_OWNER_WRITE;
    if (mode & 0100) flags |= QZ_PSTAT_OWNER_EXECUTE;
    if (mode & 040) flags |= QZ_PSTAT_GROUP_READ;
    if (mode & 020) flags |= QZ_PSTAT_GROUP_WRITE;
    if (mode & 010) flags |= QZ_PSTAT_GROUP_EXECUTE;
    if (mode & 04) flags |= QZ_PSTAT_OTHER_READ;
    if (mode & 02) flags |= QZ_PSTAT_OTHER_WRITE;
    if (mode & 01) flags |= QZ_PSTAT_OTHER_EXECUTE;
    return flags;
}

void ToPluginStat(const struct stat& st, qzPluginStat* out) {
    std::memset(out, 0, sizeof *out);
    out->flags = PluginStatFlags(st.st_mode);
    uint64_t size = static_cast<uint64_t>(st.st_size);
    out->sizeHigh = static_cast<uint32_t>(size >> 32);
    out->sizeLow = static_cast<uint32_t>(size);
    out->accessTime = st.st_atime;
    out->modifyTime = st.st_mtime;
    out->changeTime = st.st_ctime;
}

int HostFStat(int fd, qzPluginStat* out) {
    struct stat st;
    if (!out || fstat(fd, &st) != 0) return -1;
    ToPluginStat(st, out);
    return 0;
}

int HostGetErrno() { return errno; }
int* HostSetErrno(int value) {
    errno = value;
    return &errno;
}

qzCLibBase clibTable = {
    malloc,
    calloc,
    realloc,
    free,
    HostStrDup,
    fopen,
    fclose,
    fseek,
    ftell,
    fread,
    fwrite,
    fgetc,
    fputc,
    ferror,
    feof,
    vfprintf,
    vsnprintf,
    vprintf,
    qsort,
    vsscanf,
    strtod,
    strtol,
    strtoul,
    HostStrCaseCmp,
    HostStrNCaseCmp,
    HostToLower,
    HostToUpper,
    HostStrLower,
    HostStrUpper,
    gettimeofday,
    time,
    HostLRint,
    HostLocalTime,
    HostGmTime,
    HostAscTime,
    ctime,
    HostMkTime,
    HostStrFTime,
    clock,
    HostDiffTime,
    clearerr,
    HostFileNo,
    fflush,
    HostFStat,
    CatchingOutOfMemory<HostStat, -1>(),
    vfscanf,
    ungetc,
    rename,
    remove,
    HostGetErrno,
    HostSetErrno,
    nullptr,
    0,
    0,
};

// ---- Files through the virtual-file layer ----------------------------------------------------

// The name to use: the plugin's open-name override when it stored one.
const char* EffectiveName(const char* name) {
    const char* override = clibTable.openNameOverride;
    return override ? override : name;
}

int VfsModeOf(int pluginMode) {
    int mode = (pluginMode & 1) ? QZ_VFS_WRITE : (pluginMode & 2) ? QZ_VFS_READWRITE : QZ_VFS_READ;
    mode |= pluginMode & QZ_VFS_SEEKEMU;
    if (!(pluginMode & 8)) mode |= QZ_VFS_ADAPTERS;
    return mode;
}

int64_t HostSeek(qzVfsFile* file, int64_t offset, int mode) { return VfsSeek(file, offset, mode); }

qzVfsFile* HostOpenFileTags(const char* name, int mode, const qzTagItem* tags) {
    const char* list = nullptr;
    for (const qzTagItem* t = tags; t && t->tag; ++t)
        if (t->tag == 1) list = reinterpret_cast<const char*>(t->value);
    const char* effective = EffectiveName(name);
    return effective ? VfsOpen(effective, VfsModeOf(mode), list) : nullptr;
}

void ToExamine(const qzFileInfo& info, const char* name, qzPluginExamine* out) {
    std::memset(out, 0, sizeof *out);
    out->isDirectory = info.isDirectory == 1 ? 1 : 0;
    out->size = info.size;
    out->modifyTime = info.modifyTime;
    const char* text = name ? name : "";
    // The name is cut to fit; out was zeroed above, so it stays terminated.
    std::memcpy(out->name, text, strnlen(text, sizeof(out->name) - 1));
}

int HostExamineLock(qzVfsLock* lock, qzPluginExamine* out) {
    if (!lock || !out) return 0;
    qzFileInfo info;
    std::memset(&info, 0, sizeof info);
    VfsExamineLock(lock, &info);
    char name[1024];
    VfsNameFromLock(lock, name, sizeof name);
    ToExamine(info, name, out);
    return 1;
}

int HostNextDirEntry(qzVfsLock* lock, qzPluginExamine* out) {
    if (!lock || !out) return 0;
    const char* name = nullptr;
    int isDirectory = 0;
    qzFileInfo info;
    std::memset(&info, 0, sizeof info);
    if (!VfsNextDirEntry(lock, nullptr, &name, &isDirectory, &info)) return 0;
    info.isDirectory = isDirectory;
    ToExamine(info, name, out);
    return 1;
}

int HostExamineName(const char* name, qzPluginExamine* out) {
    if (!name || !out) return 0;
    qzVfsLock* lock = VfsLock(name, QZ_VFS_LOCK_READ | QZ_VFS_LOCK_ADAPTERS, nullptr);
    if (!lock) return 0;
    int ok = HostExamineLock(lock, out);
    VfsUnlock(lock);
    return ok;
}

int HostExamineFile(qzVfsFile* file, qzPluginExamine* out) {
    if (!file || !out) return 0;
    qzFileInfo info;
    std::memset(&info, 0, sizeof info);
    if (!VfsExamine(file, &info)) return 0;
    ToExamine(info, info.name, out);
    return 1;
}

int HostGetCurrentDirName(char* buffer, size_t size) {
    if (!buffer || !size) return 0;
    std::string dir = OsGetCurrentDir();
    if (dir.size() >= size) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return 1;
}

int HostGetTempFileName(char* buffer, size_t size) { return buffer && OsGetTempFileName(buffer, size) ? 1 : 0; }

int HostAddPathPart(char* buffer, size_t size, const char* part) {
    return buffer && part && AddPathPart(buffer, size, part) ? 1 : 0;
}

int HostGetDisplayFileName(const char* name, char* buffer, size_t size) {
    if (!name || !buffer || !size) return 0;
    std::string text = GetDisplayFileName(name);
    size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n == text.size() ? 1 : 0;
}

int HostSplitChunkName(const char* name, int64_t* offset, int64_t* size, char* path, size_t pathSize) {
    qzChunkNameParts parts;
    if (name && IsChunkName(name) && ParseChunkName(name, &parts)) {
        if (offset) *offset = parts.containerPath.empty() ? -1 : static_cast<int64_t>(parts.offset);
        if (size) *size = static_cast<int64_t>(parts.size);
        if (path && pathSize) {
            size_t n = parts.containerPath.size() < pathSize ? parts.containerPath.size() : pathSize - 1;
            std::memcpy(path, parts.containerPath.data(), n);
            path[n] = '\0';
        }
        return 1;
    }
    if (offset) *offset = -1;
    if (size) *size = -1;
    if (path && pathSize) {
        size_t length = name ? std::strlen(name) : 0;
        if (length < pathSize)
            std::memcpy(path, name ? name : "", length + 1);
        else
            path[0] = '\0';
    }
    return 0;
}

int HostGetChunkInfo(const char* name, qzPluginChunkInfo* out) {
    qzChunkNameParts parts;
    if (!out || !name || !IsChunkName(name) || !ParseChunkName(name, &parts)) return 0;
    std::memset(out, 0, sizeof *out);
    bool memory = parts.containerPath.empty();
    out->offset = memory ? -1 : static_cast<int64_t>(parts.offset);
    out->size = static_cast<int64_t>(parts.size);
    // Memory the player did not register is not handed out.
    out->memory =
        memory && FindChunkMemory(parts.address, parts.size) ? reinterpret_cast<const void*>(parts.address) : nullptr;
    std::strncpy(out->name, parts.embeddedName.c_str(), sizeof(out->name) - 1);
    std::strncpy(out->container, parts.containerPath.c_str(), sizeof(out->container) - 1);
    return 1;
}

// The services that can run out of memory answer their failure result instead (no exception
// may reach a plugin's frames); the others cannot throw.
qzDosBase dosTable = {
    CatchingOutOfMemory<HostOpenFile>(),
    CatchingOutOfMemory<VfsClose>(),
    CatchingOutOfMemory<HostSeek, -1>(),
    CatchingOutOfMemory<VfsRead>(),
    CatchingOutOfMemory<VfsWrite>(),
    CatchingOutOfMemory<VfsGetC, EOF>(),
    CatchingOutOfMemory<VfsPutC, EOF>(),
    VfsEof,
    CatchingOutOfMemory<OsDeleteFile>(),
    CatchingOutOfMemory<HostLock>(),
    CatchingOutOfMemory<VfsUnlock>(),
    CatchingOutOfMemory<VfsNameFromLock>(),
    CatchingOutOfMemory<HostExamineLock>(),
    CatchingOutOfMemory<VfsCheckDirLock, ERR_MEM>(),
    OsEndDirScan,
    CatchingOutOfMemory<HostNextDirEntry>(),
    CatchingOutOfMemory<OsMakeDir, ERR_MEM>(),
    CatchingOutOfMemory<OsRename>(),
    CatchingOutOfMemory<HostGetCurrentDirName>(),
    CatchingOutOfMemory<HostGetTempFileName>(),
    CatchingOutOfMemory<HostAddPathPart>(),
    GetPathPartEnd,
    CatchingOutOfMemory<HostGetDisplayFileName>(),
    CatchingOutOfMemory<HostSplitChunkName>(),
    CatchingOutOfMemory<HostExamineName>(),
    CatchingOutOfMemory<VfsSeek, -1>(),
    VfsGetFileFlags,
    CatchingOutOfMemory<HostExamineFile>(),
    HostWriteBufferToFile,
    CatchingOutOfMemory<HostGetChunkInfo>(),
    CatchingOutOfMemory<VfsFlush, EOF>(),
    CatchingOutOfMemory<HostGetTempFileName>(),
    CatchingOutOfMemory<HostOpenFileTags>(),
};

// ---- Fonts ------------------------------------------------------------------------------------

std::mutex tempMutex;
std::vector<std::string>& TempFiles() {
    static std::vector<std::string> files;
    return files;
}

// ---- FreeType, zlib, libjpeg ------------------------------------------------------------------

qzFtBase ftTable = {
    FT_Init_FreeType,
    FT_Done_FreeType,
    FT_New_Face,
    FT_New_Memory_Face,
    FT_Load_Glyph,
    FT_Render_Glyph,
    FT_Get_Glyph,
    FT_Done_Glyph,
    FT_Outline_Transform,
    FT_Outline_Translate,
    FT_Outline_Get_Bitmap,
    FT_Outline_Get_CBox,
    FT_Outline_Decompose,
    FT_Done_Face,
    FT_Get_Char_Index,
    FT_Get_First_Char,
    FT_Get_Next_Char,
    FT_Set_Transform,
    FT_Set_Charmap,
    FT_Set_Pixel_Sizes,
    FT_Set_Char_Size,
    FT_MulFix,
    FT_Vector_Transform,
    FT_Get_Kerning,
    FT_Get_Sfnt_Table,
    FT_Load_Sfnt_Table,
    FT_Get_X11_Font_Format,
    FT_Get_Name_Index,
    FT_Get_Glyph_Name,
    FT_Select_Charmap,
    FT_Get_Advance,
    FT_Library_Version,
    FT_Outline_Embolden,
    FT_Stroker_New,
    FT_Stroker_Set,
    FT_Stroker_Done,
    FT_Glyph_Stroke,
    FT_Glyph_To_Bitmap,
};

qzZBase zTable = {
    inflateInit_,  inflate,      inflateEnd,  deflateInit_,  deflate,       deflateEnd, deflateReset,
    deflateParams, inflateReset, inflateSync, inflateInit2_, deflateInit2_, crc32,
};

qzJpegBase jpegTable = {
    jpeg_CreateDecompress,
    jpeg_finish_decompress,
    jpeg_destroy_decompress,
    jpeg_std_error,
    jpeg_read_header,
    jpeg_read_scanlines,
    jpeg_start_decompress,
    jpeg_resync_to_restart,
    jpeg_CreateCompress,
    jpeg_finish_compress,
    jpeg_destroy_compress,
    jpeg_start_compress,
    jpeg_set_defaults,
    jpeg_write_scanlines,
    jpeg_set_quality,
    jpeg_set_colorspace,
    jpeg_default_colorspace,
    jpeg_destroy,
    jpeg_abort,
    jpeg_suppress_tables,
    jpeg_write_raw_data,
    jpeg_write_tables,
    jpeg_read_raw_data,
    jpeg_save_markers,
    jpeg_calc_output_dimensions,
};

// ---- Encoders ---------------------------------------------------------------------------------

char* HostEncodeBase64(const void* bytes, size_t length) {
    if (!bytes && length) return nullptr;
    std::string text = Base64Encode(bytes, length);
    char* copy = static_cast<char*>(OsAlloc(text.size() + 1, 0));
    if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

int HostDecodeBase64(const char* text, size_t textLength, void** bytes, size_t* length) {
    if (!text || !bytes || !length) return 0;
    std::string decoded;
    qzBase64Target target;
    target.kind = BASE64_TO_STRING;
    target.string = &decoded;
    if (DecodeBase64(text, textLength, &target) != 0) return 0;
    void* block = OsAlloc(decoded.size() + 1, 0);
    if (!block) return 0;
    std::memcpy(block, decoded.data(), decoded.size());
    *bytes = block;
    *length = decoded.size();
    return 1;
}

// An empty text when memory runs out.
void HostMd5Hex(const void* bytes, size_t length, char out[33]) {
    if (!out) return;
    out[0] = '\0';
    std::string hex = Md5Hex(bytes, length);
    std::memcpy(out, hex.c_str(), 33);
}

qzEncodeBase encodeTable = {CatchingOutOfMemory<HostEncodeBase64>(), CatchingOutOfMemory<HostDecodeBase64>(), HostCrc32,
                            CatchingOutOfMemory<HostMd5Hex>()};

}  // namespace

int HostOpenFontFile(const char* name, char* buffer, size_t size) {
    if (!name || !buffer || !size) return 0;
    if (!IsChunkName(name)) {
        qzDosFileInfo info;
        if (!VfsExamineName(name, &info, false) || std::strlen(name) >= size) return 0;
        std::memcpy(buffer, name, std::strlen(name) + 1);
        return 1;
    }
    // A font inside a container gets a temporary copy of its own, deleted when the player ends.
    // Everything the copy needs is allocated before the file exists, and the file is removed on
    // every way out until the list holds it.
    char temp[1024];
    qzFileRemover copy;
    copy.name.reserve(sizeof temp);
    std::string listed;
    listed.reserve(sizeof temp);
    {
        std::lock_guard<std::mutex> lock(tempMutex);
        TempFiles().reserve(TempFiles().size() + 1);
    }
    if (!MakeTempFileNameFor(temp, sizeof temp, name)) return 0;
    copy.name = temp;
    if (VfsCopyFile(name, nullptr, temp, nullptr) != 0 || std::strlen(temp) >= size) return 0;
    listed = temp;
    {
        std::lock_guard<std::mutex> lock(tempMutex);
        TempFiles().push_back(std::move(listed));
    }
    copy.Keep();
    std::memcpy(buffer, temp, std::strlen(temp) + 1);
    return 1;
}

void* HostAlloc(size_t size, uint32_t flags) { return OsAlloc(size, (flags & 1) ? 1 : 0); }
void HostFree(void* block) { OsFree(block); }

uint32_t HostCrc32(const void* bytes, intptr_t length) {
    if (length < 1 || !bytes) return 0xFFFFFFFFu;
    return Crc32(bytes, static_cast<size_t>(length));
}

int HostStat(const char* name, qzPluginStat* out) {
    std::string fsPath;
    struct stat st;
    if (!name || !out || !MacPathToFileSystem(name, &fsPath) || stat(fsPath.c_str(), &st) != 0) return -1;
    ToPluginStat(st, out);
    return 0;
}

qzVfsFile* HostOpenFile(const char* name, int mode) { return HostOpenFileTags(name, mode, nullptr); }

qzVfsLock* HostLock(const char* name, int mode) {
    const char* effective = EffectiveName(name);
    if (!effective) return nullptr;
    int lockMode = (mode & 1) ? QZ_VFS_LOCK_WRITE : QZ_VFS_LOCK_READ;
    if (!(mode & 4)) lockMode |= QZ_VFS_LOCK_ADAPTERS;
    return VfsLock(effective, lockMode, nullptr);
}

namespace {

int WriteBufferToFile(const char* name, const void* buffer, size_t length, uint32_t flags) {
    if (!name || (!buffer && length)) return ERR_WRONGUSAGE;
    if (flags & 1) {
        qzVfsFile* file = VfsOpen(name, QZ_VFS_WRITE, nullptr);
        if (!file) {
            SetErrorArgString(name);
            return ERR_WRITEFILE;
        }
        int rc = VfsWrite(file, buffer, length) == length ? 0 : ERR_WRITE;
        if (VfsClose(file) != 1 && !rc) rc = ERR_WRITE;
        return rc;
    }
    // The buffer becomes a memory chunk for the copy, registered only while it lasts.
    if (!RegisterChunkMemory(buffer, length)) return ERR_MEM;
    char chunk[1024];
    MakeChunkName("foobar.dat", chunk, sizeof chunk, -1, length, 0, buffer);
    int rc = chunk[0] ? CatchOutOfMemory([&] { return VfsCopyFile(chunk, nullptr, name, nullptr); }) : ERR_MEM;
    UnregisterChunkMemory(buffer);
    return rc;
}

}  // namespace

// Plugins call this from C: running out of memory is its result, never an exception.
int HostWriteBufferToFile(const char* name, const void* buffer, size_t length, uint32_t flags) {
    return CatchOutOfMemory([&] { return WriteBufferToFile(name, buffer, length, flags); });
}

int HostVPrintF(const char* format, va_list args) {
    if (!format) return 0;
    int n = std::vfprintf(stdout, format, args);
    std::fflush(stdout);
    return n;
}

qzCLibBase* GetHostCLibTable() { return &clibTable; }
qzDosBase* GetHostDosTable() { return &dosTable; }
qzFtBase* GetHostFtTable() { return &ftTable; }
qzZBase* GetHostZTable() { return &zTable; }
qzJpegBase* GetHostJpegTable() { return &jpegTable; }
qzEncodeBase* GetHostEncodeTable() { return &encodeTable; }

void DeleteHostTempFiles() {
    std::lock_guard<std::mutex> lock(tempMutex);
    for (const std::string& path : TempFiles()) OsDeleteFile(path.c_str());
    TempFiles().clear();
}
