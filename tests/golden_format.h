#pragma once
// The golden case files: annotated hex for input and output files, expected
// standard output as UTF-8 text, and the code page 932 conversions that turn
// that text into the bytes the program prints. golden/README.md describes the
// format; nothing here runs the program.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace golden {

// Named byte blocks ("define NAME") that hex may insert as <NAME>.
using Defines = std::map<std::string, std::string, std::less<>>;

// Assembles annotated hex: pairs of hex digits ("4D54 726B"), quoted strings
// ("MTrk", taken byte for byte as written), cp932"..." (the text converted to
// code page 932), # comments to the end of the line, <NAME> for a define,
// N*item repeats of one item (hex run, string, <NAME> or a ( ) group) and
// @N / @0xN checks that exactly N bytes stand before that point in the
// enclosing block (the whole text, or the ( ) group). Appends the bytes to
// `out` and returns true; on failure returns false with `error` as
// "line L: what" (L counted from `first_line`).
bool parse_hex(std::string_view text, const Defines& defines, std::string& out,
               std::string& error, int first_line = 1);

// Converts UTF-8 text to code page 932 bytes. Returns false with `error`
// naming the first character that has no code page 932 form.
bool utf8_to_cp932(std::string_view utf8, std::string& out, std::string& error);

// Shows code page 932 bytes as UTF-8 for a failure message: valid characters
// converted, every other byte (and control characters, and the backslash) in
// the case files' own escapes \xNN and \\.
std::string cp932_for_display(std::string_view cp932);

// One line of expected text after its "|": \xNN is a raw byte, \\ a
// backslash, \{ and \} braces, \c at the very end drops the line end, and one
// "$" at the very end is dropped (it guards trailing blanks, which are an
// error without it). Everything else is UTF-8 converted to code page 932.
// With `vars` set, {NAME}, {NAME:FMT}, {NAME*K+C:FMT} are replaced by the
// variable's value (FMT: optional 0, width, d/x/X). Appends the bytes.
bool expected_line_to_cp932(std::string_view line, const std::map<std::string, long>* vars,
                            std::string& out, std::string& error);

struct FileBytes {
  std::string name;   // relative to the run's working directory
  std::string bytes;
  int line = 0;       // where it is given in the case file
};

struct Case {
  std::string path;   // the case file
  int line = 0;       // line of its "case" keyword
  std::string name;   // "<file stem>_<case name>", usable as a test name
  std::vector<std::string> args;
  bool has_stdin = false;
  std::string stdin_bytes;
  std::vector<FileBytes> inputs;
  std::vector<std::string> dirs;
  std::string expected_stdout;   // code page 932 bytes
  int exit_code = -1;
  std::vector<FileBytes> written;
  std::vector<std::string> absent;
};

// Parses one case file. Returns false with `error` ("path:line: what") on
// the first mistake; `cases` then holds the cases before it.
bool parse_case_file(const std::string& path, std::string_view content, std::vector<Case>& cases,
                     std::string& error);

// Empty when the outputs are equal; otherwise names the first differing line
// (from 1) and byte offset and shows both lines decoded from code page 932.
std::string describe_text_difference(std::string_view expected, std::string_view actual);

// Empty when equal; otherwise the sizes and the first differing offset with
// the bytes around it in hex.
std::string describe_byte_difference(std::string_view expected, std::string_view actual);

}  // namespace golden
