#include "app/run.h"
#include "platform/console.h"

#ifdef _WIN32
// Windows hands over the arguments as wide characters: as UTF-8, every name
// that exists reaches the file layer unchanged.
int wmain(int argc, wchar_t** wargv) { return run(argc, utf8_arguments(argc, wargv)); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
