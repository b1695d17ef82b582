// The GIF and AVI writers at each failing allocation, a std::bad_alloc unwinding through them
// included: every run leaves either no file (and no temporary one) or the whole file, and frees
// what it made (LeakSanitizer checks what is left at exit).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "image/avi_writer.h"
#include "image/gif_writer.h"
#include "oom/alloc_faults.h"
#include "platform/file_test_util.h"

namespace failing_anim_writer_test {

namespace {

// The names in the folder, sorted.
std::string Listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += n + ";";
    return out;
}

void WriteGif(const std::string& file) {
    qzGifWriter* writer = nullptr;
    if (BeginGifWriter(file.c_str(), 8, 4, 0, &writer)) return;
    std::unique_ptr<qzGifWriter, void (*)(qzGifWriter*)> owner(writer, AbortGifWriter);
    const uint32_t palette[2] = {0xFF0000, 0x0000FF};
    for (uint8_t index : {0, 1}) {
        const std::vector<uint8_t> pixels(32, index);
        if (WriteGifFrame(writer, pixels.data(), 8, 4, 10, palette, 2, -1, 1, 0)) return;
    }
    FinishGifWriter(owner.release());
}

void WriteAvi(const std::string& file) {
    qzAviWriter* writer = nullptr;
    if (OpenAviWriter(file.c_str(), 25, 8, 4, 90, "t.avi", kAviFirstPartLimit, &writer)) return;
    std::unique_ptr<qzAviWriter, void (*)(qzAviWriter*)> owner(writer, AbortAviWriter);
    for (uint32_t colour : {0xFFFF0000u, 0xFF0000FFu}) {
        const std::vector<uint32_t> pixels(32, colour);
        if (WriteAviFrame(writer, pixels.data())) return;
    }
    FinishAviWriter(owner.release());
}

}  // namespace

TEST(FailingAnimWriter, LeavesNoFileOrTheWholeFile) {
    const struct {
        const char* name;
        void (*write)(const std::string&);
    } writers[] = {{"t.gif", WriteGif}, {"t.avi", WriteAvi}};
    for (const auto& w : writers) {
        filetest::TempDir dir;
        const std::string file = dir / w.name;
        w.write(file);
        const std::string whole = filetest::ReadFile(file);
        ASSERT_FALSE(whole.empty()) << w.name;
        std::filesystem::remove(file);
        const uint64_t count = ForEachFailingAllocation(
            [&] {
                try {
                    w.write(file);
                } catch (const std::bad_alloc&) {
                }
            },
            [&](uint64_t n) {
                const std::string listing = Listing(dir.path());
                EXPECT_TRUE(listing.empty() ||
                            (listing == std::string(w.name) + ";" && filetest::ReadFile(file) == whole))
                    << w.name << " failing allocation " << n << ": " << listing;
                std::filesystem::remove(file);
            });
        EXPECT_GT(count, 2u) << w.name;
    }
}

}  // namespace failing_anim_writer_test
