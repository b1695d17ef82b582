// Writers that run out of room: every saver reports the short write as an error and leaves
// neither a partial file nor a changed target. The room is limited with the file-size limit of a
// child process, so the writes fail the way a full disk makes them fail.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/error_codes.h"
#include "image/bmp_writer.h"
#include "image/ilbm.h"
#include "image/image_test_util.h"
#include "image/native_image.h"
#include "image/png_codec.h"

namespace image_write_test {

using namespace imgtest;

namespace {

// Runs save in a child whose files may not grow past limit bytes; returns its result code.
template <typename Save>
int SaveWithFileSizeLimit(rlim_t limit, Save save) {
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit r = {limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        _exit(save() & 0xFF);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ImageWrite, ShortWritesFailAndLeaveNoFile) {
    TempDir dir;
    Picture p = TestPattern(300, 200, 5);  // far more than the limit in every format
    const std::string target = dir / "picture";
    WriteFile(target, "the old picture");
    const int write = ERR_WRITE & 0xFF;
    EXPECT_EQ(SaveWithFileSizeLimit(4096,
                                    [&] {
                                        qzPngSaveRequest request = {
                                            target.c_str(), p.pixels.data(), 300 * 4, 300, 200, 0, 0};
                                        SavePNG(&request);
                                        return request.error;
                                    }),
              write);
    EXPECT_EQ(SaveWithFileSizeLimit(4096, [&] { return SaveILBM(target.c_str(), p.pixels.data(), 300, 200); }), write);
    EXPECT_EQ(SaveWithFileSizeLimit(4096, [&] { return SaveBMP(target.c_str(), p.pixels.data(), 300, 200); }), write);
    EXPECT_EQ(SaveWithFileSizeLimit(4096,
                                    [&] {
                                        return MacSaveImage(target.c_str(), p.pixels.data(), 300, 200, 300 * 4,
                                                            "com.microsoft.bmp", 0, 90, nullptr, nullptr);
                                    }),
              write);
    EXPECT_EQ(ReadFile(target), "the old picture");
    EXPECT_EQ(Shell("ls -A '" + dir.path() + "'"), "picture\n");
}

}  // namespace image_write_test
