#include "golden_format.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <set>

namespace golden {
namespace {

constexpr size_t kMaxBlock = size_t{64} << 20;  // a repeat must not eat the machine

bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool is_word_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool is_decimal(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}
int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Converts `in` between two encodings. On an unconvertible input returns
// false and sets `bad_offset` to where it starts in `in`.
bool convert(const char* to, const char* from, std::string_view in, std::string& out,
             size_t& bad_offset) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    bad_offset = 0;
    return false;
  }
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  bool ok = true;
  while (src_left > 0) {
    char buf[256];
    char* dst = buf;
    size_t dst_left = sizeof buf;
    size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      bad_offset = in.size() - src_left;
      ok = false;
      break;
    }
  }
  if (ok) {
    char buf[16];
    char* dst = buf;
    size_t dst_left = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &dst_left);
    out.append(buf, static_cast<size_t>(dst - buf));
  }
  iconv_close(cd);
  return ok;
}

std::string hex_byte(unsigned char b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", b);
  return buf;
}

class HexParser {
 public:
  HexParser(std::string_view text, const Defines& defines, int first_line)
      : s_(text), defines_(defines), line_(first_line) {}

  bool parse(std::string& out, std::string& error) {
    std::string block;
    bool ok = sequence(block, false);
    if (!ok) {
      error = error_;
      return false;
    }
    out += block;
    return true;
  }

 private:
  bool fail(const std::string& what) {
    error_ = "line " + std::to_string(line_) + ": " + what;
    return false;
  }

  void skip_space() {
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == '\n') {
        ++line_;
        ++i_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++i_;
      } else if (c == '#') {
        while (i_ < s_.size() && s_[i_] != '\n') ++i_;
      } else {
        break;
      }
    }
  }

  std::string_view word() {
    size_t start = i_;
    while (i_ < s_.size() && is_word_char(s_[i_])) ++i_;
    return s_.substr(start, i_ - start);
  }

  // A block: items up to its end, or up to ")" for a group. @ checks count
  // from the block's own start.
  bool sequence(std::string& block, bool group) {
    for (;;) {
      skip_space();
      if (i_ >= s_.size()) return group ? fail("missing )") : true;
      char c = s_[i_];
      if (c == ')') {
        if (!group) return fail("unexpected )");
        ++i_;
        return true;
      }
      if (c == '@') {
        ++i_;
        if (!offset_check(block.size())) return false;
        continue;
      }
      if (!item(block)) return false;
    }
  }

  bool offset_check(size_t have) {
    std::string_view w = word();
    unsigned long want = 0;
    if (w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X')) {
      for (char d : w.substr(2)) {
        if (!is_hex_digit(d)) return fail("bad offset @" + std::string(w));
        want = want * 16 + static_cast<unsigned long>(hex_value(d));
      }
    } else if (is_decimal(w)) {
      for (char d : w) want = want * 10 + static_cast<unsigned long>(d - '0');
    } else {
      return fail("bad offset @" + std::string(w));
    }
    if (have != want)
      return fail("@" + std::string(w) + " does not hold: " + std::to_string(have) +
                  " bytes stand before it");
    return true;
  }

  bool item(std::string& out) {
    skip_space();
    if (i_ >= s_.size()) return fail("an item is missing at the end");
    char c = s_[i_];
    if (c == '"') return string(out, false);
    if (c == '(') {
      ++i_;
      std::string group;
      if (!sequence(group, true)) return false;
      out += group;
      return true;
    }
    if (c == '<') {
      size_t end = s_.find('>', i_);
      size_t nl = s_.find('\n', i_);
      if (end == std::string_view::npos || end > nl) return fail("missing > after <");
      std::string_view name = s_.substr(i_ + 1, end - i_ - 1);
      auto it = defines_.find(name);
      if (it == defines_.end()) return fail("no define named " + std::string(name));
      out += it->second;
      i_ = end + 1;
      return true;
    }
    if (is_word_char(c)) {
      std::string_view w = word();
      if (i_ < s_.size() && s_[i_] == '*') {
        if (!is_decimal(w) || w.size() > 8) return fail("bad repeat count " + std::string(w));
        ++i_;
        std::string one;
        if (!item(one)) return false;
        size_t count = std::stoul(std::string(w));
        if (!one.empty() && count > kMaxBlock / one.size()) return fail("repeat too large");
        for (size_t k = 0; k < count; ++k) out += one;
        return true;
      }
      if (w == "cp932" && i_ < s_.size() && s_[i_] == '"') return string(out, true);
      for (char d : w)
        if (!is_hex_digit(d))
          return fail(std::string("bad hex digit '") + d + "' in " + std::string(w));
      if (w.size() % 2 != 0) return fail("odd number of hex digits in " + std::string(w));
      for (size_t k = 0; k < w.size(); k += 2)
        out += static_cast<char>(hex_value(w[k]) * 16 + hex_value(w[k + 1]));
      return true;
    }
    return fail(std::string("unexpected character '") + c + "'");
  }

  bool string(std::string& out, bool to_cp932) {
    ++i_;  // the opening quote
    std::string text;
    for (;;) {
      if (i_ >= s_.size() || s_[i_] == '\n') return fail("unterminated string");
      char c = s_[i_++];
      if (c == '"') break;
      if (c == '\\') {
        if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\\'))
          return fail("only \\\" and \\\\ are escapes in a string");
        c = s_[i_++];
      }
      text += c;
    }
    if (!to_cp932) {
      out += text;
      return true;
    }
    std::string err;
    if (!utf8_to_cp932(text, out, err)) return fail(err);
    return true;
  }

  std::string_view s_;
  const Defines& defines_;
  int line_;
  size_t i_ = 0;
  std::string error_;
};

// {NAME}, {NAME:FMT}, {NAME*K+C:FMT}: `inner` is the text between the braces.
bool substitute(std::string_view inner, const std::map<std::string, long>& vars, std::string& out,
                std::string& error) {
  size_t i = 0;
  while (i < inner.size() && is_word_char(inner[i])) ++i;
  std::string name(inner.substr(0, i));
  auto it = vars.find(name);
  if (it == vars.end()) {
    error = "unknown variable {" + std::string(inner) + "}";
    return false;
  }
  long value = it->second;
  auto number = [&](long& n) {
    size_t start = i;
    n = 0;
    while (i < inner.size() && inner[i] >= '0' && inner[i] <= '9') n = n * 10 + (inner[i++] - '0');
    return i > start;
  };
  long n = 0;
  if (i < inner.size() && inner[i] == '*') {
    ++i;
    if (!number(n)) return error = "bad factor in {" + std::string(inner) + "}", false;
    value *= n;
  }
  if (i < inner.size() && (inner[i] == '+' || inner[i] == '-')) {
    bool minus = inner[i++] == '-';
    if (!number(n)) return error = "bad term in {" + std::string(inner) + "}", false;
    value += minus ? -n : n;
  }
  bool zero = false;
  size_t width = 0;
  char conv = 'd';
  if (i < inner.size() && inner[i] == ':') {
    ++i;
    if (i < inner.size() && inner[i] == '0') zero = true, ++i;
    while (i < inner.size() && inner[i] >= '0' && inner[i] <= '9')
      width = width * 10 + static_cast<size_t>(inner[i++] - '0');
    if (i < inner.size() && (inner[i] == 'd' || inner[i] == 'x' || inner[i] == 'X')) conv = inner[i++];
  }
  if (i != inner.size()) {
    error = "bad substitution {" + std::string(inner) + "}";
    return false;
  }
  char buf[64];
  if (conv == 'd')
    std::snprintf(buf, sizeof buf, "%ld", value);
  else
    std::snprintf(buf, sizeof buf, conv == 'x' ? "%lx" : "%lX", static_cast<unsigned long>(value));
  std::string digits = buf;
  if (digits.size() < width) {
    std::string pad(width - digits.size(), zero ? '0' : ' ');
    if (zero && digits[0] == '-')
      digits = "-" + pad + digits.substr(1);
    else
      digits = pad + digits;
  }
  out += digits;
  return true;
}

bool is_blank(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r') return false;
  return true;
}

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

// Splits an argument line into words; "..." holds blanks, \" and \\ inside.
bool split_args(std::string_view s, std::vector<std::string>& args, std::string& error) {
  size_t i = 0;
  for (;;) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) return true;
    std::string w;
    if (s[i] == '"') {
      ++i;
      for (;;) {
        if (i >= s.size()) return error = "unterminated quoted argument", false;
        char c = s[i++];
        if (c == '"') break;
        if (c == '\\' && i < s.size()) c = s[i++];
        w += c;
      }
    } else {
      while (i < s.size() && s[i] != ' ' && s[i] != '\t') w += s[i++];
    }
    args.push_back(w);
  }
}

bool valid_relative_name(std::string_view name) {
  if (name.empty() || name[0] == '/') return false;
  size_t start = 0;
  for (;;) {
    size_t slash = name.find('/', start);
    std::string_view part = name.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

std::string_view line_at(std::string_view text, size_t start) {
  size_t end = text.find('\n', start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos
                                                          : end - start + 1);
}

std::string shown_line(std::string_view line) {
  if (line.empty()) return "<end of output>";
  if (line.back() == '\n') return cp932_for_display(line.substr(0, line.size() - 1));
  return cp932_for_display(line) + "\\c";  // no line end
}

}  // namespace

bool parse_hex(std::string_view text, const Defines& defines, std::string& out,
               std::string& error, int first_line) {
  return HexParser(text, defines, first_line).parse(out, error);
}

bool utf8_to_cp932(std::string_view utf8, std::string& out, std::string& error) {
  size_t bad = 0;
  std::string converted;
  if (!convert("CP932", "UTF-8", utf8, converted, bad)) {
    size_t end = bad + 1;
    while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
    error = "no code page 932 form for \"" + std::string(utf8.substr(bad, end - bad)) +
            "\" at byte " + std::to_string(bad) + " (write \\xNN bytes instead)";
    return false;
  }
  out += converted;
  return true;
}

std::string cp932_for_display(std::string_view s) {
  std::string shown;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x20 || b == 0x7F) {
      shown += hex_byte(b);
      ++i;
      continue;
    }
    if (b == '\\') {
      shown += "\\\\";
      ++i;
      continue;
    }
    if (b < 0x80) {
      shown += static_cast<char>(b);
      ++i;
      continue;
    }
    size_t len = 1;
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) len = 2;
    std::string utf8;
    size_t bad = 0;
    if (i + len <= s.size() && convert("UTF-8", "CP932", s.substr(i, len), utf8, bad)) {
      shown += utf8;
      i += len;
    } else {
      shown += hex_byte(b);
      ++i;
    }
  }
  return shown;
}

bool expected_line_to_cp932(std::string_view line, const std::map<std::string, long>* vars,
                            std::string& out, std::string& error) {
  bool guarded = false;
  if (!line.empty() && line.back() == '$') {
    line.remove_suffix(1);
    guarded = true;
  }
  if (!guarded && !line.empty() && (line.back() == ' ' || line.back() == '\t')) {
    error = "trailing blank: end the line with $ so that it cannot get lost";
    return false;
  }
  std::string bytes;
  std::string text;  // UTF-8 waiting for conversion
  bool line_end = true;
  auto flush = [&]() {
    if (text.empty()) return true;
    bool ok = utf8_to_cp932(text, bytes, error);
    text.clear();
    return ok;
  };
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\') {
      if (i + 1 >= line.size()) return error = "lone \\ at the end of the line", false;
      char e = line[++i];
      if (e == 'x') {
        if (i + 2 >= line.size() + 0 || !is_hex_digit(line[i + 1]) || !is_hex_digit(line[i + 2]))
          return error = "\\x needs two hex digits", false;
        if (!flush()) return false;
        bytes += static_cast<char>(hex_value(line[i + 1]) * 16 + hex_value(line[i + 2]));
        i += 2;
      } else if (e == 'c') {
        if (i + 1 != line.size()) return error = "\\c must end the line", false;
        line_end = false;
      } else if (e == '\\' || e == '{' || e == '}') {
        text += e;
      } else {
        return error = std::string("unknown escape \\") + e, false;
      }
      continue;
    }
    if (c == '{' && vars) {
      size_t close = line.find('}', i);
      if (close == std::string_view::npos) return error = "missing }", false;
      if (!substitute(line.substr(i + 1, close - i - 1), *vars, text, error)) return false;
      i = close;
      continue;
    }
    text += c;
  }
  if (!flush()) return false;
  if (line_end) bytes += '\n';
  out += bytes;
  return true;
}

namespace {
bool parse_cases(const std::string& path, std::string_view content, std::vector<Case>& cases,
                 std::string& error, bool& in_case);
}  // namespace

bool parse_case_file(const std::string& path, std::string_view content, std::vector<Case>& cases,
                     std::string& error) {
  bool in_case = false;
  if (parse_cases(path, content, cases, error, in_case)) return true;
  if (in_case) cases.pop_back();  // the half-read case is no case
  return false;
}

namespace {
bool parse_cases(const std::string& path, std::string_view content, std::vector<Case>& cases,
                 std::string& error, bool& in_case) {
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < content.size();) {
    size_t nl = content.find('\n', start);
    if (nl == std::string_view::npos) nl = content.size();
    std::string_view l = content.substr(start, nl - start);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    lines.push_back(l);
    start = nl + 1;
  }
  std::string stem = path.substr(path.find_last_of('/') + 1);
  stem = stem.substr(0, stem.find('.'));
  for (char& c : stem)
    if (!is_word_char(c)) c = '_';

  Defines defines;
  std::set<std::string> names;
  Case* cur = nullptr;
  bool cur_has_stdout = false;
  size_t k = 0;
  auto fail = [&](size_t index, const std::string& what) {
    error = path + ":" + std::to_string(index + 1) + ": " + what;
    return false;
  };
  auto finish = [&]() {
    if (!cur) return true;
    if (!cur_has_stdout) return fail(static_cast<size_t>(cur->line - 1), "case without stdout");
    if (cur->exit_code < 0) return fail(static_cast<size_t>(cur->line - 1), "case without exit");
    return true;
  };
  auto skippable = [&](std::string_view l) { return l.empty() || l[0] == '#' || is_blank(l); };
  // An indented block of hex, up to the next line that starts in column 0.
  auto hex_block = [&](std::string& bytes) {
    size_t first = k;
    std::string text;
    while (k < lines.size() && (skippable(lines[k]) || lines[k][0] == ' ' || lines[k][0] == '\t')) {
      text += lines[k];
      text += '\n';
      ++k;
    }
    std::string err;
    if (!parse_hex(text, defines, bytes, err, static_cast<int>(first) + 1)) {
      error = path + ":" + err.substr(5);  // "line N: ..." -> "path:N: ..."
      return false;
    }
    return true;
  };
  // "|" lines, and repeat/end around some of them when `repeats` is set.
  auto text_block = [&](std::string& bytes, bool repeats) {
    while (k < lines.size()) {
      std::string_view l = lines[k];
      if (!l.empty() && l[0] == '|') {
        if (!expected_line_to_cp932(l.substr(1), nullptr, bytes, error)) return fail(k, error);
        ++k;
      } else if (repeats && l.rfind("repeat ", 0) == 0) {
        std::vector<std::string> w;
        if (!split_args(l.substr(7), w, error)) return fail(k, error);
        if (w.size() != 3 || !is_word_char(w[0][0]) || !is_decimal(w[1]) || !is_decimal(w[2]) ||
            w[1].size() > 9 || w[2].size() > 9)
          return fail(k, "repeat needs: repeat NAME FROM TO");
        long from = std::stol(w[1]), to = std::stol(w[2]);
        size_t body = ++k;
        while (k < lines.size() && lines[k] != "end") {
          if (!skippable(lines[k]) && lines[k][0] != '|')
            return fail(k, "only | lines stand between repeat and end");
          ++k;
        }
        if (k >= lines.size()) return fail(body - 1, "repeat without end");
        std::map<std::string, long> vars;
        for (long v = from; v <= to; ++v) {
          vars[w[0]] = v;
          for (size_t j = body; j < k; ++j) {
            if (skippable(lines[j])) continue;
            if (!expected_line_to_cp932(lines[j].substr(1), &vars, bytes, error))
              return fail(j, error);
          }
        }
        ++k;  // end
      } else if (skippable(l)) {
        ++k;
      } else {
        break;
      }
    }
    return true;
  };

  while (k < lines.size()) {
    std::string_view l = lines[k];
    if (skippable(l)) {
      ++k;
      continue;
    }
    if (l[0] == ' ' || l[0] == '\t') return fail(k, "indented line outside a hex block");
    if (l[0] == '|') return fail(k, "text line outside a stdout or stdin block");
    size_t sp = l.find_first_of(" \t");
    std::string kw(l.substr(0, sp));
    std::string rest = sp == std::string_view::npos ? "" : trim(l.substr(sp));
    size_t at = k++;
    if (kw == "case") {
      if (!finish()) return false;
      if (rest.empty()) return fail(at, "case needs a name");
      for (char c : rest)
        if (!is_word_char(c)) return fail(at, "case names hold letters, digits and _ only");
      Case c;
      c.path = path;
      c.line = static_cast<int>(at) + 1;
      c.name = stem + "_" + rest;
      if (!names.insert(c.name).second) return fail(at, "second case named " + rest);
      cases.push_back(std::move(c));
      cur = &cases.back();
      in_case = true;
      cur_has_stdout = false;
      continue;
    }
    if (kw == "define") {
      if (rest.empty() || defines.count(rest)) return fail(at, "define needs a new name");
      std::string bytes;
      if (!hex_block(bytes)) return false;
      defines[rest] = bytes;
      continue;
    }
    if (!cur) return fail(at, "'" + kw + "' before the first case");
    if (kw == "args") {
      if (!cur->args.empty()) return fail(at, "second args line");
      if (!split_args(rest, cur->args, error)) return fail(at, error);
    } else if (kw == "exit") {
      if (!is_decimal(rest) || rest.size() > 3) return fail(at, "exit needs a number");
      cur->exit_code = std::stoi(rest);
    } else if (kw == "file" || kw == "written") {
      if (!valid_relative_name(rest)) return fail(at, "bad file name '" + rest + "'");
      FileBytes f;
      f.name = rest;
      f.line = static_cast<int>(at) + 1;
      if (!hex_block(f.bytes)) return false;
      (kw == "file" ? cur->inputs : cur->written).push_back(std::move(f));
    } else if (kw == "dir" || kw == "absent") {
      if (!valid_relative_name(rest)) return fail(at, "bad name '" + rest + "'");
      (kw == "dir" ? cur->dirs : cur->absent).push_back(rest);
    } else if (kw == "stdin") {
      if (cur->has_stdin) return fail(at, "second stdin block");
      cur->has_stdin = true;
      if (!text_block(cur->stdin_bytes, false)) return false;
    } else if (kw == "stdout") {
      if (cur_has_stdout) return fail(at, "second stdout block");
      cur_has_stdout = true;
      if (!text_block(cur->expected_stdout, true)) return false;
    } else {
      return fail(at, "unknown keyword '" + kw + "'");
    }
  }
  if (!finish()) return false;
  in_case = false;
  return true;
}
}  // namespace

std::string describe_text_difference(std::string_view expected, std::string_view actual) {
  if (expected == actual) return "";
  size_t off = 0;
  while (off < expected.size() && off < actual.size() && expected[off] == actual[off]) ++off;
  size_t line_start = 0;
  size_t line_no = 1;
  for (size_t i = 0; i < off; ++i)
    if (expected[i] == '\n') {
      ++line_no;
      line_start = i + 1;
    }
  std::string msg = "stdout differs at line " + std::to_string(line_no) + ", byte offset " +
                    std::to_string(off) + " (byte " + std::to_string(off - line_start + 1) +
                    " of the line); expected " + std::to_string(expected.size()) +
                    " bytes, got " + std::to_string(actual.size()) + "\n";
  if (line_start > 0) {
    size_t prev = expected.rfind('\n', line_start - 2);
    prev = prev == std::string_view::npos ? 0 : prev + 1;
    msg += "  line before: " + shown_line(line_at(expected, prev)) + "\n";
  }
  msg += "  expected:    " + shown_line(line_at(expected, line_start)) + "\n";
  msg += "  actual:      " + shown_line(line_at(actual, line_start)) + "\n";
  return msg;
}

std::string describe_byte_difference(std::string_view expected, std::string_view actual) {
  if (expected == actual) return "";
  size_t off = 0;
  while (off < expected.size() && off < actual.size() && expected[off] == actual[off]) ++off;
  auto around = [&](std::string_view b) {
    std::string s;
    size_t from = off >= 8 ? off - 8 : 0;
    for (size_t i = from; i < b.size() && i < off + 8; ++i) {
      char buf[8];
      std::snprintf(buf, sizeof buf, i == off ? "[%02X]" : " %02X ",
                    static_cast<unsigned char>(b[i]));
      s += buf;
    }
    return s.empty() ? std::string("<no bytes>") : s;
  };
  char head[160];
  std::snprintf(head, sizeof head,
                "%zu bytes expected, %zu written; first difference at offset %zu (0x%zx)\n", expected.size(),
                actual.size(), off, off);
  return std::string(head) + "  expected: " + around(expected) + "\n  actual:   " + around(actual) +
         "\n";
}

}  // namespace golden
