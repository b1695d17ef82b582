// The HTTP client's response side: any bytes from a server (status line, interim responses,
// header lines, lengths, chunked framing, bodies until close) end with a result or an error code,
// without reading or writing outside the buffers and without leaking. The bytes arrive in pieces
// of varying size, so lines also break across the receive buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/net_http.h"
#include "net/net_state.h"
#include "net/net_transfer.h"
#include "net_memory_io.h"
#include "vm/vm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static VmState* state = VmOpen();
    if (size < 1) return 0;
    FuzzSource source{data + 1, size - 1, 0, 1u + data[0]};
    qzTransferRequest request;
    request.url = "http://fuzz.example/path";
    request.fail404 = data[0] & 1;
    qzTransferResult result;
    qzTransfer t;
    t.state = state;
    t.request = &request;
    t.result = &result;
    t.escapedUrl = request.url;
    NetSplitUrl(request.url, "", &t.parts);
    t.line.resize(QZ_HTTP_HEADER_LINE);
    t.control = FuzzConnection(&source);
    if (!t.control) return 0;
    int rc = HttpExchange(&t);
    if (rc == 0 && result.body.size != static_cast<size_t>(result.count)) std::abort();
    RemoveConnectionNode(state, t.control);
    NetBytesFree(&result.body);
    return 0;
}
