// memblock commands: typed values against python3 struct in both byte orders, the range rule
// (also near the 32-bit limits), fills, copies, the hexadecimal dump and table conversion.
#include <cstring>

#include "base/error_codes.h"
#include "libs/oracle.h"
#include "libs/system_test_util.h"

using namespace systest;

namespace {

class MemblockTest : public LibFixture {
protected:
    void Alloc(double id, double size) { ASSERT_EQ(Call("AllocMem", {id, size}), 0); }
    // The block's bytes through GetMemPointer.
    std::string Bytes(double id, size_t n) {
        int top = VmGetTop(L);
        EXPECT_EQ(Call("GetMemPointer", {id}), 0);
        const char* p = static_cast<const char*>(VmToUserdata(L, -1));
        VmSetTop(L, top);
        return p ? std::string(p, n) : std::string();
    }
    static std::string Hex(const std::string& bytes) {
        std::string out;
        char piece[4];
        for (unsigned char c : bytes) {
            snprintf(piece, sizeof piece, "%02x", c);
            out += piece;
        }
        return out;
    }
    int Poke(double id, double offset, double value, double type, double flag = 0) {
        return Call("Poke", {id, offset, value, type, flag});
    }
};

// Each value is poked, its bytes compared with python3 struct.pack and read back with Peek.
TEST_F(MemblockTest, PokeAndPeekMatchStruct) {
    struct Case {
        int type;
        int flag;
        double value;
        const char* format;  // struct format of the stored bytes
        double readBack;
    };
    const Case cases[] = {
        {QZ_VT_SHORT, 0, 258, ">H", 258},
        {QZ_VT_SHORT, 1, 258, "<H", 258},
        {QZ_VT_INTEGER, 0, 0x12345678, ">I", 0x12345678},
        {QZ_VT_INTEGER, 1, 0x12345678, "<I", 0x12345678},
        {QZ_VT_INTEGER, 0, -1, ">I", 4294967295.0},
        {QZ_VT_INTEGER, 0, 3000000000.0, ">I", 3000000000.0},
        {QZ_VT_SHORT, 0, -2, ">H", 65534},
        {QZ_VT_BYTE, 0, 511, "B", 255},
        {QZ_VT_FLOAT, 0, 1.5, "<f", 1.5},
        {QZ_VT_FLOAT, 0, 0.1, "<f", (double)0.1f},
        {QZ_VT_DOUBLE, 0, -2.25e300, "<d", -2.25e300},
    };
    std::string program = "import struct\n";
    for (const Case& c : cases) {
        char line[160];
        double packed = c.value;
        if (c.format[1] == 'I' || c.format[1] == 'H' || c.format[0] == 'B') {
            long long bits = (long long)c.value;
            int width = c.format[0] == 'B' ? 8 : c.format[1] == 'H' ? 16 : 32;
            packed = (double)(bits & ((1LL << width) - 1));
        }
        snprintf(line, sizeof line, "print(struct.pack('%s', %.17g).hex())\n", c.format,
                 c.format[1] == 'f' || c.format[1] == 'd' ? c.value : packed);
        program += line;
    }
    std::istringstream expected(libtest::Python(program));
    Alloc(1, 8);
    for (const Case& c : cases) {
        std::string want;
        std::getline(expected, want);
        ASSERT_EQ(Poke(1, 0, c.value, c.type, c.flag), 0) << c.format;
        EXPECT_EQ(Hex(Bytes(1, want.size() / 2)), want) << c.format << " " << c.value;
        EXPECT_EQ(CallNumber("Peek", {1, 0, c.type, c.flag}), c.readBack) << c.format;
    }
}

TEST_F(MemblockTest, StringsAndRanges) {
    Alloc(1, 4);
    // Range errors, including offsets whose sum with the width passes 2^31.
    EXPECT_EQ(Call("Peek", {1, 2, QZ_VT_INTEGER}), ERR_MEMRANGE);
    EXPECT_EQ(Call("Peek", {1, -1}), ERR_MEMRANGE);
    EXPECT_EQ(Call("Peek", {1, 2147483647}), ERR_MEMRANGE);
    EXPECT_EQ(Poke(1, 2147483646, 1, QZ_VT_INTEGER), ERR_MEMRANGE);
    EXPECT_EQ(Call("Peek", {1, 1, QZ_VT_STRING, 2147483647}), ERR_MEMRANGE);
    EXPECT_EQ(Call("Peek", {1, 0, QZ_VT_STRING, -1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("Peek", {1, 0, QZ_VT_TABLE}), ERR_WRONGUSAGE);

    // A string is stored with its zero byte: "abc" needs 4 bytes.
    auto pokeString = [&](double id, const char* text) { return Call("Poke", {id, 0, text, QZ_VT_STRING}); };
    EXPECT_EQ(pokeString(1, "abc"), 0);
    EXPECT_EQ(Hex(Bytes(1, 4)), "61626300");
    Alloc(2, 3);
    EXPECT_EQ(pokeString(2, "abc"), ERR_MEMRANGE);

    // Peek of text with length 0 stops at the first byte that is not text, or the block's end.
    ASSERT_EQ(Poke(1, 0, 0x61620100, QZ_VT_INTEGER), 0);
    auto peekText = [&](double id) { return CallString("Peek", {id, 0, QZ_VT_STRING}); };
    EXPECT_EQ(peekText(1), "ab");
    ASSERT_EQ(Poke(1, 0, 0x41420a43, QZ_VT_INTEGER), 0);
    EXPECT_EQ(peekText(1), "AB\nC");
    EXPECT_EQ(CallString("Peek", {1, 1, QZ_VT_STRING, 2}), "B\n");
}

TEST_F(MemblockTest, FillAndCopy) {
    Alloc(1, 8);
    Alloc(2, 8);
    auto fill = [&](double value, double count, double offset, double type) {
        return Call("FillMem", {1, value, count, offset, type});
    };
    EXPECT_EQ(fill(0x1AB, 3, 1, QZ_VT_BYTE), 0);
    EXPECT_EQ(Hex(Bytes(1, 8)), "00ababab00000000");
    EXPECT_EQ(fill(65, 3, 0, QZ_VT_SHORT), ERR_WRONGUSAGE);
    EXPECT_EQ(fill(65, 2, 1, QZ_VT_SHORT), ERR_WRONGUSAGE);
    EXPECT_EQ(fill(65, 4, 2, QZ_VT_INTEGER), ERR_WRONGUSAGE);
    EXPECT_EQ(fill(65, 12, 0, QZ_VT_BYTE), ERR_MEMRANGE);
    EXPECT_EQ(fill(65, 0, 100, QZ_VT_BYTE), 0);  // nothing to do
    EXPECT_EQ(fill(0x01020304, 8, 0, QZ_VT_INTEGER), 0);
    EXPECT_EQ(CallNumber("Peek", {1, 4, QZ_VT_INTEGER, 1}), 0x01020304);

    auto copy = [&](double from, double to, double count, double fromOffset, double toOffset) {
        return Call("CopyMem", {from, to, count, fromOffset, toOffset});
    };
    EXPECT_EQ(copy(1, 1, 4, 0, 0), ERR_WRONGUSAGE);
    EXPECT_EQ(copy(1, 2, 4, 0, 6), ERR_MEMRANGE);
    EXPECT_EQ(copy(1, 2, 4, -1, 0), ERR_MEMRANGE);
    EXPECT_EQ(copy(1, 2, 3, 1, 5), 0);
    EXPECT_EQ(Hex(Bytes(2, 8)), "0000000000030201");
    EXPECT_EQ(copy(1, 3, 1, 0, 0), ERR_FINDMEMBLK);
}

TEST_F(MemblockTest, DumpMemLayout) {
    Alloc(1, 20);
    const unsigned char bytes[20] = {'Q', 'u', 'a', 'r',  'n',  'e',  'l',  'i',  'x', ' ',
                                     '%', 's', '!', 0x00, 0x7f, 0xe9, 0x01, 0xff, 'z', '\n'};
    void* p = nullptr;
    {
        int top = VmGetTop(L);
        ASSERT_EQ(Call("GetMemPointer", {1}), 0);
        p = VmToUserdata(L, -1);
        VmSetTop(L, top);
    }
    memcpy(p, bytes, sizeof bytes);
    testing::internal::CaptureStdout();
    ASSERT_EQ(Call("DumpMem", {1}), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "00000000: 51 75 61 72 6e 65 6c 69 78 20 25 73 21 00 7f e9 Quarnelix %s!..\xe9\n"
              "00000010: 01 ff 7a 0a                                     .\xffz.\n");

    testing::internal::CaptureStdout();
    ASSERT_EQ(Call("DumpMem", {1, 2, 17}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "00000011: ff 7a                                           \xffz\n");
    EXPECT_EQ(Call("DumpMem", {1, 4, 17}), ERR_MEMRANGE);
    EXPECT_EQ(Call("DumpMem", {1, 4, -1}), ERR_WRONGUSAGE);
}

TEST_F(MemblockTest, MemToTableAndBack) {
    Alloc(1, 6);
    // Little-endian host order, as python3 struct '<' packs it.
    std::string want = libtest::Python("import struct\nprint(struct.pack('<3h', 1, -2, 300).hex())\n");
    PushNumbers({1, -2, 300});
    ASSERT_EQ(Call("TableToMem", {V(1), 1, QZ_VT_SHORT}), 0);
    EXPECT_EQ(Hex(Bytes(1, 6)) + "\n", want);
    VmSetTop(L, 0);

    ASSERT_EQ(Call("MemToTable", {1, QZ_VT_SHORT}), 0);
    EXPECT_EQ(Items(1), (std::vector<std::string>{"1", "65534", "300"}));
    VmSetTop(L, 0);
    ASSERT_EQ(Call("MemToTable",
                   {1, QZ_VT_SHORT, Arg::Table({{"signed", 1}, {"endianswitch", 1}, {"offset", 2}, {"items", 2}})}),
              0);
    EXPECT_EQ(Items(1), (std::vector<std::string>{"-257", "11265"}));  // fe ff, 2c 01 reversed
    VmSetTop(L, 0);
    ASSERT_EQ(Call("MemToTable", {1, QZ_VT_INTEGER}), 0);
    EXPECT_EQ(Items(1).size(), 1u);
    VmSetTop(L, 0);
    ASSERT_EQ(Call("MemToTable", {1, QZ_VT_BYTE, Arg::Table({{"signed", 1}})}), 0);
    EXPECT_EQ(Items(1)[3], "-1");
    VmSetTop(L, 0);
    EXPECT_EQ(Call("MemToTable", {1, QZ_VT_DOUBLE}), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("MemToTable", {1, QZ_VT_SHORT, Arg::Table({{"items", 4}})}), ERR_MEMRANGE);
    EXPECT_EQ(Call("MemToTable", {1, QZ_VT_SHORT, Arg::Table({{"items", -1}})}), ERR_WRONGUSAGE);
    VmSetTop(L, 0);

    // A table longer than the block: the elements that fit stay written.
    PushNumbers({0x11, 0x22, 0x33, 0x44});
    EXPECT_EQ(Call("TableToMem", {V(1), 1, QZ_VT_SHORT, Arg::Table({{"endianswitch", 1}})}), ERR_MEMRANGE);
    EXPECT_EQ(Hex(Bytes(1, 6)), "001100220033");
}

TEST_F(MemblockTest, BlocksAndIdentifiers) {
    ASSERT_EQ(Call("AllocMem", {Nil{}, 16}), 0);
    ASSERT_EQ(VmType(L, 1), VM_TLIGHTUSERDATA);
    EXPECT_EQ(CallNumber("Peek", {V(1), 12}), 0);
    ASSERT_EQ(Call("FreeMem", {V(1)}), 0);
    EXPECT_EQ(Call("FreeMem", {V(1)}), ERR_FINDARRAY);
    VmSetTop(L, 0);
    EXPECT_EQ(Call("FreeMem", {5}), ERR_FINDMEMBLK);
    EXPECT_EQ(Call("AllocMem", {1, 0}), ERR_MEM);
    EXPECT_EQ(Call("AllocMem", {1, -5}), ERR_MEM);
    EXPECT_EQ(Call("AllocMem", {1, 1e300}), ERR_MEM);

    // A number in use is replaced by the new block.
    Alloc(3, 2);
    Alloc(3, 8);
    EXPECT_EQ(Poke(3, 4, 7, QZ_VT_INTEGER), 0);
    VmSetTop(L, 0);
    ASSERT_EQ(Call("GetObjects", {QZ_TYPE_MEMORY}), 0);
    EXPECT_EQ(Items(1), std::vector<std::string>{"3"});
    EXPECT_EQ(RenderValue(L, 2), "1");
    VmSetTop(L, 0);

    // Foreign memory of unknown size is not bounds-checked; a pointer argument is required.
    static unsigned char foreign[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(Call("AllocMemFromPointer", {4, Arg::Pointer(foreign), 0}), 0);
    EXPECT_EQ(CallNumber("Peek", {4, 4}), 0x05060708);
    EXPECT_EQ(Call("AllocMemFromPointer", {5, 1, 0}), ERR_UDEXPECTED);
    EXPECT_EQ(Call("DumpMem", {4}), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("GetMemPointer", {3, 8}), ERR_WRONGUSAGE);
    // Freeing a foreign block leaves its memory alone.
    ASSERT_EQ(Call("FreeMem", {4}), 0);
    EXPECT_EQ(foreign[7], 8);
}

}  // namespace

#include "libs/dos/dos.h"

namespace memblock_test {

namespace {

// ReadMem and WriteMem through handles of the dos library.
class MemblockFileTest : public MemblockTest {
protected:
    void SetUp() override {
        MemblockTest::SetUp();
        ASSERT_EQ(OpenLibrary(L, &qzDosLibrary), 0);
    }
    void TearDown() override {
        FreeDosLibrary(L);
        MemblockTest::TearDown();
    }
    int Open(double id, const std::string& path, double mode) { return Call("OpenFile", {id, path.c_str(), mode}); }
    int Transfer(const char* command, double file, double block, double count, double offset) {
        return Call(command, {file, block, count, offset});
    }
};

TEST_F(MemblockFileTest, ReadAndWriteFiles) {
    libtest::TempDir dir;
    libtest::WriteFile(dir.File("in.bin"), std::string("\x01\x02\x03\x04\x05\x06", 6));
    Alloc(1, 8);
    ASSERT_EQ(Open(1, dir.File("in.bin"), QZ_MODE_READ), 0);
    EXPECT_EQ(Transfer("ReadMem", 1, 1, 4, 2), 0);
    EXPECT_EQ(Hex(Bytes(1, 8)), "0000010203040000");
    EXPECT_EQ(Transfer("ReadMem", 1, 1, 4, 6), ERR_MEMRANGE);
    EXPECT_EQ(Transfer("ReadMem", 1, 1, 4, -1), ERR_WRONGUSAGE);
    EXPECT_EQ(Transfer("ReadMem", 1, 1, 0, -1), 0);        // nothing to do
    EXPECT_EQ(Transfer("ReadMem", 1, 1, 4, 0), ERR_READ);  // only 2 bytes left
    EXPECT_EQ(Transfer("WriteMem", 1, 1, 4, 0), ERR_READONLY);
    EXPECT_EQ(Transfer("ReadMem", 2, 1, 4, 0), ERR_FINDFILE);

    ASSERT_EQ(Open(2, dir.File("out.bin"), QZ_MODE_WRITE), 0);
    EXPECT_EQ(Transfer("ReadMem", 2, 1, 1, 0), ERR_WRITEONLY);
    EXPECT_EQ(Transfer("WriteMem", 2, 1, 5, 1), 0);
    ASSERT_EQ(Call("CloseFile", {2}), 0);
    // The short read above left the two bytes it got at the block start.
    EXPECT_EQ(Hex(libtest::ReadFile(dir.File("out.bin"))), "0601020304");
}

}  // namespace

}  // namespace memblock_test
