#include "app/run.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "smf/out.h"

namespace {

// Started by a double-click or a drop, the program owns its console alone,
// and the console would close with the trace as soon as it ends: it waits
// for Enter first. From a command prompt, or with input or output
// redirected, nothing changes.
void hold_own_console() {
  DWORD processes[2], mode;
  if (GetConsoleProcessList(processes, 2) != 1 ||
      !GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ||
      !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
    return;
  out<"\nPress Enter to close this window.\n">();
  fflush(stdout);
  for (int c = getchar(); c != '\n' && c != EOF; c = getchar()) {
  }
}

}  // namespace

// Windows hands over the arguments as wide characters: taken as UTF-8, every
// name that exists reaches the file layer unchanged.
int wmain(int argc, wchar_t** wargv) {
  char** argv = static_cast<char**>(calloc(static_cast<size_t>(argc) + 1, sizeof(char*)));
  for (int i = 0; argv && i < argc; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
    argv[i] = static_cast<char*>(malloc(n > 0 ? n : 1));
    if (!argv[i] || WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, argv[i], n, nullptr, nullptr) != n)
      return 1;
  }
  const int code = argv ? run(argc, argv) : 1;
  hold_own_console();
  return code;
}
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
