// Name patterns match as they always have, and a list of literal names chooses only
// the entries of exactly those names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zipcore/case_name.h"
#include "zipcore/namematch.h"

namespace {

struct Pattern {
  const char* pattern;
  const char* name;
  bool match;
};

class Wildcards : public ::testing::TestWithParam<Pattern> {};

TEST_P(Wildcards, Match) {
  EXPECT_EQ(zipcore::wildcardMatch(GetParam().pattern, GetParam().name), GetParam().match)
      << GetParam().pattern << " vs " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Wildcards,
    ::testing::Values(Pattern{"*.txt", "a.txt", true}, Pattern{"*.txt", "dir/a.txt", true},
                      Pattern{"*.txt", "a.txt.bak", false}, Pattern{"a?c", "abc", true}, Pattern{"a?c", "ac", false},
                      Pattern{"a?c",
                              "a\xC3\xBC"
                              "c",
                              true},
                      Pattern{"*.*", "readme", true}, Pattern{"*.*", "dir/", true}, Pattern{"dir/*.*", "dir/x", true},
                      Pattern{"dir/*.*", "other/x", false}, Pattern{"x*.*", "xa", false},
                      Pattern{"*a*b*c", "xaybzc", true}, Pattern{"*.TXT", "a.txt", false}, Pattern{"x", "xy", false},
                      Pattern{"", "", true}, Pattern{"*", "", true},
                      Pattern{"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}),
    [](const ::testing::TestParamInfo<Pattern>& info) {
      return caseName(info.index, std::string(info.param.pattern) + "_vs_" + info.param.name);
    });

std::vector<std::string> chosen(const std::vector<std::string>& specs, bool literal,
                                const std::vector<std::string>& names) {
  zipcore::EntrySelector selector(specs, literal);
  std::vector<std::string> out;
  for (const std::string& n : names)
    if (selector.select(n, n)) out.push_back(n);
  return out;
}

TEST(EntrySelector, PatternsChooseEveryMatchLiteralNamesOnlyThemselves) {
  const std::vector<std::string> names{"a?b.txt", "axb.txt", "a*.txt", "abc.txt"};
  EXPECT_EQ(chosen({"a?b.txt"}, false, names), (std::vector<std::string>{"a?b.txt", "axb.txt"}));
  EXPECT_EQ(chosen({"a?b.txt"}, true, names), (std::vector<std::string>{"a?b.txt"}));
  EXPECT_EQ(chosen({"a*.txt"}, true, names), (std::vector<std::string>{"a*.txt"}));
  EXPECT_EQ(chosen({"a*.txt", "abc.txt"}, true, names), (std::vector<std::string>{"a*.txt", "abc.txt"}));
  EXPECT_EQ(chosen({"*.*"}, true, names), std::vector<std::string>{});
}

TEST(EntrySelector, MatchesTheStoredNameTooAndReportsUnusedNames) {
  const std::vector<std::string> specs{"M\x81nchen.txt", "missing", "M\xC3\xBCnchen.txt", "missing"};
  zipcore::EntrySelector selector(specs, true);
  EXPECT_TRUE(selector.select("M\xC3\xBCnchen.txt", "M\x81nchen.txt"));
  EXPECT_FALSE(selector.select("other", "other"));
  EXPECT_EQ(selector.unused(), (std::vector<std::string>{"missing", "missing"}));
}

TEST(EntrySelector, ManyLiteralNamesAmongManyEntries) {
  std::vector<std::string> specs, names;
  for (int i = 0; i < 50000; ++i) {
    names.push_back("dir/file" + std::to_string(i) + ".txt");
    if (i % 2 == 0) specs.push_back(names.back());
  }
  EXPECT_EQ(chosen(specs, true, names).size(), 25000u);
}

}  // namespace
