#include "media/sound/music_link.h"

#include <atomic>

namespace {

std::atomic<const qzModuleReplayer*> gReplayer{nullptr};
std::atomic<const qzStreamChannelOps*> gStreams{nullptr};

}  // namespace

void SetModuleReplayer(const qzModuleReplayer* replayer) { gReplayer.store(replayer); }

const qzModuleReplayer* GetModuleReplayer() { return gReplayer.load(); }

void SetStreamChannelOps(const qzStreamChannelOps* ops) { gStreams.store(ops); }

const qzStreamChannelOps* GetStreamChannelOps() { return gStreams.load(); }
