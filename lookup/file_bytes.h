// Reading a whole file, or everything a descriptor delivers, into bytes.
#ifndef MORVELLIN_LOOKUP_FILE_BYTES_H_
#define MORVELLIN_LOOKUP_FILE_BYTES_H_

#include <string>

#include "lookup/text.h"

namespace morvellin {

// Appends everything `fd` delivers up to its end to `*bytes`. Returns 0, or
// the errno value of the read that failed.
int ReadAllFromDescriptor(int fd, Bytes* bytes);

// Appends the whole file at `path` to `*bytes`. Returns 0, or the errno value
// of what failed.
int ReadWholeFile(const std::string& path, Bytes* bytes);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_FILE_BYTES_H_
