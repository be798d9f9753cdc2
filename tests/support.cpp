#include "support.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

// A Windows build runs under a loader (the Wine loader) and writes "\r\n".
#ifndef SMFSCOPE_RUNNER
#define SMFSCOPE_RUNNER ""
#endif

std::string hex(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      const size_t end = text.find('"', i + 1);
      bytes += text.substr(i + 1, end - i - 1);
      i = end;
    } else if (text[i] != ' ') {
      bytes += static_cast<char>(std::stoi(std::string(text.substr(i++, 2)), nullptr, 16));
    }
  }
  return bytes;
}

std::string smf(const std::vector<std::string>& tracks, int ntrks) {
  const auto n = static_cast<unsigned>(ntrks < 0 ? tracks.size() : ntrks);
  std::string file = smf("0001 01E0", tracks);
  file[10] = char(n >> 8);
  file[11] = char(n);
  return file;
}

std::string smf(const std::string& format_division, const std::vector<std::string>& tracks) {
  const auto n = static_cast<unsigned>(tracks.size());
  const std::string fd = hex(format_division);
  std::string file =
      hex("\"MThd\" 00000006") + fd.substr(0, 2) + char(n >> 8) + char(n) + fd.substr(2);
  for (const std::string& t : tracks) {
    const std::string e = hex(t);
    file += "MTrk" +
            std::string{char(e.size() >> 24), char(e.size() >> 16), char(e.size() >> 8),
                        char(e.size())} +
            e;
  }
  return file;
}

std::string cp932(std::string_view utf8) {
  static iconv_t cd = iconv_open("CP932", "UTF-8");
  std::string out(utf8.size() * 2, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* to = out.data();
  size_t in_left = utf8.size(), out_left = out.size();
  if (iconv(cd, &in, &in_left, &to, &out_left) == static_cast<size_t>(-1)) abort();
  out.resize(out.size() - out_left);
  return out;
}

TempDir::TempDir() : path((std::filesystem::temp_directory_path() / "smfscope.XXXXXX").string()) {
  mkdtemp(path.data());
}

TempDir::~TempDir() { std::filesystem::remove_all(path); }

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::string& path) {
  return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

const bool kWindows = *SMFSCOPE_RUNNER;

Ran smfscope(const std::string& dir, const std::vector<std::string>& args, const std::string& input,
             const std::string& shell) {
  TempDir io;
  write_file(io / "in", input);
  std::string command = "cd '" + dir + "' && exec <'" + io / "in" + "' >'" + io / "out" + "' 2>'" +
                        io / "err" + "' && " + shell +
                        " exec timeout 10 " SMFSCOPE_RUNNER " '" SMFSCOPE_BIN "'";
  for (const std::string& a : args) command += " '" + a + "'";
  const int status = system(command.c_str());
  // JSON lines end with "\n" alone on every system.
  const bool crlf = kWindows && std::find(args.begin(), args.end(), "-json") == args.end();
  std::string out = read_file(io / "out"), lf;
  for (size_t i = 0; i < out.size(); ++i) {
    if (crlf && out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) ADD_FAILURE() << "a bare \\n";
    if (!crlf || out.compare(i, 2, "\r\n") != 0) lf += out[i];
  }
  std::string err = read_file(io / "err");
  for (size_t at; kWindows && (at = err.find("\r\n")) != std::string::npos;) err.erase(at, 1);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), lf, err};
}
