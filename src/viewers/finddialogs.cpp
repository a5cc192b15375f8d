#include "viewers/finddialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <typename W>
W* named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

}  // namespace

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FindDialog1"));
  setWindowTitle(QStringLiteral("Find"));
  setModal(false);
  ed_FindText = named(new QLineEdit, "ed_FindText");
  cb_WholeWord = named(new QCheckBox(QStringLiteral("Match &whole word only")), "cb_WholeWord");
  cb_MatchCase = named(new QCheckBox(QStringLiteral("Match &case")), "cb_MatchCase");
  gb_Direction = named(new QGroupBox(QStringLiteral("Direction")), "gb_Direction");
  rb_Up = named(new QRadioButton(QStringLiteral("&Up")), "rb_Up");
  rb_Down = named(new QRadioButton(QStringLiteral("&Down")), "rb_Down");
  rb_Down->setChecked(true);
  auto* dir = new QHBoxLayout(gb_Direction);
  dir->addWidget(rb_Up);
  dir->addWidget(rb_Down);
  bu_FindNext = named(new QPushButton(QStringLiteral("&Find Next")), "bu_FindNext");
  bu_FindNext->setDefault(true);
  bu_Cancel = named(new QPushButton(QStringLiteral("Cancel")), "bu_Cancel");

  auto* grid = new QGridLayout(this);
  int row = 0;
  addFindControls(grid, row);
  grid->addWidget(gb_Direction, 1, 1, 2, 1);
  grid->addWidget(bu_FindNext, 0, 2);
  grid->addWidget(bu_Cancel, 1, 2);
  grid->setRowStretch(row, 1);

  auto enable = [this] { bu_FindNext->setEnabled(!ed_FindText->text().isEmpty()); };
  connect(ed_FindText, &QLineEdit::textChanged, this, enable);
  enable();
  connect(bu_FindNext, &QPushButton::clicked, this, [this] {
    action_ = frFindNext;
    if (OnFind) OnFind();
  });
  connect(bu_Cancel, &QPushButton::clicked, this, &QDialog::hide);
}

void TFindDialog::addFindControls(QGridLayout* grid, int& row) {
  auto* label = new QLabel(QStringLiteral("Fi&nd what:"));
  label->setBuddy(ed_FindText);
  auto* line = new QHBoxLayout;
  line->addWidget(label);
  line->addWidget(ed_FindText, 1);
  grid->addLayout(line, row++, 0, 1, 2);
  grid->addWidget(cb_WholeWord, row++, 0);
  grid->addWidget(cb_MatchCase, row++, 0);
}

QString TFindDialog::FindText() const { return ed_FindText->text(); }
void TFindDialog::setFindText(const QString& text) { ed_FindText->setText(text); }

TFindOptions TFindDialog::Options() const {
  TFindOptions o = action_;
  if (rb_Down->isChecked()) o |= frDown;
  if (cb_MatchCase->isChecked()) o |= frMatchCase;
  if (cb_WholeWord->isChecked() && !cb_WholeWord->isHidden()) o |= frWholeWord;
  if (cb_WholeWord->isHidden()) o |= frHideWholeWord;
  return o;
}

void TFindDialog::setOptions(TFindOptions options) {
  action_ = 0;
  (options & frDown ? rb_Down : rb_Up)->setChecked(true);
  cb_MatchCase->setChecked(options & frMatchCase);
  const bool hide = options & frHideWholeWord;
  cb_WholeWord->setChecked(!hide && (options & frWholeWord));
  cb_WholeWord->setHidden(hide);
}

void TFindDialog::Execute() {
  show();
  raise();
  activateWindow();
  ed_FindText->setFocus();
  ed_FindText->selectAll();
}

TReplaceDialog::TReplaceDialog(QWidget* parent) : TFindDialog(parent) {
  setObjectName(QStringLiteral("ReplaceDialog1"));
  setWindowTitle(QStringLiteral("Replace"));
  // Replacing always goes down the text.
  gb_Direction->hide();
  ed_ReplaceText = named(new QLineEdit, "ed_ReplaceText");
  bu_Replace = named(new QPushButton(QStringLiteral("&Replace")), "bu_Replace");
  bu_ReplaceAll = named(new QPushButton(QStringLiteral("Replace &All")), "bu_ReplaceAll");
  auto* grid = static_cast<QGridLayout*>(layout());
  auto* label = new QLabel(QStringLiteral("Re&place with:"));
  label->setBuddy(ed_ReplaceText);
  auto* line = new QHBoxLayout;
  line->addWidget(label);
  line->addWidget(ed_ReplaceText, 1);
  // Below the find line: the check boxes move down one row.
  grid->removeWidget(cb_WholeWord);
  grid->removeWidget(cb_MatchCase);
  grid->addLayout(line, 1, 0, 1, 2);
  grid->addWidget(cb_WholeWord, 2, 0);
  grid->addWidget(cb_MatchCase, 3, 0);
  grid->removeWidget(bu_Cancel);
  grid->addWidget(bu_Replace, 1, 2);
  grid->addWidget(bu_ReplaceAll, 2, 2);
  grid->addWidget(bu_Cancel, 3, 2);
  grid->setRowStretch(3, 0);
  grid->setRowStretch(4, 1);

  auto enable = [this] {
    const bool any = !ed_FindText->text().isEmpty();
    bu_Replace->setEnabled(any);
    bu_ReplaceAll->setEnabled(any);
  };
  connect(ed_FindText, &QLineEdit::textChanged, this, enable);
  enable();
  connect(bu_Replace, &QPushButton::clicked, this, [this] {
    action_ = frReplace;
    if (OnReplace) OnReplace();
  });
  connect(bu_ReplaceAll, &QPushButton::clicked, this, [this] {
    action_ = frReplaceAll;
    if (OnReplace) OnReplace();
  });
}

QString TReplaceDialog::ReplaceText() const { return ed_ReplaceText->text(); }
void TReplaceDialog::setReplaceText(const QString& text) { ed_ReplaceText->setText(text); }
