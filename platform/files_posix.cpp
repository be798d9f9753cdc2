#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace {
// One system call moves at most this much; larger counts take several.
constexpr uint64_t kMaxChunk = uint64_t{1} << 30;
}  // namespace

int open_read(RawFile& f, const char* name) {
  int fd;
  do fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return 1;
  struct stat st;
  // Only a regular file has a size to read it by: a directory opens on this
  // system but cannot be read, and a pipe or a device reports size 0, which
  // would pass off an unread file as an empty one.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return 1;
  }
  f.handle = fd;
  f.size = static_cast<uint64_t>(st.st_size);
  f.mode = st.st_mode & 0777;
  return 0;
}

uint64_t read_bytes(RawFile& f, void* dst, uint64_t count) {
  uint64_t done = 0;
  while (done < count) {
    const uint64_t want = count - done < kMaxChunk ? count - done : kMaxChunk;
    const ssize_t got = ::read(static_cast<int>(f.handle), static_cast<char*>(dst) + done, want);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<uint64_t>(got);
  }
  return done;
}

int create_new(RawFile& f, const char* name, const RawFile& like) {
  // As cp makes a copy: the input's permissions less the umask, never wider
  // than those of an earlier copy it replaces.
  mode_t mode = like.mode & 0777;
  struct stat st;
  if (lstat(name, &st) == 0) {
    if (S_ISREG(st.st_mode))
      mode &= st.st_mode;
    else if (!S_ISLNK(st.st_mode))
      return 1;
  }
  const mode_t mask = umask(0);
  umask(mask);
  mode &= ~mask;
  const size_t n = strlen(name);
  char* temp = static_cast<char*>(malloc(n + sizeof ".XXXXXX"));
  if (!temp) return 1;
  memcpy(temp, name, n);
  memcpy(temp + n, ".XXXXXX", sizeof ".XXXXXX");
  const int fd = mkostemp(temp, O_CLOEXEC);  // O_EXCL: never an existing file or a link
  if (fd < 0) {
    free(temp);
    return 1;
  }
  fchmod(fd, mode);
  f.handle = fd;
  f.temp_name = temp;
  return 0;
}

uint64_t write_bytes(RawFile& f, const void* src, uint64_t count) {
  uint64_t done = 0;
  while (done < count) {
    const uint64_t want = count - done < kMaxChunk ? count - done : kMaxChunk;
    const ssize_t put =
        ::write(static_cast<int>(f.handle), static_cast<const char*>(src) + done, want);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<uint64_t>(put);
  }
  return done;
}

int finish_new(RawFile& f, const char* name) {
  const bool synced = fsync(static_cast<int>(f.handle)) == 0;
  const bool ok = close(f) == 0 && synced && rename(f.temp_name, name) == 0;
  if (!ok) unlink(f.temp_name);
  free(f.temp_name);
  return ok ? 0 : 1;
}

void discard_new(RawFile& f) {
  close(f);
  unlink(f.temp_name);
  free(f.temp_name);
}

uint8_t* alloc_file_buffer(uint64_t size) {
  constexpr uint64_t kHugePage = uint64_t{2} << 20;
  if (size > SIZE_MAX - kHugePage) return nullptr;
  if (size < kHugePage) return static_cast<uint8_t*>(malloc(size ? size : 1));
  void* buffer = nullptr;
  if (posix_memalign(&buffer, kHugePage, size) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
  // Only whole pages of the buffer's own mapping are advised.
  madvise(buffer, size & ~uint64_t{4095}, MADV_HUGEPAGE);
#endif
  return static_cast<uint8_t*>(buffer);
}

int close(RawFile& f) {
  if (f.handle < 0) return 1;
  const int result = ::close(static_cast<int>(f.handle));
  f.handle = -1;
  return result == 0 ? 0 : 1;
}
