// Downloads and uploads: connecting, following redirects, receiving the body, sending sources,
// and the clean-up.
#include "net/net_transfer.h"

#include <cctype>
#include <memory>
#include <utility>

#include "base/error_codes.h"
#include "net/net_connection.h"
#include "net/net_ftp.h"
#include "net/net_http.h"
#include "net/net_io.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/os_dir.h"
#include "platform/os_file.h"
#include "platform/vfs.h"
#include "runtime/error_messages.h"
#include "runtime/runtime.h"

namespace {

constexpr const char* kAnonymousUser = "anonymous";
constexpr const char* kAnonymousPassword = "guest@quarnelix.example";
constexpr int64_t kFtpPiece = 4096;
// Upload sources are read in blocks of this size.
constexpr size_t kSourceBlock = 262144;

bool SameHost(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Checks what the exchange will send of the split URL: FTP commands are lines, so the path and
// the credentials must not hold line ends (or zero bytes). Without credentials the anonymous
// ones are used.
int PrepareParts(qzTransfer* t) {
    qzUrlParts& parts = t->parts;
    if (parts.scheme == QZ_URL_FTP) {
        for (const std::string* text : {&parts.path, &parts.user, &parts.password})
            if (text->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return ERR_BADURL;
    }
    if (!parts.credentials) {
        parts.user = kAnonymousUser;
        parts.password = kAnonymousPassword;
    }
    return 0;
}

// A redirect keeps the URL's credentials only while it stays on the same host.
void CarryCredentials(const qzUrlParts& previous, qzUrlParts* parts) {
    if (parts->credentials || !previous.credentials) return;
    if (!parts->viaProxy &&
        (parts->scheme != previous.scheme || parts->port != previous.port || !SameHost(parts->host, previous.host)))
        return;
    parts->credentials = true;
    parts->user = previous.user;
    parts->password = previous.password;
}

// Opens the upload's source file and the files of its form items.
int OpenSources(qzTransfer* t) {
    qzTransferRequest& request = *t->request;
    if (request.upload && request.hasFile) {
        t->source = VfsOpen(request.file.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, "default");
        if (!t->source) {
            SetErrorArgString(request.file.c_str());
            return ERR_READFILE;
        }
        t->sourceSize = VfsGetFileSize(t->source);
    }
    for (qzFormItem& item : request.form) {
        if (!item.fromFile) {
            item.length = static_cast<int64_t>(item.data.size());
            continue;
        }
        item.file = VfsOpen(item.fileName.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, "default");
        if (!item.file) {
            SetErrorArgString(item.fileName.c_str());
            return ERR_READFILE;
        }
        item.length = VfsGetFileSize(item.file);
        if (item.length < 0) return ERR_FILESIZE;
        if (item.length == 0) return ERR_WRONGUSAGE;
    }
    return 0;
}

// The download's destination, written beside the named file until the transfer succeeds.
int OpenDestination(qzTransfer* t) {
    if (t->destination) return 0;
    const std::string& name = t->request->file;
    if (IsChunkName(name.c_str()) ||
        !OsCreateSiblingTempFile(name.c_str(), &t->destinationTemp, &t->destinationFinal) ||
        !(t->destination = VfsOpen(t->destinationTemp.c_str(), QZ_VFS_WRITE, "inbuilt"))) {
        SetErrorArgString(name.c_str());
        return ERR_WRITEFILE;
    }
    return 0;
}

// Notes the progress count of a connection that goes away.
void DropConnection(qzTransfer* t, qzConnection** connection) {
    if (!*connection) return;
    if (t->progressConnection == *connection) {
        t->droppedProgressCount = (*connection)->progressCount;
        t->progressConnection = nullptr;
    }
    RemoveConnectionNode(t->state, *connection);
    *connection = nullptr;
}

// Closes everything the transfer opened; the destination is renamed into place only on success.
// What is closed is forgotten at once, so that a clean-up cut short by unwinding can be run again
// for the rest.
int CleanUp(qzTransfer* t, int rc) {
    DropConnection(t, &t->data);
    DropConnection(t, &t->control);
    if (qzVfsFile* destination = std::exchange(t->destination, nullptr)) {
        if (!VfsClose(destination) && !rc) rc = ERR_WRITE;
        if (!rc && OsRename(t->destinationTemp.c_str(), t->destinationFinal.c_str()) == 1)
            t->destinationTemp.clear();
        else if (!rc) {
            SetErrorArgString(t->request->file.c_str());
            rc = ERR_WRITEFILE;
        }
    }
    if (!t->destinationTemp.empty()) {
        OsDeleteFile(t->destinationTemp.c_str());
        t->destinationTemp.clear();
    }
    if (qzVfsFile* source = std::exchange(t->source, nullptr))
        if (!VfsClose(source) && !rc && t->request->upload && t->parts.scheme == QZ_URL_FTP) rc = ERR_CLOSEFILE;
    for (qzFormItem& item : t->request->form) {
        if (item.file) VfsClose(item.file);
        item.file = nullptr;
    }
    if (rc) NetBytesFree(&t->result->body);
    return rc;
}

// Runs the clean-up when the transfer is left by unwinding (memory running out, an error raised
// in a progress callback): no connection, open file or temporary file is left behind. The
// unwinding that is under way goes on; a second one from the clean-up itself is dropped.
class CleanUpOnUnwind {
public:
    explicit CleanUpOnUnwind(qzTransfer* t) : t_(t) {}
    CleanUpOnUnwind(const CleanUpOnUnwind&) = delete;
    CleanUpOnUnwind& operator=(const CleanUpOnUnwind&) = delete;
    ~CleanUpOnUnwind() {
        if (!t_) return;
        try {
            CleanUp(t_, ERR_MEM);
        } catch (...) {
        }
    }
    // The normal way out: the clean-up runs here, and if it is itself cut short, again on unwinding.
    int Finish(int rc) {
        rc = CleanUp(t_, rc);
        t_ = nullptr;
        return rc;
    }

private:
    qzTransfer* t_;
};

int Exchange(qzTransfer* t) {
    int rc = 0;
    while (true) {
        qzObjectId id{0, QZ_AUTO_ID};
        rc = ConnectTcp(t->state, &id, t->parts.host.c_str(), t->parts.port, &t->control);
        if (rc) return rc;
        // The event dispatcher never reports the transfer's own connections.
        t->control->dataPending = 1;
        t->control->closedReported = 1;
        SetBulkTransferSocket(t->control->socket);
        rc = t->parts.scheme == QZ_URL_HTTP ? HttpExchange(t) : FtpExchange(t);
        if (rc != QZ_TRANSFER_REDIRECT) return rc;
        DropConnection(t, &t->control);
        t->redirects++;
        qzUrlParts previous = t->parts;
        rc = NetSplitUrl(t->redirectTarget, t->request->proxy, &t->parts);
        if (!rc) {
            CarryCredentials(previous, &t->parts);
            rc = PrepareParts(t);
        }
        if (rc) return rc;
        t->escapedUrl = NetEscapeUrl(t->redirectTarget, true);
    }
}

}  // namespace

int SendText(qzTransfer* t, qzConnection* connection, const std::string& text) {
    return NetSendChecked(t->state, connection, text.data(), text.size());
}

void StartProgress(qzTransfer* t, qzConnection* connection, int action, int64_t total) {
    connection->userData = t->request->userData;
    connection->progressCount = 0;
    connection->progress = t->request->progress;
    connection->progressTotal = total;
    connection->progressAction = action;
    t->progressConnection = connection;
}

int SendDataSource(VmState* state, qzConnection* connection, const void* data, int64_t length, qzVfsFile* file,
                   int64_t expected) {
    if (!file) return NetSendChecked(state, connection, data, static_cast<size_t>(length));
    unsigned char* block = static_cast<unsigned char*>(OsAlloc(kSourceBlock, 0));
    if (!block) return ERR_MEM;
    // The block goes also when the progress callback's call runs out of memory and unwinds
    // through here.
    std::unique_ptr<unsigned char, void (*)(void*)> owner(block, OsFree);
    int64_t total = 0;
    int rc = 0;
    while (true) {
        size_t got = VfsRead(file, block, kSourceBlock);
        total += static_cast<int64_t>(got);
        rc = NetSendChecked(state, connection, block, got);
        if (rc || got < kSourceBlock) break;
    }
    owner.reset();
    if (!rc && (expected == -1 ? !VfsEof(file) : total != expected)) rc = ERR_SENDDATA;
    return rc;
}

int ReceiveBody(qzTransfer* t, qzConnection* connection, int shape, int64_t length, int64_t total) {
    VmState* state = t->state;
    const qzTransferRequest& request = *t->request;
    StartProgress(t, connection, request.upload ? 1 : 0, total);
    qzReceiveTarget target;
    qzNetBytes stage;
    NetBytesScope stageScope(&stage);
    if (!request.upload && request.hasFile) {
        int rc = OpenDestination(t);
        if (rc) return rc;
        target.file = t->destination;
        target.fileStage = &stage;
    } else {
        target.memory = &t->result->body;
    }
    int64_t& count = t->result->count;
    int64_t got = 0;
    int rc = 0;
    switch (shape) {
    case QZ_BODY_KNOWN:
        rc = NetReceiveInto(state, connection, QZ_RECEIVE_BYTES, length, 1, &target, &got);
        count = got;
        break;
    case QZ_BODY_UNTIL_CLOSED:
        rc = NetReceiveInto(state, connection, QZ_RECEIVE_ALL, 0, 1, &target, &got);
        count = got;
        break;
    case QZ_BODY_CHUNKED:
        while (true) {
            int64_t size = 0;
            connection->progress = 0;
            rc = HttpReadChunkSize(state, connection, &size);
            connection->progress = request.progress;
            if (rc || size == 0) break;
            rc = NetReceiveInto(state, connection, QZ_RECEIVE_BYTES, size, 1, &target, &got);
            count += got;
            if (rc) break;
            // The chunk's line end, dropped unchecked.
            char lineEnd[2];
            qzReceiveTarget skip;
            skip.fixed = lineEnd;
            skip.fixedCapacity = sizeof lineEnd;
            connection->progress = 0;
            rc = NetReceiveInto(state, connection, QZ_RECEIVE_BYTES, 2, 1, &skip, nullptr);
            connection->progress = request.progress;
            if (rc) break;
        }
        break;
    default:
        while (true) {
            rc = NetReceiveInto(state, connection, QZ_RECEIVE_BYTES, kFtpPiece, 1, &target, &got);
            count += got;
            if (rc == ERR_RECVCLOSED) rc = 0;
            if (rc || got < kFtpPiece) break;
        }
        break;
    }
    int flushed = NetFlushFileStage(&target);
    return rc ? rc : flushed;
}

int NetTransfer(VmState* state, qzTransferRequest* request, qzTransferResult* result) {
    qzTransfer t;
    t.state = state;
    t.request = request;
    t.result = result;
    *result = qzTransferResult{};
    result->hasResults = true;
    int rc = NetSplitUrl(request->url, request->proxy, &t.parts);
    if (!rc) rc = PrepareParts(&t);
    if (!rc && request->upload && t.parts.scheme == QZ_URL_HTTP && (request->hasData || request->form.empty()))
        rc = ERR_WRONGUSAGE;
    if (rc) return rc;
    CleanUpOnUnwind cleanUp(&t);
    t.escapedUrl = NetEscapeUrl(request->url, false);
    t.line.resize(QZ_HTTP_HEADER_LINE);
    rc = OpenSources(&t);
    if (!rc) rc = Exchange(&t);
    if (rc == ERR_USERABORT && !IsQuitRequested() && (t.progressConnection || t.droppedProgressCount >= 0)) {
        // A progress callback ended the transfer: what arrived so far is the result.
        result->count = t.progressConnection ? t.progressConnection->progressCount : t.droppedProgressCount;
        rc = 0;
    }
    if (request->upload && t.parts.scheme == QZ_URL_FTP) result->hasResults = false;
    return cleanUp.Finish(rc);
}
