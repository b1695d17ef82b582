// The main function of every test binary: GoogleTest with a listener that fails a test which
// leaves a seam changed. Each seam's installed table is read before the test and again after it
// (the fixture's teardown included): a test that installs a table or a row puts back what was
// there before it ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/display_links.h"
#include "display/event_sources.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/blit_display.h"
#include "gfx/draw_modes.h"
#include "gfx/image_cache.h"
#include "gfx/image_source.h"
#include "image/anim_link.h"
#include "image/draw_options.h"
#include "image/output_select.h"
#include "net/net_state.h"
#include "platform/display_adapter.h"
#include "platform/host/event_loop.h"
#include "platform/os_timer.h"
#include "platform/plugin_loader.h"
#include "platform/vfs.h"
#include "runtime/event_queue.h"
#include "vector/shape_render.h"
#include "vm/vm_runtime_link.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A table of function pointers, or a pointer, as its bytes (neither has padding).
template <typename T>
void Append(Bytes* out, const T& table) {
    static_assert(sizeof(T) % sizeof(void*) == 0);
    const auto* p = reinterpret_cast<const unsigned char*>(&table);
    out->insert(out->end(), p, p + sizeof(T));
}

template <typename T>
Bytes Of(const T& table) {
    Bytes b;
    Append(&b, table);
    return b;
}

struct Seam {
    const char* name;
    Bytes (*read)();
};

const Seam kSeams[] = {
    {"SetDisplayLinks", [] { return Of(DisplayLinks()); }},
    {"SetLayerSystemHooks", [] { return Of(LayerSystemHooks()); }},
    {"SetHostHooks", [] { return Of(HostHooks()); }},
    {"SetDisplayAdapter", [] { return Of(GetDisplayAdapter()); }},
    {"OsSetTimerHooks", [] { return Of(OsTimerHooks()); }},
    {"SetDisplayAttrQuery", [] { return Of(GetDisplayAttrQuery()); }},
    {"SetBlitDisplayHooks", [] { return Of(GetBlitDisplayHooks()); }},
    {"SetBlitSpriteHook", [] { return Of(GetBlitSpriteHook()); }},
    {"SetBlitLayerRedrawHook", [] { return Of(GetBlitLayerRedrawHook()); }},
    {"SetDrawTagDefaultsHooks", [] { return Of(GetDrawTagDefaultsHooks()); }},
    {"SetDrawTagLayerLookup", [] { return Of(GetDrawTagLayerLookup()); }},
    {"SetSelectLayerRasterizer", [] { return Of(GetSelectLayerRasterizer()); }},
    {"SetEventQueueHooks", [] { return Of(GetEventQueueHooks()); }},
    {"SetVideoFromPixelsHook", [] { return Of(GetVideoFromPixelsHook()); }},
    {"SetImageCacheObjectRefs",
     [] {
         qzImageObjectRefFn retain, release;
         GetImageCacheObjectRefs(&retain, &release);
         Bytes b = Of(retain);
         Append(&b, release);
         return b;
     }},
    {"SetInbuiltImageLoader",
     [] {
         qzInbuiltImageLoadFn load;
         qzInbuiltImagePixelsFn pixels;
         qzInbuiltImageFreeFn free;
         GetInbuiltImageLoader(&load, &pixels, &free);
         Bytes b = Of(load);
         Append(&b, pixels);
         Append(&b, free);
         return b;
     }},
    {"SetNetEventPump", [] { return Of(GetNetEventPump()); }},
    {"SetPluginHostApi", [] { return Of(GetPluginHostApi()); }},
    {"SetPluginActivationHooks",
     [] {
         qzPluginActivateFn activate;
         qzPluginDeactivateFn deactivate;
         GetPluginActivationHooks(&activate, &deactivate);
         Bytes b = Of(activate);
         Append(&b, deactivate);
         return b;
     }},
    {"VfsSetActivateHook", [] { return Of(VfsGetActivateHook()); }},
    {"SetShapeOutlineRenderer", [] { return Of(GetShapeOutlineRenderer()); }},
    {"SetAnimLinks", [] { return Of(AnimLinks()); }},
    {"SetLayerKindOps",
     [] {
         Bytes b;
         for (int32_t type = 0; type < 256; type++)
             if (IsLayerType(type)) Append(&b, LayerKindOps(type));
         return b;
     }},
    {"SetObjectTypeOps",
     [] {
         Bytes b;
         for (int32_t type = 0; type < 256; type++) Append(&b, ObjectTypeOps(type));
         return b;
     }},
    {"vmRuntime",
     [] {
         Bytes b;
         Append(&b, vmRuntime.signalError);
         Append(&b, vmRuntime.recordErrorContext);
         Append(&b, vmRuntime.userErrorHandlerInstalled);
         Append(&b, vmRuntime.callUserErrorHandler);
         Append(&b, vmRuntime.callCommandHook);
         Append(&b, vmRuntime.consolePrint);
         Append(&b, vmRuntime.getLastErrorFunction);
         return b;
     }},
};

class SeamListener : public testing::EmptyTestEventListener {
    std::vector<Bytes> before_;

    void OnTestStart(const testing::TestInfo&) override {
        before_.clear();
        for (const Seam& seam : kSeams) before_.push_back(seam.read());
    }
    // A failure added here counts for the test that just ended.
    void OnTestEnd(const testing::TestInfo&) override {
        for (size_t i = 0; i < std::size(kSeams); i++)
            if (kSeams[i].read() != before_[i])
                ADD_FAILURE() << "The test left the table of " << kSeams[i].name << " changed";
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new SeamListener);
    return RUN_ALL_TESTS();
}
