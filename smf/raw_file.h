#pragma once
#include <cstdint>

// An open file: the one place where the program touches the file system.
// Failures are reported by results only; nothing here prints. Each system
// has its own implementation (raw_file_posix.cpp, raw_file_win32.cpp),
// chosen when the program is built.
struct RawFile {
  intptr_t handle = -1;  // -1: not open
  uint64_t size = 0;     // set by open_read
};

// Opens an existing file for reading and stores its size. 0 on success, 1 on
// failure (the handle then stays invalid and the size unset).
int open_read(RawFile& f, const char* name);

// Reads `count` bytes into `dst`. Returns the bytes read, fewer when the file
// ends first; 0 when reading fails.
uint64_t read_bytes(RawFile& f, void* dst, uint64_t count);

// Creates `name` for writing, emptying a file that already has that name.
// 0 on success, 1 on failure.
int create_new(RawFile& f, const char* name);

// Writes `count` bytes from `src`. Returns the bytes written; 0 when writing
// fails.
uint64_t write_bytes(RawFile& f, const void* src, uint64_t count);

// A buffer of exactly `size` bytes (at least 1) to read a whole file into,
// or null. On Linux a large one asks the system for huge pages, which makes
// filling it several times cheaper. Release it with free_file_buffer.
uint8_t* alloc_file_buffer(uint64_t size);
void free_file_buffer(uint8_t* buffer);

// Removes the file `name`. 0 on success, 1 on failure.
int remove_file(const char* name);

// Closes the handle. 0 on success, 1 on failure (also when it was not open).
int close(RawFile& f);
