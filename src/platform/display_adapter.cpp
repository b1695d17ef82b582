#include "platform/display_adapter.h"

#include <atomic>

static std::atomic<const qzDisplayAdapter*> gAdapter{nullptr};

const qzDisplayAdapter* GetDisplayAdapter() { return gAdapter.load(std::memory_order_acquire); }

void SetDisplayAdapter(const qzDisplayAdapter* adapter) { gAdapter.store(adapter, std::memory_order_release); }
