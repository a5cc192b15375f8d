// The editor's find and replace windows: small modeless windows that hold the
// search text and choices and tell their owner when a button is pressed. The owner
// does the searching.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;

// The choices a find or replace window holds, and what its last button asked for.
enum TFindOption : unsigned {
  frDown = 1u << 0,
  frMatchCase = 1u << 1,
  frWholeWord = 1u << 2,
  frHideWholeWord = 1u << 3,
  frFindNext = 1u << 4,
  frReplace = 1u << 5,
  frReplaceAll = 1u << 6,
};
using TFindOptions = unsigned;

class TFindDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TFindDialog(QWidget* parent = nullptr);

  QString FindText() const;
  void setFindText(const QString& text);
  // The check boxes and direction as frDown, frMatchCase and frWholeWord, plus what
  // the last button asked for.
  TFindOptions Options() const;
  // Sets the choices; frHideWholeWord hides the whole-word box (and clears it).
  void setOptions(TFindOptions options);
  // Shows the window (modeless) and brings it to the front.
  void Execute();
  void CloseDialog() { hide(); }

  QLineEdit* ed_FindText;
  QCheckBox* cb_WholeWord;
  QCheckBox* cb_MatchCase;
  QGroupBox* gb_Direction;
  QRadioButton* rb_Up;
  QRadioButton* rb_Down;
  QPushButton* bu_FindNext;
  QPushButton* bu_Cancel;

  // "&Find Next" pressed (with a find text).
  std::function<void()> OnFind;

 protected:
  TFindOptions action_ = 0;
  void addFindControls(class QGridLayout* grid, int& row);
};

class TReplaceDialog : public TFindDialog {
  Q_OBJECT
 public:
  explicit TReplaceDialog(QWidget* parent = nullptr);

  QString ReplaceText() const;
  void setReplaceText(const QString& text);

  QLineEdit* ed_ReplaceText;
  QPushButton* bu_Replace;
  QPushButton* bu_ReplaceAll;

  // "&Replace" or "Replace &All" pressed; Options() holds frReplace or frReplaceAll.
  std::function<void()> OnReplace;
};
