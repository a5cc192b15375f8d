// Archives written by the peer tools (zip, 7-Zip, bsdtar) at test time list with
// the same names, sizes and CRCs as zipinfo reports for them: stored, deflated,
// encrypted, commented, UTF-8 names, folders only, data descriptors, ZIP64.
#include <sstream>

#include "zipengine/engine_fixture.h"

using testsupport::haveProgram;
using testsupport::shell;

namespace {

struct Listed {
  std::string name;
  std::uint64_t packed = 0, size = 0;
  std::string crc;
  std::string comment;
  bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Listed& l) {
  return os << l.name << " " << l.packed << " " << l.size << " " << l.crc << " [" << l.comment << "]";
}

std::string afterColon(const std::string& line) {
  std::string v = line.substr(line.find(':') + 1);
  v.erase(0, v.find_first_not_of(' '));
  return v;
}

// Entries as `zipinfo -v` describes them.
std::vector<Listed> zipinfoEntries(const std::string& archive) {
  std::string out;
  shell("LC_ALL=C.UTF-8 zipinfo -v '" + archive + "' 2>/dev/null", &out);
  std::vector<Listed> list;
  std::istringstream in(out);
  std::string line;
  enum { Outside, WantName, InEntry, InComment } state = Outside;
  while (std::getline(in, line)) {
    if (line.rfind("Central directory entry #", 0) == 0) {
      list.emplace_back();
      state = WantName;
    } else if (state == WantName) {
      if (line.empty() || line.find_first_not_of('-') == std::string::npos ||
          line.rfind("  There are an extra", 0) == 0)
        continue;
      list.back().name = line.substr(2);
      state = InEntry;
    } else if (state == InEntry) {
      if (line.rfind("  32-bit CRC value (hex):", 0) == 0)
        list.back().crc = afterColon(line);
      else if (line.rfind("  compressed size:", 0) == 0)
        list.back().packed = std::stoull(afterColon(line));
      else if (line.rfind("  uncompressed size:", 0) == 0)
        list.back().size = std::stoull(afterColon(line));
      else if (line.find("file comment begins") != std::string::npos)
        state = InComment;
    } else if (state == InComment) {
      if (line.find("file comment ends") != std::string::npos)
        state = InEntry;
      else
        list.back().comment += (list.back().comment.empty() ? "" : "\n") + line;
    }
  }
  return list;
}

std::vector<Listed> engineEntries(const TZipEngine& engine) {
  std::vector<Listed> list;
  char crc[9];
  for (const auto& e : engine.Entries()) {
    std::snprintf(crc, sizeof crc, "%08x", e->Crc32);
    list.push_back({e->FileName, e->CompressedSize64, e->UncompressedSize64, crc, e->FileComment});
  }
  return list;
}

struct PeerCase {
  const char* name;
  const char* tool;     // program that must be installed
  const char* command;  // run inside the payload folder; writes ../out.zip
  const char* archiveComment;
};

class PeerArchiveTest : public EngineTest, public ::testing::WithParamInterface<PeerCase> {
 protected:
  // The payload: text, an empty file, random bytes, an empty folder, a UTF-8 name.
  void makePayload() {
    std::string lorem;
    for (int i = 0; i < 600; ++i) lorem += "Lorem ipsum dolor sit amet, line " + std::to_string(i) + ".\n";
    dir.write("p/readme.txt", "Read me.\n" + lorem.substr(0, 2000));
    dir.write("p/docs/lorem.txt", lorem);
    dir.write("p/docs/empty.txt", "");
    std::string random;
    unsigned x = 2463534242u;
    for (int i = 0; i < 8192; ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      random.push_back(static_cast<char>(x));
    }
    dir.write("p/bin/random.bin", random);
    dir.write(
        "p/Gr\xC3\xBC\xC3\x9F"
        "e.txt",
        "gruss\n");
    shell("mkdir -p '" + dir.path() + "/p/emptydir' '" + dir.path() + "/p/top/sub1/subsub' '" + dir.path() +
          "/p/top/sub2'");
  }
};

}  // namespace

TEST_P(PeerArchiveTest, ListsLikeZipinfo) {
  const PeerCase& c = GetParam();
  if (!haveProgram(c.tool)) GTEST_SKIP() << "SKIPPED: peer tool '" << c.tool << "' is not installed";
  if (!haveProgram("zipinfo")) GTEST_SKIP() << "SKIPPED: zipinfo is not installed";
  makePayload();
  std::string out;
  const int rc = shell("cd '" + dir.path() + "/p' && (" + c.command + ") 2>&1", &out);
  ASSERT_EQ(rc, 0) << c.command << "\n" << out;
  const std::string archive = dir / "out.zip";
  engine.setZipFilename(archive);
  ASSERT_EQ(engine.ZipFilename(), archive) << engine.LastMessage();
  const std::vector<Listed> expected = zipinfoEntries(archive);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(engineEntries(engine), expected);
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.at(0).text;
  std::string comment = engine.ArchiveComment();
  // zip stores the comment lines it reads from a pipe with CR LF.
  for (std::size_t at; (at = comment.find("\r\n")) != std::string::npos;) comment.erase(at, 1);
  while (!comment.empty() && comment.back() == '\n') comment.pop_back();
  EXPECT_EQ(comment, c.archiveComment);
}

#define PAYLOAD                                     \
  "readme.txt docs bin emptydir Gr\xC3\xBC\xC3\x9F" \
  "e.txt"

INSTANTIATE_TEST_SUITE_P(
    Peers, PeerArchiveTest,
    ::testing::Values(
        PeerCase{"zip_stored", "zip", "zip -q -r -0 -X ../out.zip .", ""},
        PeerCase{"zip_deflated", "zip", "zip -q -r -9 ../out.zip .", ""},
        PeerCase{"zip_encrypted", "zip", "zip -q -r -P secret ../out.zip .", ""},
        PeerCase{"zip_comments", "zip",
                 "zip -q -r ../out.zip . && printf 'note for readme\\n' | zip -q -c ../out.zip readme.txt && "
                 "printf 'the archive comment\\nline 2\\n' | zip -q -z ../out.zip",
                 "the archive comment\nline 2"},
        PeerCase{"zip_folders_only", "zip", "zip -q -r ../out.zip emptydir top", ""},
        PeerCase{"zip_data_descriptors", "zip", "zip -q -r - . | cat > ../out.zip", ""},
        PeerCase{"zip_forced_zip64", "zip", "zip -q -r -fz ../out.zip .", ""},
        PeerCase{"7zz_deflate", "7zz", "7zz a -tzip -mm=Deflate ../out.zip " PAYLOAD " >/dev/null", ""},
        PeerCase{"7zz_stored", "7zz", "7zz a -tzip -mm=Copy ../out.zip " PAYLOAD " >/dev/null", ""},
        PeerCase{"7zz_aes", "7zz", "7zz a -tzip -mem=AES256 -psecret ../out.zip " PAYLOAD " >/dev/null", ""},
        PeerCase{"7zz_zipcrypto", "7zz", "7zz a -tzip -mem=ZipCrypto -psecret ../out.zip " PAYLOAD " >/dev/null", ""},
        PeerCase{"bsdtar_deflate", "bsdtar", "bsdtar --format zip -cf ../out.zip " PAYLOAD, ""},
        PeerCase{"bsdtar_stored", "bsdtar",
                 "bsdtar --format zip --options zip:compression=store -cf ../out.zip " PAYLOAD, ""},
        PeerCase{"bsdtar_zip64", "bsdtar", "bsdtar --format zip --options zip:zip64 -cf ../out.zip " PAYLOAD, ""},
        PeerCase{"bsdtar_encrypted", "bsdtar",
                 "bsdtar --format zip --options zip:encryption=zipcrypt --passphrase secret -cf ../out.zip " PAYLOAD,
                 ""}),
    [](const ::testing::TestParamInfo<PeerCase>& info) { return std::string(info.param.name); });

TEST_F(EngineTest, ZipWithMoreThan65535EntriesListsThemAll) {
  if (!haveProgram("python3")) GTEST_SKIP() << "SKIPPED: python3 is not installed";
  const std::string archive = dir / "many.zip";
  ASSERT_EQ(shell("python3 -c \"import zipfile\nwith zipfile.ZipFile('" + archive +
                  "', 'w') as z:\n  for i in range(66000): z.writestr('d/%05d.txt' % i, '')\""),
            0);
  engine.setZipFilename(archive);
  ASSERT_EQ(engine.EntryCount(), 66000);
  EXPECT_EQ(engine.Entries().back()->FileName, "d/65999.txt");
  EXPECT_TRUE(ui.boxes.empty());
}
