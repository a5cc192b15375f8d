// TF_MailForm: the mail window. The user picks a recipient (typed, or from the
// address book "EMHIST.TXT"), a subject and the attachments (the open archive and
// any files added with the attachments picker), and sends.
//
// "&Send" checks the mail settings and the fields, records the recipient in the
// address book, fills the message lines and the attachment list the owner gave, and
// hands the rest to OnSend (the main window's send routine, which drives the SMTP
// client and writes its progress back through SetStatus and pb_Amazon). Closing the
// window runs OnClose (the client's abort), so closing while a send runs stops it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/settings_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QToolButton;
class TF_SearchHist;

class TF_MailForm : public QDialog {
  Q_OBJECT
 public:
  // settings: the live settings (mail server, port, own name and address).
  // attachments and lines: the main window's attachment list and message lines,
  // kept between uses of the window. openArchive: the open archive's full path, or
  // empty; it joins the attachment list unless already there.
  TF_MailForm(const dialogs::TSettings& settings, std::vector<std::string>& attachments,
              std::vector<std::string>& lines, const std::string& openArchive, QWidget* parent = nullptr);
  ~TF_MailForm() override;

  // The send routine: recipient name and address, attachments (full paths), subject.
  std::function<void(const std::string& name, const std::string& address, const std::vector<std::string>& attachments,
                     const std::string& subject)>
      OnSend;
  // Runs when the window is closed by "&Close" or its close box.
  std::function<void()> OnClose;

  QLabel* pa_Caption;
  QComboBox* co_AttachedFiles;  // names shown; each item's data is the full path
  QToolButton* bu_Attach;       // "A"
  QLineEdit* ed_Name;
  QToolButton* bu_Adress;  // "?"
  QLineEdit* ed_Email;
  QLineEdit* ed_Subject;
  QPushButton* BitBtn1;  // "&Send"
  QPushButton* BitBtn2;  // "&Close"
  QProgressBar* pb_Amazon;
  QStatusBar* smtpStatus1;
  // The address book while it is shown.
  QPointer<TF_SearchHist> F_SearchHist;

  void SetStatus(const std::string& text);
  // The full paths behind co_AttachedFiles, top to bottom.
  std::vector<std::string> AttachedPaths() const;

  void BitBtn1Click();
  void BitBtn2Click();
  void bu_AdressClick();
  void bu_AttachClick();
  // A click on an address-book entry fills the recipient's name and address.
  void PickHistoryEntry(const std::string& entry);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // "&Close", the close box and Escape all end here.
  void reject() override;

 private:
  // Shows the attachment list in co_AttachedFiles, names or full paths.
  void ShowAttachments(const std::vector<std::string>& paths, bool namesOnly);
  bool CheckFields();

  const dialogs::TSettings& settings_;
  std::vector<std::string>& attachments_;
  std::vector<std::string>& lines_;
};
