// The object lookups at the start of handlers: an unknown number fails the command with the
// type's not-found code and the number as the error argument, an unknown handle with
// ERR_FINDARRAY, the same for every kind of object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/clip_region.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/network/network.h"
#include "libs/system/system.h"
#include "libs/text/text_lib.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "support/commands.h"

namespace object_lookups_test {

using qztest::Arg;
using qztest::N;
using qztest::S;

namespace {

int handleMarker;

// A command whose identifier argument follows the `before` arguments and precedes the `after` ones.
struct Row {
    const char* command;
    std::vector<Arg> before, after;
    int notFound;
};

std::vector<Arg> Args(const Row& row, const Arg& id) {
    std::vector<Arg> args = row.before;
    args.push_back(id);
    args.insert(args.end(), row.after.begin(), row.after.end());
    return args;
}

TEST(ObjectLookups, UnknownNumbersAndHandles) {
    qztest::Commands vm{&qzSystemLibrary, &qzGraphicsLibrary,       &qzTextLibrary,   &qzBGPicLibrary,
                        &qzEventLibrary,  &qzVectorGraphicsLibrary, &qzNetworkLibrary};
    const Row rows[] = {
        {"UseFont", {}, {}, ERR_FINDFONT2},
        {"ScaleTextObject", {}, {N(10), N(10)}, ERR_FINDTEXTOBJECT},
        {"CopyTextObject", {}, {N(8)}, ERR_FINDTEXTOBJECT},
        {"GetPathExtents", {}, {}, ERR_FINDPATH},
        {"TranslatePath", {}, {N(1), N(1)}, ERR_FINDPATH},
        {"ScaleBGPic", {}, {N(10), N(10)}, ERR_FINDBGPIC},
        {"CopyBGPic", {}, {N(8)}, ERR_FINDBGPIC},
        {"FreeClipRegion", {}, {}, ERR_FINDCLIPREGION},
        {"SendData", {}, {S("x")}, ERR_FINDCLIENT},
        {"SendUDPData", {}, {S("x"), S("127.0.0.1"), N(80)}, ERR_FINDUDPOBJECT},
        // Any type and identifier: the message has no number of its own.
        {"GetObjectData", {N(QZ_TYPE_CLIPREGION)}, {S("key")}, ERR_FINDARRAY},
    };
    for (const Row& row : rows) {
        SetErrorArgIndex(0);
        EXPECT_EQ(vm.CallErr(row.command, Args(row, N(7.9))), row.notFound) << row.command;
        if (row.notFound != ERR_FINDARRAY) {
            EXPECT_EQ(GetErrorArgIndex(), 7) << row.command;
        }
        EXPECT_EQ(vm.CallErr(row.command, Args(row, Arg::Pointer(&handleMarker))), ERR_FINDARRAY) << row.command;
    }
    // Layers are not addressed through the registry; buttons need a picture that takes them.
    EXPECT_EQ(vm.CallErr("GetObjectData", {N(22), N(1), S("key")}), ERR_NOLAYERS);
    EXPECT_EQ(vm.CallErr("EnableButton", {N(1)}), ERR_BGPICBUTTON);
}

}  // namespace

}  // namespace object_lookups_test
