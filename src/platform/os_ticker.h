// A ticker: a thread that sets a flag word to 1 at a fixed period, for code that polls the word
// where it is cheap and does its periodic work only when it is set (clearing it).
#pragma once

#include <atomic>
#include <cstdint>

// Starts the ticker on the flag (one ticker at a time; a running one is stopped first).
// 0, or ERR_THREAD when no thread can be created.
int OsStartTicker(std::atomic<int>* flag, int32_t periodMs);
// Stops it and waits until its thread has ended. Nothing when none runs.
void OsStopTicker();
