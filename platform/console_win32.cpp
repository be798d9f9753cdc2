#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/console.h"
#include "platform/wide_win32.h"

namespace {
// Appends the UTF-8 form of `n` bytes of code page 932 text, or returns
// false when they do not all decode.
bool decode(const char* in, int n, char*& to) {
  wchar_t wide[1024];
  const int w = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, in, n, wide, 1024);
  if (w <= 0) return false;
  to += WideCharToMultiByte(CP_UTF8, 0, wide, w, to, 3 * w, nullptr, nullptr);
  return true;
}
}  // namespace

// The C runtime gives a program started without standard handles descriptors
// that lead nowhere; nothing the program opens can take their place.
bool claim_standard_streams() { return false; }

bool stdout_is_terminal() { return _isatty(_fileno(stdout)); }

void binary_output() { _setmode(_fileno(stdout), _O_BINARY); }

const char* shown_name(const char* name, bool utf8) {
  if (utf8) return name;
  wchar_t* wide = convert(name, utf8_to_wide);
  char* shown = wide ? convert(wide, wide_to_cp932) : nullptr;
  free(wide);
  return shown ? shown : name;
}

// Started by a double-click or a drop, the program owns its console alone,
// and the console would close with the trace as soon as it ends: it waits
// for Enter first. From a command prompt, or with input or output
// redirected, nothing changes.
void release_console() {
  DWORD processes[2], mode;
  if (GetConsoleProcessList(processes, 2) != 1 ||
      !GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ||
      !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
    return;
  fputs("\nPress Enter to close this window.\n", stdout);
  fflush(stdout);
  for (int c = getchar(); c != '\n' && c != EOF; c = getchar()) {
  }
}

char** utf8_arguments(int argc, wchar_t** wargv) {
  char** argv = static_cast<char**>(calloc(static_cast<size_t>(argc) + 1, sizeof(char*)));
  for (int i = 0; argv && i < argc; ++i) {
    argv[i] = convert(static_cast<const wchar_t*>(wargv[i]), wide_to_utf8);
    if (!argv[i]) argv[i] = const_cast<char*>("");
  }
  return argv;
}

bool open_utf8_converter() { return IsValidCodePage(932); }

size_t cp932_to_utf8(const char* in, size_t n, char* out, bool replace) {
  char* to = out;
  if (n == 0 || decode(in, static_cast<int>(n), to)) return static_cast<size_t>(to - out);
  // Character by character: a byte that does not start a character, or a
  // lead byte without its trail, is shown by its value.
  for (size_t i = 0; i < n;) {
    const int length = IsDBCSLeadByteEx(932, static_cast<BYTE>(in[i])) && i + 1 < n ? 2 : 1;
    if (!decode(in + i, length, to)) {
      to = undecodable(static_cast<unsigned char>(in[i]), to, replace);
      i += 1;
      continue;
    }
    i += static_cast<size_t>(length);
  }
  return static_cast<size_t>(to - out);
}
