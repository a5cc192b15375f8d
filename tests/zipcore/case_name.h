// Test names for table rows: the row's number and its text, letters and digits
// only ("3_a_c_vs_abc"), so that names stay readable and stable.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

inline std::string caseName(std::size_t index, const std::string& text) {
  std::string name = std::to_string(index) + "_";
  for (char c : text.substr(0, 48)) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  return name;
}
