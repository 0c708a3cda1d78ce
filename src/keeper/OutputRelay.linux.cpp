// Linux: a pipe's buffer can be made larger than its default of 64 KiB, up to
// /proc/sys/fs/pipe-max-size for a user without privileges (1 MiB by default).
#include "keeper/OutputRelay.h"

#include <fcntl.h>

namespace tarvo::keeper {

bool OutputRelay::enlarge(int pipe, int bytes) {
  return ::fcntl(pipe, F_SETPIPE_SZ, bytes) >= bytes;
}

} // namespace tarvo::keeper
