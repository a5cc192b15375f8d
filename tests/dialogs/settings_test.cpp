// The settings window: its controls edit the live settings directly, OK writes
// them, Cancel and "Set default" write nothing, and the page rules (spin buttons,
// graphic viewer, editor check, colours, browse buttons) behave as the user sees them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <cstdlib>

#include "dialogs/browse.h"
#include "dialogs/settings.h"
#include "platform/ini.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/dirtree.h"
#include "widgets/qt_ui.h"

using testsupport::readFile;
using testsupport::ScriptedUi;
namespace ini = platform::ini;

namespace {

class SettingsWindow : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("KELVORY_HOME", dir.path().c_str(), 1); }
  void TearDown() override {
    EXPECT_TRUE(ui.unexpected.empty()) << ui.unexpected.front();
    ::unsetenv("KELVORY_HOME");
  }

  std::string iniPath() const { return dir / "Kelvory.Ini"; }

  // Writes a complete file through the model (as a first OK would).
  void saveFactoryFile() {
    dialogs::TSettings s;
    s.LoadSettings();
    ASSERT_TRUE(s.SaveSettings());
  }

  testsupport::TempDir dir;
  ScriptedUi ui;
};

}  // namespace

TEST_F(SettingsWindow, HasEveryControlByNameWithItsCaptions) {
  dialogs::TSettings s;
  TF_Settings w(s);
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Configuration")) << "a blank title leaves the window nameless";
  // At least the designed size; wider where the style needs it for the page titles.
  EXPECT_EQ(w.height(), 419);
  EXPECT_GE(w.width(), 376);
  EXPECT_EQ(w.pa_Banner->text(), QStringLiteral("Configuration"));
  QStringList tabs;
  for (int i = 0; i < w.PageControl1->count(); ++i) tabs << w.PageControl1->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"User Interface", "Folders", "System", "Locations", "Zip && Email", "Spanning"}));
  EXPECT_EQ(w.BitBtn1->text(), QStringLiteral("OK"));
  EXPECT_TRUE(w.BitBtn1->isDefault());
  EXPECT_EQ(w.BitBtn1->toolTip(), QStringLiteral("Close and save settings"));
  EXPECT_EQ(w.BitBtn2->text(), QStringLiteral("Cancel"));

  const char* names[] = {"ch_Filename",       "la_Filename",     "sb_Filename",     "ed_Filename",   "ch_Size",
                         "la_Size",           "sb_Size",         "ed_Size",         "ch_Packed",     "la_Packed",
                         "sb_Packed",         "ed_Packed",       "ch_Modified",     "la_Modified",   "sb_Modified",
                         "ed_Modified",       "ch_Ratio",        "la_Ratio",        "sb_Ratio",      "ed_Ratio",
                         "ch_Path",           "la_Path",         "sb_Path",         "ed_Path",       "bu_Default",
                         "pa_HeaderColor",    "pa_WindowColor",  "cb_Vert",         "cb_Hor",        "cb_Tooltip",
                         "co_DateFormat",     "co_Timeformat",   "cbExpLook",       "rb_WinDef",     "rb_OtherWin",
                         "ed_StartUp",        "bu_Startup",      "rb_Extr",         "rb_OtherExtr",  "ed_Extract",
                         "bu_Extract",        "rb_Last",         "rb_OtherLast",    "ed_Add",        "bu_Add",
                         "ed_Temp",           "bu_Temp",         "cb_Outside",      "cb_AskzipName", "ed_Zipname",
                         "bu_Path",           "ed_Install",      "cb_OpenStart",    "cb_SaveLayout", "cb_FilesAdded",
                         "cb_AfterExtracted", "cb_AfterDeleted", "rb_External",     "rb_BuiltIn",    "ed_Editor",
                         "bu_GetTexTDir",     "rb_ExtGraphic",   "rb_BuiltGraphic", "ed_Graphic",    "bu_Graphic",
                         "ed_Formats",        "DirNameCB",       "RecurseCB",       "CB_ForceDos",   "CB_Timestamp",
                         "tb_complevel",      "ed_Server",       "ed_Port",         "ed_Name",       "ed_EMail",
                         "FreeDisk1Edit",     "MaxVolSizeEdit",  "MinFreeVolEdit",  "FormatCB",      "CheckBox1",
                         "BitBtn1",           "BitBtn2"};
  for (const char* n : names) EXPECT_NE(w.findChild<QWidget*>(QString::fromLatin1(n)), nullptr) << n;

  EXPECT_FALSE(w.ch_Filename->isEnabled());
  EXPECT_EQ(w.ch_Ratio->text(), QStringLiteral("Ratio"));
  EXPECT_EQ(w.bu_Default->text(), QStringLiteral("Set default"));
  EXPECT_EQ(w.cb_Outside->text(), QStringLiteral("Accept files outside Kelvory98"));
  EXPECT_EQ(w.rb_BuiltGraphic->text(), QStringLiteral("Internal (GIF, GIF Anim, JPG, BMP)"));
  EXPECT_EQ(w.FormatCB->text(), QStringLiteral("&Format each disk first"));
  QStringList dates;
  for (int i = 0; i < w.co_DateFormat->count(); ++i) dates << w.co_DateFormat->itemText(i);
  EXPECT_EQ(dates, (QStringList{"yy/mm/dd", "dd/mm/yy", "yyyy/mm/dd", "dd/mm/yyyy"}));
  EXPECT_TRUE(w.co_DateFormat->isEditable());
  EXPECT_TRUE(w.co_Timeformat->isEditable());
  EXPECT_EQ(w.tb_complevel->minimum(), 0);
  EXPECT_EQ(w.tb_complevel->maximum(), 9);
  EXPECT_EQ(w.tb_complevel->value(), 9);
}

TEST_F(SettingsWindow, CreationReadsTheFileAndAppliesItsRules) {
  dir.write("Kelvory.Ini",
            "[SMTP]\nSERVER=mail.example.org\n[GXVIEW]\nEXTERNAL=1\nQUILVIEW=0\n[MISC]\nOPENFAVORITES=1\n"
            "[DATETIME]\nDATEFORMAT=dd.mm.yyyy\n");
  dialogs::TSettings s;
  int favourites = 0;
  TF_Settings::Hooks hooks;
  hooks.OnOpenFavorites = [&] { ++favourites; };
  TF_Settings w(s, hooks);
  EXPECT_EQ(favourites, 1);
  EXPECT_EQ(w.ed_Server->text(), QStringLiteral("mail.example.org"));
  EXPECT_EQ(w.co_DateFormat->currentText(), QStringLiteral("dd.mm.yyyy"));  // typed text is kept
  EXPECT_TRUE(w.rb_ExtGraphic->isChecked());
  EXPECT_TRUE(w.ed_Graphic->isEnabled());
  EXPECT_TRUE(w.ed_Formats->isEnabled());
}

TEST_F(SettingsWindow, GraphicViewerChoiceSwitchesItsFields) {
  dialogs::TSettings s;
  TF_Settings w(s);
  EXPECT_FALSE(w.ed_Graphic->isEnabled());
  EXPECT_FALSE(w.ed_Formats->isEnabled());
  w.rb_ExtGraphic->click();
  EXPECT_TRUE(w.ed_Graphic->isEnabled());
  EXPECT_TRUE(w.ed_Formats->isEnabled());
  EXPECT_TRUE(s.rb_ExtGraphic);
  EXPECT_FALSE(s.rb_BuiltGraphic);
  w.rb_BuiltGraphic->click();
  EXPECT_FALSE(w.ed_Graphic->isEnabled());
  EXPECT_FALSE(w.ed_Formats->isEnabled());
  EXPECT_FALSE(s.rb_ExtGraphic);
}

TEST_F(SettingsWindow, CancelKeepsTheValuesForTheRunButWritesNothing) {
  saveFactoryFile();
  const std::string before = readFile(iniPath());
  dialogs::TSettings s;
  TF_Settings w(s);
  w.cb_Vert->click();
  w.ed_Server->setText(QStringLiteral("smtp.example.org"));
  w.tb_complevel->setValue(4);
  w.co_Timeformat->setCurrentText(QStringLiteral("hh:mm:ss"));
  w.sb_Size->UpButton->click();
  w.BitBtn2->click();
  EXPECT_EQ(w.result(), QDialog::Rejected);
  EXPECT_EQ(readFile(iniPath()), before);
  EXPECT_TRUE(s.cb_Vert);
  EXPECT_EQ(s.ed_Server, "smtp.example.org");
  EXPECT_EQ(s.tb_complevel, 4);
  EXPECT_EQ(s.co_Timeformat, "hh:mm:ss");
  EXPECT_EQ(s.Column("Size")->Order, "2");
  // Shown again, the window still has them.
  w.show();
  EXPECT_TRUE(w.cb_Vert->isChecked());
  EXPECT_EQ(w.la_Size->text(), QStringLiteral("2"));
  w.hide();
}

TEST_F(SettingsWindow, ShowingDisplaysTheLiveValues) {
  dialogs::TSettings s;
  TF_Settings w(s);
  s.cb_Hor = true;
  s.ed_Temp = "/var/tmp";
  s.Column("Ratio")->Width = "44";
  s.rb_WinDef = false;  // both start-up choices off
  w.show();
  EXPECT_TRUE(w.cb_Hor->isChecked());
  EXPECT_EQ(w.ed_Temp->text(), QStringLiteral("/var/tmp"));
  EXPECT_EQ(w.ed_Ratio->text(), QStringLiteral("44"));
  EXPECT_FALSE(w.rb_WinDef->isChecked());
  EXPECT_FALSE(w.rb_OtherWin->isChecked());
  EXPECT_FALSE(s.rb_OtherWin);  // showing changes no value
  w.hide();
}

TEST_F(SettingsWindow, OkWritesTheSettingsAndAsksForANewListing) {
  dialogs::TSettings s;
  int listings = 0;
  TF_Settings::Hooks hooks;
  hooks.OnSettingsAccepted = [&] { ++listings; };
  TF_Settings w(s, hooks);
  w.cb_Hor->click();
  w.ed_Ratio->setText(QStringLiteral("55"));
  w.BitBtn1->click();
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(listings, 1);
  EXPECT_EQ(ini::readString(iniPath(), "GRID", "HORZ", ""), "1");
  EXPECT_EQ(ini::readString(iniPath(), "USER", "6", ""), "Ratio;False;55");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SettingsWindow, OkOnAnUnwritableFileReportsItAndStillCloses) {
  saveFactoryFile();
  ASSERT_EQ(::chmod(iniPath().c_str(), 0444), 0);
  const std::string before = readFile(iniPath());
  dialogs::TSettings s;
  int listings = 0;
  TF_Settings::Hooks hooks;
  hooks.OnSettingsAccepted = [&] { ++listings; };
  TF_Settings w(s, hooks);
  w.cb_Hor->click();
  ui.answerMessage(platform::kBtnOk);
  w.BitBtn1->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "Unable to write to " + iniPath());
  EXPECT_EQ(ui.boxes[0].buttons, platform::kOk);
  EXPECT_EQ(listings, 0);
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(readFile(iniPath()), before);
  EXPECT_TRUE(s.cb_Hor);  // still in effect for the run
  ::chmod(iniPath().c_str(), 0644);
}

TEST_F(SettingsWindow, SetDefaultAskedNoClosesAndChangesNothing) {
  saveFactoryFile();
  const std::string before = readFile(iniPath());
  dialogs::TSettings s;
  TF_Settings w(s);
  w.sb_Ratio->UpButton->click();
  w.ed_Path->setText(QStringLiteral("7"));
  const auto rows = s.Columns;
  ui.answerMessage(platform::kBtnNo);
  w.bu_Default->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Are you sure?");
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Confirmation);
  EXPECT_EQ(ui.boxes[0].buttons, platform::kYesNo);
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(s.Columns, rows);
  EXPECT_EQ(readFile(iniPath()), before);
}

TEST_F(SettingsWindow, SetDefaultAskedYesSetsTheFactoryRowsWithoutWriting) {
  saveFactoryFile();
  const std::string before = readFile(iniPath());
  dialogs::TSettings s;
  TF_Settings w(s);
  w.sb_Ratio->UpButton->click();
  w.ch_Ratio->click();
  w.ed_Path->setText(QStringLiteral("7"));
  ui.answerMessage(platform::kBtnYes);
  w.bu_Default->click();
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(s.Columns, dialogs::SettingsValues().Columns);
  EXPECT_EQ(w.la_Ratio->text(), QStringLiteral("6"));
  EXPECT_EQ(readFile(iniPath()), before);
}

TEST_F(SettingsWindow, SpinButtonsStayWithinOneToSixAndMayShareANumber) {
  dialogs::TSettings s;
  TF_Settings w(s);
  ASSERT_EQ(w.la_Modified->text(), QStringLiteral("4"));
  for (int i = 0; i < 5; ++i) w.sb_Modified->UpButton->click();
  EXPECT_EQ(w.la_Modified->text(), QStringLiteral("1"));
  EXPECT_EQ(s.Column("Modified")->Order, "1");
  EXPECT_EQ(w.la_Filename->text(), QStringLiteral("1"));  // two rows on 1
  for (int i = 0; i < 8; ++i) w.sb_Modified->DownButton->click();
  EXPECT_EQ(w.la_Modified->text(), QStringLiteral("6"));
  EXPECT_EQ(s.Column("Modified")->Order, "6");
  // A number typed into the file outside 1..6 moves back towards the range.
  s.Column("Path")->Order = "9";
  w.ShowValues();
  w.sb_Path->UpButton->click();
  EXPECT_EQ(w.la_Path->text(), QStringLiteral("8"));
  w.sb_Path->DownButton->click();
  EXPECT_EQ(w.la_Path->text(), QStringLiteral("8"));
}

TEST_F(SettingsWindow, LeavingTheViewerFieldsChecksTheEditor) {
  dialogs::TSettings s;
  TF_Settings w(s);
  auto leave = [](QWidget* field, Qt::FocusReason reason) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(field, &out);
  };
  w.ed_Editor->setText(QString::fromStdString(dir / "missing-editor"));
  ui.answerMessage(platform::kBtnOk);
  leave(w.ed_Editor, Qt::TabFocusReason);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Warning);
  EXPECT_EQ(ui.boxes[0].text, "Can't find editor!");
  EXPECT_EQ(ui.boxes[0].buttons, platform::kOk);
  EXPECT_EQ(s.ed_Editor, dir / "missing-editor");  // kept either way
  ui.answerMessage(platform::kBtnOk);
  leave(w.ed_Formats, Qt::MouseFocusReason);  // the other fields check the editor too
  EXPECT_EQ(ui.boxes.size(), 2u);
  leave(w.ed_Editor, Qt::ActiveWindowFocusReason);  // the window losing focus is not leaving
  EXPECT_EQ(ui.boxes.size(), 2u);

  w.ed_Editor->setText(QString::fromStdString(dir.write("editor", "#!/bin/sh\n")));
  leave(w.ed_Graphic, Qt::TabFocusReason);
  leave(w.ed_Editor, Qt::TabFocusReason);
  EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(SettingsWindow, ColourPanelsTakeTheChosenColour) {
  dialogs::TSettings s;
  TF_Settings w(s);
  ui.answerColor(0x0000FFu);
  QTest::mouseClick(w.pa_HeaderColor, Qt::LeftButton);
  EXPECT_EQ(s.pa_HeaderColor, 0x0000FF);
  EXPECT_EQ(w.pa_HeaderColor->palette().color(QPalette::Window), QColor(255, 0, 0));
  ui.answerColor(std::nullopt);  // cancelled
  QTest::mouseClick(w.pa_WindowColor, Qt::LeftButton);
  EXPECT_EQ(s.pa_WindowColor, -2147483643);
  ui.answerColor(0x00FF00u);
  QTest::mouseClick(w.pa_WindowColor, Qt::LeftButton);
  EXPECT_EQ(s.pa_WindowColor, 0x00FF00);
  EXPECT_EQ(s.pa_HeaderColor, 0x0000FF);
}

// ---- Browse buttons -------------------------------------------------------------------

struct BrowseCase {
  const char* button;
  const char* caption;
  std::string dialogs::SettingsValues::*field;
};

class SettingsBrowse : public SettingsWindow, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(SettingsBrowse, PutsTheChosenFolderIntoItsEdit) {
  const BrowseCase& c = GetParam();
  const std::string chosen = dir.path() + "/Picked";
  ::mkdir(chosen.c_str(), 0755);
  dialogs::TSettings s;
  TF_Settings w(s);
  const std::string before = s.*c.field;
  auto* button = w.findChild<QPushButton*>(QString::fromLatin1(c.button));
  ASSERT_NE(button, nullptr);

  // Cancel changes nothing.
  ui.onModal([](platform::ModalWindow&) { return int(QDialog::Rejected); });
  button->click();
  EXPECT_EQ(s.*c.field, before);

  QString caption;
  ui.onModal([&](platform::ModalWindow& mw) {
    auto& browse = static_cast<TF_Browse&>(static_cast<widgets::DialogWindow&>(mw).dialog());
    caption = browse.windowTitle();
    browse.SetFolder(chosen);
    return int(QDialog::Accepted);
  });
  button->click();
  EXPECT_EQ(ui.modalWindows, (std::vector<std::string>{"TF_Browse", "TF_Browse"}));
  EXPECT_EQ(caption, QString::fromLatin1(c.caption));
  if (std::string(c.button) == "bu_Path")
    EXPECT_EQ(s.*c.field, chosen + "/Noname.zip");  // the archive keeps its name
  else
    EXPECT_EQ(s.*c.field, chosen);
}

INSTANTIATE_TEST_SUITE_P(
    EveryButton, SettingsBrowse,
    ::testing::Values(BrowseCase{"bu_Startup", "Choose startup folder", &dialogs::SettingsValues::ed_StartUp},
                      BrowseCase{"bu_Extract", "Choose extract folder", &dialogs::SettingsValues::ed_Extract},
                      BrowseCase{"bu_Add", "Choose add folder", &dialogs::SettingsValues::ed_Add},
                      BrowseCase{"bu_Temp", "Choose temp folder", &dialogs::SettingsValues::ed_Temp},
                      BrowseCase{"bu_Path", "Choose folder", &dialogs::SettingsValues::ed_Zipname},
                      BrowseCase{"bu_GetTexTDir", "Choose text viewer folder", &dialogs::SettingsValues::ed_Editor},
                      BrowseCase{"bu_Graphic", "Choose graphic viewer folder", &dialogs::SettingsValues::ed_Graphic}),
    [](const ::testing::TestParamInfo<BrowseCase>& info) { return std::string(info.param.button); });
