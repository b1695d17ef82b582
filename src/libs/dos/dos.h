// The dos command library: open-file handles and typed I/O, table and function serialisation,
// directories, copying and deleting, file information, programs, virtual files, patches and the
// environment. This header joins the library's source files; start-up and shutdown use only the
// descriptor qzDosLibrary.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/library.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzVfsFile;
struct qzVfsLock;

// Object types of the library's records.
constexpr int32_t QZ_TYPE_FILE = 44;
constexpr int32_t QZ_TYPE_DIRECTORY = 45;

// Script mode constants of OpenFile.
enum { QZ_MODE_READWRITE = 1004, QZ_MODE_READ = 1005, QZ_MODE_WRITE = 1006 };
// Access codes of an open handle.
enum { QZ_ACCESS_READ = 1, QZ_ACCESS_WRITE = 2, QZ_ACCESS_READWRITE = 4 };
// Library-wide I/O modes.
enum { QZ_IO_BUFFERED = 0, QZ_IO_UNBUFFERED = 1 };

// One open file of OpenFile.
struct qzDosFile {
    qzObjectHeader header;
    int mode;    // the MODE_ constant the script gave
    int access;  // QZ_ACCESS_
    qzVfsFile* file;
};

// One open directory of OpenDirectory.
struct qzDosDirectory {
    qzObjectHeader header;
    int done;  // the scan has returned its last entry
    qzVfsLock* lock;
};

// The "dos" library: its commands and constants, its object lists and the "FILE*" metatable of
// line iterators; at shutdown its files and directories.
extern const qzLibraryDescriptor qzDosLibrary;
// Closes every open file and directory, deletes every temporary file and returns the I/O mode to
// buffered.
void FreeDosLibrary(VmState* state);

// ---- shared inside the library ----

extern qzObjectHeader* qzDosFileList;
extern qzObjectHeader* qzDosDirectoryList;
extern int qzDosIoMode;

// The open file named by the argument at index. The command fails (VmFailCommand) with
// ERR_FINDARRAY for an unknown handle or ERR_FINDFILE for an unknown number; the Readable form
// also with ERR_WRITEONLY for a write-only file, the Writable form with ERR_READONLY for a
// read-only one.
qzDosFile* CheckDosFile(VmState* state, int index);
qzDosFile* CheckReadableDosFile(VmState* state, int index);
qzDosFile* CheckWritableDosFile(VmState* state, int index);
// Whether the handle is at the end of its file (also right for handles that write).
bool DosFileAtEnd(qzDosFile* f);
// Reads or writes exactly count bytes through the handle, honouring the I/O mode.
bool DosReadExact(qzDosFile* f, void* buffer, size_t count);
bool DosWriteExact(qzDosFile* f, const void* buffer, size_t count);

// Records a temporary file to delete at shutdown; source names the linked program it was copied
// from (empty for GetTempFileName). Returns 0 or ERR_MEM.
int AddDosTempFile(const std::string& name, const std::string& source);
// The temporary copy already made of source, or null.
const std::string* FindDosTempFile(const std::string& source);

// Calls the function at stack index fn with a table that the caller has left on the stack top
// (popped), protected and inside the callback-nesting counter. On success the result is left on
// the stack and 0 returned; on an error the error code is returned and nothing is left.
int DosCallCallback(VmState* state, int fn);

// A flag argument (byte order, text form, options): absent or nil gives def; a boolean counts as
// it is, anything else must be a number and counts when it is not 0.
bool DosOptFlag(VmState* state, int index, bool def);

// Command handlers, by topic.
int DosOpenFile(VmState* state);
int DosCloseFile(VmState* state);
int DosFileLines(VmState* state);
int DosEof(VmState* state);
int DosReadChr(VmState* state);
int DosReadShort(VmState* state);
int DosReadInt(VmState* state);
int DosReadFloat(VmState* state);
int DosReadString(VmState* state);
int DosReadLine(VmState* state);
int DosWriteChr(VmState* state);
int DosWriteShort(VmState* state);
int DosWriteInt(VmState* state);
int DosWriteFloat(VmState* state);
int DosWriteString(VmState* state);
int DosWriteLine(VmState* state);
int DosSeek(VmState* state);
int DosFilePos(VmState* state);
int DosFileLength(VmState* state);
int DosFlushFile(VmState* state);
int DosSetIOMode(VmState* state);
void DosFileLinesMetatable(VmState* state);
void DosCloseAllFiles(VmState* state);

int DosCompressFile(VmState* state);
int DosDecompressFile(VmState* state);
int DosMD5(VmState* state);
// MD5 (32 lower-case hexadecimal digits) and CRC-32 of a file, read in blocks of 65536 bytes.
// Both return 0, or ERR_WRONGUSAGE for an empty name, ERR_MEM, or ERR_READFILE when the file
// cannot be opened.
int Md5File(const char* name, std::string* hex);
int Crc32File(const char* name, uint32_t* crc);
int DosCRC32(VmState* state);

int DosWriteTable(VmState* state);
int DosReadTable(VmState* state);
int DosWriteFunction(VmState* state);
int DosReadFunction(VmState* state);
// Function records (the text form is Base64). Dump: the function at stack index. Load: pushes
// the function; prefix, when given, holds the record's first 4 bytes, already read. Both return
// 0 or an error code.
int DumpFunctionToFile(VmState* state, qzDosFile* f, int index, bool text);
int LoadFunctionFromFile(VmState* state, qzDosFile* f, bool text, const char* prefix);

int DosExists(VmState* state);
int DosFileSize(VmState* state);
int DosIsDirectory(VmState* state);
int DosPathPart(VmState* state);
int DosFilePart(VmState* state);
int DosFullPath(VmState* state);
int DosGetCurrentDirectory(VmState* state);
int DosChangeDirectory(VmState* state);
int DosMakeDirectory(VmState* state);
int DosRename(VmState* state);
int DosMatchPattern(VmState* state);
int DosGetFileAttributes(VmState* state);
int DosFileAttributes(VmState* state);
int DosSetFileAttributes(VmState* state);
int DosOpenDirectory(VmState* state);
int DosCloseDirectory(VmState* state);
int DosNextDirectoryEntry(VmState* state);
int DosReadDirectory(VmState* state);
int DosGetVolumeName(VmState* state);
int DosGetVolumeInfo(VmState* state);
int DosGetTempFileName(VmState* state);
int DosExecute(VmState* state);
int DosRun(VmState* state);
void DosCloseAllDirectories();
// Creates the directory and its missing parents: 0 or ERR_CREATEDIR (ERR_WRONGUSAGE when empty).
int DosMakePath(const char* path);
// The name-pattern match: alternatives separated by ';', '*', '?', '#', '[...]'.
bool DosMatchPatternText(const char* name, const char* pattern);

int DosDeleteFile(VmState* state);
int DosCopyFile(VmState* state);

int DosDefineVirtualFile(VmState* state);
int DosDefineVirtualFileFromString(VmState* state);
int DosUndefineVirtualStringFile(VmState* state);
int DosFileToString(VmState* state);
int DosStringToFile(VmState* state);
int DosApplyPatch(VmState* state);
int DosGetEnv(VmState* state);
int DosSetEnv(VmState* state);
int DosUnsetEnv(VmState* state);
void DosFreeStringFiles(VmState* state);
// Releases the strings of undefined string files that no open handle or line iterator reads any
// more; called whenever such a reader is closed.
void DosReleaseUnusedStringFiles(VmState* state);
// Whether an open handle or line iterator of the library reads memory in [address, address + size).
bool DosMemoryInUse(const void* address, uint64_t size);
