// The font-file list and the name-table reader; see font_files.h.
#include "text/font_files.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include "base/byte_order.h"
#include "base/charset.h"

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_env.h"
#include "platform/system_fonts.h"

namespace {

std::vector<std::string> gFontPaths;
std::vector<qzFontFileEntry> gFontFiles;
bool gScanned = false;

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CompareNoCase(a.c_str(), b.c_str()) == 0;
}

bool EndsWithNoCase(const std::string& name, const char* suffix) {
    size_t n = std::strlen(suffix);
    return name.size() >= n && CompareNoCase(name.c_str() + name.size() - n, suffix) == 0;
}

bool ReadAt(qzVfsFile* file, int64_t offset, void* buffer, size_t count) {
    return offset >= 0 && VfsSeek(file, offset, QZ_VFS_SEEK_BEGINNING) >= 0 && VfsRead(file, buffer, count) == count;
}

// Adds a face unless one of the same full name is listed already; a plain style also lists the
// face under its family name alone.
void AddFontFile(const std::string& family, const std::string& style, const qzFontFileEntry& where) {
    for (int pass = 0; pass < 2; pass++) {
        qzFontFileEntry entry = where;
        entry.family = family;
        if (pass == 0)
            entry.fullName = style.empty() ? family : family + " " + style;
        else if (!style.empty() && IsPlainStyle(style.c_str()))
            entry.fullName = family;
        else
            break;
        bool known = false;
        for (const qzFontFileEntry& e : gFontFiles)
            if (EqualNoCase(e.fullName, entry.fullName)) {
                known = true;
                break;
            }
        if (known) continue;
        StyleWeightAndSlant(style, &entry.weight, &entry.slant);
        gFontFiles.push_back(std::move(entry));
    }
}

void AddSfntFace(qzVfsFile* file, const std::string& path, int64_t offset, int64_t size, int index,
                 int64_t resourceOffset) {
    std::string family, style;
    if (!ReadFontNames(file, &family, &style, offset, offset)) return;
    qzFontFileEntry where;
    where.path = path;
    where.offset = resourceOffset ? offset : 0;
    where.size = resourceOffset ? size : 0;
    where.resourceOffset = resourceOffset;
    where.faceIndex = index;
    AddFontFile(family, style, where);
}

void ScanCollection(qzVfsFile* file, const std::string& path) {
    uint8_t head[12];
    int64_t fileSize = VfsGetFileSize(file);
    if (!ReadAt(file, 0, head, sizeof head) || std::memcmp(head, "ttcf", 4) != 0) return;
    uint32_t faces = LoadBE32(head + 8);
    // A face count whose offset table would lie beyond the file is refused.
    if (fileSize < 12 || (uint64_t)faces * 4 > (uint64_t)fileSize - 12) return;
    for (uint32_t i = 0; i < faces; i++) {
        uint8_t offset[4];
        if (!ReadAt(file, 12 + 4 * (int64_t)i, offset, 4)) return;
        std::string family, style;
        // The table offsets of a collection's faces count from the start of the file.
        if (!ReadFontNames(file, &family, &style, LoadBE32(offset), 0)) continue;
        qzFontFileEntry where;
        where.path = path;
        where.faceIndex = (int)i;
        AddFontFile(family, style, where);
    }
}

void ScanResourceFile(qzVfsFile* file, const std::string& path) {
    int64_t fileSize = VfsGetFileSize(file);
    int index = 0;
    for (int64_t at = 256; at + 4 <= fileSize; index++) {
        uint8_t length[4];
        if (!ReadAt(file, at, length, 4)) return;
        int64_t size = LoadBE32(length);
        if (at + 4 + size > fileSize) return;
        AddSfntFace(file, path, at + 4, size, 0, at);
        at += 4 + size;
    }
}

void ScanContentsFile(qzVfsFile* file, const std::string& path, const std::string& fileName) {
    uint8_t head[4];
    if (!ReadAt(file, 0, head, 4)) return;
    uint32_t id = LoadBE16(head);
    if (id != 0x0F00 && id != 0x0F02 && id != 0x0F03) return;
    uint32_t count = LoadBE16(head + 2);
    qzFontFileEntry entry;
    entry.path = path;
    entry.bitmap = true;
    entry.fileType = (int)id;
    for (uint32_t i = 0; i < count; i++) {
        uint8_t sizeWord[2];
        if (!ReadAt(file, 4 + (int64_t)i * 260 + 256, sizeWord, 2)) break;
        entry.sizes.push_back(sizeWord[1]);
    }
    std::string name = fileName.substr(0, fileName.size() - 5);
    for (const qzFontFileEntry& e : gFontFiles)
        if (EqualNoCase(e.fullName, name)) return;
    entry.fullName = entry.family = name;
    gFontFiles.push_back(std::move(entry));
}

void ScanFile(const std::string& path, const std::string& fileName) {
    static const char* const kExtensions[] = {".font", ".ttf", ".otf", ".ttc", ".dfont"};
    int kind = -1;
    for (int i = 0; i < 5; i++)
        if (EndsWithNoCase(fileName, kExtensions[i])) kind = i;
    if (kind < 0) return;
    // The file is closed also when listing its faces runs out of memory and unwinds through here.
    qzVfsFileOwner owner(VfsOpen(path.c_str(), QZ_VFS_READ, nullptr));
    qzVfsFile* file = owner.get();
    if (!file) return;
    if (kind == 0)
        ScanContentsFile(file, path, fileName);
    else if (kind == 3)
        ScanCollection(file, path);
    else if (kind == 4)
        ScanResourceFile(file, path);
    else
        AddSfntFace(file, path, 0, 0, 0, 0);
}

}  // namespace

const std::vector<std::string>& GetFontPaths() { return gFontPaths; }
void AppendFontPath(const std::string& path) { gFontPaths.push_back(path); }
void FreeFontPaths() { std::vector<std::string>().swap(gFontPaths); }

bool IsPlainStyle(const char* style) {
    static const char* const kPlain[] = {"regular", "plain", "normal", "book", "roman"};
    for (const char* p : kPlain)
        if (CompareNoCase(style, p) == 0) return true;
    return false;
}

void StyleWeightAndSlant(const std::string& style, int* weight, int* slant) {
    static const struct {
        const char* word;
        int isSlant;
        int value;
    } kWords[] = {
        {"Thin", 0, 0},          {"Extralight", 0, 40},  {"Extra-light", 0, 40},  {"Ultralight", 0, 40},
        {"Ultra-light", 0, 40},  {"Light", 0, 50},       {"Book", 0, 75},         {"Normal", 0, 80},
        {"Regular", 0, 80},      {"Medium", 0, 100},     {"Semibold", 0, 180},    {"Semi-bold", 0, 180},
        {"Semi", 0, 180},        {"Demibold", 0, 180},   {"Demi-bold", 0, 180},   {"Demi", 0, 180},
        {"Bold", 0, 200},        {"Extrabold", 0, 205},  {"Extra-bold", 0, 205},  {"Ultrabold", 0, 205},
        {"Ultra-bold", 0, 205},  {"Heavy", 0, 210},      {"Black", 0, 210},       {"Extrablack", 0, 215},
        {"Extra-black", 0, 215}, {"Ultrablack", 0, 215}, {"Ultra-black", 0, 215}, {"Roman", 1, 0},
        {"Italic", 1, 100},      {"Oblique", 1, 110},
    };
    *weight = 80;
    *slant = 0;
    size_t start = 0;
    while (start <= style.size()) {
        size_t end = style.find(' ', start);
        if (end == std::string::npos) end = style.size();
        std::string word = style.substr(start, end - start);
        for (const auto& w : kWords)
            if (!word.empty() && CompareNoCase(word.c_str(), w.word) == 0) *(w.isSlant ? slant : weight) = w.value;
        start = end + 1;
    }
}

int ReadFontNames(qzVfsFile* file, std::string* family, std::string* style, int64_t base, int64_t tableBase) {
    family->clear();
    style->clear();
    uint8_t head[12];
    if (!ReadAt(file, base, head, sizeof head)) return 0;
    bool trueType = LoadBE16(head) == 1 && LoadBE16(head + 2) == 0;
    bool cff = std::memcmp(head, "OTTO", 4) == 0;
    bool apple = std::memcmp(head, "true", 4) == 0;
    if (!trueType && !cff && !apple) return 0;
    uint32_t tables = LoadBE16(head + 4);
    int64_t nameOffset = -1;
    for (uint32_t i = 0; i < tables; i++) {
        uint8_t record[16];
        if (!ReadAt(file, base + 12 + 16 * (int64_t)i, record, sizeof record)) return 0;
        if (std::memcmp(record, "name", 4) == 0) {
            nameOffset = LoadBE32(record + 8);
            break;
        }
    }
    if (nameOffset < 0) return 0;
    uint8_t nameHead[6];
    if (!ReadAt(file, tableBase + nameOffset, nameHead, sizeof nameHead)) return 0;
    uint32_t count = LoadBE16(nameHead + 2);
    uint32_t stringOffset = LoadBE16(nameHead + 4);
    static const uint32_t kEnglish[] = {0x409, 0x809, 0xC09, 0x1009, 0x1409, 0x1809, 0x1C09, 0x4009};
    for (uint32_t i = 0; i < count && (family->empty() || style->empty()); i++) {
        uint8_t r[12];
        if (!ReadAt(file, tableBase + nameOffset + 6 + 12 * (int64_t)i, r, sizeof r)) break;
        uint32_t platform = LoadBE16(r), language = LoadBE16(r + 4), id = LoadBE16(r + 6), length = LoadBE16(r + 8);
        uint32_t offset = LoadBE16(r + 10);
        if (id != 1 && id != 2) continue;
        if (platform == 1 && language != 0) continue;
        if (platform == 3 && std::find(std::begin(kEnglish), std::end(kEnglish), language) == std::end(kEnglish))
            continue;
        std::string* target = id == 1 ? family : style;
        if (!target->empty()) continue;
        if (length > 511) return 0;
        uint8_t text[512];
        if (!ReadAt(file, tableBase + nameOffset + stringOffset + offset, text, length)) return 0;
        for (uint32_t k = 0; k < length; k++)
            if (text[k]) target->push_back((char)text[k]);
    }
    return family->empty() ? 0 : 1;
}

int ScanFontDirectory(const char* folder) {
    qzVfsLock* lock = VfsLock(folder, QZ_VFS_LOCK_READ, nullptr);
    if (!lock) {
        SetErrorArgString(folder);
        return ERR_LOCK2;
    }
    // The lock goes also when collecting the names runs out of memory and unwinds through here.
    std::unique_ptr<qzVfsLock, void (*)(qzVfsLock*)> owner(lock, VfsUnlock);
    int isDirectory = 0;
    std::vector<std::string> names;
    if (VfsCheckDirLock(lock, &isDirectory) == 0 && isDirectory) {
        const char* name = nullptr;
        int entryIsDirectory = 0;
        while (VfsNextDirEntry(lock, nullptr, &name, &entryIsDirectory, nullptr))
            if (!entryIsDirectory) names.push_back(name);
    }
    owner.reset();
    // Directory order differs between file systems: scan in name order.
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string path = folder;
        AddPathPart(path, n.c_str());
        ScanFile(path, n);
    }
    return 0;
}

void ScanFontDirectories() {
    if (gScanned) return;
    gScanned = true;
    // A scan that runs out of memory and unwinds through here is dropped whole, so that the next
    // search scans again instead of finding only the fonts listed before memory ran out.
    struct ScanUndo {
        bool done = false;
        ~ScanUndo() {
            if (!done) FreeFontFileList();
        }
    } undo;
    for (const std::string& folder : gFontPaths) ScanFontDirectory(folder.c_str());
    // The system's fonts as its font configuration lists them, without opening the files.
    std::vector<qzSystemFace> faces;
    OsListSystemFaces(&faces);
    for (const qzSystemFace& face : faces) {
        static const char* const kSfnt[] = {".ttf", ".otf", ".ttc", ".dfont"};
        bool listed = false;
        for (const char* e : kSfnt) listed = listed || EndsWithNoCase(face.path, e);
        if (!listed) continue;
        qzFontFileEntry where;
        where.path = face.path;
        where.faceIndex = face.index;
        AddFontFile(face.family, face.style, where);
    }
    std::string home;
    if (OsGetEnv("HOME", &home) && !home.empty()) {
        AddPathPart(home, "Library/Fonts");
        ScanFontDirectory(home.c_str());
    }
    ScanFontDirectory("Fonts");
    ClearErrorArg();
    undo.done = true;
}

const std::vector<qzFontFileEntry>& GetFontFileList() { return gFontFiles; }

void FreeFontFileList() {
    std::vector<qzFontFileEntry>().swap(gFontFiles);
    gScanned = false;
}

bool FindFontFile(const char* name, int weight, int slant, qzFontLocation* out) {
    ScanFontDirectories();
    for (const qzFontFileEntry& e : gFontFiles) {
        if (e.bitmap) continue;
        bool match = weight == -1
                         ? CompareNoCase(e.fullName.c_str(), name) == 0
                         : CompareNoCase(e.family.c_str(), name) == 0 && e.weight == weight && e.slant == slant;
        if (!match) continue;
        out->path = e.path;
        out->offset = e.offset;
        out->size = e.size;
        out->faceIndex = e.faceIndex;
        return true;
    }
    return false;
}
