// Applet container reader on arbitrary input: plain containers from memory, the metadata head,
// and packed containers through a temporary file. No read may leave the data, no count may
// allocate more than the data can hold.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "player/applet_container.h"
#include "runtime/runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Quiet: the reader's loading line would only fill the output.
    static const int quiet = SetRuntimeAttrs(nullptr, {{QZ_RTA_QUIET, 1}});
    (void)quiet;
    {
        qzPlayerContext context;
        qzAppletDescriptor applet;
        ReadAppletContainerData(data, size, "/fuzz/applet.qza", &context, &applet);
    }
    {
        qzAppletDescriptor applet;
        ReadAppletMetadata(data, size < QZ_APPLET_HEAD_SIZE ? size : QZ_APPLET_HEAD_SIZE, &applet);
    }
    if (size >= 4 && std::memcmp(data, "QZZ\0", 4) == 0) {
        char path[] = "/tmp/container_fuzz.XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0) return 0;
        bool written = write(fd, data, size) == (ssize_t)size;
        close(fd);
        if (written) {
            qzPlayerContext context;
            context.appletPath = path;
            qzAppletDescriptor applet;
            ReadAppletContainer(&context, &applet);
            for (const std::string& temp : context.tempFiles) std::remove(temp.c_str());
        }
        std::remove(path);
    }
    return 0;
}
