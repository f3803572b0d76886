// The memory file the unzip layer reads the archive through: one process-wide
// block of bytes with a single read position.
#pragma once

#include <cstdint>
#include <span>

#include <ioapi.h>

// Points the memory file at `bytes` (position 0).
void SetMemoryFile(std::span<const uint8_t> bytes);

// The callback set handed to the unzip layer (null opaque pointer).
void FillMemoryFileFunctions(zlib_filefunc_def* functions);
