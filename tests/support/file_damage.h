#pragma once
// Small helpers that read or damage a file in place, for tests of how code
// copes with files it wrote that were cut short or altered behind its back.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::test {

// The whole content of a file; empty when it cannot be read.
std::vector<unsigned char> readFileBytes(const std::string& path);

// Overwrites bytes at offset. False when the file cannot be written there.
bool overwriteBytes(const std::string& path, std::uint64_t offset,
                    const std::vector<unsigned char>& bytes);

// XORs the byte at offset with mask.
bool flipByte(const std::string& path, std::uint64_t offset, unsigned char mask = 0xFF);

// Cuts the file to length bytes.
bool cutFile(const std::string& path, std::uint64_t length);

// Little-endian images of integers, as the engine's binary files store them.
std::vector<unsigned char> littleEndian32(std::uint32_t value);

}  // namespace kestrel::test
