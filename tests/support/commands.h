// The one harness for calling commands in tests. Arg is the argument type of every call: numbers,
// strings (bytes as given), booleans, nil, tables (nested as deep as needed), C functions, script
// functions written in assembler text, light userdata and values already on the stack. Commands
// opens command libraries through their descriptors, calls their commands by name the way a script
// does (protected, results left on the stack), renders results for comparisons and closes the
// libraries again, so library tests are tables of {command, arguments, expected} rows.
// RunAsCommand runs test code itself as a command handler.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "runtime/library.h"
#include "vm/vm.h"

namespace qztest {

struct Nil {};

class Arg {
public:
    Arg(Nil);
    // Only a bool itself: a pointer does not turn into a boolean by accident.
    template <typename T, typename = std::enable_if_t<std::is_same_v<T, bool>>, typename = void>
    Arg(T b) : Arg(Boolean(b)) {}
    // Any number, and the value of an enumerator.
    template <typename T,
              typename = std::enable_if_t<(std::is_arithmetic_v<T> || std::is_enum_v<T>)&&!std::is_same_v<T, bool>>>
    Arg(T n) : Arg(Number(static_cast<double>(n))) {}
    Arg(const char* s);
    Arg(std::string s);

    // A table with these fields, in this order.
    static Arg Table(std::vector<std::pair<Arg, Arg>> fields);
    // A table of items at keys first, first + 1, ...
    static Arg List(std::vector<Arg> items, int first = 0);
    static Arg Function(VmCFunction f);
    // The function that the main function of the assembled text returns.
    static Arg Script(std::string assemblerText);
    // A copy of the value at a stack index: a positive index, or a negative one counted from the
    // top as it is when this argument is pushed.
    static Arg Stack(int index);
    static Arg Pointer(void* p);
    // Anything else: pushes exactly one value.
    static Arg Pushed(std::function<void(VmState*)> push);

    void PushOnto(VmState* state) const { push_(state); }
    // The argument as failure messages show it.
    const std::string& Describe() const { return text_; }

private:
    static Arg Number(double n);
    static Arg Boolean(bool b);
    Arg(std::function<void(VmState*)> push, std::string text) : push_(std::move(push)), text_(std::move(text)) {}
    std::function<void(VmState*)> push_;
    std::string text_;
};

// Short names for table rows.
inline Arg N(double n) { return Arg(n); }
inline Arg S(std::string s) { return Arg(std::move(s)); }
inline Arg B(bool b) { return Arg(b); }
inline Arg V(int index) { return Arg::Stack(index); }
inline Arg NilArg() { return Arg(Nil{}); }

// A value as comparisons see it: numbers with %.14g, strings in double quotes, nil, none, true,
// false, other types by name.
std::string Render(VmState* state, int index);
// A number as Render writes it.
std::string RenderNumber(double n);

// A VM with command libraries open.
class Commands {
public:
    // Opens the libraries in order (the test fails when one cannot be opened).
    explicit Commands(std::initializer_list<const qzLibraryDescriptor*> libraries = {});
    ~Commands();
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    VmState* state() const { return state_; }
    operator VmState*() const { return state_; }

    // Calls the global command (any case) with the arguments, protected, all results kept on the
    // stack above where the stack top was (Results, Num, Str read them). 0 or the error code.
    int Call(const std::string& name, const std::vector<Arg>& args = {});
    // The same after emptying the stack: the results start at index 1.
    int CallFresh(const std::string& name, const std::vector<Arg>& args = {});
    // The stack top before the last call: its results start at Base() + 1.
    int Base() const { return base_; }
    int Results() const;
    double Num(int i = 1) const;
    std::string Str(int i = 1) const;

    // Calls and returns the results rendered and joined by ", ", or "ERR <code>"; the stack is left
    // as it was.
    std::string Run(const std::string& name, const std::vector<Arg>& args = {});
    // Calls expecting success (the test fails otherwise) and returns the first result; the stack
    // is left as it was.
    double CallNum(const std::string& name, const std::vector<Arg>& args = {});
    std::string CallStr(const std::string& name, const std::vector<Arg>& args = {});
    void Ok(const std::string& name, const std::vector<Arg>& args = {});
    // Calls and returns 0 or the error code; the stack is left as it was.
    int CallErr(const std::string& name, const std::vector<Arg>& args = {});

    // Runs every clean-up and reset of the open libraries now (the destructor does it otherwise).
    void CloseLibraries();

private:
    VmState* state_;
    std::vector<const qzLibraryDescriptor*> libraries_;
    int base_ = 0;
};

// Pushes a C function running body, pushes the arguments, calls it protected with nresults
// results and returns 0 or the error code that body raised or returned.
int RunAsCommand(VmState* state, const std::vector<Arg>& args, const std::function<int(VmState*)>& body,
                 int nresults = 0);

// Owns a VM for one test.
struct VmScope {
    VmState* state = VmOpen();
    VmScope() = default;
    VmScope(const VmScope&) = delete;
    VmScope& operator=(const VmScope&) = delete;
    ~VmScope() {
        if (state) VmClose(state);
    }
    operator VmState*() const { return state; }
};

}  // namespace qztest
