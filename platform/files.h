#pragma once
#include <cstdint>

// An open file: the one place where the program touches the file system.
// Failures are reported by results only; nothing here prints. Each system
// has its own implementation (files_posix.cpp, files_win32.cpp), chosen when
// the program is built. Names are UTF-8 on Windows and bytes as given
// elsewhere.
struct RawFile {
  intptr_t handle = -1;       // -1: not open
  uint64_t size = 0;          // set by open_read
  uint32_t mode = 0;          // set by open_read: the permission bits, where files have them
  char* temp_name = nullptr;  // the file create_new made, until finish_new or discard_new
};

// Opens an existing regular file for reading, without waiting on a pipe or a
// device, and stores its size. 0 on success, 1 on failure (the handle then
// stays invalid and the size unset).
int open_read(RawFile& f, const char* name);

// Reads `count` bytes into `dst`. Returns the bytes read, fewer when the file
// ends first; 0 when reading fails.
uint64_t read_bytes(RawFile& f, void* dst, uint64_t count);

// Starts a file that is to take the place of `name`, a copy of `like` (open
// for reading): a new temporary file in the same directory, made
// exclusively and never through a link, under a short name whatever the
// length of `name` (on Linux, where it can, without a name until
// finish_new). It gets the permission bits of `like` less the umask, and no
// bit that a file already at `name` lacks; on Windows those of the
// directory. Until finish_new or discard_new, a signal or console event
// that ends the run removes it first. 1 when `name` is there as anything
// but a regular file or a link, or no file can be made.
int create_new(RawFile& f, const char* name, const RawFile& like);

// Writes `count` bytes from `src`. Returns the bytes written; 0 when writing
// fails.
uint64_t write_bytes(RawFile& f, const void* src, uint64_t count);

// Puts the file create_new made in place of `name`: flushes it to the disk,
// closes it, renames it over `name` and flushes the directory. 0 on
// success; on any failure 1, the temporary file removed and `name` as it
// was.
int finish_new(RawFile& f, const char* name);

// Gives up the file create_new made: closes and removes it.
void discard_new(RawFile& f);

// Closes the handle. 0 on success, 1 on failure (also when it was not open).
int close(RawFile& f);

// A buffer of exactly `size` bytes (at least 1) to read a whole file into,
// or null. On Linux a large one asks the system for huge pages, which makes
// filling it several times cheaper. It lives until the program ends.
uint8_t* alloc_file_buffer(uint64_t size);
