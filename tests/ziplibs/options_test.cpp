// The block's options do what they say: folder names, recursion, hidden files,
// folder entries, 8.3 names, update, freshen, move, archive time, delete, and on
// the extracting side overwrite, update, freshen, test, times and permissions.
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "ziplibs/ziplib_fixture.h"
#include "ziplibs/zip_builder.h"

namespace fs = std::filesystem;

namespace ziptest {
namespace {

class Options : public ZipLibTest {
 protected:
  AddRequest addReq(std::vector<std::string> specs) {
    AddRequest r;
    r.archive = path("a.zip");
    r.specs = std::move(specs);
    r.folder = tmp.path();
    return r;
  }
  ExtractRequest extractReq(const std::string& folder) {
    fs::create_directories(path(folder));
    ExtractRequest r;
    r.archive = path("a.zip");
    r.folder = path(folder);
    return r;
  }
  // Entry names of a.zip, as the extractor's test run reports them.
  std::set<std::string> names() {
    ExtractRequest r;
    r.archive = path("a.zip");
    r.test = true;
    lib.extract(r);
    std::set<std::string> out;
    for (const Event& e : lib.events)
      if (e.action == ZIPLIB_ACTION_FILE_BEGIN) out.insert(e.text);
    return out;
  }
  void setTime(const std::string& file, time_t t) {
    struct utimbuf u {
      t, t
    };
    ASSERT_EQ(::utime(path(file).c_str(), &u), 0);
  }
};

TEST_F(Options, FolderNamesRecursionHiddenAndFolderEntries) {
  makeSourceTree();
  AddRequest r = addReq({"src/"});
  EXPECT_EQ(lib.add(r), 1);  // without recursion: the files in src/ itself, hidden ones skipped
  EXPECT_EQ(names(), (std::set<std::string>{"src/readme.txt"}));

  fs::remove(path("a.zip"));
  r.recurse = true;
  EXPECT_EQ(lib.add(r), 5);
  EXPECT_EQ(names(), (std::set<std::string>{"src/readme.txt", "src/docs/lorem.txt", "src/docs/empty.txt",
                                            "src/bin/random.bin", "src/nested/a/b/c/deep.txt"}));

  fs::remove(path("a.zip"));
  r.hidden = r.separateDirs = true;
  EXPECT_EQ(lib.add(r), 14);
  EXPECT_TRUE(names().count("src/.hidden"));
  EXPECT_TRUE(names().count("src/emptydir/"));

  fs::remove(path("a.zip"));
  r = addReq({"src/*.txt"});
  r.recurse = true;
  r.dirNames = false;
  EXPECT_EQ(lib.add(r), 4);
  EXPECT_EQ(names(), (std::set<std::string>{"readme.txt", "lorem.txt", "empty.txt", "deep.txt"}));
}

TEST_F(Options, AbsoluteSpecsAreStoredWithoutTheirRoot) {
  writeFile(path("f.txt"), "x");
  AddRequest r = addReq({path("f.txt")});
  r.folder.clear();
  EXPECT_EQ(lib.add(r), 1);
  EXPECT_EQ(names(), (std::set<std::string>{path("f.txt").substr(1)}));
}

TEST_F(Options, ForceDosMakesShortUpperCaseNames) {
  writeFile(path("src/Long File Name.text"), "x");
  writeFile(path("src/ok.c"), "y");
  AddRequest r = addReq({"src/*"});
  r.forceDos = true;
  EXPECT_EQ(lib.add(r), 2);
  EXPECT_EQ(names(), (std::set<std::string>{"SRC/LONG_FIL.TEX", "SRC/OK.C"}));
}

// MS-DOS names change the names only: links are stored as links either way and
// come back as links, and the one leading out of the target folder is refused
// either way.
TEST_F(Options, LinksAreStoredAsLinksWithOrWithoutMsDosNames) {
  writeFile(path("src/target.txt"), "pointed at");
  fs::create_symlink("target.txt", path("src/shortcut"));
  fs::create_symlink("../../outside/secret.txt", path("src/escape"));
  writeFile(path("outside/secret.txt"), "keep out");
  for (bool dos : {false, true}) {
    SCOPED_TRACE(dos ? "MS-DOS names" : "own names");
    const std::string folder = dos ? "dos" : "plain";
    AddRequest r = addReq({"src/*"});
    r.archive = path(folder + ".zip");
    r.forceDos = dos;
    ASSERT_EQ(lib.add(r), 3) << ::testing::PrintToString(lib.problems());
    ExtractRequest x = extractReq("out-" + folder);
    x.archive = r.archive;
    EXPECT_EQ(lib.extract(x), 2);
    const std::string src = path("out-" + folder + (dos ? "/SRC/" : "/src/"));
    const std::string link = src + (dos ? "SHORTCUT" : "shortcut");
    ASSERT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(fs::read_symlink(link), "target.txt");
    EXPECT_EQ(fileBytes(src + (dos ? "TARGET.TXT" : "target.txt")), "pointed at");
    EXPECT_FALSE(fs::exists(fs::symlink_status(src + (dos ? "ESCAPE" : "escape"))));
    EXPECT_TRUE(lib.anyProblemContains(dos ? "SRC/ESCAPE: link to" : "src/escape: link to"));
  }
  EXPECT_EQ(fileBytes(path("outside/secret.txt")), "keep out");
}

TEST_F(Options, UpdateAndFreshenCompareModificationTimes) {
  writeFile(path("old.txt"), "old");
  writeFile(path("new.txt"), "new");
  setTime("old.txt", 1600000000);
  setTime("new.txt", 1600000000);
  EXPECT_EQ(lib.add(addReq({"old.txt", "new.txt"})), 2);

  writeFile(path("new.txt"), "newer contents");
  setTime("new.txt", 1700000000);
  writeFile(path("extra.txt"), "extra");
  AddRequest r = addReq({"old.txt", "new.txt", "extra.txt"});
  r.freshen = true;
  EXPECT_EQ(lib.add(r), 1);  // only new.txt: freshen adds nothing new
  EXPECT_EQ(names(), (std::set<std::string>{"old.txt", "new.txt"}));
  r.freshen = false;
  r.update = true;
  EXPECT_EQ(lib.add(r), 1);  // extra.txt: the others are up to date
  EXPECT_EQ(names(), (std::set<std::string>{"old.txt", "new.txt", "extra.txt"}));
  EXPECT_EQ(lib.add(r), 0);  // nothing newer: the archive is left alone

  ExtractRequest x = extractReq("out");
  EXPECT_EQ(lib.extract(x), 3);
  EXPECT_EQ(fileBytes(path("out/new.txt")), "newer contents");
}

TEST_F(Options, MoveDeletesSourcesOnlyAfterTheArchiveIsWritten) {
  makeSourceTree();
  auto before = readTree(path("src"));
  AddRequest r = addReq({"src/"});
  r.recurse = r.move = r.hidden = true;
  EXPECT_EQ(lib.add(r), 6);
  EXPECT_FALSE(exists(path("src")));  // files gone, and the folders they left empty
  ExtractRequest x = extractReq("out");
  x.archive = path("a.zip");
  EXPECT_EQ(lib.extract(x), 6);
  auto after = readTree(path("out/src"));
  std::erase_if(before, [](const auto& kv) { return kv.first.back() == '/'; });  // folders: no entries
  std::erase_if(after, [](const auto& kv) { return kv.first.back() == '/'; });
  EXPECT_EQ(after, before);
}

TEST_F(Options, ArchiveTimeBecomesTheNewestEntrys) {
  writeFile(path("a.txt"), "a");
  writeFile(path("b.txt"), "b");
  setTime("a.txt", 1500000000);
  setTime("b.txt", 1500000300);
  AddRequest r = addReq({"a.txt", "b.txt"});
  r.zipTime = true;
  EXPECT_EQ(lib.add(r), 2);
  struct stat st {};
  ASSERT_EQ(::stat(path("a.zip").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1500000300);
}

// With no entry left there is no newest entry's time: the archive keeps its own
// (not the start of 1970).
TEST_F(Options, ArchiveTimeStaysWhenNoEntryIsLeft) {
  writeFile(path("a.txt"), "a");
  setTime("a.txt", 1500000000);
  AddRequest r = addReq({"a.txt"});
  r.zipTime = true;
  ASSERT_EQ(lib.add(r), 1);
  setTime("a.zip", 1600000000);
  r.specs = {"*"};
  EXPECT_EQ(lib.remove(r), 1);
  struct stat st {};
  ASSERT_EQ(::stat(path("a.zip").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000000);
  EXPECT_EQ(st.st_size, 22) << "an empty archive";
}

TEST_F(Options, DeleteByNameAndWildcardKeepsTheRestByteForByte) {
  makeSourceTree();
  AddRequest r = addReq({"src/"});
  r.recurse = true;
  ASSERT_EQ(lib.add(r), 5);
  EXPECT_EQ(lib.remove(path("a.zip"), {"src/docs/*", "src/readme.txt", "nothing.here"}), 3);
  EXPECT_TRUE(lib.anyProblemContains("nothing.here"));
  EXPECT_EQ(names(), (std::set<std::string>{"src/bin/random.bin", "src/nested/a/b/c/deep.txt"}));
  ExtractRequest x = extractReq("out");
  EXPECT_EQ(lib.extract(x), 2);
  EXPECT_EQ(fileBytes(path("out/src/bin/random.bin")), fileBytes(path("src/bin/random.bin")));
  EXPECT_EQ(lib.remove(path("a.zip"), {"absent*"}), 0);
}

// Names holding "*" or "?": as patterns they choose every match (what callers
// that leave the literal word 0 get), as literal names only themselves, in both
// block layouts, for deleting, extracting and adding.
TEST_F(Options, LiteralNamesChooseOnlyThemselves) {
  for (bool oldLayout : {false, true}) {
    const std::string zip = buildZip({craft("a?b.txt", "question"), craft("axb.txt", "x"), craft("a*.txt", "star")});
    writeFile(path("a.zip"), zip);
    EXPECT_EQ(lib.remove(path("a.zip"), {"a?b.txt"}, true, oldLayout), 1);
    EXPECT_EQ(names(), (std::set<std::string>{"axb.txt", "a*.txt"}));
    writeFile(path("a.zip"), zip);
    EXPECT_EQ(lib.remove(path("a.zip"), {"a?b.txt"}, false, oldLayout), 2);
    EXPECT_EQ(names(), (std::set<std::string>{"a*.txt"}));

    writeFile(path("a.zip"), zip);
    fs::remove_all(path("out"));
    ExtractRequest x = extractReq("out");
    x.specs = {"a*.txt"};
    x.literal = true;
    x.oldLayout = oldLayout;
    EXPECT_EQ(lib.extract(x), 1);
    EXPECT_EQ(fileBytes(path("out/a*.txt")), "star");
    EXPECT_FALSE(exists(path("out/axb.txt")));
    x.literal = false;
    x.overwrite = true;
    EXPECT_EQ(lib.extract(x), 3);
  }

  fs::create_directories(path("files"));
  for (const char* f : {"a*.txt", "ab.txt", "abc.txt"}) writeFile(path(std::string("files/") + f), f);
  fs::remove(path("a.zip"));
  AddRequest r = addReq({"files/a*.txt"});
  r.literal = true;
  EXPECT_EQ(lib.add(r), 1);
  EXPECT_EQ(names(), (std::set<std::string>{"files/a*.txt"}));
  fs::remove(path("a.zip"));
  r.literal = false;
  EXPECT_EQ(lib.add(r), 3);
  // A literal name that does not exist is missing, not a pattern matching nothing.
  r = addReq({"files/a?.txt"});
  r.literal = true;
  EXPECT_EQ(lib.add(r), 0);
  EXPECT_TRUE(lib.anyProblemContains("files/a?.txt"));
}

// Adding to an archive copies the members that stay as they are stored: their
// compressed bytes appear unchanged in the new archive.
TEST_F(Options, UntouchedMembersAreCopiedNotRecompressed) {
  std::string text = textData(200000, 9);
  writeFile(path("a.zip"), buildZip({craft("kept.txt", text)}));
  std::string packed = rawDeflate(text);
  writeFile(path("new.txt"), "new");
  AddRequest r = addReq({"new.txt"});
  r.level = 9;
  EXPECT_EQ(lib.add(r), 1);
  EXPECT_NE(fileBytes(path("a.zip")).find(packed), std::string::npos);
  EXPECT_EQ(names(), (std::set<std::string>{"kept.txt", "new.txt"}));
}

// A new self-extracting program (stub, settings block, empty end record pointing
// behind both) gets its entries after the bytes in front, which stay as they were.
TEST_F(Options, SelfExtractingStubIsKept) {
  std::string stub =
      "\x7f"
      "ELF stub program" +
      randomData(4000, 5) + std::string(256, 'S');
  std::string eocd = std::string("PK\x05\x06", 4) + std::string(12, '\0');
  std::uint32_t off = static_cast<std::uint32_t>(stub.size());
  for (int i = 0; i < 4; ++i) eocd.push_back(static_cast<char>((off >> (8 * i)) & 0xFF));
  eocd += std::string(2, '\0');
  writeFile(path("a.exe"), stub + eocd);
  ::chmod(path("a.exe").c_str(), 0755);
  writeFile(path("f.txt"), textData(5000));
  AddRequest r = addReq({"f.txt"});
  r.archive = path("a.exe");
  EXPECT_EQ(lib.add(r), 1);
  EXPECT_EQ(fileBytes(path("a.exe")).substr(0, stub.size()), stub);
  struct stat st {};
  ::stat(path("a.exe").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  r.specs = {"g.txt"};
  writeFile(path("g.txt"), "second");
  EXPECT_EQ(lib.add(r), 1);
  EXPECT_EQ(fileBytes(path("a.exe")).substr(0, stub.size()), stub);
  ExtractRequest x = extractReq("out");
  x.archive = path("a.exe");
  EXPECT_EQ(lib.extract(x), 2);
  EXPECT_EQ(fileBytes(path("out/f.txt")), textData(5000));
  if (testsupport::haveProgram("unzip")) {
    EXPECT_EQ(testsupport::shell("unzip -tq '" + path("a.exe") + "' >/dev/null 2>&1"), 0);
  }
}

TEST_F(Options, ExtractOverwriteUpdateFreshen) {
  writeFile(path("a.txt"), "archive a");
  writeFile(path("b.txt"), "archive b");
  setTime("a.txt", 1600000000);
  setTime("b.txt", 1600000000);
  ASSERT_EQ(lib.add(addReq({"a.txt", "b.txt"})), 2);
  writeFile(path("out/a.txt"), "local a");
  setTime("out/a.txt", 1500000000);  // older than the entry

  ExtractRequest x = extractReq("out");
  EXPECT_EQ(lib.extract(x), 1);  // b.txt; a.txt exists and is not overwritten
  EXPECT_EQ(fileBytes(path("out/a.txt")), "local a");

  fs::remove(path("out/b.txt"));
  x.freshen = true;
  EXPECT_EQ(lib.extract(x), 1);  // a.txt is older: refreshed; b.txt is missing: left out
  EXPECT_EQ(fileBytes(path("out/a.txt")), "archive a");
  EXPECT_FALSE(exists(path("out/b.txt")));

  x.freshen = false;
  x.update = true;
  EXPECT_EQ(lib.extract(x), 1);  // b.txt is missing; a.txt is now up to date
  writeFile(path("out/a.txt"), "edited");
  x.update = false;
  x.overwrite = true;
  EXPECT_EQ(lib.extract(x), 2);
  EXPECT_EQ(fileBytes(path("out/a.txt")), "archive a");
}

// Entries whose names collide: of several files with one name the last is
// written, whether the folder was empty or not and whether overwriting is on or
// not; a file named like a folder other entries need is not written; every entry
// left out is reported by name with its reason.
TEST_F(Options, DuplicateNamesAndFileFolderClashes) {
  writeFile(path("a.zip"), buildZip({craft("d.txt", "first"), craft("x/e.txt", "e"), craft("d.txt", "second"),
                                     craft("f", "a file in the way"), craft("f/g.txt", "g"), craft("d.txt", "third"),
                                     craft("h/", ""), craft("h", "another file in the way"), craft("k.txt", "k")}));
  const std::vector<std::string> expected = {"d.txt: not written: a later entry of the same name is written instead",
                                             "d.txt: not written: a later entry of the same name is written instead",
                                             "f: not written: f must be a folder for other entries of the archive",
                                             "h: not written: h must be a folder for other entries of the archive"};
  for (bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "overwrite" : "keep");
    const std::string out = overwrite ? "over" : "keep";
    ExtractRequest x = extractReq(out);
    x.overwrite = overwrite;
    x.verbose = false;
    EXPECT_EQ(lib.extract(x), 5);  // d.txt, x/e.txt, f/g.txt, h/, k.txt
    EXPECT_EQ(lib.problems(), expected);
    EXPECT_EQ(fileBytes(path(out + "/d.txt")), "third");
    EXPECT_EQ(fileBytes(path(out + "/f/g.txt")), "g");
    EXPECT_TRUE(fs::is_directory(path(out + "/h")));

    // Over existing files: the last copy again, or none when overwriting is off
    // (and that is told, verbose or not).
    writeFile(path(out + "/d.txt"), "mine");
    EXPECT_EQ(lib.extract(x), overwrite ? 5 : 1);  // without overwrite only the folder entry h/
    EXPECT_EQ(fileBytes(path(out + "/d.txt")), overwrite ? "third" : "mine");
    const std::vector<std::string> kept = {"  exists, not overwritten: x/e.txt", "  exists, not overwritten: f/g.txt",
                                           "  exists, not overwritten: d.txt", "  exists, not overwritten: k.txt"};
    EXPECT_EQ(lib.infos(), overwrite ? std::vector<std::string>{} : kept);
  }

  // Without folder names, files from different folders collide too.
  writeFile(path("a.zip"), buildZip({craft("a/x.txt", "from a"), craft("b/x.txt", "from b")}));
  ExtractRequest x = extractReq("flat");
  x.dirNames = false;
  EXPECT_EQ(lib.extract(x), 1);
  EXPECT_EQ(fileBytes(path("flat/x.txt")), "from b");
  EXPECT_EQ(lib.problems(), std::vector<std::string>{"a/x.txt: not written: a later entry of the same name is "
                                                     "written instead"});
}

TEST_F(Options, SpecificationsSelectEntriesAndStarDotStarMeansAll) {
  makeSourceTree();
  AddRequest r = addReq({"src/"});
  r.recurse = r.separateDirs = true;
  ASSERT_EQ(lib.add(r), 13);
  ExtractRequest x = extractReq("out");
  x.specs = {"src/docs/*", "src/readme.txt", "missing.txt"};
  EXPECT_EQ(lib.extract(x), 4);  // docs/ (a "*" matches nothing too), its two files, readme.txt
  EXPECT_TRUE(lib.anyProblemContains("missing.txt"));
  x.test = true;
  x.specs = {"*.*"};
  EXPECT_EQ(lib.extract(x), 13);  // folder entries count
  x.specs = {};
  EXPECT_EQ(lib.extract(x), 13);
}

TEST_F(Options, WithoutFolderNamesFilesLandInTheTargetFolder) {
  makeSourceTree();
  AddRequest r = addReq({"src/"});
  r.recurse = r.separateDirs = true;
  ASSERT_EQ(lib.add(r), 13);
  ExtractRequest x = extractReq("out");
  x.dirNames = false;
  x.specs = {"src/nested/*", "src/readme.txt"};
  EXPECT_EQ(lib.extract(x), 6);  // 4 folders (nothing to do) and 2 files
  EXPECT_EQ(readTree(path("out")), (std::map<std::string, std::string>{{"deep.txt", "deep file\n"},
                                                                       {"readme.txt", digest(textData(3000, 1))}}));
}

TEST_F(Options, TimesAndPermissionsAreRestoredWithoutSetuid) {
  writeFile(path("tool"), "#!/bin/sh\n");
  ::chmod(path("tool").c_str(), 04755);
  writeFile(path("ro.txt"), "read only");
  ::chmod(path("ro.txt").c_str(), 0444);
  setTime("tool", 1234567890);
  ASSERT_EQ(lib.add(addReq({"tool", "ro.txt"})), 2);
  ExtractRequest x = extractReq("out");
  EXPECT_EQ(lib.extract(x), 2);
  struct stat st {};
  ASSERT_EQ(::stat(path("out/tool").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtime, 1234567890);
  ASSERT_EQ(::stat(path("out/ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

TEST_F(Options, NonAsciiNamesAreStoredAsUtf8WithTheFlag) {
  writeFile(path("Grüße 日本.txt"), "hallo");
  ASSERT_EQ(lib.add(addReq({"Grüße 日本.txt"})), 1);
  std::string zip = fileBytes(path("a.zip"));
  ASSERT_GE(zip.size(), 8u);
  EXPECT_EQ(static_cast<unsigned char>(zip[7]) & 0x08, 0x08);  // general flag bit 11 (high byte, bit 3)
  ExtractRequest x = extractReq("out");
  EXPECT_EQ(lib.extract(x), 1);
  EXPECT_EQ(fileBytes(path("out/Grüße 日本.txt")), "hallo");
}

TEST_F(Options, CallbacksReportTotalsFilesProgressAndTheCaller) {
  writeFile(path("big.txt"), textData(100000));
  writeFile(path("small.txt"), "s");
  ASSERT_EQ(lib.add(addReq({"big.txt", "small.txt"})), 2);
  std::vector<Event> begins, progress;
  for (const Event& e : lib.events) {
    EXPECT_EQ(e.caller, &lib);
    if (e.action == ZIPLIB_ACTION_FILE_BEGIN) begins.push_back(e);
    if (e.action == ZIPLIB_ACTION_PROGRESS) progress.push_back(e);
  }
  ASSERT_FALSE(lib.events.empty());
  EXPECT_EQ(lib.events[0].action, std::uint32_t{ZIPLIB_ACTION_TOTAL_FILES});
  EXPECT_EQ(lib.events[0].size, 2u);
  EXPECT_EQ(lib.events[1].action, std::uint32_t{ZIPLIB_ACTION_TOTAL_SIZE});
  EXPECT_EQ(lib.events[1].size, 100001u);
  EXPECT_EQ(lib.events.back().action, std::uint32_t{ZIPLIB_ACTION_BATCH_END});
  ASSERT_EQ(begins.size(), 2u);
  EXPECT_EQ(begins[0].text, "big.txt");
  EXPECT_EQ(begins[0].size, 100000u);
  std::uint64_t sum = 0;
  for (const Event& e : progress) {
    EXPECT_LE(e.size, 32768u);
    sum += e.size;
  }
  EXPECT_EQ(sum, 100001u);
  EXPECT_EQ(progress.size(), 5u);  // 3 full 32 KiB steps and the rest of big.txt, then small.txt
}

TEST_F(Options, MembersDeflateCannotShrinkAreStored) {
  writeFile(path("noise.bin"), randomData(50000));
  ASSERT_EQ(lib.add(addReq({"noise.bin"})), 1);
  std::string zip = fileBytes(path("a.zip"));
  EXPECT_EQ(zip[8], 0);  // method 0 in the local header
  EXPECT_LT(zip.size(), 50000u + 200u);
}

}  // namespace
}  // namespace ziptest
