// The mail window: the send checks in their order with their exact texts, the
// address book "EMHIST.TXT" (newest first, at most 100 lines, no duplicates), the
// history pick, the attachments picker keeping names and paths in step, and the
// open archive joining the attachment list once.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdlib>

#include "dialogs/attach.h"
#include "dialogs/mailform.h"
#include "dialogs/mailhistory.h"
#include "dialogs/searchhist.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "widgets/qt_ui.h"

using testsupport::ScriptedUi;

namespace {

class MailForm : public ::testing::Test {
 protected:
  MailForm() {
    ::setenv("KELVORY_HOME", dir.path().c_str(), 1);
    settings.ed_Server = "mail.example.org";
    settings.ed_Port = "25";
    settings.ed_Name = "Me";
    settings.ed_EMail = "me@example.org";
  }
  ~MailForm() override { ::unsetenv("KELVORY_HOME"); }

  std::string history() const { return testsupport::readFile(dir / "EMHIST.TXT"); }

  testsupport::TempDir dir;
  ScriptedUi ui;
  dialogs::TSettings settings{dir / "Kelvory.Ini"};
  std::vector<std::string> attachments, lines;
};

TEST_F(MailForm, SendChecksInOrder) {
  struct Case {
    std::string dialogs::SettingsValues::*field;
    const char* text;
  } cases[] = {
      {&dialogs::SettingsValues::ed_Server, "You must configure your mail settings first! (Smptp mailserver)"},
      {&dialogs::SettingsValues::ed_Port, "You must configure your mail settings first! (smtp Mailserver port)"},
      {&dialogs::SettingsValues::ed_Name, "You must configure your mail settings first! (Your name)"},
      {&dialogs::SettingsValues::ed_EMail, "You must configure your mail settings first. (Your email)!"},
  };
  TF_MailForm form(settings, attachments, lines, "");
  for (const Case& c : cases) {
    std::string kept = settings.*c.field;
    settings.*c.field = "";
    ui.answerMessage(platform::kBtnOk);
    form.BitBtn1Click();
    settings.*c.field = kept;
    EXPECT_EQ(ui.boxes.back().text, c.text);
    EXPECT_EQ(ui.boxes.back().kind, platform::MsgKind::Warning);
  }
  ui.answerMessage(platform::kBtnOk);
  form.BitBtn1Click();
  EXPECT_EQ(ui.boxes.back().text, "You must enter a name first!");
  form.ed_Name->setText("Ann Lee");
  ui.answerMessage(platform::kBtnOk);
  form.BitBtn1Click();
  EXPECT_EQ(ui.boxes.back().text, "You must enter email first!");
  // An address that could not be sent is refused with its field, before the
  // address book keeps it.
  form.ed_Email->setText("ann@example.org\nRCPT TO:<x@y.z>");
  ui.answerMessage(platform::kBtnOk);
  form.BitBtn1Click();
  EXPECT_NE(ui.boxes.back().text.find("in the field \"Email\""), std::string::npos);
  settings.ed_EMail = "Enter your Email address";
  form.ed_Email->setText("ann@example.org");
  ui.answerMessage(platform::kBtnOk);
  form.BitBtn1Click();
  EXPECT_NE(ui.boxes.back().text.find("in the field \"Email address\""), std::string::npos);
  EXPECT_EQ(history(), "");
  // Nothing attached: the address book has the entry, then the information box.
  settings.ed_EMail = "me@example.org";
  bool sent = false;
  form.OnSend = [&](auto&&...) { sent = true; };
  ui.answerMessage(platform::kBtnOk);
  form.BitBtn1Click();
  EXPECT_EQ(ui.boxes.back().text, "You must attach archive first!");
  EXPECT_EQ(ui.boxes.back().kind, platform::MsgKind::Information);
  EXPECT_EQ(history(), "<Ann Lee>ann@example.org\n");
  EXPECT_FALSE(sent);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Archive sent by: Me using Kelvory98");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(MailForm, SendHandsOverFullPathsAndTheOpenArchiveJoinsOnce) {
  std::string archive = dir.write("a.zip", "PK");
  attachments = {archive};
  TF_MailForm form(settings, attachments, lines, archive);
  EXPECT_EQ(attachments.size(), 1u);
  EXPECT_EQ(form.co_AttachedFiles->currentText().toStdString(), archive);
  form.ed_Name->setText("Ann");
  form.ed_Email->setText(" ann@example.org ");
  form.ed_Subject->setText("The archive");
  std::vector<std::string> got;
  form.OnSend = [&](const std::string& name, const std::string& address, const std::vector<std::string>& files,
                    const std::string& subject) {
    got = {name, address, subject};
    got.insert(got.end(), files.begin(), files.end());
  };
  form.BitBtn1Click();
  EXPECT_EQ(got, (std::vector<std::string>{"Ann", "ann@example.org", "The archive", archive}));
  int closed = 0;
  form.OnClose = [&] { ++closed; };
  form.BitBtn2Click();
  EXPECT_EQ(closed, 1);
}

TEST_F(MailForm, AddressBookKeepsAHundredNewestWithoutDuplicates) {
  std::string file = dir / "EMHIST.TXT";
  ASSERT_TRUE(dialogs::RecordMailHistory(file, "<Ann>ann@example.org"));
  ASSERT_TRUE(dialogs::RecordMailHistory(file, "<Bob>bob@example.org"));
  ASSERT_TRUE(dialogs::RecordMailHistory(file, "<ANN>ANN@example.org"));  // the same, in other case
  EXPECT_EQ(history(), "<Bob>bob@example.org\n<Ann>ann@example.org\n");
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "<N" + std::to_string(i) + ">n" + std::to_string(i) + "@example.org\r\n";
  dir.write("EMHIST.TXT", hundred);
  EXPECT_EQ(dialogs::LoadMailHistory(file).size(), 100u);
  ASSERT_TRUE(dialogs::RecordMailHistory(file, "<Carl>carl@example.org"));
  EXPECT_EQ(history(), "<Carl>carl@example.org\n");
}

TEST_F(MailForm, AddressBookPickFillsTheFields) {
  dir.write("EMHIST.TXT", "<Ann Lee>ann@example.org\nbob@example.org\n<Carl<x@y.z\n");
  TF_MailForm form(settings, attachments, lines, "");
  form.bu_AdressClick();
  ASSERT_TRUE(form.F_SearchHist);
  TF_SearchHist& book = *form.F_SearchHist;
  EXPECT_EQ(book.windowTitle(), "Address book");
  ASSERT_EQ(book.lb_SearchHist->count(), 3);
  auto pick = [&](int row) {
    book.lb_SearchHist->setCurrentRow(row);
    book.lb_SearchHistClick();
    return form.ed_Name->text().toStdString() + "|" + form.ed_Email->text().toStdString();
  };
  EXPECT_EQ(pick(0), "Ann Lee|ann@example.org");
  EXPECT_EQ(pick(1), "bob@example.org|bob@example.org");
  EXPECT_EQ(pick(2), "Carlx@y.z|<Carl<x@y.z");
}

TEST_F(MailForm, AttachmentsPickerKeepsNamesAndPathsInStep) {
  std::string first = dir.write("one/data.zip", "1");
  std::string second = dir.write("two/data.zip", "2");
  std::string other = dir.write("two/other.txt", "3");
  attachments = {first};
  TF_MailForm form(settings, attachments, lines, "");
  ui.onModal([&](platform::ModalWindow& w) {
    auto& attach = static_cast<TF_Attach&>(static_cast<widgets::DialogWindow&>(w).dialog());
    EXPECT_EQ(attach.lbx_attach->count(), 1);
    attach.SetFolder(dir / "two");
    EXPECT_EQ(attach.FileListBox1->count(), 2);
    attach.FileListBox1->selectAll();
    attach.btn_addClick();
    attach.btn_addClick();  // nothing new the second time
    EXPECT_EQ(attach.lbx_attach->count(), 3);
    EXPECT_EQ(attach.lbx_real->count(), 3);
    EXPECT_FALSE(attach.FileListBox1->item(0)->isSelected());
    // Removing the first "data.zip" removes its own path, not the other one's.
    attach.lbx_attach->item(0)->setSelected(true);
    attach.btn_delClick();
    EXPECT_EQ(attach.Attachments(), (std::vector<std::string>{second, other}));
    return int(QDialog::Accepted);
  });
  form.bu_AttachClick();
  EXPECT_EQ(ui.modalWindows, (std::vector<std::string>{"TF_Attach"}));
  ASSERT_EQ(form.co_AttachedFiles->count(), 2);
  EXPECT_EQ(form.co_AttachedFiles->itemText(0).toStdString(), "data.zip");
  EXPECT_EQ(form.AttachedPaths(), (std::vector<std::string>{second, other}));
  EXPECT_EQ(attachments, (std::vector<std::string>{second, other}));
  // Cancel changes nothing.
  ui.onModal([&](platform::ModalWindow& w) {
    auto& attach = static_cast<TF_Attach&>(static_cast<widgets::DialogWindow&>(w).dialog());
    attach.lbx_attach->selectAll();
    attach.btn_delClick();
    return int(QDialog::Rejected);
  });
  form.bu_AttachClick();
  EXPECT_EQ(form.AttachedPaths(), (std::vector<std::string>{second, other}));
}

}  // namespace

namespace {

// The sign-in settings live under their own keys, which files from before them lack.
TEST(MailSettings, SignInKeysRoundTripAndOldFilesLackThem) {
  testsupport::TempDir dir;
  std::string file = dir.write("Kelvory.Ini", "[SMTP]\nSERVER=mail.example.org\nPORT=587\n");
  dialogs::TSettings old(file);
  old.LoadSettings();
  EXPECT_EQ(old.ed_Port, "587");
  EXPECT_EQ(old.ed_User, "");
  EXPECT_FALSE(old.cb_RequireTls);
  old.ed_User = "ann";
  old.cb_RequireTls = true;
  ASSERT_TRUE(old.SaveSettings());
  dialogs::TSettings again(file);
  again.LoadSettings();
  EXPECT_EQ(again.ed_User, "ann");
  EXPECT_TRUE(again.cb_RequireTls);
  std::string text = testsupport::readFile(file);
  EXPECT_NE(text.find("USERNAME=ann"), std::string::npos);
  EXPECT_NE(text.find("REQUIRETLS=1"), std::string::npos);
}

}  // namespace
