// Hostile archives are refused or contained: nothing is written outside the
// target folder, no link is followed, a damaged member never leaves a file behind
// or replaces a good one, and memory stays bounded whatever the archive claims.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "zipcore/records.h"
#include "ziplibs/zip_builder.h"
#include "ziplibs/ziplib_fixture.h"
#include "support/param_name.h"

namespace fs = std::filesystem;

namespace ziptest {
namespace {

class Hostile : public ZipLibTest {
 protected:
  void SetUp() override {
    ZipLibTest::SetUp();
    fs::create_directories(path("t/out"));
    fs::create_directories(path("outside"));
  }
  int extract(const std::vector<CraftEntry>& entries, bool overwrite = true, bool test = false) {
    writeFile(path("t/a.zip"), buildZip(entries));
    ExtractRequest x;
    x.archive = path("t/a.zip");
    x.folder = path("t/out");
    x.overwrite = overwrite;
    x.test = test;
    return lib.extract(x);
  }
  // Everything below tmp except the target folder's contents and the archive.
  std::map<std::string, std::string> outsideTarget() {
    auto all = readTree(tmp.path());
    std::erase_if(all, [](const auto& kv) { return kv.first.rfind("t/out/", 0) == 0; });
    return all;
  }
  CraftEntry link(const std::string& name, const std::string& target) {
    CraftEntry e = craft(name, target);
    e.method = 0;
    e.mode = 0120777;
    return e;
  }
};

struct NameCase {
  const char* name;
  const char* landsAt;  // "" = refused
};

class TraversalNames : public Hostile, public ::testing::WithParamInterface<NameCase> {};

TEST_P(TraversalNames, RefusedOrKeptInside) {
  const NameCase& c = GetParam();
  const std::map<std::string, std::string> before = outsideTarget();
  int count = extract({craft(c.name, "payload"), craft("ok.txt", "fine")});
  EXPECT_EQ(count, *c.landsAt ? 2 : 1);
  EXPECT_EQ(fileBytes(path("t/out/ok.txt")), "fine");
  auto after = outsideTarget();
  after.erase("t/out/");
  after.erase("t/a.zip");
  auto expected = before;
  expected.erase("t/a.zip");
  EXPECT_EQ(after, expected);  // nothing new outside t/out
  if (*c.landsAt) { EXPECT_EQ(fileBytes(path("t/out/") + c.landsAt), "payload"); }
  ASSERT_FALSE(lib.problems().empty());  // refused or changed: reported either way
  EXPECT_NE(lib.problems()[0].find(c.name), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Names, TraversalNames,
                         ::testing::Values(NameCase{"../evil.txt", ""}, NameCase{"a/../../evil.txt", ""},
                                           NameCase{"../../outside/evil.txt", ""}, NameCase{"..\\..\\evil.txt", ""},
                                           NameCase{"a\\..\\..\\evil.txt", ""}, NameCase{"sub/..", ""},
                                           NameCase{"/etc/evil.txt", "etc/evil.txt"},
                                           NameCase{"//server/share/evil.txt", "server/share/evil.txt"},
                                           NameCase{"C:\\Windows\\evil.txt", "Windows/evil.txt"},
                                           NameCase{"C:evil.txt", "evil.txt"}, NameCase{"./././in.txt", "in.txt"}),
                         testsupport::namedBy([](const NameCase& c) { return std::string(c.name); }));

TEST_F(Hostile, AbsoluteNameNeverReachesItsPlace) {
  std::string victim = path("outside/victim.txt");
  EXPECT_EQ(extract({craft(victim, "overwritten?")}), 1);
  EXPECT_FALSE(exists(victim));
  EXPECT_EQ(fileBytes(path("t/out") + victim), "overwritten?");
}

TEST_F(Hostile, LinksAreMadeOnlyWhenTheyStayInside) {
  writeFile(path("outside/secret.txt"), "secret");
  int count = extract({craft("d/target.txt", "t"), link("d/ok", "target.txt"), link("d/up", "../d/target.txt"),
                       link("esc", "../outside/secret.txt"), link("abs", path("outside/secret.txt")),
                       link("d/deep", "../../outside"), link("tricky", "d/../../outside"), link("slash", "..\\x")});
  EXPECT_EQ(count, 3);
  EXPECT_EQ(fs::read_symlink(path("t/out/d/ok")), "target.txt");
  EXPECT_EQ(fileBytes(path("t/out/d/up")), "t");
  for (const char* refused : {"esc", "abs", "d/deep", "tricky", "slash"}) {
    EXPECT_FALSE(exists(path("t/out/") + refused)) << refused;
    EXPECT_TRUE(lib.anyProblemContains(std::string(refused) + ": link to")) << refused;
  }
}

// A link the archive made earlier is not followed by a later entry either.
TEST_F(Hostile, LaterEntriesDoNotWriteThroughLinks) {
  fs::create_directories(path("t/out/real"));
  int count = extract({link("ln", "real"), craft("ln/x.txt", "through the link")});
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(exists(path("t/out/real/x.txt")));
  // The folder the later entry needs wins over the link of that name.
  EXPECT_FALSE(fs::is_symlink(path("t/out/ln")));
  EXPECT_EQ(fileBytes(path("t/out/ln/x.txt")), "through the link");
  EXPECT_TRUE(lib.anyProblemContains("ln: not written: ln must be a folder"));
}

TEST_F(Hostile, ExistingLinksInTheTargetAreNotFollowed) {
  writeFile(path("outside/victim.txt"), "victim");
  fs::create_directory_symlink(path("outside"), path("t/out/sub"));
  fs::create_symlink(path("outside/victim.txt"), path("t/out/f.txt"));
  int count = extract({craft("sub/new.txt", "new"), craft("f.txt", "replaced")});
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(exists(path("outside/new.txt")));
  EXPECT_EQ(fileBytes(path("outside/victim.txt")), "victim");
  EXPECT_FALSE(fs::is_symlink(path("t/out/f.txt")));  // the link itself was replaced
  EXPECT_EQ(fileBytes(path("t/out/f.txt")), "replaced");
}

struct Damage {
  const char* what;
  CraftEntry (*make)();
  const char* reported;
};

CraftEntry withCrc() {
  CraftEntry e = craft("bad.txt", textData(5000));
  e.crc = crcOf(e.data) ^ 1;
  return e;
}
CraftEntry storedCrc() {
  CraftEntry e = withCrc();
  e.method = 0;
  return e;
}
CraftEntry sizeSmaller() {
  CraftEntry e = craft("bad.txt", textData(5000));
  e.size = 100;
  return e;
}
CraftEntry sizeLarger() {
  CraftEntry e = craft("bad.txt", textData(5000));
  e.size = 10000;
  return e;
}
CraftEntry truncatedData() {
  CraftEntry e = craft("bad.txt", textData(50000));
  e.packed = rawDeflate(e.data).substr(0, 3000);
  return e;
}
CraftEntry garbageData() {
  CraftEntry e = craft("bad.txt", textData(5000));
  e.packed = randomData(2000, 5);
  return e;
}
CraftEntry storedShort() {
  CraftEntry e = craft("bad.txt", textData(5000));
  e.method = 0;
  e.packed = e.data.substr(0, 4000);
  return e;
}
CraftEntry bigLie() {
  // 64 MiB of zeros that claim to be 1000 bytes: caught long before the end.
  CraftEntry e = craft("bad.txt", std::string(64u << 20, '\0'));
  e.size = 1000;
  return e;
}

class DamagedMembers : public Hostile, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedMembers, ReportedByNameWithoutTouchingTheOldFile) {
  const Damage& d = GetParam();
  writeFile(path("t/out/bad.txt"), "precious");
  EXPECT_EQ(extract({craft("good1.txt", "one"), d.make(), craft("good2.txt", "two")}), 2);
  EXPECT_EQ(fileBytes(path("t/out/bad.txt")), "precious");
  EXPECT_EQ(fileBytes(path("t/out/good2.txt")), "two");
  ASSERT_EQ(lib.problems().size(), 1u) << ::testing::PrintToString(lib.problems());
  EXPECT_EQ(lib.problems()[0].rfind("bad.txt: ", 0), 0u) << lib.problems()[0];
  EXPECT_NE(lib.problems()[0].find(d.reported), std::string::npos) << lib.problems()[0];
  fs::remove(path("t/out/bad.txt"));
  EXPECT_EQ(extract({d.make()}), 0);
  EXPECT_FALSE(exists(path("t/out/bad.txt")));
  EXPECT_TRUE(leftovers(tmp.path()).empty());
  EXPECT_EQ(extract({d.make()}, true, true), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedMembers,
                         ::testing::Values(Damage{"crc", withCrc, "CRC error"},
                                           Damage{"stored crc", storedCrc, "CRC error"},
                                           Damage{"size smaller", sizeSmaller, "larger than its recorded size"},
                                           Damage{"size larger", sizeLarger, "shorter than its recorded size"},
                                           Damage{"truncated", truncatedData, "damaged compressed data"},
                                           Damage{"garbage", garbageData, "damaged compressed data"},
                                           Damage{"stored short", storedShort, "recorded size differ"},
                                           Damage{"big lie", bigLie, "larger than its recorded size"}),
                         [](const auto& info) {
                           std::string n = info.param.what;
                           std::replace(n.begin(), n.end(), ' ', '_');
                           return n;
                         });

TEST_F(Hostile, UnsupportedMethodsAreReportedPerEntry) {
  CraftEntry bz = craft("bz.bin", "x"), lz = craft("lzma.bin", "y"), aes = craft("aes.bin", "z");
  bz.method = 12;
  lz.method = 14;
  aes.method = 99;
  aes.flags = 1;
  EXPECT_EQ(extract({bz, craft("plain.txt", "plain"), lz, aes}), 1);
  EXPECT_EQ(fileBytes(path("t/out/plain.txt")), "plain");
  EXPECT_TRUE(lib.anyProblemContains("bz.bin: compression method 12 (bzip2) not supported"));
  EXPECT_TRUE(lib.anyProblemContains("lzma.bin: compression method 14 (LZMA) not supported"));
  EXPECT_TRUE(lib.anyProblemContains("aes.bin: encryption method not supported"));
  EXPECT_EQ(readTree(path("t/out")).size(), 1u);
}

TEST_F(Hostile, PasswordsMissingOrWrongLeaveNoFile) {
  writeFile(path("secret.txt"), textData(20000));
  AddRequest r;
  r.archive = path("t/a.zip");
  r.specs = {"secret.txt"};
  r.folder = tmp.path();
  r.password = "right";
  r.encrypt = true;
  ASSERT_EQ(lib.add(r), 1);
  ExtractRequest x;
  x.archive = path("t/a.zip");
  x.folder = path("t/out");
  EXPECT_EQ(lib.extract(x), 0);
  EXPECT_TRUE(lib.anyProblemContains("secret.txt: password required"));
  x.password = "wrong";
  EXPECT_EQ(lib.extract(x), 0);
  EXPECT_TRUE(lib.anyProblemContains("password"));
  EXPECT_TRUE(readTree(path("t/out")).empty());
  x.password = "right";
  EXPECT_EQ(lib.extract(x), 1);
  EXPECT_EQ(fileBytes(path("t/out/secret.txt")), textData(20000));
}

// Password requests go to a caller with a window only. It is asked again after
// an answer that does not fit; the password that fitted opens the next entry
// without a request; an entry it skips or leaves unanswered is not written.
TEST_F(Hostile, PasswordRequestsOfACallerWithAWindow) {
  writeFile(path("s1.txt"), "one");
  writeFile(path("s2.txt"), textData(40000));
  writeFile(path("plain.txt"), "plain");
  AddRequest r;
  r.archive = path("t/a.zip");
  r.specs = {"s1.txt", "s2.txt"};
  r.folder = tmp.path();
  r.password = "right";
  r.encrypt = true;
  ASSERT_EQ(lib.add(r), 2);
  r.specs = {"plain.txt"};
  r.password.clear();
  r.encrypt = false;
  ASSERT_EQ(lib.add(r), 1);
  std::vector<Event> asked;
  std::vector<std::pair<std::uint32_t, std::string>> answers;
  lib.answerPassword = [&](const Event& e, std::string& password) {
    asked.push_back(e);
    if (answers.empty()) return std::uint32_t{ZIPLIB_CONTINUE};
    auto [answer, text] = answers.front();
    answers.erase(answers.begin());
    password = text;
    return answer;
  };
  ExtractRequest x;
  x.archive = path("t/a.zip");
  x.folder = path("t/out");
  x.overwrite = true;
  EXPECT_EQ(lib.extract(x), 1);
  EXPECT_TRUE(asked.empty()) << "no window, nobody asked";
  EXPECT_TRUE(lib.anyProblemContains("s1.txt: password required"));

  x.window = true;
  answers = {{ZIPLIB_ANSWER_PASSWORD, "wrong"}, {ZIPLIB_ANSWER_PASSWORD, "right"}};
  EXPECT_EQ(lib.extract(x), 3);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].text, "s1.txt");
  EXPECT_EQ(asked[0].code, 0u);
  EXPECT_EQ(asked[0].size, 0u);
  EXPECT_EQ(asked[1].code, std::uint32_t{ZIPLIB_E_PASSWORD}) << "the answer before did not fit";
  EXPECT_EQ(asked[1].size, 1u);
  EXPECT_EQ(fileBytes(path("t/out/s1.txt")), "one");
  EXPECT_EQ(fileBytes(path("t/out/s2.txt")), textData(40000));

  asked.clear();
  answers = {{ZIPLIB_ANSWER_SKIP, ""}};
  x.test = true;
  EXPECT_EQ(lib.extract(x), 1);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].text, "s2.txt");
  EXPECT_TRUE(lib.anyProblemContains("s1.txt: skipped: no password given"));
  EXPECT_TRUE(lib.anyProblemContains("s2.txt: password required")) << "unanswered: as without the request";

  // The block's password does not fit: the first request says so. An empty
  // answer is the empty password, which does not fit either.
  asked.clear();
  x.password = "bad";
  answers = {{ZIPLIB_ANSWER_PASSWORD, ""}};
  EXPECT_EQ(lib.extract(x), 1);
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].code, std::uint32_t{ZIPLIB_E_PASSWORD});
  EXPECT_TRUE(lib.anyProblemContains("s1.txt: wrong password"));
  EXPECT_TRUE(lib.anyProblemContains("s2.txt: wrong password"));
}

TEST_F(Hostile, OverlappingMembersAreRefused) {
  std::string data = textData(100000);
  CraftEntry first = craft("first.txt", data);
  CraftEntry twin = craft("twin.txt", data);
  twin.offset = 0;  // the same local header as first.txt
  EXPECT_EQ(extract({first, twin}), 1);
  EXPECT_TRUE(lib.anyProblemContains("twin.txt: it shares its local header with the entry first.txt; refused"));
}

// Deleting from or adding to an archive of overlapping members would write each
// of them out on its own: a small archive that passes every test and expands to
// many times its size. Such an archive is not rewritten, unless the members left
// no longer overlap.
TEST_F(Hostile, OverlappingMembersAreNotCarriedForward) {
  std::string data = textData(100000);
  CraftEntry twin = craft("twin.txt", data);
  twin.offset = 0;
  const std::string bomb = buildZip({craft("first.txt", data), twin, craft("other.txt", "o")});
  writeFile(path("t/a.zip"), bomb);
  EXPECT_EQ(lib.remove(path("t/a.zip"), {"other.txt"}), 0);
  EXPECT_TRUE(
      lib.anyProblemContains("t/a.zip: entry twin.txt: it shares its local header with the entry first.txt; "
                             "the archive is not rewritten (nothing was changed)"));
  writeFile(path("new.txt"), "new");
  AddRequest r;
  r.archive = path("t/a.zip");
  r.specs = {"new.txt"};
  r.folder = tmp.path();
  EXPECT_EQ(lib.add(r), 0);
  EXPECT_EQ(fileBytes(path("t/a.zip")), bomb);
  EXPECT_EQ(lib.remove(path("t/a.zip"), {"twin.txt"}), 1) << "what is left overlaps nothing";
  ExtractRequest x;
  x.archive = path("t/a.zip");
  x.test = true;
  EXPECT_EQ(lib.extract(x), 2);
}

// A local header saying another name ("../evil.txt") or method than the directory:
// a test fails the entry, an extraction goes by the directory and says so, and
// the archive is not rewritten with that header in it.
TEST_F(Hostile, LocalHeadersThatDisagreeAreReportedAndNotCarriedForward) {
  CraftEntry renamed = craft("good.txt", "contents");
  renamed.localName = "../evil.txt";
  CraftEntry method = craft("method.txt", "stored?");
  method.localMethod = 0;
  const std::vector<CraftEntry> entries{renamed, method, craft("plain.txt", "p")};
  EXPECT_EQ(extract(entries, true, true), 1);
  EXPECT_TRUE(lib.anyProblemContains("good.txt: its local header disagrees with the central directory (name)"));
  EXPECT_TRUE(
      lib.anyProblemContains("method.txt: its local header disagrees with the central directory (compression method)"));
  EXPECT_EQ(extract(entries), 3);
  EXPECT_EQ(fileBytes(path("t/out/good.txt")), "contents");
  EXPECT_FALSE(exists(path("t/evil.txt")));
  EXPECT_TRUE(lib.anyProblemContains(
      "good.txt: its local header disagrees with the central directory (name); the directory's values are used"));

  const std::string before = fileBytes(path("t/a.zip"));
  EXPECT_EQ(lib.remove(path("t/a.zip"), {"plain.txt"}), 0);
  EXPECT_TRUE(
      lib.anyProblemContains("entry good.txt: its local header disagrees with the central directory (name); "
                             "the archive is not rewritten"));
  EXPECT_EQ(fileBytes(path("t/a.zip")), before);
  EXPECT_EQ(lib.remove(path("t/a.zip"), {"good.txt", "method.txt"}), 2) << "the disagreeing entries go";
}

// Offsets pointing where no member can be are named for what they are.
TEST_F(Hostile, OffsetsOutsideTheDataAreNotCalledOverlaps) {
  CraftEntry past = craft("past.txt", "p");
  past.offset = 1u << 30;
  CraftEntry intoDirectory = craft("into.txt", "i");
  const std::string alone = buildZip({craft("ok.txt", "k")});
  intoDirectory.offset = zipcore::get32(alone, alone.size() - 6) + 5;  // inside the directory
  EXPECT_EQ(extract({craft("ok.txt", "k"), past, intoDirectory}, true, true), 1);
  EXPECT_TRUE(lib.anyProblemContains("past.txt: its local header offset points past the end of the archive; refused"));
  EXPECT_TRUE(lib.anyProblemContains("into.txt: its local header offset points into the central directory; refused"));
  EXPECT_FALSE(lib.anyProblemContains("overlap"));
}

// An end record counting more entries than its directory holds: some may be lost,
// so the archive is not rewritten; more headers than counted (a count kept modulo
// 65536) are all kept.
TEST_F(Hostile, RewritingNeverDropsEntriesTheCountClaims) {
  std::string zip = buildZip({craft("a", "1"), craft("b", "2"), craft("c", "3")});
  std::string claims5 = zip;
  claims5[claims5.size() - 14] = claims5[claims5.size() - 12] = 5;
  writeFile(path("t/a.zip"), claims5);
  EXPECT_EQ(lib.remove(path("t/a.zip"), {"a"}), 0);
  EXPECT_TRUE(lib.anyProblemContains("the end record counts 5 entries, the central directory holds only 3"));
  EXPECT_EQ(fileBytes(path("t/a.zip")), claims5);
  std::string claims1 = zip;
  claims1[claims1.size() - 14] = claims1[claims1.size() - 12] = 1;
  writeFile(path("t/a.zip"), claims1);
  EXPECT_EQ(lib.remove(path("t/a.zip"), {"a"}), 1);
  ExtractRequest x;
  x.archive = path("t/a.zip");
  x.test = true;
  EXPECT_EQ(lib.extract(x), 2);
}

// Callback texts are C strings of at most 512 bytes: a NUL in a name is written
// out instead of ending the text, and a long name gives up its middle so that the
// reason stays whole.
TEST_F(Hostile, MessagesKeepNamesVisibleAndReasonsWhole) {
  EXPECT_EQ(extract({craft(std::string("bad\0name", 8), "x")}), 0);
  EXPECT_TRUE(lib.anyProblemContains("bad\\x00name: refused: the name holds a NUL byte"));
  CraftEntry longName = craft("d/" + std::string(250, 'n') + "/" + std::string(250, 'm') + "/end.txt", "x");
  longName.method = 14;
  longName.packed = "lzma?";
  EXPECT_EQ(extract({longName}), 0);
  ASSERT_EQ(lib.problems().size(), 1u);
  const std::string text = lib.problems()[0];
  EXPECT_LE(text.size(), 512u);
  EXPECT_EQ(text.substr(0, 10), "d/nnnnnnnn");
  EXPECT_NE(text.find("..."), std::string::npos);
  const std::string reason = "mmm/end.txt: compression method 14 (LZMA) not supported";
  EXPECT_EQ(text.substr(text.size() - reason.size()), reason);
}

long rssKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Runs fn in a child process; returns the child's peak resident size in KiB
// above what it started with, and its exit status in status.
template <typename Fn>
long peakGrowthKiB(Fn fn, int& status) {
  long base = rssKiB();
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(fn());
  struct rusage ru {};
  ::wait4(pid, &status, 0, &ru);
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return ru.ru_maxrss - base;
}

// size zero bytes, deflated in pieces (never whole in memory).
CraftEntry zeroBomb(std::uint64_t size) {
  CraftEntry e = craft("zeros.bin", "");
  std::string zeros(1u << 20, '\0'), out(1u << 20, '\0');
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string packed;
  std::uint32_t crc = 0;
  for (std::uint64_t done = 0; done < size; done += zeros.size()) {
    z.next_in = reinterpret_cast<Bytef*>(zeros.data());
    z.avail_in = static_cast<uInt>(zeros.size());
    crc = static_cast<std::uint32_t>(crc32(crc, z.next_in, z.avail_in));
    bool last = done + zeros.size() >= size;
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      packed.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  e.packed = packed;
  e.size = static_cast<std::uint32_t>(size);
  e.crc = crc;
  return e;
}

// A member expanding a thousandfold is tested in bounded memory (the member's
// recorded size is far above what members are inflated whole at).
TEST_F(Hostile, HugeExpansionKeepsMemoryBounded) {
  writeFile(path("t/a.zip"), buildZip({zeroBomb(1000u << 20)}));
  std::vector<std::string> archives = {path("t/a.zip")};
  std::string data = testsupport::testDataFolder();
  archives.push_back(data + "/zip/bomb_deflate_1GiB.zip");
  for (const std::string& archive : archives) {
    int status = -1;
    long growth = peakGrowthKiB(
        [&] {
          ExtractRequest x;
          x.archive = archive;
          x.test = true;
          return lib.extract(x);
        },
        status);
    EXPECT_EQ(status, 1) << archive;
    EXPECT_LT(growth, 100 * 1024) << archive << ": KiB more at peak";
  }
}

// Cut or scrambled archives give errors, never a crash (and AddressSanitizer
// builds check every read).
TEST_F(Hostile, TruncatedAndScrambledArchivesFailCleanly) {
  std::vector<CraftEntry> entries = {craft("a.txt", textData(30000)), craft("b/c.bin", randomData(3000)),
                                     link("l", "a.txt")};
  std::string archive = buildZip(entries);
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{100}, archive.size() / 2, archive.size() - 60,
                          archive.size() - 23, archive.size() - 1}) {
    writeFile(path("t/a.zip"), archive.substr(0, cut));
    ExtractRequest x;
    x.archive = path("t/a.zip");
    x.test = true;
    EXPECT_LT(lib.extract(x), 3) << cut;
    EXPECT_FALSE(lib.problems().empty()) << cut;
  }
  std::mt19937 rng(42);
  for (int round = 0; round < 300; ++round) {
    std::string mangled = archive;
    for (int k = 0; k < 1 + round % 8; ++k) mangled[rng() % mangled.size()] = static_cast<char>(rng());
    writeFile(path("t/a.zip"), mangled);
    ExtractRequest x;
    x.archive = path("t/a.zip");
    x.folder = path("t/out");
    x.overwrite = true;
    lib.extract(x);
  }
  EXPECT_TRUE(leftovers(tmp.path()).empty());
  auto outside = outsideTarget();
  outside.erase("t/out/");
  outside.erase("t/a.zip");
  EXPECT_EQ(outside, (std::map<std::string, std::string>{{"outside/", ""}, {"t/", ""}}));
}

}  // namespace
}  // namespace ziptest
