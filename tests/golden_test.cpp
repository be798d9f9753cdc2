// End-to-end runs of the built program, one test per case in golden/*.case
// (golden/README.md describes the format), and tests of the format itself.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// A Windows build runs under a loader (SMFSCOPE_RUNNER, the Wine loader) and
// writes "\r\n" for every "\n" (SMFSCOPE_CRLF), as text-mode standard output
// does there.
#ifndef SMFSCOPE_RUNNER
#define SMFSCOPE_RUNNER ""
#endif
#ifndef SMFSCOPE_CRLF
#define SMFSCOPE_CRLF 0
#endif

namespace {

namespace fs = std::filesystem;
using Defines = std::map<std::string, std::string>;
using Error = std::runtime_error;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string hex_of(std::string_view bytes) {
  std::string s;
  for (unsigned char b : bytes) s += "0123456789ABCDEF"[b >> 4], s += "0123456789ABCDEF"[b & 15];
  return s;
}

// Converts with iconv; a byte that does not convert throws when `strict`, and
// otherwise shows as \xNN.
std::string convert(iconv_t cd, std::string_view in, bool strict) {
  std::string out;
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char buf[4096], *dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
    if (strict) throw Error("no code page 932 form for \"" + std::string(src, left) + "\"");
    out += "\\x" + hex_of(std::string_view(src, 1));
    ++src, --left;
  }
  return out;
}

std::string to_cp932(std::string_view utf8) {
  static iconv_t cd = iconv_open("CP932", "UTF-8");
  return convert(cd, utf8, true);
}

// Code page 932 bytes as UTF-8 for a message, invalid bytes as \xNN.
std::string shown(std::string_view cp932) {
  static iconv_t cd = iconv_open("UTF-8", "CP932");
  return convert(cd, cp932, false);
}

// A decimal number that fills `s`.
long number(const std::string& s) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != s.npos)
    throw Error("bad number '" + s + "'");
  return std::stol(s);
}

// Hex digit pairs as bytes.
std::string hex_bytes(const std::string& digits) {
  size_t bad = digits.find_first_not_of("0123456789abcdefABCDEF");
  if (bad != digits.npos) throw Error("bad hex digit '" + digits.substr(bad, 1) + "' in " + digits);
  if (digits.size() % 2) throw Error("odd number of hex digits in " + digits);
  std::string bytes;
  for (size_t k = 0; k < digits.size(); k += 2)
    bytes += static_cast<char>(std::stoi(digits.substr(k, 2), nullptr, 16));
  return bytes;
}

// The bytes of one item of annotated hex: "ASCII", cp932"text", <define> or hex pairs.
std::string item_bytes(const std::string& t, const Defines& defines) {
  if (t[0] == '"') return t.substr(1, t.size() - 2);
  if (t.starts_with("cp932\"")) return to_cp932(t.substr(6, t.size() - 7));
  if (t[0] != '<') return hex_bytes(t);
  auto it = defines.find(t.substr(1, t.size() - 2));
  if (it == defines.end()) throw Error("no define " + t);
  return it->second;
}

// Appends one line of annotated hex to `block` and returns it: items, N*item
// repeats, # comments, and @N checks that exactly N bytes of the block stand
// before that point.
std::string& hex_line(const std::string& line, const Defines& defines, std::string& block) {
  static const std::regex item(R"re((?:(\d+)\*)?(cp932"[^"]*"|"[^"]*"|<\w+>|@?\w+|#.*)|(\S+))re");
  for (std::sregex_iterator m(line.begin(), line.end(), item), end; m != end; ++m) {
    std::string t = m->str(2);
    if (m->length(3)) throw Error("unexpected " + m->str(3));
    if (t[0] == '#') break;
    if (t[0] == '@' && number(t.substr(1)) != static_cast<long>(block.size()))
      throw Error(t + " does not hold: " + std::to_string(block.size()) + " bytes stand before it");
    std::string bytes = t[0] == '@' ? "" : item_bytes(t, defines);
    for (long k = m->length(1) ? number(m->str(1)) : 1; k > 0; --k) block += bytes;
  }
  return block;
}

// One expected line after its "|", as the program prints it: UTF-8 turned
// into code page 932, \xNN a raw byte, \c at the end drops the line end, and
// a last $ (which must guard a trailing blank) is dropped.
std::string text_line(std::string_view s) {
  if (s.ends_with(' ') || s.ends_with('\t')) throw Error("trailing blank: end the line with $");
  std::string out, end = s.ends_with("\\c") ? "" : "\n";
  s.remove_suffix(end.empty() ? 2 : s.ends_with('$'));  // drops \c or $
  for (size_t at; (at = s.find('\\')) != s.npos; s.remove_prefix(at + 4)) {
    if (s.substr(at + 1, 1) != "x" || s.size() < at + 4) throw Error("\\ starts no \\xNN");
    out += to_cp932(s.substr(0, at)) + hex_bytes(std::string(s.substr(at + 2, 2)));
  }
  return out + to_cp932(s) + end;
}

// A | line, or the lines that one holding {A..B} or {A..B:W} stands for: one
// for each value from A to B, which stands there (right-aligned in W columns).
std::string text_lines(const std::string& s) {
  static const std::regex range(R"(\{(\d+)\.\.(\d+)(?::([^}]*))?\})");
  std::smatch m;
  if (!std::regex_search(s, m, range)) return text_line(s);
  std::string out;
  for (long v = number(m[1]); v <= number(m[2]); ++v) {
    std::string n = std::to_string(v);
    size_t width = m[3].matched ? number(m[3]) : 0;
    out += text_line(m.prefix().str() + std::string(width - std::min(width, n.size()), ' ') + n +
                     m.suffix().str());
  }
  return out;
}

// "key rest": the first word, and the rest without surrounding blanks.
std::pair<std::string, std::string> keyword(const std::string& line) {
  static const std::regex parts(R"(\s*(\S*)\s*(.*?)\s*)");
  std::smatch m;
  std::regex_match(line, m, parts);
  return {m[1], m[2]};
}

std::vector<std::string> words(const std::string& s) {
  std::istringstream in(s);
  return {std::istream_iterator<std::string>(in), {}};
}

struct Case {
  std::string name;
  std::vector<std::string> args;
  std::optional<std::string> input;                                 // standard input, when given
  std::vector<std::pair<std::string, std::string>> files, written;  // name, bytes
  std::vector<std::string> dirs, absent;
  std::string out;  // the expected standard output in code page 932
  int exit = -1;
};

// Reads the cases of one case file; throws "path:line: what" on a mistake.
std::vector<Case> parse_cases(const std::string& path, const std::string& content) {
  std::vector<Case> cases;
  Defines defines;
  Case* c = nullptr;
  std::string* hex = nullptr;   // where indented lines go
  std::string* text = nullptr;  // where | lines go
  const std::map<std::string, std::function<void(const std::string&)>> keywords = {
      {"case", [&](auto& rest) { (c = &cases.emplace_back())->name = rest; }},
      {"define", [&](auto& rest) { hex = &(defines[rest] = ""); }},
      {"args", [&](auto& rest) { c->args = words(rest); }},
      {"stdin", [&](auto&) { text = &c->input.emplace(); }},
      {"stdout", [&](auto&) { text = &c->out; }},
      {"file", [&](auto& rest) { hex = &c->files.emplace_back(rest, "").second; }},
      {"written", [&](auto& rest) { hex = &c->written.emplace_back(rest, "").second; }},
      {"dir", [&](auto& rest) { c->dirs.push_back(rest); }},
      {"absent", [&](auto& rest) { c->absent.push_back(rest); }},
      {"exit", [&](auto& rest) { c->exit = static_cast<int>(number(rest)); }},
  };
  std::istringstream in(content);
  int n = 1;
  for (std::string line; std::getline(in, line); ++n) {
    try {
      if (line.find_first_not_of(" \t\r") == line.npos || line[0] == '#') continue;
      if (line[0] == ' ' || line[0] == '\t') {
        if (!hex) throw Error("indented line outside a hex block");
        hex_line(line, defines, *hex);
        continue;
      }
      if (line[0] == '|') {
        if (!text) throw Error("| line outside stdin and stdout");
        *text += text_lines(line.substr(1));
        continue;
      }
      auto [key, rest] = keyword(line);
      auto it = keywords.find(key);
      if (it == keywords.end()) throw Error("unknown keyword '" + key + "'");
      if (!c && key != "case" && key != "define")
        throw Error("'" + key + "' before the first case");
      hex = text = nullptr;
      it->second(rest);
    } catch (const std::exception& e) {
      throw Error(path + ":" + std::to_string(n) + ": " + e.what());
    }
  }
  return cases;
}

// The bytes the program writes for `text`: with "\r\n" line ends on Windows.
std::string as_written(const std::string& text) {
  if (!SMFSCOPE_CRLF) return text;
  std::string bytes;
  for (char ch : text) {
    if (ch == '\n') bytes += '\r';
    bytes += ch;
  }
  return bytes;
}

// Empty when equal; otherwise the first differing line and byte offset, both
// lines shown as UTF-8.
std::string text_difference(const std::string& want, const std::string& got) {
  if (want == got) return "";
  size_t off = std::mismatch(want.begin(), want.end(), got.begin(), got.end()).first - want.begin();
  size_t start = want.substr(0, off).rfind('\n') + 1;  // npos + 1 is 0
  auto line = [&](auto& s) { return shown(s.substr(start, s.find('\n', start) - start)); };
  return "stdout differs at line " +
         std::to_string(std::count(want.begin(), want.begin() + off, '\n') + 1) + ", byte offset " +
         std::to_string(off) + "\n  expected: " + line(want) + "\n  actual:   " + line(got);
}

// Empty when `file` holds `want`; otherwise where it differs.
std::string file_difference(const std::string& want, const fs::path& file) {
  if (!fs::is_regular_file(file)) return "missing";
  std::string got = read_file(file);
  if (got == want) return "";
  size_t off = std::mismatch(want.begin(), want.end(), got.begin(), got.end()).first - want.begin();
  return std::to_string(want.size()) + " bytes expected, " + std::to_string(got.size()) +
         " found; at offset " + std::to_string(off) + " expected " + hex_of(want.substr(off, 1)) +
         ", found " + hex_of(got.substr(off, 1));
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string p = (fs::temp_directory_path() / "golden.XXXXXX").string();
    if (!mkdtemp(p.data())) throw Error("cannot make a temporary directory");
    fs::create_directory((path = p) / "run");
  }
  ~TempDir() { fs::remove_all(path); }
};

// Runs the program in dir/run with the case's standard input (or /dev/null),
// writing dir/stdout and dir/stderr; a hang ends in SIGALRM. Returns the wait status.
int run_program(const Case& c, const fs::path& dir) {
  std::string in = c.input ? dir / "stdin" : "/dev/null", out = dir / "stdout",
              err = dir / "stderr", run = dir / "run";
  if (c.input) write_file(in, *c.input);
  std::vector<char*> argv = {const_cast<char*>(SMFSCOPE_BIN)};
  if (*SMFSCOPE_RUNNER) argv.insert(argv.begin(), const_cast<char*>(SMFSCOPE_RUNNER));
  for (const auto& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);  // nothing buffered may reach the program's output files
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(in.c_str(), "r", stdin) || !freopen(out.c_str(), "w", stdout) ||
        !freopen(err.c_str(), "w", stderr) || chdir(run.c_str()) != 0)
      _exit(126);
    alarm(30);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = -1;
  if (pid > 0) waitpid(pid, &status, 0);
  return status;
}

struct Entry {
  std::string path, name, test;  // case file, case name, test name
  int line;
};
void PrintTo(const Entry& e, std::ostream* os) { *os << e.test; }

// The cases in the case files, from their "case" lines; each test reads its file.
std::vector<Entry> list_cases() {
  std::set<fs::path> files;  // sorted
  for (const auto& f : fs::directory_iterator(GOLDEN_DIR))
    if (f.path().extension() == ".case") files.insert(f.path());
  std::vector<Entry> list;
  for (const auto& f : files) {
    std::istringstream in(read_file(f));
    int n = 1;
    for (std::string line; std::getline(in, line); ++n)
      if (auto [key, rest] = keyword(line); key == "case")
        list.push_back({f, rest, f.stem().string() + "_" + rest, n});
  }
  return list;
}

class Golden : public testing::TestWithParam<Entry> {};

TEST_P(Golden, Run) {
  const Entry& e = GetParam();
  SCOPED_TRACE(e.path + ":" + std::to_string(e.line) + ": case " + e.name);
  auto cases = parse_cases(e.path, read_file(e.path));
  auto c = std::find_if(cases.begin(), cases.end(), [&](auto& k) { return k.name == e.name; });
  ASSERT_NE(c, cases.end());
  TempDir tmp;
  const fs::path run = tmp.path / "run";
  for (const auto& d : c->dirs) fs::create_directories(run / d);
  for (const auto& [name, bytes] : c->files) write_file(run / name, bytes);

  int status = run_program(*c, tmp.path);
  EXPECT_FALSE(WIFSIGNALED(status)) << "killed by " << strsignal(WTERMSIG(status));
  if (WEXITSTATUS(status) != c->exit)
    ADD_FAILURE() << "exit code " << WEXITSTATUS(status) << ", expected " << c->exit;
  if (auto d = text_difference(as_written(c->out), read_file(tmp.path / "stdout")); !d.empty())
    ADD_FAILURE() << d;
  if (auto err = read_file(tmp.path / "stderr"); !err.empty())
    ADD_FAILURE() << "standard error: " << shown(err);

  std::map<fs::path, std::string> want;  // the files the directory must hold: inputs, written
  for (const auto& [name, bytes] : c->files) want[name] = bytes;
  for (const auto& [name, bytes] : c->written) want[name] = bytes;
  for (const auto& [name, bytes] : want)
    if (auto d = file_difference(bytes, run / name); !d.empty()) ADD_FAILURE() << name << ": " << d;
  for (const auto& f : fs::recursive_directory_iterator(run))
    if (!f.is_directory() && !want.count(f.path().lexically_relative(run)))
      ADD_FAILURE() << "unexpected file " << f.path().lexically_relative(run);
  for (const auto& a : c->absent)
    if (fs::exists(fs::symlink_status(run / a))) ADD_FAILURE() << a << " exists";
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(list_cases()),
                         [](const testing::TestParamInfo<Entry>& info) { return info.param.test; });

#if SMFSCOPE_CRLF
// What a Windows user who redirects the output to a file gets: "\r\n" after
// every line, here in the help text.
TEST(LineEnds, WindowsBuildWritesCrLf) {
  TempDir tmp;
  const int status = run_program(Case{}, tmp.path);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string got = read_file(tmp.path / "stdout");
  const std::string first = "\r\nsmfscope v0.02 " + to_cp932("オプション") + "\r\n";
  EXPECT_EQ(hex_of(got.substr(0, first.size())), hex_of(first));
  EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 7);
  for (size_t at = got.find('\n'); at != got.npos; at = got.find('\n', at + 1))
    EXPECT_TRUE(at > 0 && got[at - 1] == '\r') << "a bare \\n at offset " << at;
}
#endif

// The case format itself.

// The bytes `make` returns, in hex, or the message of what it throws.
template <class F>
std::string outcome(F make) {
  try {
    return hex_of(make());
  } catch (const std::exception& e) {
    return e.what();
  }
}

TEST(GoldenFormat, AnnotatedHex) {
  const Defines defines = {{"eot", std::string("\x00\xFF\x2F\x00", 4)}};
  const std::pair<std::string, std::string> rows[] = {
      {"\"MThd\" 00000006 0000 # 11", "4D546864000000060000"},
      {"3*00 2*\"ab\" 2*<eot>", "0000006162616200FF2F0000FF2F00"},
      {"00 @1 1122 @3 cp932\"♭\"", "00112281F3"},
      {"4D 5G", "bad hex digit 'G' in 5G"},
      {"00 00 @3", "@3 does not hold: 2 bytes stand before it"},
      {"123", "odd number of hex digits in 123"},
      {"<none> 00", "no define <none>"},
      {"00 \"ab", "unexpected \"ab"},
  };
  for (const auto& [text, result] : rows) {
    std::string block;
    EXPECT_EQ(outcome([&] { return hex_line(text, defines, block); }), result) << text;
  }
}

TEST(GoldenFormat, ExpectedTextInCodePage932) {
  const std::pair<const char*, std::string> rows[] = {
      {"♭", "81F30A"},
      {"～", "81600A"},                              // U+FF5E
      {"  使用済   $", "20208E6797708DCF2020200A"},  // the 11-byte label
      {"a\\x80\\xFFb\\c", "6180FF62"},
      {"a ", "trailing blank: end the line with $"},
      {"a\\q", "\\ starts no \\xNN"},
      {"😀", "no code page 932 form for \"😀\""},
  };
  for (const auto& [line, result] : rows)
    EXPECT_EQ(outcome([&] { return text_line(line); }), result) << line;
  EXPECT_EQ(shown("E\x81\xF3 \x8E\x67\x97\x70\x80"), "E♭ 使用\\x80");
  EXPECT_EQ(text_difference("fs 26\ntempo= 120\n", "fs 26\ntempo=120\n"),
            "stdout differs at line 2, byte offset 12\n"
            "  expected: tempo= 120\n  actual:   tempo=120");
}

TEST(GoldenFormat, CaseFile) {
  auto cases =
      parse_cases("t.case",
                  "define eot\n  00 FF 2F 00\n  @4\n# comment\n"
                  "case one\nargs -t 120 a.mid\nstdin\n|120\nfile a.mid\n  \"MTrk\" 00000004\n"
                  "  @8 <eot>\ndir d\nstdout\n|x $\n|{9..10:2}|x\n|end\\c\n"
                  "exit 1\nwritten w.mid\n  00\nabsent gone.mid\n");
  ASSERT_EQ(cases.size(), 1u);
  const Case& c = cases[0];
  EXPECT_EQ(c.args, (std::vector<std::string>{"-t", "120", "a.mid"}));
  EXPECT_EQ(c.input, "120\n");
  EXPECT_EQ(hex_of(c.files.at(0).second), "4D54726B0000000400FF2F00");
  EXPECT_EQ(c.out, "x \n 9|x\n10|x\nend");
  EXPECT_EQ(c.exit, 1);
  EXPECT_EQ(c.written.at(0), (std::pair<std::string, std::string>{"w.mid", std::string(1, '\0')}));
  EXPECT_EQ(c.dirs, std::vector<std::string>{"d"});
  EXPECT_EQ(c.absent, std::vector<std::string>{"gone.mid"});
  const std::pair<const char*, std::string> bad[] = {
      {"case a\nfile x\n  00\n  0Z\n", "t.case:4: bad hex digit 'Z' in 0Z"},
      {"args x\n", "t.case:1: 'args' before the first case"},
      {"case a\n  00\n", "t.case:2: indented line outside a hex block"},
      {"case a\nstdout\n|{2..3:x}\n", "t.case:3: bad number 'x'"},
  };
  for (const auto& [text, error] : bad)
    EXPECT_EQ(outcome([&] { return parse_cases("t.case", text).at(0).out; }), error) << text;
}

}  // namespace
