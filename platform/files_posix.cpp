#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include "platform/files.h"

namespace {
// One system call moves at most this much; larger counts take several.
constexpr uint64_t kMaxChunk = uint64_t{1} << 30;

// The temporary file's name in the copy's directory; the X's are replaced.
constexpr char kTempName[] = ".smfscope-XXXXXX";

// The temporary file's path while it stands in the directory, else null:
// what a signal that ends the run removes.
std::atomic<const char*> g_standing{nullptr};

// The signals that end a run while its copy is written, and what they did
// before.
constexpr int kEnding[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM};
struct sigaction g_before[std::size(kEnding)];

// Only async-signal-safe calls: the run may be stopped anywhere.
void remove_and_end(int sig) {
  if (const char* temp = g_standing) unlink(temp);
  raise(sig);  // SA_RESETHAND: the default action, as soon as this returns
}

// While a temporary file exists, an ending signal removes it and then ends
// the run as it would have; one that is ignored (nohup) stays ignored.
void guard_signals(bool on) {
  struct sigaction action = {};
  action.sa_handler = remove_and_end;
  action.sa_flags = SA_RESETHAND;
  for (size_t i = 0; i < std::size(kEnding); ++i) {
    if (!on) {
      sigaction(kEnding[i], &g_before[i], nullptr);
    } else if (sigaction(kEnding[i], nullptr, &g_before[i]) == 0 &&
               g_before[i].sa_handler != SIG_IGN) {
      sigaction(kEnding[i], &action, nullptr);
    }
  }
}

// Gives the last 6 characters of `temp` random letters and digits until
// `make` (a descriptor or 0 on success, -1 and errno on failure) succeeds
// with a name that was free. -1 after 100 taken names or another failure.
template <typename Make>
int claim_name(char* temp, Make make) {
  char* x = temp + strlen(temp) - 6;
  for (int attempt = 0; attempt < 100; ++attempt) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t bits = (static_cast<uint64_t>(now.tv_nsec) << 20 ^ getpid()) + attempt;
    getentropy(&bits, sizeof bits);  // better bits where the system has them
    for (int i = 0; i < 6; ++i, bits /= 62)
      x[i] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"[bits % 62];
    const int result = make(temp);
    if (result >= 0 || errno != EEXIST) return result;
  }
  return -1;
}

// The path through which an open file can be linked to a name.
const char* proc_path(char (&path)[32], int fd) {
  snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return path;
}

// A file without a name in the directory of `temp` (its first `dir` bytes),
// where the system has them: nothing of it is seen until finish_new names
// it, and a run that is killed leaves nothing. -1 where the file system has
// none, or /proc is not there to name it later.
int open_unnamed(char* temp, size_t dir) {
#ifdef O_TMPFILE
  temp[dir] = '\0';
  int fd = open(dir ? temp : ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  temp[dir] = kTempName[0];
  char proc[32];
  struct stat st;
  if (fd >= 0 && stat(proc_path(proc, fd), &st) != 0) {
    ::close(fd);
    fd = -1;
  }
  return fd;
#else
  (void)temp, (void)dir;
  return -1;
#endif
}

// Makes the rename in the directory of `temp` durable. Only tried: the copy
// stands already, and some file systems do not sync a directory.
void sync_directory(char* temp) {
  char* slash = strrchr(temp, '/');
  if (slash) slash[1] = '\0';
  const int fd = open(slash ? temp : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  ::close(fd);
}

void give_up_name(RawFile& f) {
  g_standing = nullptr;
  guard_signals(false);
  free(f.temp_name);
  f.temp_name = nullptr;
}
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

  // The temporary name is short whatever the length of `name`, so that every
  // name that is legal can be written.
  const char* slash = strrchr(name, '/');
  const size_t dir = slash ? static_cast<size_t>(slash - name) + 1 : 0;
  char* temp = static_cast<char*>(malloc(dir + sizeof kTempName));
  if (!temp) return 1;
  memcpy(temp, name, dir);
  memcpy(temp + dir, kTempName, sizeof kTempName);
  guard_signals(true);
  f.temp_name = temp;
  f.handle = open_unnamed(temp, dir);
  if (f.handle < 0) {
    f.handle = claim_name(temp, [](const char* t) {
      return open(t, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    });
    if (f.handle < 0) {
      give_up_name(f);
      return 1;
    }
    g_standing = temp;
  }
  fchmod(static_cast<int>(f.handle), mode);
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
  bool ok = fsync(static_cast<int>(f.handle)) == 0;
  if (ok && !g_standing) {
    // An unnamed file gets a name only now, complete and on the disk.
    char proc[32];
    proc_path(proc, static_cast<int>(f.handle));
    ok = claim_name(f.temp_name, [&proc](const char* t) {
           return linkat(AT_FDCWD, proc, AT_FDCWD, t, AT_SYMLINK_FOLLOW);
         }) == 0;
    if (ok) g_standing = f.temp_name;
  }
  ok = close(f) == 0 && ok && rename(f.temp_name, name) == 0;
  if (!ok && g_standing) unlink(f.temp_name);
  g_standing = nullptr;
  if (ok) sync_directory(f.temp_name);
  give_up_name(f);
  return ok ? 0 : 1;
}

void discard_new(RawFile& f) {
  close(f);
  if (g_standing) unlink(f.temp_name);
  give_up_name(f);
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
