#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/wide_win32.h"

// Files on Windows. The handle is kept as an integer: INVALID_HANDLE_VALUE
// is -1, the same "not open" value a RawFile starts with. Names arrive as
// UTF-8 and reach the system as wide characters, so that every name that
// exists opens.

namespace {
HANDLE handle_of(const RawFile& f) { return reinterpret_cast<HANDLE>(f.handle); }

bool is_open(const RawFile& f) { return handle_of(f) != INVALID_HANDLE_VALUE; }

// One ReadFile or WriteFile call moves at most this many bytes.
DWORD one_call(uint64_t count) { return count < MAXDWORD ? static_cast<DWORD>(count) : MAXDWORD; }

HANDLE open_wide(const char* name, DWORD access, DWORD share, DWORD disposition,
                 DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  wchar_t* wide = convert(name, utf8_to_wide);
  if (!wide) return INVALID_HANDLE_VALUE;
  const HANDLE h = CreateFileW(wide, access, share, nullptr, disposition, flags, nullptr);
  free(wide);
  return h;
}

// The temporary file's wide name while it stands, else null. Never freed:
// the console handler runs on a thread of its own and may be reading it.
std::atomic<const wchar_t*> g_standing{nullptr};

// Ctrl-C, Ctrl-Break, a closed console window, a logoff or a shutdown end
// the run; the temporary file goes first. It was opened with
// FILE_SHARE_DELETE, so it can go while the program still writes it.
BOOL WINAPI remove_temp(DWORD) {
  if (const wchar_t* temp = g_standing) DeleteFileW(temp);
  return FALSE;  // the next handler, in the end the default: the run ends
}

void give_up_name(RawFile& f) {
  g_standing = nullptr;
  SetConsoleCtrlHandler(remove_temp, FALSE);
  free(f.temp_name);
  f.temp_name = nullptr;
}

// Whether what stands at `name` may be replaced by a new file: nothing, a
// file on disk or a link; not a directory, a device or a pipe.
bool replaceable(const char* name) {
  const HANDLE h =
      open_wide(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  BY_HANDLE_FILE_INFORMATION info;
  const bool file = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                    (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                     (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT));
  CloseHandle(h);
  return file;
}
}  // namespace

int open_read(RawFile& f, const char* name) {
  const HANDLE h = open_wide(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  f.handle = reinterpret_cast<intptr_t>(h);
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD high = 0;
  const DWORD low = GetFileSize(h, &high);
  // All ones in the low half is also a valid size; only the error code tells.
  // Only a file on disk has a size to read it by: a device or a pipe would
  // pass off an unread file as an empty one.
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) ||
      GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    f.handle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
    return 1;
  }
  f.size = (uint64_t{high} << 32) | low;
  return 0;
}

uint64_t read_bytes(RawFile& f, void* dst, uint64_t count) {
  DWORD got = 0;
  if (!is_open(f) || !ReadFile(handle_of(f), dst, one_call(count), &got, nullptr)) return 0;
  return got;
}

int create_new(RawFile& f, const char* name, const RawFile&) {
  if (!replaceable(name)) return 1;
  // The temporary file goes in the directory of `name`: up to its last
  // separator, or the drive of "C:name".
  size_t dir = strlen(name);
  while (dir > 0 && !strchr("/\\:", name[dir - 1])) --dir;
  const size_t size = dir + sizeof ".smfscope-12345678";
  char* temp = static_cast<char*>(malloc(size));
  if (!temp) return 1;
  memcpy(temp, name, dir);
  SetConsoleCtrlHandler(remove_temp, TRUE);
  // A new name each try; CREATE_NEW makes the file only where none is.
  for (DWORD attempt = 0; attempt < 100; ++attempt) {
    snprintf(temp + dir, size - dir, ".smfscope-%08lx",
             GetTickCount() * 7919UL + GetCurrentProcessId() + attempt);
    wchar_t* wide = convert(temp, utf8_to_wide);
    if (!wide) break;
    const HANDLE h = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (h != INVALID_HANDLE_VALUE) {
      f.handle = reinterpret_cast<intptr_t>(h);
      f.temp_name = temp;
      g_standing = wide;
      return 0;
    }
    free(wide);
    if (error != ERROR_FILE_EXISTS) break;
  }
  SetConsoleCtrlHandler(remove_temp, FALSE);
  free(temp);
  return 1;
}

uint64_t write_bytes(RawFile& f, const void* src, uint64_t count) {
  DWORD put = 0;
  if (!is_open(f) || !WriteFile(handle_of(f), src, one_call(count), &put, nullptr)) return 0;
  return put;
}

int finish_new(RawFile& f, const char* name) {
  const bool flushed = FlushFileBuffers(handle_of(f)) != 0;
  const wchar_t* from = g_standing;
  wchar_t* to = convert(name, utf8_to_wide);
  const bool ok = close(f) == 0 && flushed && to &&
                  MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(from);
  free(to);
  give_up_name(f);
  return ok ? 0 : 1;
}

void discard_new(RawFile& f) {
  close(f);
  DeleteFileW(g_standing);
  give_up_name(f);
}

uint8_t* alloc_file_buffer(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  return static_cast<uint8_t*>(malloc(size ? size : 1));
}

int close(RawFile& f) {
  // INVALID_HANDLE_VALUE is also the process's own pseudo-handle, which
  // CloseHandle accepts: a file that never opened must not get that far.
  if (!is_open(f)) return 1;
  const BOOL closed = CloseHandle(handle_of(f));
  f.handle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
  return closed ? 0 : 1;
}
