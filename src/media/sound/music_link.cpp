#include "media/sound/music_link.h"

#include <atomic>

namespace {

std::atomic<const qzStreamChannelOps*> gStreams{nullptr};

}  // namespace

void SetStreamChannelOps(const qzStreamChannelOps* ops) { gStreams.store(ops); }

const qzStreamChannelOps* GetStreamChannelOps() { return gStreams.load(); }
