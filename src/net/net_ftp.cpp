// The FTP exchange of the transfers.
#include "net/net_ftp.h"

#include <cctype>
#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "net/net_connection.h"
#include "net/net_io.h"
#include "net/net_transfer.h"
#include "runtime/error_messages.h"

namespace {

constexpr int64_t kNumberCap = int64_t(1) << 60;

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Reads the digits at p (saturating); *end gets the character after them.
int64_t ReadDigits(const char* p, const char** end) {
    int64_t value = 0;
    for (; IsDigit(*p); p++) value = value <= (kNumberCap - 9) / 10 ? value * 10 + (*p - '0') : kNumberCap;
    if (end) *end = p;
    return value;
}

int FtpError(int number) {
    SetErrorArgIndex(number);
    return ERR_FTPERROR;
}

bool Is2xx(int32_t code) { return code >= 200 && code <= 299; }

// Sends a command and reads its reply (with its text when given).
int Command(qzTransfer* t, const std::string& command, int32_t* code, char* text) {
    int rc = SendText(t, t->control, command);
    return rc ? rc : FtpReadReply(t->state, t->control, code, text);
}

// Opens the passive data connection: to the port of the reply, at the control connection's peer
// address (a server cannot send the client elsewhere).
int OpenDataConnection(qzTransfer* t, const char* reply) {
    std::array<uint8_t, 6> numbers;
    if (FtpParsePassive(reply, &numbers)) return FtpError(QZ_FTP_BADPASV);
    qzSockAddr peer;
    std::array<uint8_t, 4> ip = {numbers[0], numbers[1], numbers[2], numbers[3]};
    if (SockGetPeerAddress(t->control->socket->fd, &peer) == 0) ip = peer.ip;
    int port = numbers[4] * 256 + numbers[5];
    qzObjectId id{0, QZ_AUTO_ID};
    int rc = ConnectTcp(t->state, &id, SockFormatIPv4(ip).c_str(), port, &t->data);
    if (rc) return rc;
    t->data->dataPending = 1;
    t->data->closedReported = 1;
    SetBulkTransferSocket(t->data->socket);
    return 0;
}

}  // namespace

int32_t FtpReplyCode(const char* line) {
    int64_t code = ReadDigits(line, nullptr);
    return code > INT32_MAX ? INT32_MAX : static_cast<int32_t>(code);
}

bool FtpReplyContinues(const char* line) { return std::strlen(line) >= 4 && line[3] == '-'; }

int FtpParsePassive(const char* text, std::array<uint8_t, 6>* numbers) {
    size_t length = std::strlen(text);
    const char* p = text + (length < 4 ? length : 4);
    int count = 0;
    while (*p) {
        if (!IsDigit(*p)) {
            p++;
            continue;
        }
        if (count == 6) return QZ_FTP_BADPASV;
        (*numbers)[count++] = static_cast<uint8_t>(ReadDigits(p, &p) & 0xFF);
        const char* comma = std::strchr(p, ',');
        if (!comma) break;
        p = comma + 1;
    }
    return count == 6 ? 0 : QZ_FTP_BADPASV;
}

int64_t FtpParseSize(const char* text) {
    size_t length = std::strlen(text);
    if (length <= 4) return 0;
    size_t end = length;
    while (end > 4 && !IsDigit(text[end - 1])) end--;
    if (end == 4) return 0;
    size_t start = end;
    while (start > 4 && IsDigit(text[start - 1])) start--;
    const char* after = text + end;
    static const char kBytes[] = " bytes";
    for (size_t i = 0; kBytes[i]; i++)
        if (std::tolower(static_cast<unsigned char>(after[i])) != kBytes[i]) return 0;
    return ReadDigits(text + start, nullptr);
}

int FtpReadReply(VmState* state, qzConnection* connection, int32_t* code, char* text) {
    *code = -1;
    char line[QZ_FTP_LINE];
    qzReceiveTarget target;
    target.fixed = line;
    target.fixedCapacity = sizeof line;
    int rc = NetReceiveInto(state, connection, QZ_RECEIVE_LINE, 0, 1, &target, nullptr);
    if (rc) return rc;
    int32_t first = FtpReplyCode(line);
    for (int lines = 1; FtpReplyContinues(line); lines++) {
        if (lines == QZ_FTP_MAX_REPLY_LINES) return FtpError(QZ_FTP_BADMULTILINE);
        rc = NetReceiveInto(state, connection, QZ_RECEIVE_LINE, 0, 1, &target, nullptr);
        if (rc) return rc;
        if (FtpReplyCode(line) != first) return FtpError(QZ_FTP_BADMULTILINE);
    }
    if (text) std::memcpy(text, line, sizeof line);
    *code = first;
    return 0;
}

int FtpExchange(qzTransfer* t) {
    const qzTransferRequest& request = *t->request;
    const qzUrlParts& parts = t->parts;
    VmState* state = t->state;
    int32_t code = -1;
    char text[QZ_FTP_LINE];

    int rc = FtpReadReply(state, t->control, &code, nullptr);
    if (!rc && code >= 100 && code <= 199) rc = FtpReadReply(state, t->control, &code, nullptr);
    if (rc) return rc;
    if (!Is2xx(code)) return FtpError(QZ_FTP_UNEXPECTED);

    rc = Command(t, "user " + parts.user + "\r\n", &code, nullptr);
    if (!rc && code == 331) {
        rc = Command(t, "pass " + parts.password + "\r\n", &code, nullptr);
        if (!rc && code == 530) return ERR_FTPAUTH;
    }
    if (rc) return rc;
    if (!Is2xx(code)) return FtpError(QZ_FTP_UNEXPECTED);

    rc = Command(t, "pasv\r\n", &code, text);
    if (rc) return rc;
    if (!Is2xx(code)) return FtpError(QZ_FTP_UNEXPECTED);
    rc = OpenDataConnection(t, text);
    if (rc) return rc;

    char type = parts.transferType ? parts.transferType : request.transferMode;
    rc = Command(t, std::string("type ") + type + "\r\n", &code, nullptr);
    if (rc) return rc;
    if (code != 200) return FtpError(QZ_FTP_UNEXPECTED);

    rc = Command(t, (request.upload ? "stor " : "retr ") + parts.path + "\r\n", &code, text);
    if (rc) return rc;
    if (code < 100 || code > 299) {
        if (code != 550) return FtpError(QZ_FTP_UNEXPECTED);
        SetErrorArgString(parts.path.c_str());
        return request.upload ? ERR_UPLOADFORBIDDEN : ERR_FILENOTFOUND;
    }

    if (request.upload) {
        int64_t length = t->source ? t->sourceSize : static_cast<int64_t>(request.data.size());
        StartProgress(t, t->data, 0, length);
        rc = t->source ? SendDataSource(state, t->data, nullptr, 0, t->source, t->sourceSize)
                       : SendDataSource(state, t->data, request.data.data(), length, nullptr, 0);
    } else {
        int64_t size = code == 150 ? FtpParseSize(text) : 0;
        rc = ReceiveBody(t, t->data, QZ_BODY_PIECES, 0, size);
    }
    if (rc) return rc;
    // Closing the data connection ends an upload's data; the final reply follows.
    RemoveConnectionNode(state, t->data);
    t->data = nullptr;
    if (code >= 100 && code <= 199) {
        rc = FtpReadReply(state, t->control, &code, nullptr);
        if (rc) return rc;
        if (!Is2xx(code)) return FtpError(QZ_FTP_UNEXPECTED);
    }
    SendText(t, t->control, "quit\r\n");
    return 0;
}
