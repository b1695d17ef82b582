// Running the main chunk with the timer thread.
#include "player/main_chunk.h"

#include "base/error_codes.h"
#include "platform/os_timer.h"
#include "vm/vm.h"

int MacRunMainChunk(VmState* state) {
    if (OsStartTimerThread() != 0) return ERR_THREAD;
    int status = VmProtectedCall(state, 0, 0, 0);
    OsStopTimerThread();
    return status;
}
