#include "support/commands.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>

#include "asm/asm.h"
#include "runtime/object_registry.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

namespace qztest {

Arg::Arg(Nil) : Arg([](VmState* state) { VmPushNil(state); }, "nil") {}

Arg Arg::Boolean(bool b) {
    return Arg([b](VmState* state) { VmPushBoolean(state, b); }, b ? "true" : "false");
}

Arg::Arg(const char* s) : Arg(std::string(s)) {}

Arg::Arg(std::string s) : Arg([s](VmState* state) { VmPushLString(state, s.data(), s.size()); }, "\"" + s + "\"") {}

Arg Arg::Number(double n) {
    return Arg([n](VmState* state) { VmPushNumber(state, n); }, RenderNumber(n));
}

Arg Arg::Table(std::vector<std::pair<Arg, Arg>> fields) {
    std::string text = "{";
    for (const auto& [key, value] : fields) text += (text.size() > 1 ? ", " : "") + key.text_ + " = " + value.text_;
    return Arg(
        [fields = std::move(fields)](VmState* state) {
            VmNewTable(state);
            for (const auto& [key, value] : fields) {
                key.PushOnto(state);
                value.PushOnto(state);
                VmRawSet(state, -3);
            }
        },
        text + "}");
}

Arg Arg::List(std::vector<Arg> items, int first) {
    std::string text = "{";
    for (const Arg& item : items) text += (text.size() > 1 ? ", " : "") + item.text_;
    return Arg(
        [items = std::move(items), first](VmState* state) {
            VmNewTable(state);
            for (size_t i = 0; i < items.size(); i++) {
                items[i].PushOnto(state);
                VmRawSetI(state, -2, first + static_cast<int>(i));
            }
        },
        text + "}");
}

Arg Arg::Function(VmCFunction f) {
    return Arg([f](VmState* state) { VmPushCFunction(state, f); }, "function");
}

namespace {

struct AssembledChunk {
    std::vector<uint8_t> bytes;
    bool done = false;
};

const char* ReadAssembled(void* data, size_t* size) {
    auto* chunk = static_cast<AssembledChunk*>(data);
    if (chunk->done) {
        *size = 0;
        return nullptr;
    }
    chunk->done = true;
    *size = chunk->bytes.size();
    return reinterpret_cast<const char*>(chunk->bytes.data());
}

}  // namespace

Arg Arg::Script(std::string assemblerText) {
    return Arg(
        [text = std::move(assemblerText)](VmState* state) {
            std::string error;
            AssembledChunk chunk{QzAssemble(text, &error)};
            if (chunk.bytes.empty()) ADD_FAILURE() << "assembler: " << error << "\n" << text;
            // The main function runs once and returns the function that the argument stands for.
            if (chunk.bytes.empty() || VmLoad(state, ReadAssembled, &chunk, "=test") != 0 ||
                VmProtectedCall(state, 0, 1, 0) != 0) {
                ADD_FAILURE() << "the script argument does not load and run:\n" << text;
                VmPushNil(state);
            }
        },
        "script function");
}

Arg Arg::Stack(int index) {
    return Arg([index](VmState* state) { VmPushValue(state, index); }, "stack[" + std::to_string(index) + "]");
}

Arg Arg::Pointer(void* p) {
    return Arg([p](VmState* state) { VmPushLightUserdata(state, p); }, "userdata");
}

Arg Arg::Pushed(std::function<void(VmState*)> push) { return Arg(std::move(push), "value"); }

std::string RenderNumber(double n) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14g", n);
    return buffer;
}

std::string Render(VmState* state, int index) {
    switch (VmType(state, index)) {
    case VM_TNIL: return "nil";
    case VM_TNONE: return "none";
    case VM_TBOOLEAN: return VmToBoolean(state, index) ? "true" : "false";
    case VM_TNUMBER: return RenderNumber(VmToNumber(state, index));
    case VM_TSTRING: return "\"" + std::string(VmToString(state, index), VmStrLen(state, index)) + "\"";
    default: return VmTypeName(state, VmType(state, index));
    }
}

Commands::Commands(std::initializer_list<const qzLibraryDescriptor*> libraries)
    : state_(VmOpen()), libraries_(libraries) {
    for (const qzLibraryDescriptor* library : libraries_) EXPECT_EQ(OpenLibrary(state_, library), 0) << library->name;
}

Commands::~Commands() {
    CloseLibraries();
    VmClose(state_);
    FreeObjectRegistry();
    VmResetRuntimeLink();
}

void Commands::CloseLibraries() {
    if (libraries_.empty()) return;
    libraries_.push_back(nullptr);
    ::CloseLibraries(state_, libraries_.data());
    libraries_.clear();
}

int Commands::Call(const std::string& name, const std::vector<Arg>& args) {
    base_ = VmGetTop(state_);
    std::string key = name;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    VmPushString(state_, key.c_str());
    VmGetTable(state_, VM_GLOBALSINDEX);
    EXPECT_EQ(VmType(state_, -1), VM_TFUNCTION) << name << " is no command";
    for (const Arg& arg : args) arg.PushOnto(state_);
    return VmProtectedCall(state_, static_cast<int>(args.size()), VM_MULTRET, 0);
}

int Commands::CallFresh(const std::string& name, const std::vector<Arg>& args) {
    VmSetTop(state_, 0);
    return Call(name, args);
}

int Commands::Results() const { return VmGetTop(state_) - base_; }

double Commands::Num(int i) const { return VmToNumber(state_, base_ + i); }

std::string Commands::Str(int i) const {
    const char* s = VmToString(state_, base_ + i);
    return s ? std::string(s, VmStrLen(state_, base_ + i)) : std::string("<none>");
}

std::string Commands::Run(const std::string& name, const std::vector<Arg>& args) {
    int top = VmGetTop(state_);
    int status = Call(name, args);
    std::string out;
    if (status) {
        out = "ERR " + std::to_string(status);
    } else {
        for (int i = top + 1; i <= VmGetTop(state_); i++) out += (i > top + 1 ? ", " : "") + Render(state_, i);
    }
    VmSetTop(state_, top);
    return out;
}

double Commands::CallNum(const std::string& name, const std::vector<Arg>& args) {
    int top = VmGetTop(state_);
    EXPECT_EQ(Call(name, args), 0) << name;
    double n = Results() > 0 ? Num() : -12345;
    VmSetTop(state_, top);
    return n;
}

std::string Commands::CallStr(const std::string& name, const std::vector<Arg>& args) {
    int top = VmGetTop(state_);
    EXPECT_EQ(Call(name, args), 0) << name;
    std::string s = Str();
    VmSetTop(state_, top);
    return s;
}

void Commands::Ok(const std::string& name, const std::vector<Arg>& args) {
    int top = VmGetTop(state_);
    EXPECT_EQ(Call(name, args), 0) << name;
    VmSetTop(state_, top);
}

int Commands::CallErr(const std::string& name, const std::vector<Arg>& args) {
    int top = VmGetTop(state_);
    int code = Call(name, args);
    VmSetTop(state_, top);
    return code;
}

namespace {

const std::function<int(VmState*)>* currentBody;

int Trampoline(VmState* state) { return (*currentBody)(state); }

}  // namespace

int RunAsCommand(VmState* state, const std::vector<Arg>& args, const std::function<int(VmState*)>& body, int nresults) {
    const std::function<int(VmState*)>* saved = currentBody;
    currentBody = &body;
    VmPushCFunction(state, Trampoline);
    for (const Arg& arg : args) arg.PushOnto(state);
    int status = VmProtectedCall(state, static_cast<int>(args.size()), nresults, 0);
    currentBody = saved;
    return status;
}

}  // namespace qztest
