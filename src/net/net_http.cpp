// The HTTP/1.1 exchange of the transfers.
#include "net/net_http.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/base64.h"
#include "base/error_codes.h"
#include "net/net_connection.h"
#include "net/net_io.h"
#include "net/net_transfer.h"
#include "platform/os_time.h"
#include "platform/vfs.h"
#include "runtime/error_messages.h"

namespace {

// Values at or above this stop a number from growing (lengths, chunk sizes, statuses).
constexpr int64_t kNumberCap = int64_t(1) << 60;

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; prefix++, text++)
        if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return false;
    return true;
}

const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') p++;
    return p;
}

// A decimal number as the C library reads one: leading blanks, a sign, digits; the value
// saturates at kNumberCap. *end (optional) gets the first character after the digits, or the
// start when there were none.
int64_t ReadDecimal(const char* text, const char** end) {
    const char* p = SkipBlanks(text);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    const char* digits = p;
    int64_t value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); p++)
        value = value <= (kNumberCap - 9) / 10 ? value * 10 + (*p - '0') : kNumberCap;
    if (end) *end = p == digits ? text : p;
    return negative ? -value : value;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

int ReadLine(VmState* state, qzConnection* connection, char* line, size_t size, int64_t* length) {
    qzReceiveTarget target;
    target.fixed = line;
    target.fixedCapacity = size;
    return NetReceiveInto(state, connection, QZ_RECEIVE_LINE, 0, 1, &target, length);
}

int HttpError(int number) {
    SetErrorArgIndex(number);
    return ERR_HTTPERROR;
}

// Sends the request line, the custom headers, the header block and the body.
int SendRequest(qzTransfer* t) {
    const qzTransferRequest& request = *t->request;
    qzConnection* c = t->control;
    std::string target = NetRequestTarget(t->escapedUrl, t->parts.viaProxy);
    bool withBody = request.upload || request.hasPost;
    int rc = SendText(t, c, std::string(withBody ? "POST" : "GET") + " " + target + " HTTP/1.1\r\n");
    if (!rc && !request.customHeaders.empty()) rc = SendText(t, c, request.customHeaders);
    if (rc) return rc;
    std::string contentType = request.postType;
    int64_t contentLength = static_cast<int64_t>(request.post.size());
    if (request.upload) {
        t->boundary = MultipartBoundary();
        contentType = "multipart/form-data; boundary=" + t->boundary.substr(2);
        contentLength = MultipartLength(request.form, t->boundary);
    }
    const qzUrlParts& parts = t->parts;
    rc = SendText(t, c,
                  HttpHeaderBlock(parts.hostHeader, request.userAgent, parts.credentials ? &parts.user : nullptr,
                                  parts.credentials ? &parts.password : nullptr, withBody ? &contentType : nullptr,
                                  contentLength));
    if (rc) return rc;
    if (request.hasPost && !request.upload) {
        rc = SendText(t, c, request.post);
        return rc ? rc : SendText(t, c, "\r\n");
    }
    if (!request.upload) return 0;
    StartProgress(t, c, 0, contentLength);
    for (const qzFormItem& item : request.form) {
        rc = SendText(t, c, MultipartPartHeader(item, t->boundary));
        if (!rc && item.file) {
            // A redirect sends the form again.
            VfsSeek(item.file, 0, QZ_VFS_SEEK_BEGINNING);
            rc = SendDataSource(t->state, c, nullptr, 0, item.file, item.length);
        } else if (!rc) {
            rc = SendDataSource(t->state, c, item.data.data(), static_cast<int64_t>(item.data.size()), nullptr, 0);
        }
        if (!rc) rc = SendText(t, c, "\r\n");
        if (rc) return rc;
    }
    rc = SendText(t, c, t->boundary + "--\r\n");
    c->progress = 0;
    return rc;
}

}  // namespace

int HttpParseStatusLine(const char* line, int32_t* status) {
    if (std::strncmp(line, "HTTP/", 5) != 0) return QZ_HTTP_BADSTART;
    const char* p = line + 5;
    const char* start = p;
    while (std::isdigit(static_cast<unsigned char>(*p))) p++;
    if (*p == '.') {
        p++;
        while (std::isdigit(static_cast<unsigned char>(*p))) p++;
    }
    if (p == start || (p == start + 1 && *start == '.')) return QZ_HTTP_NOVERSION;
    if (*p != ' ') return QZ_HTTP_NOSPACE;
    int64_t value = ReadDecimal(p + 1, nullptr);
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    *status = static_cast<int32_t>(value);
    return 0;
}

int HttpParseHeaderLine(const char* line, qzHttpHeaders* headers) {
    if (StartsWithNoCase(line, "content-length: ")) {
        headers->contentLength = ReadDecimal(SkipBlanks(line + 16), nullptr);
    } else if (StartsWithNoCase(line, "transfer-encoding: ")) {
        const char* value = SkipBlanks(line + 19);
        if (StartsWithNoCase(value, "chunked"))
            headers->chunked = true;
        else if (!StartsWithNoCase(value, "identity"))
            return ERR_HTTPTE;
    } else if (StartsWithNoCase(line, "location: ")) {
        headers->location = SkipBlanks(line + 10);
    }
    return 0;
}

int HttpParseChunkLine(const char* line, int64_t* size) {
    const char* p = SkipBlanks(line);
    int64_t value = 0;
    int digits = 0;
    for (int d; (d = HexValue(*p)) >= 0; p++, digits++) {
        if (value >= kNumberCap >> 4) return QZ_HTTP_BADCHUNK;
        value = value * 16 + d;
    }
    if (!digits) return QZ_HTTP_BADCHUNK;
    *size = value;
    return 0;
}

int HttpReadStatus(VmState* state, qzConnection* connection, int32_t* status) {
    char line[QZ_HTTP_SHORT_LINE];
    int rc = ReadLine(state, connection, line, sizeof line, nullptr);
    if (rc) return rc;
    int number = HttpParseStatusLine(line, status);
    return number ? HttpError(number) : 0;
}

int HttpReadHeaders(VmState* state, char* line, size_t lineSize, qzConnection* connection, qzHttpHeaders* headers) {
    *headers = qzHttpHeaders{};
    for (int count = 0;; count++) {
        int64_t length = 0;
        int rc = ReadLine(state, connection, line, lineSize, &length);
        if (rc) return rc;
        if (length == 0) return 0;
        if (count == QZ_HTTP_MAX_HEADER_LINES) return HttpError(QZ_HTTP_TOOMANYHEADERS);
        rc = HttpParseHeaderLine(line, headers);
        if (rc) return rc;
    }
}

int HttpReadChunkSize(VmState* state, qzConnection* connection, int64_t* size) {
    char line[QZ_HTTP_SHORT_LINE];
    int rc = ReadLine(state, connection, line, sizeof line, nullptr);
    if (rc) return rc;
    return HttpParseChunkLine(line, size) ? HttpError(QZ_HTTP_BADCHUNK) : 0;
}

std::string MultipartBoundary() {
    qzTimeVal now;
    OsGetSysTime(&now);
    char text[64];
    std::snprintf(text, sizeof text, "-----------Quarnelix%.8lx%.8lx", static_cast<unsigned long>(now.seconds),
                  static_cast<unsigned long>(now.microseconds));
    return text;
}

int64_t MultipartLength(const std::vector<qzFormItem>& items, const std::string& boundary) {
    int64_t length = 0;
    int64_t b = static_cast<int64_t>(boundary.size());
    for (const qzFormItem& item : items) {
        length += b + static_cast<int64_t>(item.name.size()) + 47 + item.length;
        if (item.hasMimeType) length += static_cast<int64_t>(item.mimeType.size() + item.alias.size()) + 29;
    }
    return length + b + 4;
}

std::string MultipartPartHeader(const qzFormItem& item, const std::string& boundary) {
    std::string header = boundary + "\r\nContent-Disposition: form-data; name=\"" + item.name + "\"";
    if (item.hasMimeType)
        header += "; filename=\"" + item.alias + "\"\r\nContent-Type: " + item.mimeType + "\r\n";
    else
        header += "\r\n";
    return header + "\r\n";
}

std::string HttpHeaderBlock(const std::string& host, const std::string& userAgent, const std::string* user,
                            const std::string* password, const std::string* contentType, int64_t contentLength) {
    std::string block =
        "TE: trailers\r\nConnection: close, TE\r\nHost: " + host + "\r\nUser-Agent: " + userAgent + "\r\n";
    if (user && password) {
        std::string pair = *user + ":" + *password;
        block += "Authorization: Basic " + Base64Encode(pair.data(), pair.size()) + "\r\n";
    }
    if (contentType)
        block += "Content-Type: " + *contentType + "\r\nContent-Length: " + std::to_string(contentLength) + "\r\n";
    return block + "\r\n";
}

int HttpExchange(qzTransfer* t) {
    VmState* state = t->state;
    qzConnection* c = t->control;
    int rc = SendRequest(t);
    if (rc) return rc;
    int32_t status = 0;
    rc = HttpReadStatus(state, c, &status);
    qzHttpHeaders headers;
    char* line = t->line.data();
    for (int interim = 0; !rc && status == 100; interim++) {
        if (interim == QZ_HTTP_MAX_INTERIM) return HttpError(QZ_HTTP_TOOMANYINTERIM);
        rc = HttpReadHeaders(state, line, t->line.size(), c, &headers);
        if (!rc) rc = HttpReadStatus(state, c, &status);
    }
    if (rc) return rc;
    if (status == 401 && !t->parts.credentials) return ERR_REQAUTH;
    if (status == 404 && t->request->fail404) {
        SetErrorArgString(t->parts.path.c_str());
        return ERR_FILENOTFOUND;
    }
    rc = HttpReadHeaders(state, line, t->line.size(), c, &headers);
    if (rc) return rc;
    if (!headers.location.empty() && (status == 301 || status == 302) && t->redirects < 5 && t->request->redirect) {
        if (NetUrlScheme(headers.location) == QZ_URL_UNKNOWN) return ERR_UNKPROTOCOL;
        t->redirectTarget = headers.location;
        return QZ_TRANSFER_REDIRECT;
    }
    if (status == 204 || status == 304 || (status >= 101 && status <= 199)) return HttpError(status);
    if (headers.chunked) return ReceiveBody(t, c, QZ_BODY_CHUNKED, 0, 0);
    if (headers.contentLength > 0)
        return ReceiveBody(t, c, QZ_BODY_KNOWN, headers.contentLength, headers.contentLength);
    return ReceiveBody(t, c, QZ_BODY_UNTIL_CLOSED, 0, 16384);
}
