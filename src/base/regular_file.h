#pragma once
// Opening the files a user names for reading (scripts, parameter files).

#include <cstdio>
#include <string>

namespace kestrel {

// Opens a regular file for reading ("rb"). nullptr when it cannot be opened
// or is no regular file: a folder reads as nothing, a FIFO can block the
// program before the first byte, and a device such as /dev/zero never ends.
// Opening never blocks; errno tells why it failed (EISDIR for a folder,
// EINVAL for any other kind of file).
std::FILE* openRegularFile(const std::string& name);

}  // namespace kestrel
