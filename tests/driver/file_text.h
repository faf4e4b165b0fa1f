// Reading a file the program wrote (a rate log), whole, from the test side.
#pragma once

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

namespace driver {

inline std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline size_t Lines(const std::string& bytes) {
    size_t n = 0;
    for (char c : bytes) n += c == '\n';
    return n;
}

}  // namespace driver
