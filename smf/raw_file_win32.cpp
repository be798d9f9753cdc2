#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>

#include "smf/raw_file.h"

// The handle is kept as an integer: INVALID_HANDLE_VALUE is -1, the same
// "not open" value the record starts with.

namespace {
HANDLE handle_of(const RawFile& f) { return reinterpret_cast<HANDLE>(f.handle); }

bool is_open(const RawFile& f) { return handle_of(f) != INVALID_HANDLE_VALUE; }

// One ReadFile or WriteFile call moves at most this many bytes.
DWORD one_call(uint64_t count) { return count < MAXDWORD ? static_cast<DWORD>(count) : MAXDWORD; }
}  // namespace

int open_read(RawFile& f, const char* name) {
  const HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

int create_new(RawFile& f, const char* name) {
  const HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  f.handle = reinterpret_cast<intptr_t>(h);
  return h == INVALID_HANDLE_VALUE ? 1 : 0;
}

uint64_t write_bytes(RawFile& f, const void* src, uint64_t count) {
  DWORD put = 0;
  if (!is_open(f) || !WriteFile(handle_of(f), src, one_call(count), &put, nullptr)) return 0;
  return put;
}

uint8_t* alloc_file_buffer(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  return static_cast<uint8_t*>(malloc(size ? size : 1));
}

void free_file_buffer(uint8_t* buffer) { free(buffer); }

int remove_file(const char* name) { return DeleteFileA(name) ? 0 : 1; }

int close(RawFile& f) {
  // INVALID_HANDLE_VALUE is also the process's own pseudo-handle, which
  // CloseHandle accepts: a file that never opened must not get that far.
  if (!is_open(f)) return 1;
  const BOOL closed = CloseHandle(handle_of(f));
  f.handle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
  return closed ? 0 : 1;
}
