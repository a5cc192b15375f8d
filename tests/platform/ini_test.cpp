// The INI layer keeps the classic settings-file behaviour: case-insensitive names,
// defaults for anything missing, atomic writes, and failures reported, not hidden.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ini.h"
#include "support/temp_dir.h"

using namespace platform;
using testsupport::readFile;
using testsupport::TempDir;

TEST(Ini, MissingFileSectionOrKeyGivesDefault) {
  TempDir t;
  std::string f = t / "missing.ini";
  EXPECT_EQ(ini::readString(f, "A", "b", "dflt"), "dflt");
  EXPECT_EQ(ini::readInt(f, "A", "b", 42), 42);
  EXPECT_TRUE(ini::readSection(f, "A").empty());
  t.write("x.ini", "[A]\nk=1\n");
  EXPECT_EQ(ini::readString(t / "x.ini", "B", "k", "d"), "d");
  EXPECT_EQ(ini::readString(t / "x.ini", "A", "other", "d"), "d");
}

TEST(Ini, SectionsAndKeysIgnoreCase) {
  TempDir t;
  std::string f = t.write("s.ini", "[Drag&Drop]\nAcceptFiles=0\n[other]\nAcceptFiles=5\n");
  EXPECT_EQ(ini::readInt(f, "DRAG&DROP", "ACCEPTFILES", 1), 0);
  ASSERT_TRUE(ini::writeString(f, "drag&drop", "acceptfiles", "1"));
  EXPECT_EQ(ini::readInt(f, "DRAG&DROP", "AcceptFiles", 7), 1);
  EXPECT_EQ(ini::readInt(f, "OTHER", "acceptfiles", 7), 5);
  // The key was replaced in place, not added a second time.
  EXPECT_EQ(ini::readSection(f, "Drag&Drop").size(), 1u);
}

TEST(Ini, ValuesMayHoldEqualsAndSemicolons) {
  TempDir t;
  std::string f = t / "v.ini";
  ASSERT_TRUE(ini::writeString(f, "USER", "1", "Filename;True;80"));
  ASSERT_TRUE(ini::writeString(f, "X", "expr", "a=b;c=d"));
  EXPECT_EQ(ini::readString(f, "USER", "1", ""), "Filename;True;80");
  EXPECT_EQ(ini::readString(f, "X", "expr", ""), "a=b;c=d");
}

TEST(Ini, SectionListingKeepsFileOrder) {
  TempDir t;
  std::string f = t.write("r.ini", "[RECENT]\n0=/a.zip\n; comment\n1 = /b.zip \n\n[USER]\n1=x\n");
  EXPECT_EQ(ini::readSection(f, "recent"), (std::vector<std::string>{"0=/a.zip", "1=/b.zip"}));
  ASSERT_TRUE(ini::writeString(f, "RECENT", "2", "/c.zip"));
  EXPECT_EQ(ini::readSection(f, "RECENT").back(), "2=/c.zip");
  EXPECT_EQ(ini::readSection(f, "USER"), (std::vector<std::string>{"1=x"}));
  EXPECT_NE(readFile(f).find("; comment"), std::string::npos);
}

TEST(Ini, IntegersAndBooleans) {
  TempDir t;
  std::string f = t.write("i.ini", "[C]\nneg=-2147483643\nhex=$80000005\nbad=12abc\nyes=3\nempty=\n");
  EXPECT_EQ(ini::readInt(f, "C", "neg", 0), -2147483643);
  EXPECT_EQ(ini::readInt(f, "C", "hex", 0), -2147483643);
  EXPECT_EQ(ini::readInt(f, "C", "bad", 9), 9);
  EXPECT_EQ(ini::readInt(f, "C", "empty", 9), 9);
  EXPECT_TRUE(ini::readBool(f, "C", "yes", false));
  ASSERT_TRUE(ini::writeBool(f, "C", "yes", false));
  EXPECT_EQ(ini::readString(f, "C", "yes", ""), "0");
}

TEST(Ini, ValuesAreCutAt2047Characters) {
  TempDir t;
  std::string f = t / "l.ini";
  ASSERT_TRUE(ini::writeString(f, "L", "k", std::string(3000, 'x')));
  EXPECT_EQ(ini::readString(f, "L", "k", "").size(), ini::kMaxValueLength);
}

TEST(Ini, FileNameMatchesWithoutCase) {
  TempDir t;
  t.write("Kelvory.Ini", "[A]\nb=c\n");
  EXPECT_EQ(ini::readString(t / "Kelvory.ini", "A", "b", ""), "c");
  ASSERT_TRUE(ini::writeString(t / "KELVORY.INI", "A", "b", "d"));
  EXPECT_EQ(ini::readString(t / "Kelvory.Ini", "A", "b", ""), "d");
  EXPECT_FALSE(std::filesystem::exists(t / "KELVORY.INI"));
}

TEST(Ini, WriteReplacesTheFileWhole) {
  TempDir t;
  std::string f = t.write("a.ini", "[A]\nk=old\n");
  struct stat before {};
  ::stat(f.c_str(), &before);
  ASSERT_TRUE(ini::writeString(f, "A", "k", "new"));
  struct stat after {};
  ::stat(f.c_str(), &after);
  EXPECT_NE(before.st_ino, after.st_ino) << "written in place, not replaced";
  // No temporary file is left behind.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(t.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(Ini, FailedWriteIsReportedAndChangesNothing) {
  TempDir t;
  std::string f = t.write("ro/a.ini", "[A]\nk=old\n");
  ::chmod((t / "ro").c_str(), 0555);
  std::string error;
  EXPECT_FALSE(ini::writeString(f, "A", "k", "new", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ini::readString(f, "A", "k", ""), "old");
}

TEST(Ini, ReadOnlyFileIsNotReplaced) {
  TempDir t;
  std::string f = t.write("a.ini", "[A]\nk=old\n");
  ::chmod(f.c_str(), 0444);
  std::string error;
  // Even the super-user gets a refusal: a read-only settings file stays as it is.
  EXPECT_FALSE(ini::writeString(f, "A", "k", "new", &error));
  EXPECT_EQ(ini::readString(f, "A", "k", ""), "old");
}

TEST(Ini, LineBreaksInValuesAreRefused) {
  TempDir t;
  std::string error;
  EXPECT_FALSE(ini::writeString(t / "n.ini", "A", "k", "two\nlines", &error));
  EXPECT_FALSE(std::filesystem::exists(t / "n.ini"));
}
