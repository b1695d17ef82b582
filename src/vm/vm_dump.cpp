// Chunk writer: a prototype and its nested prototypes as chunk bytes in the machine's byte order.
#include <cstring>

#include "vm/vm_chunk.h"

namespace {

struct DumpState {
    VmState* state;
    VmWriter writer;
    void* data;
    int status;  // first non-zero writer result; nothing more is written after it
};

void DumpBlock(DumpState* D, const void* b, size_t size) {
    if (D->status == 0 && size > 0) D->status = D->writer(D->state, b, size, D->data);
}

void DumpByte(DumpState* D, int x) {
    uint8_t c = (uint8_t)x;
    DumpBlock(D, &c, 1);
}

void DumpInt(DumpState* D, int x) {
    int32_t v = x;
    DumpBlock(D, &v, sizeof(v));
}

void DumpNumber(DumpState* D, double x) { DumpBlock(D, &x, sizeof(x)); }

// The stored length counts a terminating NUL; 0 means no string.
void DumpString(DumpState* D, const VmString* s) {
    if (s == nullptr) {
        DumpInt(D, 0);
        return;
    }
    DumpInt(D, (int)(s->len + 1));
    DumpBlock(D, VmStringData(s), (size_t)s->len + 1);
}

void DumpFunction(DumpState* D, const VmProto* f, const VmString* parentSource);

void DumpLocals(DumpState* D, const VmProto* f) {
    DumpInt(D, f->sizelocvars);
    for (int i = 0; i < f->sizelocvars; i++) {
        DumpString(D, f->locvars[i].varname);
        DumpInt(D, f->locvars[i].startpc);
        DumpInt(D, f->locvars[i].endpc);
    }
}

void DumpUpvalueNames(DumpState* D, const VmProto* f) {
    DumpInt(D, f->sizeupvalues);
    for (int i = 0; i < f->sizeupvalues; i++) DumpString(D, f->upvalues[i]);
}

void DumpConstants(DumpState* D, const VmProto* f) {
    DumpInt(D, f->sizek);
    for (int i = 0; i < f->sizek; i++) {
        const VmValue* o = &f->k[i];
        DumpByte(D, o->tt);
        if (o->tt == VM_TNUMBER)
            DumpNumber(D, o->value.n);
        else if (o->tt == VM_TSTRING)
            DumpString(D, VmStringValue(o));
    }
}

void DumpFunction(DumpState* D, const VmProto* f, const VmString* parentSource) {
    // A nested function shares its parent's source unless it has its own.
    DumpString(D, f->source == parentSource ? nullptr : f->source);
    DumpInt(D, f->lineDefined);
    DumpByte(D, f->nups);
    DumpByte(D, f->numparams);
    DumpByte(D, f->isVararg);
    DumpByte(D, f->maxStackSize);
    DumpInt(D, f->sizelineinfo);
    DumpBlock(D, f->lineinfo, sizeof(int) * (size_t)f->sizelineinfo);
    DumpLocals(D, f);
    DumpUpvalueNames(D, f);
    DumpConstants(D, f);
    DumpInt(D, f->sizep);
    for (int i = 0; i < f->sizep; i++) DumpFunction(D, f->p[i], f->source);
    DumpInt(D, f->sizecode);
    DumpBlock(D, f->code, sizeof(VmInstruction) * (size_t)f->sizecode);
}

void DumpHeader(DumpState* D) {
    DumpBlock(D, VM_CHUNK_SIGNATURE, sizeof(VM_CHUNK_SIGNATURE));
    DumpByte(D, VmMachineByteOrder());
    DumpByte(D, 4);  // int
    DumpByte(D, 4);  // size
    DumpByte(D, (int)sizeof(VmInstruction));
    DumpByte(D, VM_SIZE_OP);
    DumpByte(D, VM_SIZE_A);
    DumpByte(D, VM_SIZE_B);
    DumpByte(D, VM_SIZE_C);
    DumpByte(D, (int)sizeof(double));
    DumpNumber(D, VM_CHUNK_TEST_NUMBER);
}

}  // namespace

int VmDump(VmState* state, const VmProto* f, VmWriter writer, void* data) {
    DumpState D = {state, writer, data, 0};
    DumpHeader(&D);
    DumpFunction(&D, f, nullptr);
    return D.status;
}

int VmDumpFunction(VmState* state, int index, VmWriter writer, void* writerData) {
    const VmValue* o = VmIndexToAddress(state, index);
    if (o == nullptr || o->tt != VM_TFUNCTION) return ERR_NOQZFUNC;
    const VmClosure* cl = VmClosureValue(o);
    if (cl->isC) return ERR_NOQZFUNC;
    return VmDump(state, static_cast<const VmScriptClosure*>(cl)->p, writer, writerData);
}
