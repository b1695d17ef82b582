// Access to the two process-wide start-up records from anywhere: the player context and the
// applet descriptor, kept in the VM registry as light userdata under "clargs" and "applet".
#pragma once

struct VmState;
struct qzPlayerContext;
struct qzAppletDescriptor;

// Stores both records in the registry of state (the main VM state) and remembers the state and
// the descriptor for callers that have no state. Null records remove the entries.
void SetStartupRecords(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet);
// The records of a state; a null state means the main VM state. Null when none is stored.
qzPlayerContext* GetPlayerContext(VmState* state);
qzAppletDescriptor* GetAppletDescriptor(VmState* state);
// The main VM state while the start-up records are stored, else null (plugin services that
// receive no state).
VmState* GetMainVmState();
