// The memory blocks that memory chunk names (":::chunkS...") may refer to. Only blocks the player
// registered here can be opened through such a name; any other address fails like a missing file,
// so a script cannot read arbitrary memory by forging a name.
#pragma once

#include <cstddef>
#include <cstdint>

// Registers [data, data + size). Registering the same address again replaces its size.
// Returns false on a null pointer.
bool RegisterChunkMemory(const void* data, uint64_t size);
// Removes a registration; nothing happens for an unknown address.
void UnregisterChunkMemory(const void* data);
// The pointer for address when [address, address + size) lies inside one registered block,
// else null.
const unsigned char* FindChunkMemory(uintptr_t address, uint64_t size);
