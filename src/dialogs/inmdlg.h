// The general input window and AskText, the routine that asks the user for one or
// more lines of text through it (for example a password for an encrypted archive).
//
// A description text says which fields the window shows. Fields are separated by
// kFieldEnd (character 2); each field holds four attributes, each closed by
// kAttrEnd (character 1):
//   1. the label text;
//   2. the kind letter: "A" letters only (A-Z, a-z and ÄÅÖäåö), "N" digits only,
//      "L" hidden (each character shown as "*"), "D" a date, anything else plain;
//   3. the length: the most characters the field takes, also its width in widths
//      of the letter "K" (at least 30 pixels); 0 or no number: no limit;
//   4. the initial text.
// Text after the last kFieldEnd makes no field.
//
// The answer text holds the fields' texts in field order, each followed by
// kFieldEnd; platform::GetField(answer, n, "\x02") gives the n-th one. A date field
// that is not completely filled in answers with an empty text.
//
// Example, the password prompt:
//   std::string text = dialogs::PasswordDescription();   // "Password:" plain, 10
//   if (dialogs::AskText("Password required", text))
//     password = platform::GetField(text, 1, "\x02");
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <optional>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QPushButton;

namespace dialogs {

inline constexpr char kAttrEnd = '\x01';
inline constexpr char kFieldEnd = '\x02';

// The text shared with the input window: the description before the window is
// created (the window consumes it while it builds its fields) and the answers
// after OK. Use AskText rather than this directly.
extern std::string InmDlgText;

// Shows the input window with the given caption for the description in text and
// waits for the user. On OK, text becomes the answer text and the result is true.
// On cancel (the "Avbryt" button, Escape) text becomes empty and the result is
// false, so the first answer field reads as empty. Runs through platform::ui(), so
// tests answer it with ScriptedUi::onModal (window class "TF_InmDlg").
bool AskText(const std::string& caption, std::string& text);

// The description of one field: label, kind letter, length and initial text.
std::string FieldDescription(const std::string& label, char kind, int length, const std::string& initial = {});
// The one-field password prompt: the label "Password:", a plain field of 10.
std::string PasswordDescription();

}  // namespace dialogs

// One field of the input window: a line edit that keeps its kind. Typed, pasted
// and dropped text loses the characters the kind does not take; a date field
// takes digits in the places of its date mask only.
class TInmEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TInmEdit(char kind, QWidget* parent = nullptr);
  char Kind() const { return kind_; }
  bool IsDate() const { return kind_ == 'D'; }
  // Whether a field of the given kind takes the character c.
  static bool MaskEditKeyPress(char kind, QChar c);

 private:
  char kind_;
};

class TF_InmDlg : public QDialog {
  Q_OBJECT
 public:
  // Builds the fields from dialogs::InmDlgText (which keeps only what follows the
  // last complete field). Edits are named "ed_Field1", "ed_Field2", ... and their
  // labels "la_Field1", ...
  explicit TF_InmDlg(QWidget* parent = nullptr);

  // The edits and labels in field order.
  const std::vector<TInmEdit*>& Edits() const { return edits_; }
  const std::vector<QLabel*>& Labels() const { return labels_; }

  // The input mask of the date fields, made from the settings' date format (for
  // "yyyy/mm/dd": four-digit year, two-digit month and day, "/" kept in the text,
  // "_" in empty places), and the fixed-width format the date text is written in.
  QString DateMask() const { return dateMask_; }
  std::string DateFormat() const { return dateFormat_; }

  // The date in a date field; nothing when it is incomplete or impossible.
  struct FieldDate {
    int year, month, day;
  };
  std::optional<FieldDate> DateOf(const TInmEdit* edit) const;

  // Opens the calendar for a date field, on its date or on today when it holds
  // none, and writes the chosen date back in the field's date format. Closing the
  // calendar without a choice, or any other field, changes nothing.
  void MaskEditDblClick(TInmEdit* edit);

  void bu_OkClick();
  void bu_AvbrytClick();

  QFrame* pa_Bevel;
  QPushButton* bu_Ok;
  QPushButton* bu_Avbryt;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FormCreate();
  void FormResize();
  // Enter moves to the next field, and from the last one presses OK. True when the
  // key is used.
  bool FormKeyPress(TInmEdit* edit, int key);
  // F12 in a date field opens the calendar. True when the key is used.
  bool MaskEditKeyDown(TInmEdit* edit, int key);

  std::vector<TInmEdit*> edits_;
  std::vector<QLabel*> labels_;
  QString dateMask_;
  std::string dateFormat_;
};
