#include "image/image_out_file.h"

#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_dir.h"
#include "platform/os_file.h"
#include "platform/vfs.h"

int OpenImageOutFile(const char* name, qzImageOutFile* out) {
    out->file = nullptr;
    out->tempName.clear();
    out->finalName.clear();
    if (name && *name && !IsChunkName(name) && OsCreateSiblingTempFile(name, &out->tempName, &out->finalName)) {
        out->file = VfsOpen(out->tempName.c_str(), QZ_VFS_WRITE, "inbuilt");
        if (out->file) return 0;
        OsDeleteFile(out->tempName.c_str());
        out->tempName.clear();
    }
    SetErrorArgString(name);
    return ERR_WRITEFILE;
}

int CommitImageOutFile(qzImageOutFile* out, const char* name) {
    int closed = VfsClose(out->file);
    out->file = nullptr;
    int rc = 0;
    if (closed != 1) {
        rc = ERR_WRITE;
    } else if (OsRename(out->tempName.c_str(), out->finalName.c_str()) != 1) {
        SetErrorArgString(name);
        rc = ERR_WRITEFILE;
    }
    if (rc) OsDeleteFile(out->tempName.c_str());
    out->tempName.clear();
    return rc;
}

void AbortImageOutFile(qzImageOutFile* out) {
    if (out->file) VfsClose(out->file);
    out->file = nullptr;
    if (!out->tempName.empty()) OsDeleteFile(out->tempName.c_str());
    out->tempName.clear();
}

qzImageOutFile::~qzImageOutFile() {
    try {
        AbortImageOutFile(this);
    } catch (const std::bad_alloc&) {
    }
}
