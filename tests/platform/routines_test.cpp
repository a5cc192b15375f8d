// The shared routines: packed fields, text replacement that always ends, program
// paths, running programs with their exit codes, and elapsed-time texts.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/process.h"
#include "platform/routines.h"
#include "support/temp_dir.h"

using namespace platform;

TEST(GetField, FieldsAndBeyond) {
  EXPECT_EQ(GetField("a;b", 1, ";"), "a");
  EXPECT_EQ(GetField("a;b", 2, ";"), "b");
  EXPECT_EQ(GetField("a;b", 3, ";"), "");
  EXPECT_EQ(GetField("abc", 1, ";"), "abc");
  EXPECT_EQ(GetField("1;Filename;True;80", 4, ";"), "80");
  EXPECT_EQ(GetField(";x", 1, ";"), "");
  EXPECT_EQ(GetField(";x", 2, ";"), "x");
  EXPECT_EQ(GetField("a;;c", 3, ";"), "c");
  EXPECT_EQ(GetField("name<>pw", 2, "<>"), "pw");
}

TEST(ReplaceText, FirstOrAll) {
  std::string s = "1=Filename;True;80";
  ReplaceText("=", s, ";", false);
  EXPECT_EQ(s, "1;Filename;True;80");
  std::string t = "a.b.c";
  ReplaceText(".", t, "/", true);
  EXPECT_EQ(t, "a/b/c");
  std::string u = "a.b.c";
  ReplaceText(".", u, "/", false);
  EXPECT_EQ(u, "a/b.c");
}

TEST(ReplaceText, EndsWhenReplacementHoldsTheSearchedText) {
  std::string s = "x.y.z";
  ReplaceText(".", s, "..", true);
  EXPECT_EQ(s, "x..y..z");
  std::string t = "aa";
  ReplaceText("a", t, "aa", true);
  EXPECT_EQ(t, "aaaa");
}

TEST(ReplaceText, OccurrenceMadeByAReplacementIsReplacedToo) {
  // Searching again from the start finds "ab" formed by the first replacement.
  std::string s = "aabb";
  ReplaceText("ab", s, "", true);
  EXPECT_EQ(s, "");
}

TEST(AddBackslash, ExactlyOneSeparator) {
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("/tmp"), "/tmp/");
  EXPECT_EQ(AddBackslash("/tmp/"), "/tmp/");
  EXPECT_EQ(AddBackslash("/"), "/");
}

TEST(FormatElapsed, MinutesAndSeconds) {
  EXPECT_EQ(FormatElapsed(0, 61500), "01:01");
  EXPECT_EQ(FormatElapsed(1000, 3601000), "60:00");
  EXPECT_EQ(FormatElapsed(0, 999), "00:00");
  EXPECT_EQ(FormatElapsed(0, 6000000), "100:00");
  EXPECT_EQ(FormatElapsed(5000, 1000), "00:00");
}

TEST(ProgramPath, FolderFromEnvironment) {
  testsupport::TempDir t;
  ::setenv("KELVORY_HOME", t.path().c_str(), 1);
  EXPECT_EQ(ProgramPath(1), t.path() + "/");
  EXPECT_FALSE(ProgramPath(2).empty());
  EXPECT_EQ(ProgramPath(2).find('/'), std::string::npos);
  EXPECT_EQ(ProgramPath(0).front(), '/');
  ::unsetenv("KELVORY_HOME");
}

TEST(RunProgram, ExitCodesAndFailures) {
  EXPECT_FALSE(RunProgram("/bin/sh", "-c \"exit 3\"", 1, true));
  EXPECT_TRUE(RunProgram("/bin/sh", "-c \"exit 0\"", 1, true));
  EXPECT_TRUE(RunProgram("/bin/sh", "-c \"exit 3\"", 1, false));
  EXPECT_FALSE(RunProgram("/no/such/program", "", 1, true));
  EXPECT_FALSE(RunProgram("/no/such/program", "", 1, false));
}

TEST(RunProgram, ProgramNameWithBlanksIsOneArgument) {
  testsupport::TempDir t;
  std::string script = t.write("my tool.sh", "#!/bin/sh\n[ \"$1\" = \"a b\" ] && exit 0\nexit 1\n");
  ASSERT_TRUE(makeExecutable(script));
  EXPECT_TRUE(RunProgram(script, "\"a b\"", 1, true));
  EXPECT_FALSE(RunProgram(script, "a b", 1, true));
}

TEST(Process, SplitCommandLine) {
  EXPECT_EQ(splitCommandLine("a  \"b c\" \"\" d\\e"), (std::vector<std::string>{"a", "b c", "", "d\\e"}));
  EXPECT_EQ(splitCommandLine("\"q\\\"x\""), (std::vector<std::string>{"q\"x"}));
  EXPECT_TRUE(splitCommandLine("   ").empty());
}

TEST(Process, MakeExecutableNeverSetsSetuid) {
  testsupport::TempDir t;
  std::string f = t.write("prog", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(::chmod(f.c_str(), 04644), 0);
  EXPECT_TRUE(makeExecutable(f));
  struct stat st {};
  ::stat(f.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_FALSE(makeExecutable(t / "missing"));
}
