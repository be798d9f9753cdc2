#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Runs `fn` with standard output sent to a temporary file and returns the
// bytes it printed.
std::string capture_stdout(const std::function<void()>& fn);

// The code page 932 bytes of a UTF-8 text (as the program prints it).
std::string cp932(const std::string& utf8);

// Bytes from hex text such as "4D 54 72 6B 00000006"; blanks are ignored.
std::vector<uint8_t> hex(const std::string& text);
