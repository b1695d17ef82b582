// Reading locale catalogs in their IFF and text forms.
#include "platform/catalog.h"

#include <atomic>
#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "base/path_limit.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/os_env.h"
#include "platform/os_process.h"
#include "platform/vfs.h"

namespace {

constexpr size_t kMinIffSize = 101;
constexpr uint32_t kEndWord = 0xFFFFFFFFu;

// Folder names per language: native first, then English. Native names are ISO 8859-1 text; the
// Czech one is given in UTF-8 so that it reaches the folder "čeština" on the disk (its original
// form is ISO 8859-2, which no file system here stores).
const char* const kFolders[18][2] = {
    {"english", "english"},
    {"deutsch", "german"},
    {"nederlands", "dutch"},
    {"italiano", "italian"},
    {"fran\xE7"
     "ais",
     "french"},
    {"espa\xF1ol", "spanish"},
    {"portugu\xEAs", "portuguese"},
    {"svenska", "swedish"},
    {"dansk", "danish"},
    {"suomi", "finnish"},
    {"norsk", "norwegian"},
    {"polski", "polish"},
    {"magyar", "hungarian"},
    {"greek", "greek"},
    {"\xC4\x8D"
     "e\xC5\xA1tina",
     "czech"},
    {"t\xFCrk\xE7"
     "e",
     "turkish"},
    {"hrvatski", "croatian"},
    {"unknown", "unknown"},
};

uint32_t ReadBE32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Finds the first STRS entry of an IFF catalog; 0 when the form is not a usable catalog. The end
// word lies behind the data, so every 4-byte compare below stays inside the buffer.
size_t FindStrings(const unsigned char* data, size_t size) {
    if (std::memcmp(data + 8, "CTLGFVER", 8) != 0) return 0;
    for (size_t offset = 16; offset + 2 < size; offset += 2)
        if (std::memcmp(data + offset, "STRS", 4) == 0) return offset + 8;
    return 0;
}

// Converts a text catalog in place: escapes, line ends to NULs; a NUL ends the text.
size_t ConvertText(unsigned char* text, size_t size) {
    size_t in = 0, out = 0;
    while (in < size && text[in] != 0) {
        unsigned char c = text[in++];
        if (c == '\\' && in < size && text[in] != 0) {
            unsigned char e = text[in++];
            if (e == 'r')
                c = '\r';
            else if (e == 't')
                c = '\t';
            else if (e == 'n')
                c = '\n';
            // any other character: the backslash stays, the character is dropped
        } else if (c == '\n') {
            c = 0;
        } else if (c == '\r') {
            // CR LF ends the line; a lone CR does too and swallows the character after it.
            c = 0;
            if (in < size && text[in] != 0) ++in;
        }
        text[out++] = c;
    }
    return out;
}

const char* IffString(const qzCatalog* catalog, uint32_t index, const char* defaultText) {
    const unsigned char* data = catalog->buffer;
    size_t size = catalog->size;
    size_t offset = catalog->iffStrings;
    while (offset + 4 <= size + 4) {
        uint32_t id = ReadBE32(data + offset);
        if (id == kEndWord || offset + 8 > size) break;
        uint32_t length = ReadBE32(data + offset + 4);
        size_t left = size - offset - 8;
        if (length > left) break;
        size_t padded = (static_cast<size_t>(length) + 3) & ~static_cast<size_t>(3);
        const unsigned char* text = data + offset + 8;
        if (id == index) {
            // The text must end inside its entry (or its padding), never in what follows.
            size_t span = padded < left ? padded : left;
            if (!std::memchr(text, 0, span)) break;
            return reinterpret_cast<const char*>(text);
        }
        if (padded > left) break;
        offset += 8 + padded;
    }
    return defaultText;
}

std::atomic<qzCatalog*> playerCatalog{nullptr};

}  // namespace

qzCatalog* ParseCatalogData(const unsigned char* data, size_t size, int* error) {
    if (error) *error = 0;
    if (!data && size) return nullptr;
    if (size > SIZE_MAX - 8) return nullptr;
    auto* catalog = static_cast<qzCatalog*>(OsAlloc(sizeof(qzCatalog), 1));
    if (!catalog) {
        if (error) *error = ERR_MEM;
        return nullptr;
    }
    // The data, the end word and a NUL.
    catalog->buffer = static_cast<unsigned char*>(OsAlloc(size + 5, 0));
    if (!catalog->buffer) {
        OsFree(catalog);
        if (error) *error = ERR_MEM;
        return nullptr;
    }
    if (size) std::memcpy(catalog->buffer, data, size);
    std::memset(catalog->buffer + size, 0xFF, 4);
    catalog->buffer[size + 4] = 0;
    catalog->size = size;
    if (size >= kMinIffSize && std::memcmp(catalog->buffer, "FORM", 4) == 0) {
        catalog->iffStrings = FindStrings(catalog->buffer, size);
        if (!catalog->iffStrings) {
            FreeCatalogFile(catalog);
            return nullptr;
        }
        return catalog;
    }
    catalog->textLength = ConvertText(catalog->buffer, size);
    catalog->buffer[catalog->textLength] = 0;
    return catalog;
}

qzVfsFile* FindCatalogFile(const char* directory, const char* folder, const char* name, int language, bool native) {
    if (language < 0 || language > 17 || !name) return nullptr;
    std::string path = directory ? directory : "";
    AddPathPart(path, folder);
    AddPathPart(path, kFolders[language][native ? 0 : 1]);
    AddPathPart(path, name);
    return VfsOpen(path.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr);
}

qzCatalog* OpenCatalogFile(const char* name, int* error) {
    if (error) *error = 0;
    int language = OsGetSystemLanguage();
    if (language == QZ_LANGUAGE_ENGLISH || language < 0 || language >= QZ_LANGUAGE_NONE) return nullptr;
    char programDir[QZ_PATH_MAX];
    bool haveProgramDir = MacGetBundlePath(programDir, sizeof(programDir));
    const char* directories[2] = {nullptr, haveProgramDir ? programDir : nullptr};
    qzVfsFile* file = nullptr;
    for (int d = 0; d < 2 && !file; ++d) {
        if (d == 1 && !haveProgramDir) break;
        file = FindCatalogFile(directories[d], "Catalogs", name, language, false);
        if (!file) file = FindCatalogFile(directories[d], "Catalogs", name, language, true);
    }
    if (!file) return nullptr;
    // Closed also when reading it through a file adapter runs out of memory and unwinds.
    qzVfsFileOwner owner(file);
    unsigned char* data = nullptr;
    size_t size = 0;
    int rc = VfsLoadFile(name, nullptr, file, &data, &size, true);
    owner.reset();
    if (rc) {
        if (error && rc == ERR_MEM) *error = ERR_MEM;
        return nullptr;
    }
    qzCatalog* catalog = ParseCatalogData(data, size, error);
    OsFree(data);
    return catalog;
}

const char* GetCatalogFileString(const qzCatalog* catalog, int32_t index, const char* defaultText) {
    if (!catalog) return defaultText;
    if (catalog->iffStrings) return IffString(catalog, static_cast<uint32_t>(index), defaultText);
    if (catalog->textLength == 0) return defaultText;
    const char* text = reinterpret_cast<const char*>(catalog->buffer);
    size_t pos = 0;
    for (int32_t n = 0; n < index; ++n) {
        const void* nul = std::memchr(text + pos, 0, catalog->textLength - pos);
        if (!nul) return defaultText;
        pos = static_cast<size_t>(static_cast<const char*>(nul) - text) + 1;
        if (pos >= catalog->textLength) return defaultText;
    }
    return text + pos;
}

void FreeCatalogFile(qzCatalog* catalog) {
    if (!catalog) return;
    OsFree(catalog->buffer);
    OsFree(catalog);
}

qzCatalog* OsOpenCatalog(const char* name) { return OpenCatalogFile(name); }
void OsCloseCatalog(qzCatalog* catalog) { FreeCatalogFile(catalog); }
const char* OsGetCatalogString(const qzCatalog* catalog, int32_t index, const char* defaultText) {
    return GetCatalogFileString(catalog, index, defaultText);
}

int OpenPlayerCatalog() {
    int error = 0;
    qzCatalog* catalog = OpenCatalogFile(QZ_PLAYER_CATALOG, &error);
    FreeCatalogFile(playerCatalog.exchange(catalog));
    return error;
}

void ClosePlayerCatalog() { FreeCatalogFile(playerCatalog.exchange(nullptr)); }

const char* GetPlayerCatalogString(int32_t index, const char* defaultText) {
    return GetCatalogFileString(playerCatalog.load(), index, defaultText);
}
