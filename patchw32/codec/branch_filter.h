// Executables reach functions and data by their distance from the instruction: when a new build
// moves code, every call across the move changes, though it still calls the same function. The
// branch filter rewrites those distances as the targets' positions, so that such calls are
// byte-equal again in both builds and covers explain far more of the new one.
//
// The file is converted in aligned blocks of kBranchBlockBytes, each on its own: the decoder
// converts any block of the old file it reads, and each block of the new file as it completes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace codec {

enum class BranchFilter : uint8_t {
  None,
  Calls,               // 32-bit x86: E8 calls
  CallsAndRipRelative  // x86-64: E8 calls and instruction-pointer-relative memory operands
};

inline constexpr size_t kBranchBlockBytes = size_t{1} << 12;

enum class BranchDirection { Encode, Decode };

// Converts one block that starts at `blockOffset` (a multiple of kBranchBlockBytes) of the file,
// in place; Decode undoes Encode. Only operands wholly inside the block are converted.
void ConvertBranches(BranchFilter filter, BranchDirection direction, std::span<std::byte> block,
                     uint64_t blockOffset);

// Converts bytes that start at `offset` (a multiple of kBranchBlockBytes) of the file, block by
// block; all but the last block must be whole.
void ConvertFileBlocks(BranchFilter filter, BranchDirection direction, std::span<std::byte> bytes, uint64_t offset);

// The filter for a file of this machine code, from its PE or ELF header; None for anything else.
BranchFilter BranchFilterFor(std::span<const std::byte> file);

}  // namespace codec
