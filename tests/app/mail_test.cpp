// The mail command end to end: the main window's mail window sends the open archive
// to a real SMTP server on loopback, reports through the client's events, and a
// Close during a large attachment stops the send at once.
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <chrono>

#include "app/app_fixture.h"
#include "dialogs/mailform.h"
#include "mail/smtp_test_server.h"
#include "platform/pump.h"
#include "widgets/qt_ui.h"

namespace {

class MailCommand : public AppTest {
 protected:
  void Configure(const mailtest::SmtpTestServer& server) {
    settings.ed_Server = "127.0.0.1";
    settings.ed_Port = std::to_string(server.port());
    settings.ed_Name = "Me";
    settings.ed_EMail = "me@example.org";
  }
  // Queues the mail window: fill gets it to fill and press buttons in. The answers
  // to the questions it leads to are queued after this.
  void MailWindow(std::function<void(TF_MailForm&)> fill) {
    ui.onModal([fill](platform::ModalWindow& m) {
      fill(dialogOf<TF_MailForm>(m));
      return int(QDialog::Rejected);
    });
  }
  static void Recipient(TF_MailForm& f, const char* address) {
    f.ed_Name->setText("Ann");
    f.ed_Email->setText(address);
    f.ed_Subject->setText("Archive");
  }
};

TEST_F(MailCommand, SendsTheOpenArchive) {
  mailtest::SmtpTestServer server;
  ASSERT_EQ(server.error(), "");
  auto w = make();  // reads the settings file; the test's values come after
  Configure(server);
  std::string zip = writeZip("sent.zip", {{"a.txt", "hello"}});
  ASSERT_TRUE(w->OpenArchive(zip));
  std::vector<std::string> statuses;
  MailWindow([&](TF_MailForm& f) {
    Recipient(f, "ann@example.org");
    f.BitBtn1Click();  // No: nothing sent, the window stays
    EXPECT_EQ(server.transcript(1), "");
    f.BitBtn1Click();
    statuses.push_back(f.smtpStatus1->currentMessage().toStdString());
  });
  ui.answerMessage(platform::kBtnNo);  // "Are you connected to Internet?"
  ui.answerMessage(platform::kBtnYes);
  ui.answerMessage(platform::kBtnOk);  // "Mail sent successfully!"
  w->Mailarchive1Click();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Are you connected to Internet?", "Are you connected to Internet?",
                                                     "Mail sent successfully!"}));
  EXPECT_EQ(statuses, (std::vector<std::string>{"Disconnected"}));
  std::string eml = server.eml(1);
  EXPECT_NE(eml.find("From: Me<me@example.org>\r\nTo: ann@example.org\r\nSubject: Archive\r\nX-Mailer: Tarn SMTP "
                     "Demo\r\n"),
            std::string::npos)
      << eml;
  EXPECT_NE(eml.find("\r\nDate: "), std::string::npos);
  EXPECT_NE(eml.find("Archive sent by: Me using Kelvory98\r\n"), std::string::npos);
  EXPECT_NE(eml.find("filename=\"sent.zip\""), std::string::npos);
  EXPECT_NE(server.transcript(1).find("C: QUIT"), std::string::npos);
  EXPECT_EQ(testsupport::readFile(dir / "EMHIST.TXT"), "<Ann>ann@example.org\n");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(MailCommand, RefusedRecipientAndBadPortAreToldOnce) {
  mailtest::SmtpTestServer server{{"--refuse-rcpt", "nobody@example.org"}};
  ASSERT_EQ(server.error(), "");
  auto w = make();  // reads the settings file; the test's values come after
  Configure(server);
  std::string file = dir.write("notes.txt", "notes");
  w->MailAttachments = {file};
  MailWindow([&](TF_MailForm& f) {
    Recipient(f, "nobody@example.org");
    f.BitBtn1Click();
  });
  ui.acceptInformationBoxes(true);
  ui.answerMessage(platform::kBtnYes);
  ui.answerMessage(platform::kBtnOk);
  w->Mailarchive1Click();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Are you connected to Internet?",
                                                     "Recipient \"nobody@example.org\" not found!, Disconnecting"}));
  EXPECT_EQ(server.raw(1), "");
  // A port that is not a number stops before connecting; the next send works again.
  settings.ed_Port = "25x";
  ui.boxes.clear();
  MailWindow([&](TF_MailForm& f) {
    Recipient(f, "ann@example.org");
    f.BitBtn1Click();
  });
  ui.answerMessage(platform::kBtnYes);
  w->Mailarchive1Click();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Are you connected to Internet?",
                                                     "The mail server port \"25x\" is not a number from 1 to 65535"}));
}

TEST_F(MailCommand, CloseDuringLargeAttachmentStopsAtOnce) {
  mailtest::SmtpTestServer server;
  ASSERT_EQ(server.error(), "");
  auto w = make();  // reads the settings file; the test's values come after
  Configure(server);
  std::string big = dir / "big.zip";
  {
    std::string block(1 << 20, 'x');
    FILE* f = std::fopen(big.c_str(), "wb");
    for (int i = 0; i < 50; ++i) std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
  }
  w->MailAttachments = {big};
  std::chrono::steady_clock::time_point closedAt, endedAt;
  MailWindow([&](TF_MailForm& f) {
    Recipient(f, "ann@example.org");
    // The user clicks Close while the window processes events during the send.
    platform::setPumpHook([&] {
      if (closedAt.time_since_epoch().count() == 0 && w->smtp.BytesSent > 5'000'000) {
        closedAt = std::chrono::steady_clock::now();
        f.BitBtn2Click();
      }
    });
    f.BitBtn1Click();
    endedAt = std::chrono::steady_clock::now();
    platform::setPumpHook(nullptr);
  });
  ui.answerMessage(platform::kBtnYes);
  ui.answerMessage(platform::kBtnOk);  // the error box of the stopped send
  w->Mailarchive1Click();
  ASSERT_NE(closedAt.time_since_epoch().count(), 0);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(endedAt - closedAt).count(), 1000);
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Are you connected to Internet?", "Socket send aborted"}));
  EXPECT_FALSE(w->smtp.Connected());
  EXPECT_EQ(server.raw(1), "");
}

}  // namespace
