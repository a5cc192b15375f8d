// The configuration file: defaults, the column layout in USER, the save order with
// its stop at the first failing key, and every key surviving a save and a re-read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dialogs/settings_model.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/routines.h"
#include "support/temp_dir.h"

using dialogs::SettingKey;
using dialogs::SettingsValues;
using dialogs::TSettings;
using testsupport::readFile;
namespace ini = platform::ini;

namespace {

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("KELVORY_HOME", dir.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("KELVORY_HOME"); }

  std::string iniPath() const { return dir / "Kelvory.Ini"; }
  std::string user(const std::string& key) const { return ini::readString(iniPath(), "USER", key, "<none>"); }

  testsupport::TempDir dir;
};

const std::vector<std::string> kFactoryUser = {"1=Filename;True;80",  "2=Packed;True;84", "3=Size;True;84",
                                               "4=Modified;True;100", "5=Path;True;100",  "6=Ratio;False;30"};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST_F(SettingsFile, LivesInTheProgramFolder) {
  EXPECT_EQ(dialogs::ConfigFileName(), platform::ProgramPath(1) + "Kelvory.Ini");
  EXPECT_EQ(TSettings().FileName(), iniPath());
}

TEST_F(SettingsFile, FirstStartUsesEveryDefaultAndWritesUserAtTheFirstSave) {
  TSettings s;
  int defaultLayouts = 0, applied = 0;
  s.Hooks.OnDefaultColumnLayout = [&] { ++defaultLayouts; };
  s.Hooks.OnApplyDisplay = [&] { ++applied; };
  s.cb_Outside = false;  // a value in effect before the file is read is replaced by its default
  s.LoadSettings();
  EXPECT_EQ(static_cast<SettingsValues&>(s), SettingsValues());
  EXPECT_EQ(defaultLayouts, 1);
  EXPECT_EQ(applied, 1);
  EXPECT_TRUE(s.ColumnDefs.empty());
  EXPECT_FALSE(platform::fileExists(iniPath()));

  // The defaults that name places on this system.
  const std::string home = platform::homeFolder();
  EXPECT_EQ(s.ed_Zipname, home + "/Noname.zip");
  EXPECT_EQ(s.ed_StartUp, home);
  EXPECT_EQ(s.ed_Extract, home);
  EXPECT_EQ(s.ed_Add, home);
  EXPECT_EQ(s.ed_Temp, platform::tempFolder());
  EXPECT_EQ(s.ed_Install, "install.exe;setup.exe;install.sh;setup.sh");
  EXPECT_EQ(s.pa_HeaderColor, 8421376);
  EXPECT_EQ(s.pa_WindowColor, -2147483643);

  ASSERT_TRUE(s.SaveSettings());
  EXPECT_EQ(sorted(ini::readSection(iniPath(), "USER")), kFactoryUser);
  EXPECT_EQ(ini::readString(iniPath(), "COLOR", "WINDOW", ""), "-2147483643");
  EXPECT_EQ(ini::readString(iniPath(), "DRAG&DROP", "ACCEPTFILES", ""), "1");
  // Re-read after the save: now the stored layout is used.
  EXPECT_EQ(defaultLayouts, 1);
  EXPECT_EQ(applied, 2);
  EXPECT_EQ(s.ColumnDefs, kFactoryUser);
}

TEST_F(SettingsFile, SaveRunsTheHooksBetweenTheRightKeys) {
  TSettings s;
  s.LoadSettings();
  std::vector<std::string> events;
  // A recording writer sees each key as it is written, so the hooks' places among
  // the keys show.
  s.SetWriter([&](const std::string& file, const std::string& section, const std::string& key, const std::string& value,
                  std::string* error) {
    if ((section == "BUTTON" && key == "TOOLTIP") || (section == "DATETIME" && key == "DATEFORMAT") ||
        (section == "FOLDERS" && key == "TEMP"))
      events.push_back(section + "/" + key);
    return ini::writeString(file, section, key, value, error);
  });
  s.Hooks.OnTooltipsSaved = [&] { events.push_back("tooltips"); };
  s.Hooks.OnToolbarReset = [&] { events.push_back("toolbar"); };
  s.Hooks.OnMailFieldsRead = [&] { events.push_back("mail " + s.ed_Server); };
  s.Hooks.OnApplyDisplay = [&] { events.push_back("display"); };
  s.ed_Server = "smtp.example.org";
  ASSERT_TRUE(s.SaveSettings());
  EXPECT_EQ(events, (std::vector<std::string>{"BUTTON/TOOLTIP", "tooltips", "DATETIME/DATEFORMAT", "FOLDERS/TEMP",
                                              "toolbar", "mail smtp.example.org", "display"}));
}

TEST_F(SettingsFile, SaveReplacesTheFileOnce) {
  TSettings s;
  s.LoadSettings();
  ASSERT_TRUE(s.SaveSettings());
  s.ed_Server = "mail.example.org";
  std::vector<std::string> seen;
  s.Hooks.OnTooltipsSaved = [&] {
    // Nothing reaches the disk until the whole save is done.
    seen.push_back(ini::readString(iniPath(), "SMTP", "SERVER", ""));
  };
  ASSERT_TRUE(s.SaveSettings());
  EXPECT_EQ(seen, (std::vector<std::string>{"Enter SMTP Server"}));
  EXPECT_EQ(ini::readString(iniPath(), "SMTP", "SERVER", ""), "mail.example.org");
}

TEST_F(SettingsFile, RowsSharingAnOrderNumberOverwriteEachOther) {
  TSettings s;
  s.LoadSettings();
  ASSERT_TRUE(s.SaveSettings());
  // Packed (created after Size) moves down to 3, where Size is; Size gets a new width.
  s.Column("Packed")->Order = "3";
  s.Column("Size")->Width = "99";
  ASSERT_TRUE(s.SaveSettings());
  EXPECT_EQ(user("3"), "Packed;True;84");  // the later row wins
  EXPECT_EQ(user("2"), "Packed;True;84");  // the free number keeps the earlier line
  EXPECT_EQ(ini::readSection(iniPath(), "USER").size(), 6u);
  // The re-read takes the rows from the file again: Packed ends on 3, Size is gone
  // from the file and keeps its edited values.
  EXPECT_EQ(s.Column("Packed")->Order, "3");
  EXPECT_EQ(s.Column("Size")->Width, "99");
}

TEST_F(SettingsFile, OnlyTheFirstSixUserLinesAfterSortingAsTextCount) {
  // "10" sorts before "2", so the line under "6" is the seventh and is ignored;
  // an unknown title changes nothing.
  dir.write("Kelvory.Ini",
            "[USER]\n6=Ratio;True;66\n5=Path;False;55\n4=Modified;True;44\n3=Size;True;33\n2=Bogus;True;22\n"
            "10=Filename;True;110\n1=Packed;False;11\n8=Ratio;True;88\n");
  TSettings s;
  int defaultLayouts = 0;
  s.Hooks.OnDefaultColumnLayout = [&] { ++defaultLayouts; };
  s.LoadSettings();
  EXPECT_EQ(defaultLayouts, 0);
  ASSERT_EQ(s.ColumnDefs.size(), 8u);
  EXPECT_EQ(s.ColumnDefs.front(), "1=Packed;False;11");
  EXPECT_EQ(s.ColumnDefs[1], "10=Filename;True;110");
  auto row = [&](const char* t) { return *s.Column(t); };
  EXPECT_EQ(row("Packed"), (dialogs::ColumnRow{"Packed", "1", false, "11"}));
  EXPECT_EQ(row("Filename"), (dialogs::ColumnRow{"Filename", "10", true, "110"}));
  EXPECT_EQ(row("Size"), (dialogs::ColumnRow{"Size", "3", true, "33"}));
  EXPECT_EQ(row("Modified"), (dialogs::ColumnRow{"Modified", "4", true, "44"}));
  EXPECT_EQ(row("Path"), (dialogs::ColumnRow{"Path", "5", false, "55"}));
  // Ratio's lines (6 and 8) come after the first six: the row keeps its value.
  EXPECT_EQ(row("Ratio"), (dialogs::ColumnRow{"Ratio", "6", false, "30"}));
}

TEST_F(SettingsFile, FewerThanSixUserLinesGiveTheFactoryRows) {
  dir.write("Kelvory.Ini",
            "[USER]\n1=Size;False;5\n2=Path;True;6\n3=Packed;True;7\n4=Ratio;True;8\n5=Modified;True;9\n");
  TSettings s;
  s.Column("Size")->Width = "1";
  int defaultLayouts = 0;
  s.Hooks.OnDefaultColumnLayout = [&] { ++defaultLayouts; };
  s.LoadSettings();
  EXPECT_EQ(defaultLayouts, 1);
  EXPECT_EQ(s.Columns, SettingsValues().Columns);
  EXPECT_EQ(s.ColumnDefs.size(), 5u);
}

TEST_F(SettingsFile, ValuesAreReadAsTheFileHasThem) {
  dir.write("Kelvory.Ini",
            "[DRAG&DROP]\nACCEPTFILES=5\n[COMPRESSION]\nLEVEL=15\n[GXVIEW]\nEXTERNAL=1\nQUILVIEW=1\n"
            "[FOLDERS]\nSTARTWIN=0\nOTHERWIN=0\n[SPANNING]\nMINFREE=lots\n[COLOR]\nHEADER=$FF\n");
  TSettings s;
  s.LoadSettings();
  EXPECT_TRUE(s.cb_Outside);      // any non-zero value is true
  EXPECT_EQ(s.tb_complevel, 9);   // the track bar holds 0..9
  EXPECT_FALSE(s.rb_ExtGraphic);  // both radio buttons on: the later one read wins
  EXPECT_TRUE(s.rb_BuiltGraphic);
  EXPECT_FALSE(s.rb_WinDef);  // both off stays both off
  EXPECT_FALSE(s.rb_OtherWin);
  EXPECT_EQ(s.MinFreeVolEdit, "lots");  // no validation
  EXPECT_EQ(s.pa_HeaderColor, 255);
}

TEST_F(SettingsFile, AnUnwritableFileStopsTheSaveAtTheFirstKey) {
  TSettings s;
  s.LoadSettings();
  ASSERT_TRUE(s.SaveSettings());
  ASSERT_EQ(::chmod(iniPath().c_str(), 0444), 0);
  const std::string before = readFile(iniPath());
  int resets = 0, reads = 0;
  s.Hooks.OnToolbarReset = [&] { ++resets; };
  s.Hooks.OnApplyDisplay = [&] { ++reads; };
  s.cb_Outside = false;
  s.ed_Temp = "/elsewhere";
  dialogs::WriteResult r = s.SaveSettings();
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + iniPath());
  EXPECT_EQ(readFile(iniPath()), before);
  EXPECT_EQ(resets, 0);
  EXPECT_EQ(reads, 0);  // not re-read: the values stay in effect
  EXPECT_EQ(s.ed_Temp, "/elsewhere");
  ::chmod(iniPath().c_str(), 0644);
}

TEST_F(SettingsFile, AFailingKeyInTheMiddleKeepsTheEarlierKeysAndStopsTheLaterOnes) {
  TSettings s;
  s.LoadSettings();
  ASSERT_TRUE(s.SaveSettings());
  s.SetWriter([](const std::string& file, const std::string& section, const std::string& key, const std::string& value,
                 std::string* error) {
    if (section == "COLOR" && key == "HEADER") return false;
    return ini::writeString(file, section, key, value, error);
  });
  bool tooltips = false;
  s.Hooks.OnTooltipsSaved = [&] { tooltips = true; };
  s.cb_Outside = false;             // before the failing key
  s.Column("Ratio")->Width = "41";  // USER comes before COLOR
  s.cb_Tooltip = false;             // after it
  s.ed_Temp = "/elsewhere";         // the last key
  dialogs::WriteResult r = s.SaveSettings();
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + iniPath());
  EXPECT_EQ(ini::readString(iniPath(), "DRAG&DROP", "ACCEPTFILES", ""), "0");
  EXPECT_EQ(user("6"), "Ratio;False;41");
  EXPECT_EQ(ini::readString(iniPath(), "BUTTON", "TOOLTIP", ""), "1");
  EXPECT_EQ(ini::readString(iniPath(), "FOLDERS", "TEMP", ""), platform::tempFolder());
  EXPECT_FALSE(tooltips);
}

TEST_F(SettingsFile, LastFolderFollowsTheRadioButtons) {
  const std::string home = platform::homeFolder();
  const std::string other = dir.path() + "/other";
  ::mkdir(other.c_str(), 0755);
  TSettings s;
  s.LoadSettings();

  EXPECT_EQ(s.LastFolder('S'), home);
  s.rb_WinDef = false;
  s.rb_OtherWin = true;
  s.ed_StartUp = other;
  EXPECT_EQ(s.LastFolder('S'), other);
  s.ed_StartUp = other + "/missing";
  EXPECT_EQ(s.LastFolder('S'), std::nullopt);

  // Extract: the remembered folder, the home folder until one was remembered.
  EXPECT_EQ(s.LastFolder('E'), home);
  ASSERT_TRUE(s.LastFolder('E', other));
  EXPECT_EQ(ini::readString(iniPath(), "FOLDERS", "LASTE", ""), other);
  EXPECT_EQ(s.LastFolder('E'), other);
  ASSERT_TRUE(s.LastFolder('E', other + "/gone"));
  EXPECT_EQ(s.LastFolder('E'), home);
  // "Other": the edit's folder, and nothing is remembered.
  s.rb_Extr = false;
  s.rb_OtherExtr = true;
  s.ed_Extract = other;
  EXPECT_EQ(s.LastFolder('E'), other);
  const std::string before = readFile(iniPath());
  ASSERT_TRUE(s.LastFolder('E', "/tmp"));
  EXPECT_EQ(readFile(iniPath()), before);

  // Add works the same way with LASTA.
  ASSERT_TRUE(s.LastFolder('A', other));
  EXPECT_EQ(ini::readString(iniPath(), "FOLDERS", "LASTA", ""), other);
  EXPECT_EQ(s.LastFolder('A'), other);
  EXPECT_EQ(s.LastFolder('X'), std::nullopt);
}

TEST_F(SettingsFile, LastFolderWriteReportsAnUnwritableFile) {
  TSettings s;
  s.LoadSettings();
  ASSERT_TRUE(s.SaveSettings());
  ASSERT_EQ(::chmod(iniPath().c_str(), 0444), 0);
  dialogs::WriteResult r = s.LastFolder('A', dir.path());
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + iniPath());
  ::chmod(iniPath().c_str(), 0644);
}

// ---- Every key of the table survives a save and a re-read ---------------------------

class SettingsRoundTrip : public SettingsFile, public ::testing::WithParamInterface<std::size_t> {};

namespace {

// Radio buttons are switched as pairs; one of a pair alone cannot be shown.
const std::pair<bool SettingsValues::*, bool SettingsValues::*> kPairs[] = {
    {&SettingsValues::rb_External, &SettingsValues::rb_BuiltIn},
    {&SettingsValues::rb_ExtGraphic, &SettingsValues::rb_BuiltGraphic},
    {&SettingsValues::rb_WinDef, &SettingsValues::rb_OtherWin},
    {&SettingsValues::rb_Extr, &SettingsValues::rb_OtherExtr},
    {&SettingsValues::rb_Last, &SettingsValues::rb_OtherLast},
};

// Changes the value of one key to something other than its default.
void changeValue(SettingsValues& v, const SettingKey& k) {
  if (auto* b = std::get_if<bool SettingsValues::*>(&k.field)) {
    v.*(*b) = !(v.*(*b));
    for (auto [first, second] : kPairs) {
      if (*b == first) v.*second = !(v.*second);
      if (*b == second) v.*first = !(v.*first);
    }
  } else if (auto* i = std::get_if<std::int32_t SettingsValues::*>(&k.field)) {
    v.*(*i) = std::string_view(k.key) == "LEVEL" ? 3 : 0x123456;
  } else if (auto* s = std::get_if<std::string SettingsValues::*>(&k.field)) {
    v.*(*s) = std::string(k.section) + "/" + k.key + " = a;b é";
  } else {
    v.Columns[4] = {"Ratio", "2", true, "wide"};  // a width stored as typed
    v.Columns[2] = {"Packed", "6", false, "12"};
  }
}

}  // namespace

TEST_P(SettingsRoundTrip, KeySurvivesSaveAndReload) {
  const SettingKey& k = dialogs::SettingKeys()[GetParam()];
  SCOPED_TRACE(std::string(k.section) + "/" + k.key);
  TSettings s;
  s.LoadSettings();
  changeValue(s, k);
  const SettingsValues expected = s;
  ASSERT_NE(expected, SettingsValues());
  ASSERT_TRUE(s.SaveSettings());
  EXPECT_EQ(static_cast<SettingsValues&>(s), expected);  // the re-read after the save
  TSettings fresh;
  fresh.LoadSettings();
  EXPECT_EQ(static_cast<SettingsValues&>(fresh), expected);
}

INSTANTIATE_TEST_SUITE_P(EveryKey, SettingsRoundTrip, ::testing::Range<std::size_t>(0, dialogs::SettingKeys().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           const SettingKey& k = dialogs::SettingKeys()[info.param];
                           std::string name = std::string(k.section) + "_" + k.key;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name + "_" + std::to_string(info.param);
                         });

TEST(SettingKeys, TheTableHoldsEveryKeyOnceInSaveOrder) {
  std::vector<std::string> names;
  for (const SettingKey& k : dialogs::SettingKeys()) names.push_back(std::string(k.section) + "/" + k.key);
  ASSERT_EQ(names.size(), 51u);  // with the mail sign-in keys SMTP/USERNAME and SMTP/REQUIRETLS
  EXPECT_EQ(names.front(), "DRAG&DROP/ACCEPTFILES");
  EXPECT_EQ(names[36], "SMTP/PORT");
  EXPECT_EQ(names[37], "SMTP/USERNAME");
  EXPECT_EQ(names[38], "SMTP/REQUIRETLS");
  EXPECT_EQ(names[22], "USER/");
  EXPECT_EQ(names[27], "BUTTON/TOOLTIP");
  EXPECT_EQ(names.back(), "FOLDERS/TEMP");
  auto unique = names;
  std::sort(unique.begin(), unique.end());
  EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());
}
