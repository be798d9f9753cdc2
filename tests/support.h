#pragma once
// Helpers shared by the tests: readable bytes, code page 932 texts,
// temporary directories and runs of the real program.
#include <string>
#include <string_view>
#include <vector>

// Bytes from hex text: pairs of hex digits and "ASCII text"; blanks between.
std::string hex(std::string_view text);

// A format-1 file with a division of 480: the header announcing `ntrks`
// tracks (-1: one for each item), then an "MTrk" chunk of each hex text.
std::string smf(const std::vector<std::string>& tracks, int ntrks = -1);

// The same with the header's format and division (hex) of one's own.
std::string smf(const std::string& format_division, const std::vector<std::string>& tracks);

// The code page 932 bytes of a UTF-8 text, as the program prints it.
std::string cp932(std::string_view utf8);

// A new empty directory, removed with all it holds.
struct TempDir {
  std::string path;
  TempDir();
  ~TempDir();
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

// The program run as a process in `dir`, standard input read from `input`,
// after the shell commands `shell`. The Windows build (kWindows) runs under
// Wine: its "\r\n" line ends come back as "\n", and a bare "\n" fails.
struct Ran {
  int exit;
  std::string out, err;
};
Ran smfscope(const std::string& dir, const std::vector<std::string>& args,
             const std::string& input = "", const std::string& shell = "");
extern const bool kWindows;
