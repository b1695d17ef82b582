// Reading object identifiers from command arguments (the record itself is in base/object_id.h).
#pragma once

#include "base/object_id.h"

struct VmState;

// An identifier argument: light userdata gives {0, handle}; a number gives {number truncated
// toward zero, null}; anything else raises ERR_NUMEXPECTED with the argument index.
void GetObjectIdArg(qzObjectId* id, VmState* state, int index);
// The identifier argument of a creating command: a number gives {number truncated, null}; Nil
// (or no argument) asks for an automatic identifier {0, QZ_AUTO_ID}; anything else raises
// ERR_NUMEXPECTED.
void GetNumericIdArg(qzObjectId* id, VmState* state, int index);
// The same two reads as one call that gives the identifier: the prologue of a handler.
qzObjectId CheckObjectIdArg(VmState* state, int index);
qzObjectId CheckNumericIdArg(VmState* state, int index);
