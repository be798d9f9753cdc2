#include "app/run.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>

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
  return argv ? run(argc, argv) : 1;
}
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
