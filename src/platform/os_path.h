// Engine paths and file-system paths. Engine file names are ISO 8859-1 text and may use '\' as a
// separator; the file system stores UTF-8. Names are converted at this border in both directions
// so that a file whose name is not Latin-1 stays reachable: a name read from a directory that has
// no Latin-1 form comes to the engine as its raw bytes and goes back to the disk unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/path_limit.h"

// The path itself when it is 1024 characters or longer, or a copy of a chunk name; any other path
// copied into buffer (QZ_PATH_MAX bytes) with every '\' turned into '/'.
const char* OsConvertPath(const char* path, char* buffer);

// The file-system form of an engine path (after the separator rule of OsConvertPath). Each path
// component that is valid UTF-8 with a character beyond Latin-1 passes unchanged; any other is
// converted from ISO 8859-1 to UTF-8. Returns false for a null path.
bool MacPathToFileSystem(const char* path, std::string* out);

// The file-system path to use for an object that should already exist: the converted path when
// something exists there, else the path's raw bytes when something exists there, else the
// converted path. Names created by other programs in other encodings stay reachable this way.
bool OsExistingFileSystemPath(const char* path, std::string* out);

// The engine form of a file-system name or path: UTF-8 text whose characters all lie in Latin-1 is
// converted to ISO 8859-1; any other component is kept as its raw bytes.
std::string FileSystemToEnginePath(const std::string& fsPath);
// The same into *out, which is cleared first. The engine form is never longer than the
// file-system form, so room reserved for that needs no more memory.
void FileSystemToEnginePath(std::string_view fsPath, std::string* out);

// Copies a path into a caller's buffer of size bytes, cut to fit and always terminated; nothing
// happens for a null buffer or size 0.
void CopyPathOut(const std::string& text, char* buffer, size_t size);
