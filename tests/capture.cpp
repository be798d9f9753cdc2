#include "capture.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
#else
#include <iconv.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>

namespace {

// A temporary file, removed when closed. Binary on Windows: when it stands in
// for standard output, "\n" stays "\n".
FILE* temporary_file() {
#ifdef _WIN32
  char dir[MAX_PATH + 1], name[MAX_PATH + 1];
  if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, "smf", 0, name)) return nullptr;
  return fopen(name, "w+bD");
#else
  return tmpfile();
#endif
}

}  // namespace

std::string capture_stdout(const std::function<void()>& fn) {
  fflush(stdout);
  FILE* tmp = temporary_file();
  if (!tmp) abort();
  const int saved = dup(fileno(stdout));
  dup2(fileno(tmp), fileno(stdout));
  fn();
  fflush(stdout);
  dup2(saved, fileno(stdout));
#ifdef _WIN32
  _close(saved);
#else
  close(saved);
#endif
  std::string text;
  rewind(tmp);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, tmp)) > 0) text.append(buf, n);
  fclose(tmp);
  return text;
}

std::string cp932(const std::string& utf8) {
#ifdef _WIN32
  const int n = static_cast<int>(utf8.size());
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, wide.data(), n));
  std::string out(wide.size() * 2, '\0');
  BOOL lost = FALSE;
  out.resize(WideCharToMultiByte(932, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                                 static_cast<int>(out.size()), nullptr, &lost));
  if (lost || (n && out.empty())) abort();
  return out;
#else
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) abort();
  std::string out(utf8.size() * 2 + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* dst = out.data();
  size_t out_left = out.size();
  if (iconv(cd, &in, &in_left, &dst, &out_left) == static_cast<size_t>(-1)) abort();
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
#endif
}

std::vector<uint8_t> hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) abort();
  return bytes;
}
