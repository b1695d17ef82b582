// An object identifier: a number the script chose (pointer null) or the handle a library handed
// out (number 0, pointer set).
#pragma once

#include <cstdint>

struct qzObjectId {
    int32_t number;
    void* pointer;
};
