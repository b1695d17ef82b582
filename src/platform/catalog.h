// Locale catalogs: translated texts of one program in one language, found in a "Catalogs" folder
// under the language's name. A catalog is an IFF form "CTLG" whose "STRS" chunk holds
// {id, length, text} entries, or a plain text file with one string per line.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzVfsFile;

// The player's own catalog.
constexpr const char* QZ_PLAYER_CATALOG = "Quarnelix.catalog";

struct qzCatalog {
    unsigned char* buffer;  // the whole file, followed by the end word and a NUL
    size_t size;            // bytes of file data in buffer
    size_t iffStrings;      // offset of the first STRS entry; 0 for a text catalog
    size_t textLength;      // text catalogs: bytes after conversion
};

// Opens the named catalog for the system language: "Catalogs/<English name>/<name>" and then
// the native folder name, relative to the current directory, then the same in the executable's
// folder. None for English or an unknown language, or when no readable catalog is found; then
// *error (when given) is ERR_MEM if memory ran out reading the catalog that was found, else 0.
qzCatalog* OpenCatalogFile(const char* name, int* error = nullptr);
// Joins directory (or nothing), folder, the language's folder name (native or English) and name
// with '/' and opens the result for reading (adapters allowed); none when it cannot be opened.
qzVfsFile* FindCatalogFile(const char* directory, const char* folder, const char* name, int language, bool native);
// The text with the given id, or defaultText when there is none (or no catalog).
const char* GetCatalogFileString(const qzCatalog* catalog, int32_t index, const char* defaultText);
void FreeCatalogFile(qzCatalog* catalog);

// Reads a catalog from memory (a copy is kept); none when the data is no usable catalog or, with
// *error (when given) set to ERR_MEM, when memory runs out.
qzCatalog* ParseCatalogData(const unsigned char* data, size_t size, int* error = nullptr);

// The platform's catalog calls, forwarding to the reader above.
qzCatalog* OsOpenCatalog(const char* name);
void OsCloseCatalog(qzCatalog* catalog);
const char* OsGetCatalogString(const qzCatalog* catalog, int32_t index, const char* defaultText);

// The player's catalog, opened once at start-up and used for every message text. Returns ERR_MEM
// when memory ran out reading the catalog for the user's language (the built-in texts stay in
// use), else 0.
int OpenPlayerCatalog();
void ClosePlayerCatalog();
const char* GetPlayerCatalogString(int32_t index, const char* defaultText);
