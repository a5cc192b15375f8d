// Code page 437 names, the desktop trash round trip, libraries loaded at run time,
// and the program folder rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/dynlib.h"
#include "platform/paths.h"
#include "platform/trash.h"
#include "support/temp_dir.h"

using namespace platform;
using testsupport::TempDir;

TEST(CodePage, Cp437ToUtf8) {
  EXPECT_EQ(cp437ToUtf8("M\x81nchen.txt"), "München.txt");
  EXPECT_EQ(cp437ToUtf8("Caf\x82"), "Café");
  EXPECT_EQ(cp437ToUtf8("\xE1\xDB"), "ß█");
  EXPECT_EQ(cp437ToUtf8("plain/ascii"), "plain/ascii");
}

TEST(CodePage, Utf8Validation) {
  EXPECT_TRUE(isValidUtf8("Grüße 😀"));
  EXPECT_FALSE(isValidUtf8("M\x81nchen"));
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));      // overlong "/"
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(isValidUtf8("\xE2\x82"));      // cut short
  EXPECT_TRUE(isAscii("abc"));
  EXPECT_FALSE(isAscii("ab\xC3\xA9"));
}

TEST(Trash, MoveAndRestore) {
  TempDir t;
  ::setenv("XDG_DATA_HOME", (t / "data").c_str(), 1);
  std::string f = t.write("work/doc.txt", "hello");
  TrashResult r = moveToTrash(f);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(std::filesystem::exists(f));
  EXPECT_EQ(testsupport::readFile(r.trashedPath), "hello");
  std::string info = testsupport::readFile(t / "data/Trash/info/doc.txt.trashinfo");
  EXPECT_NE(info.find("Path=" + f), std::string::npos);
  EXPECT_TRUE(isInsideTrash(r.trashedPath));
  EXPECT_FALSE(isInsideTrash(homeTrashFolder()));
  // A second item of the same name gets a name of its own.
  std::string g = t.write("work/doc.txt", "again");
  TrashResult r2 = moveToTrash(g);
  ASSERT_TRUE(r2.ok);
  EXPECT_NE(r2.trashedPath, r.trashedPath);
  std::string error;
  EXPECT_TRUE(restoreFromTrash(r.trashedPath, &error)) << error;
  EXPECT_EQ(testsupport::readFile(f), "hello");
  ::unsetenv("XDG_DATA_HOME");
}

TEST(Trash, RestoreRefusesToOverwrite) {
  TempDir t;
  ::setenv("XDG_DATA_HOME", (t / "data").c_str(), 1);
  std::string f = t.write("doc.txt", "one");
  TrashResult r = moveToTrash(f);
  ASSERT_TRUE(r.ok);
  t.write("doc.txt", "two");
  EXPECT_FALSE(restoreFromTrash(r.trashedPath));
  EXPECT_EQ(testsupport::readFile(f), "two");
  std::filesystem::remove(f);
  EXPECT_TRUE(restoreFromTrash(r.trashedPath));
  EXPECT_EQ(testsupport::readFile(f), "one");
  ::unsetenv("XDG_DATA_HOME");
}

TEST(DynLib, LoadsAndReportsErrors) {
  DynLib lib;
  EXPECT_FALSE(lib.load("/no/such/libfoo.so"));
  EXPECT_FALSE(lib.error().empty());
  ASSERT_TRUE(lib.load("libm.so.6")) << lib.error();
  EXPECT_NE(lib.symbol("cos"), nullptr);
  EXPECT_EQ(lib.symbol("NoSuchFunctionAnywhere"), nullptr);
  EXPECT_FALSE(lib.error().empty());
}

TEST(Paths, ProgramFolderFallsBackToTheUserFolder) {
  TempDir t;
  ::unsetenv("KELVORY_HOME");
  ::setenv("XDG_CONFIG_HOME", (t / "cfg").c_str(), 1);
  std::string f = programFolder();
  // The test binary's folder is writable, so it is the program folder; otherwise
  // the per-user folder under XDG_CONFIG_HOME is.
  if (isWritableDirectory(folderOf(executablePath())))
    EXPECT_EQ(f, folderOf(executablePath()) + "/");
  else
    EXPECT_EQ(f, t / "cfg/kelvory/");
  ::setenv("KELVORY_HOME", (t / "home").c_str(), 1);
  EXPECT_EQ(programFolder(), t / "home/");
  EXPECT_TRUE(directoryExists(t / "home"));
  ::unsetenv("KELVORY_HOME");
  ::unsetenv("XDG_CONFIG_HOME");
}

TEST(Paths, NamePieces) {
  EXPECT_EQ(extensionOf("/a/b.c/file.ZIP"), ".ZIP");
  EXPECT_EQ(extensionOf("/a/b.c/file"), "");
  EXPECT_EQ(fileNameOf("dir\\sub/x.txt"), "x.txt");
  EXPECT_EQ(folderOf("/x.txt"), "/");
  EXPECT_EQ(folderOf("x.txt"), "");
  EXPECT_EQ(toNativeSeparators("a\\b\\c"), "a/b/c");
}
