// An object identifier: a number the script chose (pointer null) or the handle a library handed
// out (number 0, pointer set).
#pragma once

#include <cstdint>

struct qzObjectId {
    int32_t number;
    void* pointer;
};

// The request for an automatic identifier that GetNumericIdArg gives for Nil: the creating
// command replaces it with the new object's handle.
inline void* const QZ_AUTO_ID = reinterpret_cast<void*>(1);

inline bool IsAutoObjectId(const qzObjectId& id) { return id.number == 0 && id.pointer == QZ_AUTO_ID; }
// Both words must match: numeric identifier 5 and a handle never name the same object.
inline bool SameObjectId(const qzObjectId& a, const qzObjectId& b) {
    return a.number == b.number && a.pointer == b.pointer;
}
