// Downloads and uploads of whole files over HTTP/1.1 and FTP: the routine behind DownloadFile
// and UploadFile once their options are read, the connection, the reception of the body into
// memory or a file, sending from memory or a file, and the clean-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/player_identity.h"
#include "net/net_bytes.h"
#include "net/net_url.h"

struct VmState;
struct qzConnection;
struct qzVfsFile;

// Transfer modes (script constants FTPASCII and FTPBINARY): the FTP type characters.
constexpr char QZ_FTP_ASCII = 'a';
constexpr char QZ_FTP_BINARY = 'i';

// One entry of an HTTP upload's form data, in table order.
struct qzFormItem {
    std::string name;
    bool hasMimeType = false;
    std::string mimeType;
    std::string alias;  // the file name sent for items with a MIME type
    std::string data;   // data entries: a private copy
    bool fromFile = false;
    std::string fileName;  // file entries: opened by the transfer
    qzVfsFile* file = nullptr;
    int64_t length = 0;
};

// What one DownloadFile or UploadFile asks for.
struct qzTransferRequest {
    bool upload = false;
    std::string url;
    char transferMode = QZ_FTP_BINARY;
    bool hasFile = false;
    std::string file;   // download destination or upload source
    std::string proxy;  // empty: none
    std::string customHeaders;
    bool fail404 = false;
    bool redirect = true;
    bool hasPost = false;
    std::string post;
    std::string postType = "application/x-www-form-urlencoded";
    std::string userAgent = std::string("Quarnelix ") + QZ_PLAYER_VERSION;
    bool hasData = false;
    std::string data;
    std::vector<qzFormItem> form;
    bool progress = false;  // argument 3 is the progress callback
    bool userData = false;  // argument 4 is its user data
};

struct qzTransferResult {
    bool hasResults = false;  // false for an FTP upload
    qzNetBytes body;          // empty when the body went to a file
    int64_t count = 0;
};

// Runs the transfer. 0 with the result filled (the caller frees result->body), or an error code.
// A progress callback that returned 1 while the player is not quitting ends the transfer as a
// success with what arrived. Every connection and file the transfer opened is closed; a download
// to a file is written beside it and renamed over it only when the transfer succeeded.
int NetTransfer(VmState* state, qzTransferRequest* request, qzTransferResult* result);

// The body of an HTTP response or an FTP download, by its shape.
enum { QZ_BODY_KNOWN = 0, QZ_BODY_UNTIL_CLOSED = 1, QZ_BODY_CHUNKED = 2, QZ_BODY_PIECES = 3 };

// The state of one running transfer, shared by the HTTP and FTP exchanges.
struct qzTransfer {
    VmState* state;
    qzTransferRequest* request;
    qzTransferResult* result;
    std::string escapedUrl;
    qzUrlParts parts;
    int redirects = 0;
    std::string redirectTarget;  // set by the HTTP exchange when it asks to follow a redirect
    qzConnection* control = nullptr;
    qzConnection* data = nullptr;                // FTP
    qzConnection* progressConnection = nullptr;  // the one whose progress count counts
    int64_t droppedProgressCount = -1;           // its count when it was closed, -1 before
    qzVfsFile* source = nullptr;                 // upload source file
    int64_t sourceSize = 0;
    qzVfsFile* destination = nullptr;
    std::string destinationTemp;
    std::string destinationFinal;
    std::vector<char> line;  // response lines
    std::string boundary;    // multipart uploads
};

// The HTTP exchange asks NetTransfer to start again with redirectTarget.
constexpr int QZ_TRANSFER_REDIRECT = -1;

// Receives the body from the connection into the destination file or the result's memory, with
// progress reports (total: the expected length or an estimate). 0 or an error code.
int ReceiveBody(qzTransfer* t, qzConnection* connection, int shape, int64_t length, int64_t total);
// Sets the connection's progress fields for reporting to the script callback.
void StartProgress(qzTransfer* t, qzConnection* connection, int action, int64_t total);
// Sends from memory, or from a file in 8192-byte reads; a file must then be at its end
// (expected -1) or have given exactly expected bytes, else ERR_SENDDATA. 0 or an error code.
int SendDataSource(VmState* state, qzConnection* connection, const void* data, int64_t length, qzVfsFile* file,
                   int64_t expected);
// Sends a text with NetSendChecked.
int SendText(qzTransfer* t, qzConnection* connection, const std::string& text);
