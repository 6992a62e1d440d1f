#include "lookup/file_bytes.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace morvellin {

int ReadAllFromDescriptor(int fd, Bytes* bytes) {
  char block[65536];
  for (;;) {
    ssize_t n = read(fd, block, sizeof block);
    if (n > 0) {
      bytes->append(block, static_cast<size_t>(n));
    } else if (n == 0) {
      return 0;
    } else if (errno != EINTR) {
      return errno;
    }
  }
}

int ReadWholeFile(const std::string& path, Bytes* bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int failure = ReadAllFromDescriptor(fd, bytes);
  close(fd);
  return failure;
}

}  // namespace morvellin
