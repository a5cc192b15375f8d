// Entry names are made safe or refused in one place, and link targets must stay
// inside the target folder.
#include <gtest/gtest.h>

#include <string>

#include "zipcore/case_name.h"
#include "zipcore/safepath.h"

namespace {

struct NameCheck {
  const char* name;
  const char* safe;  // parts joined with "/", "" = refused
  bool changed;
};

class EntryNames : public ::testing::TestWithParam<NameCheck> {};

TEST_P(EntryNames, MadeSafeOrRefused) {
  zipcore::SafeName s = zipcore::checkEntryName(GetParam().name);
  EXPECT_EQ(s.ok() ? zipcore::joinParts(s.parts, s.parts.size()) : "", GetParam().safe) << GetParam().name;
  if (s.ok()) { EXPECT_EQ(s.changed, GetParam().changed) << GetParam().name; }
}

INSTANTIATE_TEST_SUITE_P(Table, EntryNames,
                         ::testing::Values(NameCheck{"a/b.txt", "a/b.txt", false}, NameCheck{"a/b/", "a/b", false},
                                           NameCheck{"/etc/passwd", "etc/passwd", true},
                                           NameCheck{"C:\\x\\y.txt", "x/y.txt", true}, NameCheck{"./a//b", "a/b", true},
                                           NameCheck{"..", "", false}, NameCheck{"a/../b", "", false},
                                           NameCheck{"a\\..\\..\\b", "", false}, NameCheck{"...", "...", false},
                                           NameCheck{"..a/b..", "..a/b..", false}, NameCheck{"/", "", false},
                                           NameCheck{"", "", false}, NameCheck{"C:", "", false}),
                         [](const ::testing::TestParamInfo<NameCheck>& info) {
                           return caseName(info.index, info.param.name);
                         });

TEST(EntryNamesExtra, NulAndOverlongPartsAreRefused) {
  EXPECT_FALSE(zipcore::checkEntryName(std::string("a\0b", 3)).ok());
  EXPECT_FALSE(zipcore::checkEntryName(std::string(300, 'x')).ok());
  EXPECT_TRUE(zipcore::checkEntryName(std::string(255, 'x')).ok());
}

struct LinkCheck {
  const char* at;
  const char* target;
  bool inside;
};

class LinkTargets : public ::testing::TestWithParam<LinkCheck> {};

TEST_P(LinkTargets, InsideOrNot) {
  auto parts = zipcore::checkEntryName(GetParam().at).parts;
  EXPECT_EQ(zipcore::linkTargetInside(parts, GetParam().target), GetParam().inside)
      << GetParam().at << " -> " << GetParam().target;
}

INSTANTIATE_TEST_SUITE_P(Table, LinkTargets,
                         ::testing::Values(LinkCheck{"l", "x", true}, LinkCheck{"l", "../x", false},
                                           LinkCheck{"a/l", "../x", true}, LinkCheck{"a/l", "../../x", false},
                                           LinkCheck{"a/b/l", "../../c/d", true}, LinkCheck{"l", "/etc/passwd", false},
                                           LinkCheck{"l", "C:/x", false}, LinkCheck{"a/l", "b/../../x", false},
                                           LinkCheck{"a/l", "./b/./c", true}, LinkCheck{"l", "", false},
                                           LinkCheck{"a/l", "..\\..\\x", false}),
                         [](const ::testing::TestParamInfo<LinkCheck>& info) {
                           return caseName(info.index, std::string(info.param.at) + "_to_" + info.param.target);
                         });

}  // namespace
