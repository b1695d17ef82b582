// Registration and clean-up of the dos library, its temporary-file list, the event services
// that long commands use, and the protected call of progress callbacks.
#include "libs/dos/dos.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "platform/os_dir.h"
#include "platform/os_host_file.h"
#include "platform/os_path.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

qzObjectHeader* qzDosFileList = nullptr;
qzObjectHeader* qzDosDirectoryList = nullptr;
int qzDosIoMode = QZ_IO_BUFFERED;

namespace {

const qzCommandRow kDosCommands[] = {
    {"OpenFile", DosOpenFile, 2, 4},
    {"CloseFile", DosCloseFile, 1, 1},
    {"FileLines", DosFileLines, 1, 1},
    {"Eof", DosEof, 1, 1},
    {"ReadChr", DosReadChr, 1, 1},
    {"ReadShort", DosReadShort, 1, 2},
    {"ReadInt", DosReadInt, 1, 2},
    {"ReadFloat", DosReadFloat, 1, 3},
    {"ReadString", DosReadString, 2, 2},
    {"ReadLine", DosReadLine, 1, 1},
    {"WriteChr", DosWriteChr, 2, 2},
    {"WriteShort", DosWriteShort, 2, 3},
    {"WriteInt", DosWriteInt, 2, 3},
    {"WriteFloat", DosWriteFloat, 2, 4},
    {"WriteString", DosWriteString, 2, 3},
    {"WriteLine", DosWriteLine, 2, 2},
    {"Seek", DosSeek, 2, 3},
    {"FilePos", DosFilePos, 1, 1},
    {"FileLength", DosFileLength, 1, 1},
    {"FlushFile", DosFlushFile, 1, 1},
    {"SetIOMode", DosSetIOMode, 1, 1},
    {"CompressFile", DosCompressFile, 2, 2},
    {"DecompressFile", DosDecompressFile, 2, 2},
    {"WriteTable", DosWriteTable, 2, 3},
    {"ReadTable", DosReadTable, 1, 1},
    {"WriteFunction", DosWriteFunction, 2, 3},
    {"ReadFunction", DosReadFunction, 1, 1},
    {"Exists", DosExists, 1, 1},
    {"FileSize", DosFileSize, 1, 1},
    {"IsDirectory", DosIsDirectory, 1, 1},
    {"PathPart", DosPathPart, 1, 1},
    {"FilePart", DosFilePart, 1, 1},
    {"FullPath", DosFullPath, 2, 2},
    {"GetCurrentDirectory", DosGetCurrentDirectory, 0, 0},
    {"ChangeDirectory", DosChangeDirectory, 1, 1},
    {"MakeDirectory", DosMakeDirectory, 1, 1},
    {"Rename", DosRename, 2, 2},
    {"DeleteFile", DosDeleteFile, 1, 5},
    {"CopyFile", DosCopyFile, 2, 7},
    {"MatchPattern", DosMatchPattern, 2, 2},
    {"GetFileAttributes", DosGetFileAttributes, 1, 2},
    {"FileAttributes", DosFileAttributes, 1, 1},
    {"SetFileAttributes", DosSetFileAttributes, 2, 2},
    {"OpenDirectory", DosOpenDirectory, 2, 3},
    {"CloseDirectory", DosCloseDirectory, 1, 1},
    {"NextDirectoryEntry", DosNextDirectoryEntry, 1, 1},
    {"ReadDirectory", DosReadDirectory, 3, 4},
    {"GetVolumeName", DosGetVolumeName, 1, 1},
    {"GetVolumeInfo", DosGetVolumeInfo, 2, 2},
    {"GetTempFileName", DosGetTempFileName, 0, 0},
    {"Execute", DosExecute},
    {"Run", DosRun},
    {"MD5", DosMD5, 1, 1},
    {"CRC32", DosCRC32, 1, 1},
    {"DefineVirtualFile", DosDefineVirtualFile, 4, 4},
    {"DefineVirtualFileFromString", DosDefineVirtualFileFromString, 2, 2},
    {"UndefineVirtualStringFile", DosUndefineVirtualStringFile, 1, 1},
    {"FileToString", DosFileToString, 1, 1},
    {"StringToFile", DosStringToFile, 2, 2},
    {"ApplyPatch", DosApplyPatch, 3, 4},
    {"GetEnv", DosGetEnv, 1, 1},
    {"SetEnv", DosSetEnv, 2, 2},
    {"UnsetEnv", DosUnsetEnv, 1, 1},
    {nullptr, nullptr},
};

const qzConstantRow kDosConstants[] = {
    {"FREESPACE", nullptr, 1},
    {"USEDSPACE", nullptr, 0},
    {"EOF", nullptr, -1},
    {"MODE_READWRITE", nullptr, QZ_MODE_READWRITE},
    {"MODE_WRITE", nullptr, QZ_MODE_WRITE},
    {"MODE_READ", nullptr, QZ_MODE_READ},
    {"COPYFILE_STATUS", nullptr, 0},
    {"COPYFILE_OVERWRITE", nullptr, 1},
    {"COPYFILE_UNPROTECT", nullptr, 2},
    {"DELETEFILE_STATUS", nullptr, 0},
    {"DELETEFILE_UNPROTECT", nullptr, 1},
    {"IO_BUFFERED", nullptr, QZ_IO_BUFFERED},
    {"IO_UNBUFFERED", nullptr, QZ_IO_UNBUFFERED},
    {"FILEATTR_NORMAL", nullptr, 65536},
    {"FILEATTR_READ_USR", nullptr, 1},
    {"FILEATTR_WRITE_USR", nullptr, 2},
    {"FILEATTR_DELETE_USR", nullptr, 4},
    {"FILEATTR_EXECUTE_USR", nullptr, 8},
    {"FILEATTR_READ_GRP", nullptr, 512},
    {"FILEATTR_WRITE_GRP", nullptr, 1024},
    {"FILEATTR_EXECUTE_GRP", nullptr, 2048},
    {"FILEATTR_READ_OTH", nullptr, 4096},
    {"FILEATTR_WRITE_OTH", nullptr, 8192},
    {"FILEATTR_EXECUTE_OTH", nullptr, 16384},
    {"FILEATTR_PURE", nullptr, 16},
    {"FILEATTR_ARCHIVE", nullptr, 32},
    {"FILEATTR_SCRIPT", nullptr, 64},
    {"FILEATTR_HIDDEN", nullptr, 128},
    {"FILEATTR_SYSTEM", nullptr, 256},
    {"FILEATTR_READONLY", nullptr, 32768},
    {"DOSTYPE_FILE", nullptr, 0},
    {"DOSTYPE_DIRECTORY", nullptr, 1},
    {"SEEK_BEGINNING", nullptr, 1},
    {"SEEK_CURRENT", nullptr, 0},
    {"SEEK_END", nullptr, 2},
    {nullptr, nullptr, 0},
};

struct qzTempFile {
    std::string name;
    std::string source;
    // The file-system path, kept from when the file was made so that deleting it at shutdown
    // needs no memory.
    std::string hostPath;
};
std::vector<qzTempFile> gTempFiles;

int OpenDosLibrary(VmState* state) {
    int code = RegisterObjectList(&qzDosFileList);
    if (code) return code;
    code = RegisterObjectList(&qzDosDirectoryList);
    if (code) return code;
    DosFileLinesMetatable(state);
    return 0;
}

void ResetDosLibrary() { qzDosIoMode = QZ_IO_BUFFERED; }

}  // namespace

const qzLibraryDescriptor qzDosLibrary = {
    .name = "dos",
    .commands = kDosCommands,
    .constants = kDosConstants,
    .open = OpenDosLibrary,
    .cleanups = {{QZ_STAGE_FILES, FreeDosLibrary}},
    .reset = ResetDosLibrary,
};

void FreeDosLibrary(VmState* state) {
    DosCloseAllFiles(state);
    for (const qzTempFile& t : gTempFiles) OsHostDeleteFile(t.hostPath.c_str());
    gTempFiles.clear();
    DosCloseAllDirectories();
    DosFreeStringFiles(state);
    ResetDosLibrary();
}

int AddDosTempFile(const std::string& name, const std::string& source) {
    try {
        std::string hostPath;
        if (!OsExistingFileSystemPath(name.c_str(), &hostPath)) return ERR_WRONGUSAGE;
        gTempFiles.push_back({name, source, std::move(hostPath)});
    } catch (const std::bad_alloc&) {
        return ERR_MEM;
    }
    return 0;
}

const std::string* FindDosTempFile(const std::string& source) {
    for (const qzTempFile& t : gTempFiles)
        if (!t.source.empty() && t.source == source) return &t.name;
    return nullptr;
}

int DosCallCallback(VmState* state, int fn) {
    fn = VmAbsIndex(state, fn);
    VmPushValue(state, fn);
    VmInsert(state, -2);
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 1}});
    int status = VmProtectedCall(state, 1, 1, 0);
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 0}});
    return status;
}

bool DosOptFlag(VmState* state, int index, bool def) {
    int type = VmType(state, index);
    if (type <= VM_TNIL) return def;
    if (type == VM_TBOOLEAN) return VmToBoolean(state, index) != 0;
    return VmCheckNumber(state, index) != 0;
}
