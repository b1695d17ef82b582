// DownloadFile and UploadFile: arguments, options and form data; the transfer itself runs in
// the network engine.
#include <string>

#include "base/error_codes.h"
#include "libs/network/network_commands.h"
#include "net/net_state.h"
#include "net/net_transfer.h"
#include "platform/chunk_name.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int kOptions = 2;
constexpr int kCallback = 3;
constexpr size_t kMaxShortText = 255;
constexpr size_t kMaxAlias = 1023;

int MissingField(const char* name) {
    SetErrorArgString(name);
    return ERR_MISSINGFIELD;
}

// Reads an optional string field of the form entry at index: 1 when it is a string, 0 when it is
// absent; ERR_STRINGEXPECTED (returned through *error) for any other type.
int EntryString(VmState* state, int index, const char* key, std::string* value, int* error) {
    VmPushString(state, key);
    VmRawGet(state, index);
    int type = VmType(state, -1);
    int found = 0;
    if (type == VM_TSTRING) {
        value->assign(VmToString(state, -1), VmStrLen(state, -1));
        found = 1;
    } else if (type != VM_TNIL) {
        *error = ERR_STRINGEXPECTED;
    }
    VmPop(state, 1);
    return found;
}

// One entry of "formdata" (the table at index) into an item.
int ReadFormItem(VmState* state, int index, qzFormItem* item) {
    if (VmType(state, index) != VM_TTABLE) {
        SetErrorArgString("formdata");
        return ERR_TABEXPECTED2;
    }
    int error = 0;
    std::string file, data, alias;
    if (!EntryString(state, index, "name", &item->name, &error)) return MissingField("Name");
    if (item->name.empty() || item->name.size() > kMaxShortText) return ERR_WRONGUSAGE;
    bool hasFile = EntryString(state, index, "file", &file, &error);
    if (error) return error;
    bool hasData = EntryString(state, index, "data", &data, &error);
    if (hasFile) {
        if (hasData || error) return ERR_WRONGUSAGE;
        item->fromFile = true;
        item->fileName = file;
        item->alias = GetDisplayFileName(file.c_str());
    } else {
        if (error) return error;
        if (!hasData) return MissingField("Data");
        if (data.empty()) return ERR_WRONGUSAGE;
        item->data = std::move(data);
    }
    item->hasMimeType = EntryString(state, index, "mimetype", &item->mimeType, &error);
    if (error) return error;
    if (item->hasMimeType && (item->mimeType.empty() || item->mimeType.size() > kMaxShortText)) return ERR_WRONGUSAGE;
    if (!item->hasMimeType && hasFile) {
        item->hasMimeType = true;
        item->mimeType = "application/octet-stream";
    }
    bool hasAlias = EntryString(state, index, "filealias", &alias, &error);
    if (error) return error;
    if (hasAlias) {
        if (alias.size() > kMaxAlias) return ERR_WRONGUSAGE;
        if (!item->hasMimeType) return MissingField("MIMEType");
        item->alias = alias;
    }
    if (item->hasMimeType && !hasAlias && !hasFile) return MissingField("FileAlias");
    return 0;
}

// The "formdata" option of an HTTP upload: entries from index 0 up to the first missing one.
int ReadFormData(VmState* state, qzTransferRequest* request) {
    VmPushString(state, "formdata");
    VmRawGet(state, kOptions);
    int form = VmGetTop(state);
    int rc = 0;
    if (VmType(state, form) != VM_TTABLE) rc = ERR_WRONGUSAGE;
    for (int i = 0; !rc; i++) {
        VmRawGetI(state, form, i);
        if (VmType(state, -1) == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        qzFormItem item;
        rc = ReadFormItem(state, VmGetTop(state), &item);
        VmPop(state, 1);
        if (!rc) request->form.push_back(std::move(item));
    }
    if (!rc && request->form.empty()) rc = ERR_WRONGUSAGE;
    VmSetTop(state, form - 1);
    return rc;
}

bool ReadText(VmState* state, const char* key, std::string* value) {
    return GetTableFieldString(state, kOptions, key, nullptr, 0, value, nullptr) != 0;
}

// Options, checks and form data. silentFail is known as soon as the options are read.
int ReadRequest(VmState* state, qzTransferRequest* request, bool* silentFail) {
    int top = VmGetTop(state);
    bool upload = request->upload;
    if (top >= kOptions && (upload || VmType(state, kOptions) != VM_TNIL)) {
        VmCheckTable(state, kOptions);
        int32_t mode = request->transferMode;
        GetTableFieldInt(state, kOptions, "transfermode", &mode, nullptr);
        request->hasFile = ReadText(state, "file", &request->file);
        ReadText(state, "proxy", &request->proxy);
        GetTableFieldFlag(state, kOptions, "silentfail", silentFail, nullptr);
        ReadText(state, "customheaders", &request->customHeaders);
        if (upload) {
            request->hasData = ReadText(state, "data", &request->data);
        } else {
            GetTableFieldFlag(state, kOptions, "fail404", &request->fail404, nullptr);
            GetTableFieldFlag(state, kOptions, "redirect", &request->redirect, nullptr);
            request->hasPost = ReadText(state, "post", &request->post);
            ReadText(state, "posttype", &request->postType);
            ReadText(state, "useragent", &request->userAgent);
        }
        if (upload && request->hasData && request->hasFile) return ERR_WRONGUSAGE;
        if ((request->hasPost && request->post.empty()) || (request->hasData && request->data.empty()))
            return ERR_WRONGUSAGE;
        if (mode != QZ_FTP_ASCII && mode != QZ_FTP_BINARY) return ERR_WRONGUSAGE;
        request->transferMode = static_cast<char>(mode);
    }
    if (top >= kCallback) VmCheckFunction(state, kCallback);
    request->progress = top >= kCallback;
    request->userData = top >= kCallback + 1;
    if (upload && NetUrlScheme(request->url) == QZ_URL_HTTP) {
        if (request->hasData) return ERR_WRONGUSAGE;
        if (top < kOptions || VmType(state, kOptions) != VM_TTABLE) return ERR_WRONGUSAGE;
        return ReadFormData(state, request);
    }
    return 0;
}

int TransferCommand(VmState* state, bool upload) {
    VmCheckArgCount(state, upload ? 2 : 1, 4, 0, 0);
    qzTransferRequest request;
    request.upload = upload;
    size_t length = 0;
    const char* url = VmCheckString(state, 1, &length);
    request.url.assign(url, length);
    int rc = NetOpenLayer();
    if (rc) return rc;
    bool silentFail = false;
    rc = ReadRequest(state, &request, &silentFail);
    qzTransferResult result;
    NetBytesScope bodyScope(&result.body);
    if (!rc) rc = NetTransfer(state, &request, &result);
    if (rc) {
        if (!silentFail) return rc;
        char text[QZ_ERROR_TEXT_SIZE];
        FormatErrorText(rc, text, sizeof text);
        VmPushString(state, text);
        VmPushNumber(state, -1);
        return 2;
    }
    if (!result.hasResults) return 0;
    VmPushLString(state, NetBytesText(result.body), result.body.size);
    VmPushNumber(state, static_cast<double>(result.count));
    return 2;
}

}  // namespace

int NetCmdDownloadFile(VmState* state) { return TransferCommand(state, false); }

int NetCmdUploadFile(VmState* state) { return TransferCommand(state, true); }
