// The list of font files found in the font folders, with their family and style names, and the
// font-path list that AddFontPath fills. The list is built once, on first need, from (in this
// order) the folders of the font-path list, the faces that the system's font configuration
// lists, the folder "Library/Fonts" in HOME, and the folder "Fonts"; the first face of a full
// name wins. Disk bitmap fonts (".font" contents files) are listed with their sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vfs.h"

struct qzFontFileEntry {
    std::string fullName;  // family, then a blank and the style unless the style is empty
    std::string family;
    std::string path;
    int weight = 80;
    int slant = 0;
    int64_t offset = 0;          // where the face lies in the file (0: the whole file)
    int64_t size = 0;            // its size (0: to the end of the file)
    int64_t resourceOffset = 0;  // ".dfont" faces: where the face's resource record lies
    int faceIndex = 0;           // index within a collection
    bool bitmap = false;         // a disk bitmap font
    int fileType = 0;            // disk bitmap fonts: the contents file's id (0x0F00, 0x0F02, 0x0F03)
    std::vector<uint8_t> sizes;  // disk bitmap fonts: the sizes the contents file offers
};

// Where FindFontFile found a face.
struct qzFontLocation {
    std::string path;
    int64_t offset = 0;
    int64_t size = 0;
    int faceIndex = 0;
};

// The font-path list.
const std::vector<std::string>& GetFontPaths();
void AppendFontPath(const std::string& path);
void FreeFontPaths();

// Builds the list once; later calls do nothing.
void ScanFontDirectories();
// Scans one folder into the list. Returns 0, or ERR_LOCK2 (with the folder as the error argument)
// when it cannot be locked.
int ScanFontDirectory(const char* folder);
const std::vector<qzFontFileEntry>& GetFontFileList();
// Frees the list; the next need scans again.
void FreeFontFileList();

// Finds a face: with weight -1 by full name, else by family, weight and slant (all names compared
// without case). Disk bitmap fonts are passed over. Scans first when needed.
bool FindFontFile(const char* name, int weight, int slant, qzFontLocation* out);

// Reads family (name id 1) and style (name id 2) from the name table of the sfnt face whose table
// directory lies at `base` of an open file. Table offsets count from `tableBase`: the face's own
// start for single faces, the file's start for the faces of a collection. Returns 1 when the
// family was found.
int ReadFontNames(qzVfsFile* file, std::string* family, std::string* style, int64_t base, int64_t tableBase);

// Weight and slant of a style name, from its words.
void StyleWeightAndSlant(const std::string& style, int* weight, int* slant);
// "regular", "plain", "normal", "book" and "roman", compared without case.
bool IsPlainStyle(const char* style);
