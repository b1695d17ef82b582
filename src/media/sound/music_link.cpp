#include "media/sound/music_link.h"

#include <atomic>

namespace {

std::atomic<const qzModuleReplayer*> gReplayer{nullptr};

}  // namespace

void SetModuleReplayer(const qzModuleReplayer* replayer) { gReplayer.store(replayer); }

const qzModuleReplayer* GetModuleReplayer() { return gReplayer.load(); }
