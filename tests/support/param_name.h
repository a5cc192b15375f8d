// Names for the cases of parameterised test suites, readable and the same in every
// build (the default would be the case's index, or a dump of its bytes).
#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace testsupport {

// The case's index and a description of it, as a test name: letters and digits
// kept, every other byte "_" (test names allow nothing else). The index keeps two
// cases that read alike apart.
inline std::string caseName(std::size_t index, std::string_view what) {
  std::string name = std::to_string(index);
  if (!what.empty()) name += '_';
  for (char c : what) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  return name;
}

// A name generator for INSTANTIATE_TEST_SUITE_P: caseName of describe(param).
template <class Describe>
auto namedBy(Describe describe) {
  return [describe](const auto& info) { return caseName(info.index, describe(info.param)); };
}

}  // namespace testsupport
