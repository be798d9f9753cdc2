// End-to-end runs of the built program, one test per case under golden/, and
// the unit tests of the case format itself.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "golden_format.h"

namespace {

using golden::Case;

constexpr int kTimeoutSeconds = 30;

bool read_file(const std::string& path, std::string& bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.clear();
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<size_t>(n));
  close(fd);
  return n == 0;
}

bool make_dirs(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool write_file(const std::string& path, const std::string& bytes) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && !make_dirs(path.substr(0, slash))) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return close(fd) == 0 && done == bytes.size();
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

// A fresh directory holding the run's working directory "run" and, beside
// it, the files for standard input and standard error.
class Scratch {
 public:
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/golden.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) {
      base_ = buf.data();
      if (mkdir(run_dir().c_str(), 0755) != 0) base_.clear();
    }
  }
  ~Scratch() {
    if (!base_.empty()) nftw(base_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }
  bool ok() const { return !base_.empty(); }
  std::string run_dir() const { return base_ + "/run"; }
  std::string side(const char* name) const { return base_ + "/" + name; }

 private:
  std::string base_;
};

struct Outcome {
  std::string out;
  std::string err;
  int exit_code = -1;
  std::string problem;  // why the run itself failed (signal, timeout, exec)
};

Outcome run_program(const Case& c, const Scratch& scratch) {
  Outcome r;
  std::string stdin_path = "/dev/null";
  if (c.has_stdin) {
    stdin_path = scratch.side("stdin");
    if (!write_file(stdin_path, c.stdin_bytes)) return r.problem = "cannot write stdin", r;
  }
  std::string err_path = scratch.side("stderr");
  int in_fd = open(stdin_path.c_str(), O_RDONLY | O_CLOEXEC);
  int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int pipe_fd[2];
  if (in_fd < 0 || err_fd < 0 || pipe2(pipe_fd, O_CLOEXEC) != 0)
    return r.problem = "cannot set up the run", r;

  std::vector<std::string> words = {SMFSCOPE_BIN};
  words.insert(words.end(), c.args.begin(), c.args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::string dir = scratch.run_dir();

  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    dup2(in_fd, 0);
    dup2(pipe_fd[1], 1);
    dup2(err_fd, 2);
    execv(SMFSCOPE_BIN, argv.data());
    _exit(127);
  }
  close(in_fd);
  close(err_fd);
  close(pipe_fd[1]);
  if (pid < 0) {
    close(pipe_fd[0]);
    return r.problem = "fork failed", r;
  }
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  bool timed_out = false;
  for (;;) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long left_ms = kTimeoutSeconds * 1000L - (now.tv_sec - start.tv_sec) * 1000L -
                   (now.tv_nsec - start.tv_nsec) / 1000000L;
    if (left_ms <= 0) {
      timed_out = true;
      break;
    }
    pollfd p = {pipe_fd[0], POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left_ms));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buf[65536];
    ssize_t n = read(pipe_fd[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.out.append(buf, static_cast<size_t>(n));
  }
  close(pipe_fd[0]);
  if (timed_out) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  read_file(err_path, r.err);
  if (timed_out)
    r.problem = "no end after " + std::to_string(kTimeoutSeconds) + " s: killed";
  else if (WIFSIGNALED(status))
    r.problem = "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                strsignal(WTERMSIG(status)) + ")";
  else if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && r.out.empty())
    r.problem = std::string("cannot run ") + SMFSCOPE_BIN;
  else
    r.exit_code = WEXITSTATUS(status);
  return r;
}

// Every file and directory below `dir`, as names relative to it.
void list_tree(const std::string& dir, const std::string& prefix, std::set<std::string>& files,
               std::set<std::string>& dirs) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string full = dir + "/" + name;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      dirs.insert(prefix + name);
      list_tree(full, prefix + name + "/", files, dirs);
    } else {
      files.insert(prefix + name);
    }
  }
  closedir(d);
}

struct Entry {
  std::string name;
  std::string load_error;  // set when a case file cannot be read
  Case c;
};

std::vector<Entry> load_cases() {
  std::vector<Entry> entries;
  std::vector<std::string> files;
  if (DIR* d = opendir(GOLDEN_DIR)) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".case") == 0) files.push_back(name);
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  std::set<std::string> seen;
  for (const auto& f : files) {
    std::string path = std::string(GOLDEN_DIR) + "/" + f;
    std::string content, error;
    std::vector<Case> cases;
    if (!read_file(path, content))
      error = path + ": cannot read";
    else
      golden::parse_case_file(path, content, cases, error);
    for (auto& c : cases) {
      Entry e;
      e.name = c.name;
      if (!seen.insert(e.name).second) {
        e.load_error = c.path + ": the name " + e.name + " is taken by another case file";
        e.name += "_" + std::to_string(entries.size());
      }
      e.c = std::move(c);
      entries.push_back(std::move(e));
    }
    if (!error.empty()) {
      Entry e;
      e.name = f.substr(0, f.size() - 5) + "_file_error";
      for (char& ch : e.name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      e.load_error = error;
      entries.push_back(std::move(e));
    }
  }
  if (entries.empty()) {
    Entry e;
    e.name = "no_cases";
    e.load_error = std::string("no *.case files in ") + GOLDEN_DIR;
    entries.push_back(std::move(e));
  }
  return entries;
}

// Keeps the test list short: a case shows as its name.
void PrintTo(const Entry& e, std::ostream* os) { *os << e.name; }

class Golden : public testing::TestWithParam<Entry> {};

TEST_P(Golden, Run) {
  const Entry& e = GetParam();
  if (!e.load_error.empty()) FAIL() << e.load_error;
  const Case& c = e.c;
  const char* where = c.path.c_str();

  Scratch scratch;
  ASSERT_TRUE(scratch.ok()) << "cannot make a temporary directory";
  const std::string dir = scratch.run_dir();
  for (const auto& d : c.dirs) ASSERT_TRUE(make_dirs(dir + "/" + d)) << d;
  for (const auto& f : c.inputs) ASSERT_TRUE(write_file(dir + "/" + f.name, f.bytes)) << f.name;

  Outcome r = run_program(c, scratch);
  if (!r.problem.empty()) ADD_FAILURE_AT(where, c.line) << r.problem;

  std::string diff = golden::describe_text_difference(c.expected_stdout, r.out);
  if (!diff.empty()) ADD_FAILURE_AT(where, c.line) << diff;
  if (r.problem.empty() && r.exit_code != c.exit_code)
    ADD_FAILURE_AT(where, c.line) << "exit code " << r.exit_code << ", expected " << c.exit_code;
  if (!r.err.empty())
    ADD_FAILURE_AT(where, c.line) << "the program wrote to standard error: "
                                  << golden::cp932_for_display(r.err.substr(0, 400));

  // The directory must hold exactly the inputs, the given directories and the
  // written files; the inputs unchanged.
  std::set<std::string> files, dirs;
  list_tree(dir, "", files, dirs);
  std::set<std::string> known_files, known_dirs(c.dirs.begin(), c.dirs.end());
  auto add_parents = [&](const std::string& name) {
    for (size_t s = name.find('/'); s != std::string::npos; s = name.find('/', s + 1))
      known_dirs.insert(name.substr(0, s));
  };
  for (const auto& d : c.dirs) add_parents(d);
  for (const auto& w : c.written) {
    known_files.insert(w.name);
    add_parents(w.name);
    std::string got;
    if (!read_file(dir + "/" + w.name, got)) {
      ADD_FAILURE_AT(where, w.line) << w.name << " was not written";
      continue;
    }
    std::string d = golden::describe_byte_difference(w.bytes, got);
    if (!d.empty()) ADD_FAILURE_AT(where, w.line) << w.name << ": " << d;
  }
  for (const auto& f : c.inputs) {
    known_files.insert(f.name);
    add_parents(f.name);
    bool overwritten = std::any_of(c.written.begin(), c.written.end(),
                                   [&](const golden::FileBytes& w) { return w.name == f.name; });
    std::string got;
    if (!overwritten && (!read_file(dir + "/" + f.name, got) || got != f.bytes))
      ADD_FAILURE_AT(where, f.line) << "input " << f.name << " was changed or removed";
  }
  for (const auto& a : c.absent) {
    struct stat st;
    if (lstat((dir + "/" + a).c_str(), &st) == 0)
      ADD_FAILURE_AT(where, c.line) << a << " exists, but none was expected";
  }
  for (const auto& f : files)
    if (!known_files.count(f)) ADD_FAILURE_AT(where, c.line) << "unexpected file " << f;
  for (const auto& d : dirs)
    if (!known_dirs.count(d)) ADD_FAILURE_AT(where, c.line) << "unexpected directory " << d;
  for (const auto& d : known_dirs)
    if (!dirs.count(d)) ADD_FAILURE_AT(where, c.line) << "directory " << d << " is gone";
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(load_cases()),
                         [](const testing::TestParamInfo<Entry>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The case format itself.

std::string hex_of(const std::string& bytes) {
  std::string s;
  for (unsigned char b : bytes) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", b);
    s += buf;
  }
  return s;
}

std::string hex_ok(const std::string& text, const golden::Defines& defines = {}) {
  std::string out, error;
  EXPECT_TRUE(golden::parse_hex(text, defines, out, error)) << text << ": " << error;
  return hex_of(out);
}

std::string hex_error(const std::string& text) {
  std::string out, error;
  EXPECT_FALSE(golden::parse_hex(text, {}, out, error)) << text << " was accepted";
  return error;
}

TEST(HexFormat, AssemblesBytesStringsRepeatsAndDefines) {
  struct Row {
    const char* text;
    const char* hex;
  } rows[] = {
      {"", ""},
      {"4D 54 68 64", "4D546864"},
      {"00000006 0001", "000000060001"},
      {"\"MThd\" 00", "4D54686400"},
      {"ff # comment 00 11\n 2f", "FF2F"},
      {"\"a#b\\\"c\\\\\"", "6123622263" "5C"},
      {"3*00 2*\"ab\" 2*(01 02)", "000000616261620102" "0102"},
      {"2*3*7f", "7F7F7F7F7F7F"},
      {"00 @1 (11 22 @2) @3", "001122"},
      {"@0x0 4D54726B @0x4", "4D54726B"},
      {"cp932\"使用済\"", "8E6797708DCF"},
      {"cp932\"♭\"", "81F3"},
  };
  for (const auto& row : rows) EXPECT_EQ(hex_ok(row.text), row.hex) << row.text;

  golden::Defines defines = {{"eot", std::string("\x00\xFF\x2F\x00", 4)}};
  EXPECT_EQ(hex_ok("<eot> 2*<eot>", defines), "00FF2F0000FF2F0000FF2F00");
}

TEST(HexFormat, RejectsMistakesWithTheirLine) {
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"4D 5G", "line 1: bad hex digit 'G' in 5G"},
      {"00\n\n123", "line 3: odd number of hex digits in 123"},
      {"00 00 @3", "line 1: @3 does not hold: 2 bytes stand before it"},
      {"00\n@0x2", "line 2: @0x2 does not hold: 1 bytes stand before it"},
      {"(00 00 @1)", "line 1: @1 does not hold: 2 bytes stand before it"},
      {"\"MTrk", "line 1: unterminated string"},
      {"<nothing>", "line 1: no define named nothing"},
      {"(00", "line 1: missing )"},
      {"00)", "line 1: unexpected )"},
      {"x*00", "line 1: bad repeat count x"},
      {"00 ; 11", "line 1: unexpected character ';'"},
  };
  for (const auto& row : rows) EXPECT_EQ(hex_error(row.text), row.error) << row.text;
}

std::string cp932_hex(const char* utf8) {
  std::string out, error;
  EXPECT_TRUE(golden::utf8_to_cp932(utf8, out, error)) << utf8 << ": " << error;
  return hex_of(out);
}

TEST(Cp932, PinsTheBytesOfTheTextsThatMatter) {
  EXPECT_EQ(cp932_hex("♭"), "81F3");
  EXPECT_EQ(cp932_hex("～"), "8160");                    // U+FF5E, full-width tilde
  EXPECT_EQ(cp932_hex("（"), "8169");                    // full-width bracket of the help text
  EXPECT_EQ(cp932_hex("  使用済   "), "20208E6797708DCF202020");  // the 11-byte label
  EXPECT_EQ(cp932_hex("---(out of -6～6"), "2D2D2D286F7574206F66202D3681603" "6");
  EXPECT_EQ(cp932_hex("ピッチ・ベンド"), "8373836283608145837883938368");
  EXPECT_EQ(cp932_hex("abc\\~"), "6162635C7E");  // ASCII stays as it is

  std::string out, error;
  EXPECT_FALSE(golden::utf8_to_cp932("a😀", out, error));
  EXPECT_NE(error.find("at byte 1"), std::string::npos) << error;
}

TEST(Cp932, DisplaysBytesReadablyAndMarksTheInvalidOnes) {
  EXPECT_EQ(golden::cp932_for_display("\x8E\x67\x97\x70\x8D\xCF"), "使用済");
  EXPECT_EQ(golden::cp932_for_display("E\x81\xF3 m"), "E♭ m");
  EXPECT_EQ(golden::cp932_for_display("a\x80z\xFF"), "a\\x80z\\xFF");
  EXPECT_EQ(golden::cp932_for_display(std::string("\x00\t\\", 3)), "\\x00\\x09\\\\");
  EXPECT_EQ(golden::cp932_for_display("\x81"), "\\x81");  // lead byte at the very end
  EXPECT_EQ(golden::cp932_for_display("\xB1"), "ｱ");       // single-byte katakana
}

std::string line_bytes(const char* line, const std::map<std::string, long>* vars = nullptr) {
  std::string out, error;
  EXPECT_TRUE(golden::expected_line_to_cp932(line, vars, out, error)) << line << ": " << error;
  return hex_of(out);
}

TEST(ExpectedText, EscapesGuardsAndRepeatValues) {
  EXPECT_EQ(line_bytes(""), "0A");
  EXPECT_EQ(line_bytes("調号"), "92B28D860A");
  EXPECT_EQ(line_bytes("a\\x80\\xffb"), "6180FF620A");
  EXPECT_EQ(line_bytes("a $"), "61200A");
  EXPECT_EQ(line_bytes("a$$"), "61240A");
  EXPECT_EQ(line_bytes("=\\c"), "3D");
  EXPECT_EQ(line_bytes("\\\\\\{\\}"), "5C7B7D0A");
  EXPECT_EQ(line_bytes("{i}"), "7B697D0A");  // braces are plain text outside repeat

  std::map<std::string, long> vars = {{"i", 10}};
  EXPECT_EQ(line_bytes("{i:2}|{i:02}|{i*12+14:06x}|{i-3}|{i:X}", &vars),
            hex_of("10|10|000086|7|A\n"));
  vars["i"] = 3;
  EXPECT_EQ(line_bytes("{i:2}", &vars), hex_of(" 3\n"));

  struct Row {
    const char* line;
    const char* error;
  } bad[] = {
      {"a ", "trailing blank: end the line with $ so that it cannot get lost"},
      {"a\\c b", "\\c must end the line"},
      {"a\\x4", "\\x needs two hex digits"},
      {"a\\q", "unknown escape \\q"},
      {"😀", "no code page 932 form for \"😀\" at byte 0 (write \\xNN bytes instead)"},
  };
  for (const auto& row : bad) {
    std::string out, error;
    EXPECT_FALSE(golden::expected_line_to_cp932(row.line, nullptr, out, error)) << row.line;
    EXPECT_EQ(error, row.error) << row.line;
  }
}

TEST(CaseFile, ReadsEveryPartOfACase) {
  const char* text =
      "# a comment\n"
      "define eot\n"
      "  00 FF 2F 00\n"
      "case one\n"
      "args -t 120 \"a b.mid\"\n"
      "stdin\n"
      "|120\n"
      "file a b.mid\n"
      "  \"MTrk\" 00000004 @8 <eot>\n"
      "dir sub/out\n"
      "stdout\n"
      "|x $\n"
      "repeat i 1 2\n"
      "|{i}\n"
      "end\n"
      "|end\\c\n"
      "exit 1\n"
      "written w.mid\n"
      "  00\n"
      "absent gone.mid\n"
      "case two\n"
      "stdout\n"
      "exit 0\n";
  std::vector<golden::Case> cases;
  std::string error;
  ASSERT_TRUE(golden::parse_case_file("/x/args.case", text, cases, error)) << error;
  ASSERT_EQ(cases.size(), 2u);
  const golden::Case& c = cases[0];
  EXPECT_EQ(c.name, "args_one");
  EXPECT_EQ(c.line, 4);
  EXPECT_EQ(c.args, (std::vector<std::string>{"-t", "120", "a b.mid"}));
  EXPECT_TRUE(c.has_stdin);
  EXPECT_EQ(c.stdin_bytes, "120\n");
  ASSERT_EQ(c.inputs.size(), 1u);
  EXPECT_EQ(c.inputs[0].name, "a b.mid");
  EXPECT_EQ(hex_of(c.inputs[0].bytes), "4D54726B0000000400FF2F00");
  EXPECT_EQ(c.dirs, std::vector<std::string>{"sub/out"});
  EXPECT_EQ(c.expected_stdout, "x \n1\n2\nend");
  EXPECT_EQ(c.exit_code, 1);
  ASSERT_EQ(c.written.size(), 1u);
  EXPECT_EQ(c.written[0].bytes, std::string(1, '\0'));
  EXPECT_EQ(c.absent, std::vector<std::string>{"gone.mid"});
  EXPECT_FALSE(cases[1].has_stdin);
  EXPECT_EQ(cases[1].expected_stdout, "");
}

TEST(CaseFile, NamesTheLineOfAMistake) {
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"case a\nstdout\n|x\n", "t.case:1: case without exit"},
      {"case a\nexit 0\n", "t.case:1: case without stdout"},
      {"args x\n", "t.case:1: 'args' before the first case"},
      {"case a\nfile x.mid\n  00\n  0Z\n", "t.case:4: bad hex digit 'Z' in 0Z"},
      {"case a\nfile x.mid\n  00 @2\n", "t.case:3: @2 does not hold: 1 bytes stand before it"},
      {"case a\nstdout\n|a \n", "t.case:3: trailing blank: end the line with $ so that it cannot get lost"},
      {"case a\nfile ../x\n", "t.case:2: bad file name '../x'"},
      {"case a\nexit 0\nstdout\ncase a\n", "t.case:4: second case named a"},
      {"case a\nstdout\nrepeat i 1\n", "t.case:3: repeat needs: repeat NAME FROM TO"},
      {"case a\n  00\n", "t.case:2: indented line outside a hex block"},
      {"case a\nfrobnicate\n", "t.case:2: unknown keyword 'frobnicate'"},
  };
  for (const auto& row : rows) {
    std::vector<golden::Case> cases;
    std::string error;
    EXPECT_FALSE(golden::parse_case_file("t.case", row.text, cases, error)) << row.text;
    EXPECT_EQ(error, row.error) << row.text;
  }
}

TEST(CaseFile, KeepsTheCasesBeforeAMistakeAndDropsTheBrokenOne) {
  std::vector<golden::Case> cases;
  std::string error;
  EXPECT_FALSE(golden::parse_case_file(
      "t.case", "case a\nstdout\nexit 0\ncase b\nexit 0\nfile x\n  0Z\n", cases, error));
  ASSERT_EQ(cases.size(), 1u);
  EXPECT_EQ(cases[0].name, "t_a");
}

TEST(Difference, PointsAtTheFirstDifferingLine) {
  EXPECT_EQ(golden::describe_text_difference("a\nb\n", "a\nb\n"), "");
  std::string d = golden::describe_text_difference("fs 26\ntempo= 120\n", "fs 26\ntempo=120\n");
  EXPECT_NE(d.find("line 2, byte offset 12 (byte 7 of the line)"), std::string::npos) << d;
  EXPECT_NE(d.find("expected:    tempo= 120\n"), std::string::npos) << d;
  EXPECT_NE(d.find("actual:      tempo=120\n"), std::string::npos) << d;

  d = golden::describe_text_difference("x\n\x8E\x67\n", "x\n\x8E\x68\n");
  EXPECT_NE(d.find("expected:    使\n"), std::string::npos) << d;
  d = golden::describe_text_difference("x\ny\n", "x\n");
  EXPECT_NE(d.find("actual:      <end of output>"), std::string::npos) << d;
  d = golden::describe_text_difference("x\n", "x");
  EXPECT_NE(d.find("actual:      x\\c"), std::string::npos) << d;

  EXPECT_EQ(golden::describe_byte_difference("ab", "ab"), "");
  d = golden::describe_byte_difference(std::string("\x00\x01\x02", 3), std::string("\x00\x01\x03", 3));
  EXPECT_NE(d.find("first difference at offset 2 (0x2)"), std::string::npos) << d;
  EXPECT_NE(d.find("[02]"), std::string::npos) << d;
  EXPECT_NE(d.find("[03]"), std::string::npos) << d;
}

}  // namespace
