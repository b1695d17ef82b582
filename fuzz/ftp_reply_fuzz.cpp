// The FTP client's reply reader: any bytes from a server are read as replies (multi-line ones
// included) until an error, and each reply's text goes through the passive-address and size
// parsers, without reading or writing outside the buffers and without leaking.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <array>

#include "net/net_ftp.h"
#include "net_memory_io.h"
#include "vm/vm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static VmState* state = VmOpen();
    if (size < 1) return 0;
    FuzzSource source{data + 1, size - 1, 0, 1u + data[0]};
    qzConnection* connection = FuzzConnection(&source);
    if (!connection) return 0;
    char text[QZ_FTP_LINE];
    int32_t code = 0;
    while (FtpReadReply(state, connection, &code, text) == 0) {
        std::array<uint8_t, 6> numbers;
        FtpParsePassive(text, &numbers);
        if (FtpParseSize(text) < 0) std::abort();
    }
    RemoveConnectionNode(state, connection);
    return 0;
}
