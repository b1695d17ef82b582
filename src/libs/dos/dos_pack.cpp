// dos commands over whole files: packing and unpacking "QZPK" files, MD5 digests and CRC-32
// checksums.
#include <string>

#include "base/crc32.h"
#include "base/error_codes.h"
#include "base/md5.h"
#include "libs/dos/dos.h"
#include "platform/packfile.h"
#include "platform/vfs.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/linked_file.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int Md5File(const char* name, std::string* hex) {
    qzMd5Context ctx;
    Md5Init(&ctx);
    auto update = [](void* data, const uint8_t* bytes, size_t size) {
        Md5Update(static_cast<qzMd5Context*>(data), bytes, size);
    };
    int error = VfsReadFileInBlocks(name, update, &ctx);
    if (error) return error;
    uint8_t digest[16];
    Md5Final(&ctx, digest);
    *hex = Md5HexDigest(digest);
    return 0;
}

int Crc32File(const char* name, uint32_t* crc) {
    uint32_t c = 0xFFFFFFFFu;
    auto update = [](void* data, const uint8_t* bytes, size_t size) {
        uint32_t* running = static_cast<uint32_t*>(data);
        *running = Crc32Update(*running, bytes, size);
    };
    int error = VfsReadFileInBlocks(name, update, &c);
    if (error) return error;
    *crc = c ^ 0xFFFFFFFFu;
    return 0;
}

int DosCompressFile(VmState* state) {
    std::string source = ResolveLinkedFileArg(state, 1, 0, nullptr);
    std::string destination = VmCheckString(state, 2);
    uint64_t size = 0;
    int code = CompressFileContainer(qzPackMagic, source.c_str(), destination.c_str(), &size);
    if (code) return code;
    VmPushNumber(state, static_cast<double>(static_cast<uint32_t>(size)));
    return 1;
}

int DosDecompressFile(VmState* state) {
    std::string source = ResolveLinkedFileArg(state, 1, 0, nullptr);
    std::string destination = VmCheckString(state, 2);
    uint64_t size = 0;
    int code = DecompressFileContainer(qzPackMagic, source.c_str(), destination.c_str(), 0, &size, nullptr, nullptr, 0);
    if (code) return code;
    VmPushNumber(state, static_cast<double>(static_cast<uint32_t>(size)));
    return 1;
}

int DosMD5(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    std::string hex;
    int code = Md5File(name.c_str(), &hex);
    if (code == ERR_READFILE) SetErrorArgString(name.c_str());
    if (code) return code;
    VmPushString(state, hex.c_str());
    return 1;
}

int DosCRC32(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    uint32_t crc = 0;
    int code = Crc32File(name.c_str(), &crc);
    if (code == ERR_READFILE) SetErrorArgString(name.c_str());
    if (code) return code;
    VmPushNumber(state, crc);
    return 1;
}
