// Expression evaluator on arbitrary text: a value or an error code, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "libs/string/eval.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const qzEvalVariable vars[] = {{"x", 3}, {"y_2", -1.5}, {"n!", 1e300}};
    double v = 0;
    EvalExpression(std::string_view(reinterpret_cast<const char*>(data), size), vars, 3, &v);
    return 0;
}
