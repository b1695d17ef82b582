// Precompiled chunks: the buffered input stream over a chunk reader, the loader that turns chunk
// bytes into prototypes, the writer that turns a prototype back into chunk bytes, and the bytecode
// verifier that every loaded prototype passes before it can run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vm/vm_object.h"

// Chunk header.
constexpr char VM_CHUNK_SIGNATURE[4] = {'\x1B', 'Q', 'Z', 'B'};
constexpr int VM_CHUNK_HEADER_SIZE = 21;
constexpr double VM_CHUNK_TEST_NUMBER = 31415926.535897933;
constexpr int VM_CHUNK_TEST_INTEGER = 31415926;
// Byte-order byte of the header.
constexpr uint8_t VM_CHUNK_BIG_ENDIAN = 0;
constexpr uint8_t VM_CHUNK_LITTLE_ENDIAN = 1;
// Constant type bytes of a function record.
constexpr uint8_t VM_CHUNK_KNIL = 0, VM_CHUNK_KNUMBER = 3, VM_CHUNK_KSTRING = 4;

// Deepest nesting of function records a chunk may have.
constexpr int VM_CHUNK_MAXNESTING = 200;
// "No register": VmVerifyCode checks the whole prototype instead of tracing a register.
constexpr int VM_NO_REG = 255;

// Buffered input stream over a reader callback.
struct VmStream {
    size_t n;       // bytes pending in the current block
    const char* p;  // read position in the current block
    VmReader reader;
    void* data;        // the reader's data
    const char* name;  // chunk name for messages
};

// Growable byte buffer for the loader, allocated through VmRealloc.
struct VmLoadBuffer {
    char* buffer;
    size_t size;
};

// The machine's own byte order, as written into chunk headers.
uint8_t VmMachineByteOrder();

void VmStreamInit(VmStream* z, VmReader reader, void* data, const char* name);
// Asks the reader for the next block; returns its first byte (consumed) or -1 at the end.
int VmStreamFill(VmStream* z);
// The next byte without consuming it, or -1 at the end.
int VmStreamLookahead(VmStream* z);
// Copies n bytes across blocks into b; returns how many are missing (0 = complete).
size_t VmStreamRead(VmStream* z, void* b, size_t n);
// Makes the buffer hold at least n bytes (never less than 32) and returns it.
char* VmStreamBuffer(VmState* state, VmLoadBuffer* buff, size_t n);
void VmStreamFreeBuffer(VmState* state, VmLoadBuffer* buff);

// Reads a whole chunk from z; raises the load error codes (1198-1205) on bad input. The result is
// the verified main prototype.
VmProto* VmUndump(VmState* state, VmStream* z, VmLoadBuffer* buff);
// Runs VmUndump under a protected frame and pushes the main function as a script closure with the
// state's globals table. Frees the load buffer afterwards. Returns 0 or the error code.
int VmProtectedLoad(VmState* state, VmStream* z);

// Writes prototype f as a chunk in the machine's byte order. Returns 0, or the first non-zero
// value a writer call returned.
int VmDump(VmState* state, const VmProto* f, VmWriter writer, void* data);

// Non-zero when the prototype is acceptable to the interpreter.
int VmVerifyProto(const VmProto* p);
// With reg VM_NO_REG and lastpc = code size: the verifier (non-zero = acceptable; the word of the
// final RETURN). With a register and a last pc: the word of the instruction before lastpc that last
// wrote the register, the final RETURN when none did, 0 when the code is unacceptable (a writer
// that is the word 0, MOVE of register 0 to itself, is also 0: nothing can be said about it).
VmInstruction VmVerifyCode(const VmProto* p, int lastpc, int reg);
