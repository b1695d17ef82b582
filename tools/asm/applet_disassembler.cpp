// Applet-container disassembler: container bytes -> ".applet" text that assembles back to the
// same bytes. The records are decoded field by field in the layout the player reads (format
// version gates included); container offsets that point at a field boundary of a record become
// "mark" and "offset" pairs, the player labels become ".label" lines in the main function, and
// whatever does not decode is kept as raw bytes.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "asm/asm.h"
#include "asm/asm_chunk.h"
#include "asm/asm_text.h"
#include "asm/disassembler.h"

namespace {

// Packed containers that unpack to more than this are printed raw.
constexpr size_t kMaxUnpackedSize = (size_t)1 << 30;

// Printed names of the record tags.
const char* const kTagNames[] = {"skipped data",     "bytecode",
                                 "directives",       "display size",
                                 "display title",    "display colour",
                                 "display position", "desktop",
                                 "include ranges",   "labels",
                                 "format version",   "title",
                                 "version",          "copyright",
                                 "author",           "description",
                                 "display mode",     "backfill",
                                 "borderless",       "fixed size",
                                 "sizeable",         "hide title bar",
                                 "screen size",      "screen depth",
                                 "hide pointer",     "no mode switch",
                                 "linked files",     "include ranges",
                                 "scaling",          "settings locked",
                                 "no hide",          "user constants",
                                 "timer settings",   "include ranges, hidden names"};
constexpr int kLastTag = 33;
static_assert(sizeof kTagNames / sizeof kTagNames[0] == kLastTag + 1);

const char* const kDirectiveNames[] = {"BGPIC",  "BRUSH", "ANIM", "MUSIC",   "SAMPLE", "BUTTON", "KEYDOWN",
                                       "SPRITE", "FILE",  "FONT", "DISPLAY", "VIDEO",  "PLUGIN", "MENU"};
constexpr int kLastDirective = 13;
static_assert(sizeof kDirectiveNames / sizeof kDirectiveNames[0] == kLastDirective + 1);

// One field of a record: its kind, where its bytes lie, and its printed value. A "bytes" field
// keeps the raw bytes in text; an i32 with a target holds a container offset.
struct Field {
    const char* kind = "";
    size_t at = 0, size = 0;
    std::string text;
    int64_t target = -1;
};

struct Record {
    size_t at = 0, end = 0;  // the tag byte; the byte behind the last field
    int tag = 0;
    std::vector<Field> fields;
    std::string note;
    AsmLabelList labels;  // tag 9: the entries in stored order
};

// Decodes big-endian fields from the container into a field list.
struct Decoder {
    const uint8_t* p = nullptr;
    size_t size = 0;
    size_t pos = 0;
    int major = 0, minor = 0;  // format version read so far
    std::vector<Field>* out = nullptr;
    std::string error;

    bool Fail(const std::string& what) {
        if (error.empty()) error = what + " at byte " + std::to_string(pos);
        return false;
    }
    bool From(int wantMajor, int wantMinor) const {
        return major > wantMajor || (major == wantMajor && minor >= wantMinor);
    }
    bool Need(size_t n) { return size - pos >= n || Fail("unexpected end of the container"); }
    Field& Add(const char* kind, size_t n, std::string text) {
        Field f;
        f.kind = kind;
        f.at = pos;
        f.size = n;
        f.text = std::move(text);
        out->push_back(std::move(f));
        pos += n;
        return out->back();
    }

    // An integer of n bytes; signed kinds print as signed, hex ones in hexadecimal.
    bool Int(const char* kind, int n, int64_t* value = nullptr, bool hex = false) {
        if (!Need((size_t)n)) return false;
        uint64_t v = 0;
        for (int i = 0; i < n; i++) v = (v << 8) | p[pos + i];
        int64_t s = (int64_t)v;
        if (kind[0] == 'i' && (v >> (8 * n - 1)) & 1) s = (int64_t)v - ((int64_t)1 << (8 * n));
        char buf[32];
        if (hex)
            snprintf(buf, sizeof buf, "0x%llX", (unsigned long long)v);
        else
            snprintf(buf, sizeof buf, "%lld", (long long)s);
        Add(kind, (size_t)n, buf);
        if (value) *value = s;
        return true;
    }
    bool U8(int64_t* v = nullptr) { return Int("u8", 1, v); }
    bool I16(int64_t* v = nullptr) { return Int("i16", 2, v); }
    bool I32(int64_t* v = nullptr) { return Int("i32", 4, v); }
    bool Colour() { return Int("u32", 4, nullptr, true); }
    bool Millionths() { return Int("u32", 4); }
    // A count that cannot be negative.
    bool Count(int64_t* n, const char* what) {
        return I32(n) && (*n >= 0 || Fail(std::string("negative ") + what + " count"));
    }
    bool F64() {
        if (!Need(8)) return false;
        uint64_t bits = 0;
        for (int i = 0; i < 8; i++) bits = (bits << 8) | p[pos + i];
        Add("f64", 8, AsmFormatNumber(bits));
        return true;
    }
    // Bytes up to a stop byte, which is part of the field.
    bool Terminated(const char* kind, uint8_t stop, bool complement, std::string* value = nullptr) {
        const void* end = memchr(p + pos, stop, size - pos);
        if (!end) return Fail(std::string("unterminated ") + kind);
        size_t n = (size_t)((const uint8_t*)end - (p + pos));
        std::string text((const char*)p + pos, n);
        if (complement)
            for (char& c : text) c = (char)~c;
        if (value) *value = text;
        Add(kind, n + 1, AsmQuote(text));
        return true;
    }
    bool CStr(std::string* value = nullptr) { return Terminated("cstr", 0, false, value); }
    bool XStr() { return Terminated("xstr", 0xFF, true); }
    bool Str16() {
        if (!Need(2)) return false;
        int n = (p[pos] << 8) | p[pos + 1];
        if (n > 32767) return Fail("negative string length");
        if (size - pos - 2 < (size_t)n) return Fail("string beyond the end of the container");
        Add("str16", 2 + (size_t)n, AsmQuote(std::string((const char*)p + pos + 2, (size_t)n)));
        return true;
    }
    bool Raw(size_t n) {
        if (!Need(n)) return false;
        if (n) Add("bytes", n, std::string((const char*)p + pos, n));
        return true;
    }
    // The value behind a key or constant name: a kind byte, then a number (kind 0) or a text.
    bool KeyValue() {
        int64_t kind;
        return U8(&kind) && (kind == 0 ? F64() : CStr());
    }

    bool RecordFields(Record* r);
    bool Directive();
    bool Gradient();
    bool Backfill();
    bool Regions();
    bool DisplayData();
    bool Menu(int depth);
};

bool Decoder::Gradient() {
    int64_t stops;
    if (!U8() || !Millionths() || !Millionths() || !Millionths() || !Millionths() || !U8(&stops)) return false;
    for (int64_t i = 0; i < stops; i++)
        if (!Colour() || !Millionths()) return false;
    return true;
}

bool Decoder::Backfill() {
    int64_t type;
    if (!U8(&type)) return false;
    switch (type) {
    case 1: return Colour();
    case 2: return Colour() && Colour();
    case 3: return I32();
    case 4:
        if (!I32() || !I32() || !I32() || !Colour() || !Colour()) return false;
        if (!(major == 3 && (minor == 0 || minor == 1))) {
            if (major >= 3 && !U8()) return false;
            if (From(6, 0) && !U8()) return false;
        }
        return true;
    default: return true;
    }
}

bool Decoder::Regions() {
    int64_t n;
    if (!Count(&n, "region")) return false;
    for (int64_t i = 0; i < n; i++)
        for (int k = 0; k < 5; k++)
            if (!I32()) return false;
    return true;
}

bool Decoder::DisplayData() {
    // Background picture, x, y, width, height.
    for (int k = 0; k < 5; k++)
        if (!I32()) return false;
    // Colour, flags, an unused word, scale width and height.
    if (!Colour() || !Int("u32", 4, nullptr, true) || !I32() || !I32() || !I32()) return false;
    if (!Regions() || !Regions() || !Str16()) return false;
    if (From(4, 7) && !(U8() && Colour() && I16() && I32() && I32() && I32())) return false;
    if (From(5, 0) && !Gradient()) return false;
    if (From(5, 2) && !Str16()) return false;
    if (From(5, 3) && !U8()) return false;
    if (From(6, 0)) {
        // Monitor, has-menu, menu id, display mode, desktop, screen size and depth, hide title bar.
        if (!(U8() && U8() && I32() && U8() && U8() && I16() && I16() && U8() && U8())) return false;
        if (!Backfill() || !Str16() || !Str16() || !Str16()) return false;
    }
    return true;
}

// Menu items, each followed by a marker: 2 a sub-menu and another marker, 0 the end of the level.
bool Decoder::Menu(int depth) {
    if (depth > ASM_MAX_DEPTH) return Fail("menu nested too deeply");
    for (;;) {
        int64_t marker;
        if (!Str16() || !Str16() || !Str16() || !I32() || !U8(&marker)) return false;
        if (marker == 2 && (!Menu(depth + 1) || !U8(&marker))) return false;
        if (marker == 0) return true;
    }
}

bool Decoder::Directive() {
    int64_t type, nameOffset, nameLength, dataOffset, dataSize;
    if (!U8(&type) || !I32() || !I32(&nameOffset)) return false;
    size_t nameField = out->size() - 1;
    if (!I32(&nameLength) || !I32(&dataOffset)) return false;
    size_t dataField = out->size() - 1;
    if (!I32(&dataSize)) return false;
    // The offsets point into the container only where a name or linked data is there.
    if (nameLength != 0) (*out)[nameField].target = nameOffset;
    if (dataSize != 0) (*out)[dataField].target = dataOffset;
    // Value, flags, source line; the loader and adapter names from 6.0.
    if (!I32() || !Int("u32", 4, nullptr, true) || !I32()) return false;
    if (From(6, 0) && (!Str16() || !Str16())) return false;
    if (type > kLastDirective) return Fail("unknown directive type " + std::to_string(type));
    switch (type) {
    case 0:  // BGPIC
        if (From(4, 7) && !(U8() && Colour() && Colour() && I16() && I32() && I32() && I32())) return false;
        if (From(5, 0) && !Gradient()) return false;
        if (From(5, 3) && !(I32() && I32() && I32())) return false;
        return true;
    case 1:  // BRUSH
        for (int k = 0; k < 5; k++)
            if (!I16()) return false;
        if (From(5, 0) && !U8()) return false;
        if (From(5, 3) && !(I32() && I32() && I32())) return false;
        if (From(6, 0) && !I32()) return false;
        return true;
    case 2:  // ANIM
        if (From(3, 0) && !U8()) return false;
        if (From(4, 1))
            for (int k = 0; k < 6; k++)
                if (!I16()) return false;
        if (From(5, 3) && !(U8() && U8())) return false;
        return true;
    case 5:  // BUTTON
        for (int k = 0; k < 4; k++)
            if (!I16()) return false;
        return true;
    case 7:  // SPRITE
        for (int k = 0; k < 6; k++)
            if (!I16()) return false;
        return true;
    case 10: return DisplayData();
    case 12: {  // plugin requirement: tags {room, key, value}
        if (!From(6, 0)) return true;
        int64_t n;
        if (!Count(&n, "plugin tag")) return false;
        for (int64_t i = 0; i < n; i++)
            if (!I32() || !CStr() || !KeyValue()) return false;
        return true;
    }
    case 13: return Menu(0);
    default: return true;
    }
}

bool Decoder::RecordFields(Record* r) {
    int tag = r->tag;
    int64_t n;
    switch (tag) {
    case 0:
        if (!I32(&n)) return false;
        if (n < 0) return Fail("negative length of skipped data");
        return Raw((size_t)n);
    case 2: {
        if (!Count(&n, "directive")) return false;
        std::string types;
        for (int64_t i = 0; i < n; i++) {
            if (pos < size && p[pos] <= kLastDirective) types += std::string(" ") + kDirectiveNames[p[pos]];
            if (!Directive()) return false;
        }
        r->note = std::to_string(n) + (n == 1 ? " directive" : " directives") + (types.empty() ? "" : ":") + types;
        return true;
    }
    case 3:
    case 22: return I16() && I16();
    case 4: return Str16();
    case 5: return Colour();
    case 6: return I32() && I32();
    case 7:
    case 29: return true;
    case 8:
    case 27:
    case 33:
        if (!Count(&n, "include range")) return false;
        for (int64_t i = 0; i < n; i++) {
            // First line, last line, line offset, the source name and (27, 33) the container name.
            if (!I32() || !I32() || !I32()) return false;
            bool names = tag == 33 ? XStr() && XStr() : tag == 27 ? CStr() && CStr() : CStr();
            if (!names) return false;
        }
        return true;
    case 9:
        if (!Count(&n, "label")) return false;
        for (int64_t i = 0; i < n; i++) {
            int64_t value;
            std::string name;
            if (!I32(&value) || !CStr(&name)) return false;
            r->labels.emplace_back(name, value >= 0 && value <= INT32_MAX ? (int)value : -1);
        }
        return true;
    case 10: {
        int64_t a, b;
        if (!U8(&a) || !U8(&b)) return false;
        major = (int)a;
        minor = (int)b;
        return true;
    }
    case 11:
    case 12:
    case 13:
    case 14:
    case 15: return CStr();
    case 16:
    case 18:
    case 19:
    case 20:
    case 21:
    case 23:
    case 24:
    case 25:
    case 30: return U8();
    case 17: return Backfill();
    case 26:
        // Entries: name and size; -1: size and offset of data elsewhere, -2: dropped, else inline data.
        if (!Count(&n, "linked file") || !I32()) return false;
        for (int64_t i = 0; i < n; i++) {
            int64_t length;
            if (!CStr() || !I32(&length)) return false;
            if (length == -2) continue;
            if (length == -1) {
                int64_t offset;
                if (!I32() || !I32(&offset)) return false;
                out->back().target = offset;
            } else if (length < 0) {
                return Fail("negative linked file size");
            } else if (!Raw((size_t)length)) {
                return false;
            }
        }
        return true;
    case 28: return U8() && I32() && I32() && U8();
    case 31:
        // Name and value pairs up to an empty name.
        for (;;) {
            std::string name;
            if (!CStr(&name)) return false;
            if (name.empty()) return true;
            if (!KeyValue()) return false;
        }
    case 32:
        if (!Int("u32", 4, nullptr, true)) return false;
        return !From(6, 0) || (I32() && I32() && U8());
    default: return Fail("unknown record tag " + std::to_string(tag));
    }
}

// A plain container split into its parts.
struct Container {
    std::vector<Record> records;
    bool complete = false;  // the bytecode record was read
    size_t restAt = 0;      // not complete: the first byte that does not decode
    std::string why;
    size_t codeAt = 0, codeSize = 0, afterAt = 0;
};

Container Split(const uint8_t* data, size_t size) {
    Container c;
    Decoder d;
    d.p = data;
    d.size = size;
    d.pos = 4;
    for (;;) {
        if (d.pos == size) {
            c.restAt = size;
            c.why = "the container ends where a record tag is expected";
            return c;
        }
        Record r;
        r.at = d.pos;
        r.tag = data[d.pos++];
        if (r.tag == 1) {
            int64_t n = 0;
            std::vector<Field> scratch;
            d.out = &scratch;
            if (!d.I32(&n) || n < 0 || (uint64_t)n > size - d.pos) {
                c.restAt = r.at;
                c.why = "bytecode record beyond the end of the container at byte " + std::to_string(r.at);
                return c;
            }
            c.complete = true;
            c.codeAt = d.pos;
            c.codeSize = (size_t)n;
            c.afterAt = d.pos + (size_t)n;
            return c;
        }
        d.out = &r.fields;
        if (r.tag > kLastTag) {
            c.restAt = r.at;
            c.why = "unknown record tag " + std::to_string(r.tag) + " at byte " + std::to_string(r.at);
            return c;
        }
        if (!d.RecordFields(&r)) {
            c.restAt = r.at;
            c.why = "record " + std::to_string(r.tag) + " at byte " + std::to_string(r.at) + ": " + d.error;
            return c;
        }
        r.end = d.pos;
        c.records.push_back(std::move(r));
    }
}

std::string HexToken(const uint8_t* p, size_t n) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; i++) {
        snprintf(buf, sizeof buf, "%02X", p[i]);
        s += buf;
    }
    return s;
}

// A raw byte string as a field: quoted when it is plain text (zero bytes allowed), else hexadecimal.
std::string BytesField(const std::string& bytes) {
    bool text = true;
    for (unsigned char c : bytes)
        if (!((c >= 0x20 && c < 0x7F) || c == '\n' || c == '\t' || c == 0)) text = false;
    if (text) return "bytes " + AsmQuote(bytes);
    return "hex " + HexToken((const uint8_t*)bytes.data(), bytes.size());
}

// Lines "PREFIX hex ..." of 32 bytes each.
void RawLines(const char* prefix, const uint8_t* p, size_t n, std::string* out) {
    for (size_t i = 0; i < n; i += 32)
        *out += std::string(prefix) + " hex " + HexToken(p + i, n - i < 32 ? n - i : 32) + "\n";
}

// Bytes behind the bytecode record (or behind the packed data): an icon block where they hold one,
// raw bytes for the rest.
void TailLines(const char* prefix, const uint8_t* p, size_t n, std::string* out) {
    std::string pre = prefix;
    size_t i = 0;
    while (i < n && p[i] == 0) i++;
    if (i + 3 <= n && p[i] == 'I') {
        RawLines(prefix, p, i, out);
        *out += pre + " bytes \"I\" u16 " + std::to_string((p[i + 1] << 8) | p[i + 2]) + "   ; icon block\n";
        i += 3;
        while (i + 2 <= n) {
            int width = (int16_t)(uint16_t)((p[i] << 8) | p[i + 1]);
            if (width == 0) {
                *out += pre + " i16 0   ; end of the icon block\n";
                i += 2;
                break;
            }
            if (n - i < 9) break;
            int height = (int16_t)(uint16_t)((p[i + 2] << 8) | p[i + 3]);
            uint32_t bytes =
                ((uint32_t)p[i + 5] << 24) | ((uint32_t)p[i + 6] << 16) | ((uint32_t)p[i + 7] << 8) | p[i + 8];
            if (bytes > n - i - 9) break;
            *out += pre + " i16 " + std::to_string(width) + " i16 " + std::to_string(height) + " u8 " +
                    std::to_string(p[i + 4]) + " u32 " + std::to_string(bytes) + "   ; icon\n";
            RawLines(prefix, p + i + 9, bytes, out);
            i += 9 + bytes;
        }
    } else {
        i = 0;
    }
    RawLines(prefix, p + i, n - i, out);
}

// Where an offset can be written as "offset NAME": a field start, a record end or a byte inside
// raw bytes of a printed record.
bool Markable(const std::vector<Record>& records, int64_t target) {
    for (const Record& r : records) {
        if ((int64_t)r.end == target) return true;
        for (const Field& f : r.fields) {
            if ((int64_t)f.at == target) return true;
            if (!strcmp(f.kind, "bytes") && (int64_t)f.at < target && target < (int64_t)(f.at + f.size)) return true;
        }
    }
    return false;
}

std::string RecordLine(const Record& r, const std::map<int64_t, std::string>& marks) {
    std::string line = ".record " + std::to_string(r.tag);
    auto markAt = [&](int64_t at) {
        auto m = marks.find(at);
        if (m != marks.end()) line += " mark " + m->second;
    };
    for (const Field& f : r.fields) {
        markAt((int64_t)f.at);
        if (f.target >= 0 && marks.count(f.target)) {
            line += " offset " + marks.at(f.target);
        } else if (!strcmp(f.kind, "bytes")) {
            // Split where marks fall inside the bytes.
            size_t from = 0;
            for (auto m = marks.upper_bound((int64_t)f.at); m != marks.end() && m->first < (int64_t)(f.at + f.size);
                 ++m) {
                size_t cut = (size_t)(m->first - (int64_t)f.at);
                line += ' ' + BytesField(f.text.substr(from, cut - from)) + " mark " + m->second;
                from = cut;
            }
            line += " " + BytesField(f.text.substr(from));
        } else {
            line += std::string(" ") + f.kind + " " + f.text;
        }
    }
    markAt((int64_t)r.end);
    return line + "   ; " + (r.note.empty() ? kTagNames[r.tag] : r.note) + "\n";
}

// Whether the labels of record r can be written as ".label" lines in the main function: names the
// assembler accepts, instruction indexes in order within the code.
bool LabelsFitTheCode(const Record& r, const AsmChunk& chunk) {
    if (r.labels.empty()) return false;
    int last = 0;
    for (const auto& l : r.labels) {
        if (!AsmIsName(l.first) || l.second < last || l.second > (int)chunk.main.code.size()) return false;
        last = l.second;
    }
    return true;
}

// Text of a plain container that decodes up to its bytecode record. header is the ".applet" line;
// tailDirective takes the bytes behind the bytecode record. Sets why when the chunk is raw.
std::string PlainText(const uint8_t* data, Container& c, const std::string& header, const char* tailDirective,
                      size_t tailEnd, std::string* why) {
    AsmChunk chunk;
    std::string chunkWhy;
    bool decoded = AsmDecodeChunk(data + c.codeAt, c.codeSize, &chunk, &chunkWhy);
    AsmLabelList labels;
    if (decoded && !c.records.empty() && c.records.back().tag == 9 && LabelsFitTheCode(c.records.back(), chunk)) {
        labels = c.records.back().labels;
        c.records.pop_back();
    }
    std::map<int64_t, std::string> marks;
    for (const Record& r : c.records)
        for (const Field& f : r.fields)
            if (f.target >= 0 && Markable(c.records, f.target)) marks[f.target];
    int n = 0;
    for (auto& m : marks) m.second = 'm' + std::to_string(++n);

    std::string out;
    if (!decoded) {
        *why = "bytecode: " + chunkWhy;
        out += "; the bytecode does not decode as a chunk: " + chunkWhy + "\n.rawchunk\n";
    }
    out += header;
    for (const Record& r : c.records) out += RecordLine(r, marks);
    if (decoded) {
        out += AsmChunkText(chunk, labels);
    } else {
        AsmHexLines(std::string((const char*)data + c.codeAt, c.codeSize), &out);
    }
    TailLines(tailDirective, data + c.afterAt, tailEnd - c.afterAt, &out);
    return out;
}

std::string RawText(const uint8_t* data, size_t size, const std::string& why) {
    std::string out = "; not decodable as an applet container: " + why + "\n.rawchunk\n";
    AsmHexLines(std::string((const char*)data, size), &out);
    return out;
}

// Unpacks the zlib stream at data[8..]; *used receives the stream's length.
bool Unpack(const uint8_t* data, size_t size, std::string* plain, size_t* used, std::string* why) {
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) {
        *why = "zlib cannot start";
        return false;
    }
    z.next_in = const_cast<Bytef*>(data + 8);
    std::vector<uint8_t> buffer(65536);
    size_t left = size - 8;
    int ret = Z_OK;
    while (ret == Z_OK) {
        uInt take = left > 0x40000000 ? 0x40000000 : (uInt)left;
        z.avail_in = take;
        z.next_out = buffer.data();
        z.avail_out = (uInt)buffer.size();
        ret = inflate(&z, Z_NO_FLUSH);
        left -= take - z.avail_in;
        plain->append((const char*)buffer.data(), buffer.size() - z.avail_out);
        if (plain->size() > kMaxUnpackedSize) {
            inflateEnd(&z);
            *why = "the packed data unpacks to more than " + std::to_string(kMaxUnpackedSize) + " bytes";
            return false;
        }
    }
    *used = (size - 8) - left;
    inflateEnd(&z);
    if (ret != Z_STREAM_END) {
        const char* detail = ret == Z_BUF_ERROR   ? "the stream is cut short"
                             : ret == Z_NEED_DICT ? "needs a dictionary"
                                                  : z.msg;
        *why = std::string("the packed data does not unpack (zlib: ") + (detail ? detail : "error") + ")";
        return false;
    }
    return true;
}

// The zlib level that packs plain into exactly stream: the default first, then 0 to 9.
bool FindLevel(const std::string& plain, const uint8_t* stream, size_t streamSize, int* level) {
    std::vector<uint8_t> packed(compressBound((uLong)plain.size()));
    for (int l = -1; l <= 9; l++) {
        if (l == 6) continue;  // the default level
        uLongf n = (uLongf)packed.size();
        if (compress2(packed.data(), &n, (const Bytef*)plain.data(), (uLong)plain.size(), l) != Z_OK) continue;
        if (n == streamSize && memcmp(packed.data(), stream, n) == 0) {
            *level = l;
            return true;
        }
    }
    return false;
}

// A packed container whose plain container decodes up to its bytecode record and packs again to
// the same stream; anything else is printed raw.
std::string PackedText(const uint8_t* data, size_t size, std::string* why) {
    std::string plain;
    size_t used = 0;
    Container c;
    int level = -1;
    if (size < 8) {
        *why = "packed container shorter than its header";
    } else if (Unpack(data, size, &plain, &used, why)) {
        if (plain.size() < 4 || memcmp(plain.data(), "QZA\0", 4) != 0) {
            *why = "the packed data is not a plain container";
        } else {
            c = Split((const uint8_t*)plain.data(), plain.size());
            if (!c.complete)
                *why = "the packed container: " + c.why;
            else if (!FindLevel(plain, data + 8, used, &level))
                *why = "zlib does not pack the container to the same bytes at any level";
        }
    }
    if (!why->empty()) return RawText(data, size, *why);
    const uint8_t* p = (const uint8_t*)plain.data();
    uint32_t word = ((uint32_t)data[4] << 24) | ((uint32_t)data[5] << 16) | ((uint32_t)data[6] << 8) | data[7];
    std::string header = ".applet packed";
    if (level >= 0) header += " level " + std::to_string(level);
    if (word) {
        char buf[24];
        snprintf(buf, sizeof buf, " word 0x%X", word);
        header += buf;
    }
    std::string out = PlainText(p, c, header + "\n", ".inside", plain.size(), why);
    TailLines(".after", data + 8 + used, size - 8 - used, &out);
    return out;
}

}  // namespace

std::string AsmAppletText(const uint8_t* data, size_t size, std::string* error) {
    std::string why, out;
    if (memcmp(data, "QZZ\0", 4) == 0) {
        out = PackedText(data, size, &why);
    } else {
        Container c = Split(data, size);
        if (c.complete) {
            out = PlainText(data, c, ".applet\n", ".after", size, &why);
        } else {
            // The records that decode, the rest as one raw record; the bytecode record that the
            // assembler adds is cut off again.
            why = c.why;
            out = "; not a complete applet container: " + why + "\n.rawchunk\n.applet\n";
            std::map<int64_t, std::string> marks;
            for (const Record& r : c.records) out += RecordLine(r, marks);
            if (c.restAt < size) {
                out += ".record " + std::to_string(data[c.restAt]);
                if (c.restAt + 1 < size) out += " hex " + HexToken(data + c.restAt + 1, size - c.restAt - 1);
                out += "   ; does not decode\n";
            }
            out += ".truncate " + std::to_string(size) + "\n";
        }
    }
    if (error) *error = why;
    return out;
}
