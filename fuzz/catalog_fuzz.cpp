// Catalog reader and chunk-name parser on arbitrary input: neither may read outside its data.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/catalog.h"
#include "platform/chunk_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (qzCatalog* catalog = ParseCatalogData(data, size)) {
        size_t total = 0;
        for (int32_t id = -1; id < 64; ++id) total += std::strlen(GetCatalogFileString(catalog, id, ""));
        (void)total;
        FreeCatalogFile(catalog);
    }
    std::string name(reinterpret_cast<const char*>(data), size);
    qzChunkNameParts parts;
    ParseChunkName(name.c_str(), &parts);
    (void)GetDisplayFileName(name.c_str());
    (void)GetPathPartEnd(name.c_str());
    return 0;
}
