// The HTTP/1.1 client of the transfers: the request, the status line, the header lines, interim
// and redirect responses, and the shape of the body (known length, chunked, until closed). One
// connection carries one request and the server is asked to close it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VmState;
struct qzConnection;
struct qzTransfer;
struct qzFormItem;

// Line buffer sizes: status and chunk lines, header lines (each holds one byte less).
constexpr size_t QZ_HTTP_SHORT_LINE = 1024;
constexpr size_t QZ_HTTP_HEADER_LINE = 32768;
// Limits on what a server may send before the body.
constexpr int QZ_HTTP_MAX_HEADER_LINES = 1000;
constexpr int QZ_HTTP_MAX_INTERIM = 32;
// Error numbers of ERR_HTTPERROR besides a status: the status line does not start with "HTTP/",
// has no version, or no space after it; too many header lines; too many interim (100) responses;
// a chunk line without a hexadecimal size.
enum {
    QZ_HTTP_BADSTART = 1001,
    QZ_HTTP_NOVERSION = 1002,
    QZ_HTTP_NOSPACE = 1003,
    QZ_HTTP_TOOMANYHEADERS = 1004,
    QZ_HTTP_TOOMANYINTERIM = 1005,
    QZ_HTTP_BADCHUNK = 3000,
};

struct qzHttpHeaders {
    int64_t contentLength = 0;  // 0 when absent; negative values count as absent
    bool chunked = false;
    std::string location;  // the redirect target, empty when none
};

// Parsers of single lines (without their line end). Status: 0 with *status, or an
// ERR_HTTPERROR number. Header: 0 or ERR_HTTPTE; the line updates *headers. Chunk: 0 with the
// size, or QZ_HTTP_BADCHUNK (also for a size beyond 60 bits).
int HttpParseStatusLine(const char* line, int32_t* status);
int HttpParseHeaderLine(const char* line, qzHttpHeaders* headers);
int HttpParseChunkLine(const char* line, int64_t* size);

// Readers on a connection: 0 or an error code (ERR_HTTPERROR with its number as the error
// argument, ERR_HTTPTE, ERR_MEM for a line longer than its buffer, the receive errors).
int HttpReadStatus(VmState* state, qzConnection* connection, int32_t* status);
int HttpReadHeaders(VmState* state, char* line, size_t lineSize, qzConnection* connection, qzHttpHeaders* headers);
int HttpReadChunkSize(VmState* state, qzConnection* connection, int64_t* size);

// Multipart form data: a boundary from the current time, and the body length it announces.
std::string MultipartBoundary();
int64_t MultipartLength(const std::vector<qzFormItem>& items, const std::string& boundary);
// The header of one part, ending with its empty line.
std::string MultipartPartHeader(const qzFormItem& item, const std::string& boundary);

// The request header block after the request line and the custom headers.
std::string HttpHeaderBlock(const std::string& host, const std::string& userAgent, const std::string* user,
                            const std::string* password, const std::string* contentType, int64_t contentLength);

// The exchange on the transfer's connected control connection: 0 when the body was received,
// QZ_TRANSFER_REDIRECT with the transfer's redirect target set, or an error code.
int HttpExchange(qzTransfer* t);
