#pragma once
// Windows' wide characters, shared by its file layer and its console.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>

// `text` converted from one code page to the other; null when it does not
// convert. Released with free.
template <typename To, typename From>
inline To* convert(const From* text, int (*how)(const From*, To*, int)) {
  const int n = how(text, nullptr, 0);
  To* out = n > 0 ? static_cast<To*>(malloc(n * sizeof(To))) : nullptr;
  if (out && how(text, out, n) != n) {
    free(out);
    out = nullptr;
  }
  return out;
}

inline int utf8_to_wide(const char* s, wchar_t* out, int n) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, out, n);
}

inline int wide_to_utf8(const wchar_t* s, char* out, int n) {
  return WideCharToMultiByte(CP_UTF8, 0, s, -1, out, n, nullptr, nullptr);
}

inline int wide_to_cp932(const wchar_t* s, char* out, int n) {
  return WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, s, -1, out, n, "?", nullptr);
}
