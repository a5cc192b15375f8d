// Names and comments become UTF-8 by the host and flag rules, the Unicode Path
// block is trusted only for its own name, and the message table and formatting
// give the exact texts.
#include <set>

#include "zipengine/engine_fixture.h"
#include "zipengine/zip_builder.h"
#include "zipcore/names.h"

using namespace ziptest;
using zipcore::UnicodePathName;
using zipcore::ZipTextToUtf8;

struct CharsetCase {
  const char* raw;
  std::uint16_t madeBy;
  std::uint16_t flags;
  CodePageOpts codePage;
  const char* expected;
};

class CharsetTest : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetTest, Converts) {
  const CharsetCase& c = GetParam();
  EXPECT_EQ(ZipTextToUtf8(c.raw, c.madeBy, c.flags, c.codePage), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CharsetTest,
    ::testing::Values(CharsetCase{"M\x81nchen", 0x0014, 0, cpAuto, "M\xC3\xBCnchen"},  // DOS host
                      CharsetCase{"M\x81nchen", 0x0614, 0, cpNone, "M\xC3\xBCnchen"},  // HPFS always
                      CharsetCase{"M\x81nchen", 0x0B32, 0, cpAuto, "M\xC3\xBCnchen"},  // NTFS, version 5.0
                      CharsetCase{"Gr\xC3\xBC\xC3\x9F"
                                  "e",
                                  0x0B14, 0, cpAuto,
                                  "Gr\xC3\xBC\xC3\x9F"
                                  "e"},  // NTFS 2.0 kept
                      CharsetCase{"Gr\xC3\xBC\xC3\x9F"
                                  "e",
                                  0x031E, 0, cpAuto,
                                  "Gr\xC3\xBC\xC3\x9F"
                                  "e"},                                                       // Unix UTF-8 kept
                      CharsetCase{"\xC3\xBC", 0x031E, 0, cpOEM, "\xE2\x94\x9C\xE2\x95\x9D"},  // cpOEM forces cp437
                      CharsetCase{"\xC3\xBC", 0x0014, 0x0800, cpOEM, "\xC3\xBC"},             // UTF-8 flag wins
                      CharsetCase{"\xC3\xBC", 0x0014, 0, cpNone, "\xC3\xBC"},                 // cpNone, DOS: kept
                      CharsetCase{"caf\xE9", 0x031E, 0, cpAuto, "caf\xCE\x98"},               // invalid UTF-8 -> cp437
                      CharsetCase{"plain", 0x0014, 0, cpOEM, "plain"}),
    [](const ::testing::TestParamInfo<CharsetCase>& info) { return "case" + std::to_string(info.index); });

TEST(UnicodePathBlock, UsedOnlyForItsOwnName) {
  const std::string header = "Caf\x82.txt";
  std::string data;
  data.push_back(1);
  put32(data, crcOf(header));
  data += "Caf\xC3\xA9.txt";
  EXPECT_EQ(UnicodePathName(data, header), "Caf\xC3\xA9.txt");
  EXPECT_EQ(UnicodePathName(data, "other.txt"), "");
  std::string v2 = data;
  v2[0] = 2;
  EXPECT_EQ(UnicodePathName(v2, header), "");
  EXPECT_EQ(UnicodePathName(data.substr(0, 5), header), "");
}

TEST_F(EngineTest, UnicodePathBlockNamesTheEntry) {
  auto block = [](const std::string& forName, const std::string& utf8) {
    std::string b;
    put16(b, 0x7075);
    put16(b, static_cast<std::uint32_t>(5 + utf8.size()));
    b.push_back(1);
    put32(b, crcOf(forName));
    return b + utf8;
  };
  Entry good{"Caf\x82.txt", "x", 0x0014};
  good.extra = block(good.name, "Caf\xC3\xA9.txt");
  Entry stale{"na\x8Bve.txt", "y", 0x0014};
  stale.extra = block("something else", "IGNORED.txt");
  open(build({good, stale}).all());
  EXPECT_EQ(names(), (std::vector<std::string>{"Caf\xC3\xA9.txt", "na\xC3\xAFve.txt"}));
}

TEST_F(EngineTest, CodePagePropertyAppliesToNamesAndComments) {
  Entry e{"\xC3\xBC.txt", "x", 0x031E};
  e.comment = "\xC3\xBC";
  const std::string path = dir.write("cp.zip", build({e}).all());
  engine.setZipFilename(path);
  EXPECT_EQ(engine.Entries().at(0)->FileName, "\xC3\xBC.txt");
  engine.CodePage = cpOEM;
  engine.setZipFilename(path);
  EXPECT_EQ(engine.Entries().at(0)->FileName, "\xE2\x94\x9C\xE2\x95\x9D.txt");
  EXPECT_EQ(engine.Entries().at(0)->FileComment, "\xE2\x94\x9C\xE2\x95\x9D");
}

// ---- message table and routine ----------------------------------------------------

TEST(MessageTable, EveryIdHasItsOwnTextInRange) {
  std::set<std::string> texts;
  for (const zipmsg::Entry& e : zipmsg::Table()) {
    EXPECT_GE(e.id, zipmsg::kFirstId);
    EXPECT_LE(e.id, zipmsg::kLastId);
    EXPECT_TRUE(texts.insert(e.text).second) << "text twice: " << e.text;
    EXPECT_STREQ(zipmsg::Find(e.id), e.text);
  }
  EXPECT_EQ(zipmsg::Text(zipmsg::kNotValidZip), "This archive is not a valid Zip archive");
  EXPECT_EQ(zipmsg::Find(10100), nullptr);
  EXPECT_EQ(zipmsg::Text(11000), "KvMsgXX.res is probably not bound to executable\nMissing String ID is: 11000");
}

TEST(MessageTable, FormatFillsPlaceholdersInOrder) {
  EXPECT_EQ(ZipFormat("Please insert disk volume %.1d of %.1d", {2LL, 5LL}), "Please insert disk volume 2 of 5");
  EXPECT_EQ(ZipFormat("Drive is NOT defined: %s", {std::string("/media/x/")}), "Drive is NOT defined: /media/x/");
  EXPECT_EQ(ZipFormat("%d%% of %s", {50LL, std::string("it")}), "50% of it");
  EXPECT_EQ(ZipFormat("missing %s here", {}), "missing  here");
  EXPECT_EQ(ZipFormat("trailing %", {1LL}), "trailing %");
  EXPECT_EQ(ZipFormat("%x stays", {1LL}), "%x stays");
}

TEST(EngineError, FormsAndShowBox) {
  EZipEngine plain(zipmsg::kUserCanceled);
  EXPECT_EQ(plain.Message, "User canceled operation");
  EXPECT_FALSE(plain.ShowBox);
  EZipEngine withInt(zipmsg::kNthDiskOfSet, 4);
  EXPECT_EQ(withInt.Message, "This is the 4th disk in a backup set,\nplease insert the last disk of this set");
  EXPECT_TRUE(withInt.ShowBox);
  EZipEngine withText(zipmsg::kDriveNotDefined, std::string("/mnt/"));
  EXPECT_EQ(withText.MessageId, zipmsg::kDriveNotDefined);
  EXPECT_STREQ(withText.what(), "Drive is NOT defined: /mnt/");
  EXPECT_TRUE(EZipEngine::Display(zipmsg::kNotValidZip).ShowBox);
}

TEST_F(EngineTest, MessageRoutineShowsStoresAndReports) {
  engine.ShowZipMessage(zipmsg::kTemporaryZipfile, "/tmp/zip123");
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Temporary zipfile: /tmp/zip123"});
  EXPECT_EQ(ui.boxes.at(0).kind, platform::MsgKind::Warning);
  EXPECT_EQ(messages, ui.boxTexts());
  EXPECT_EQ(engine.LastErrorCode(), zipmsg::kTemporaryZipfile);
  EXPECT_EQ(engine.LastMessage(), "Temporary zipfile: /tmp/zip123");
  engine.Unattended = true;
  engine.ShowZipMessage(10999);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(messages.back(), "KvMsgXX.res is probably not bound to executable\nMissing String ID is: 10999");
  EXPECT_EQ(engine.LastErrorCode(), 10999);
}

TEST_F(EngineTest, EngineErrorWithoutShowBoxOnlyReports) {
  engine.ReportEngineError(EZipEngine(zipmsg::kUserCanceled));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(messages, std::vector<std::string>{"User canceled operation"});
  EXPECT_EQ(engine.LastErrorCode(), zipmsg::kUserCanceled);
}
