#include "dialogs/inmdlg.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QValidator>
#include <algorithm>
#include <charconv>

#include "dialogs/kalender.h"
#include "platform/datetime.h"
#include "platform/routines.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"

namespace dialogs {

std::string InmDlgText;

std::string FieldDescription(const std::string& label, char kind, int length, const std::string& initial) {
  std::string d;
  for (const std::string& attr : {label, std::string(1, kind), std::to_string(length), initial}) d += attr + kAttrEnd;
  return d + kFieldEnd;
}

std::string PasswordDescription() { return FieldDescription("Password:", 'S', 10); }

bool AskText(const std::string& caption, std::string& text) {
  InmDlgText = text;
  TF_InmDlg dialog;
  dialog.setWindowTitle(widgets::qs(caption));
  widgets::runModal(dialog, "TF_InmDlg");
  // The dialog's own result, not the runner's: only its OK button leaves answers.
  const bool ok = dialog.result() == QDialog::Accepted;
  text = ok ? InmDlgText : std::string();
  InmDlgText.clear();
  return ok;
}

}  // namespace dialogs

namespace {

using dialogs::kAttrEnd;
using dialogs::kFieldEnd;

constexpr int kRowPitch = 30;  // pixels from one field row to the next
constexpr int kMinEditWidth = 30;
constexpr int kMaxEditChars = 80;  // a longer field scrolls rather than widening the window
constexpr int kMargin = 8;
constexpr int kInner = 10;  // space inside the bevel

// Drops the characters a field does not take from whatever reaches it: typed keys,
// pasted and dropped text alike.
class KindFilter : public QValidator {
 public:
  KindFilter(char kind, QObject* parent) : QValidator(parent), kind_(kind) {}
  State validate(QString& input, int& pos) const override {
    QString kept;
    kept.reserve(input.size());
    int newPos = pos;
    for (int i = 0; i < input.size(); ++i) {
      if (TInmEdit::MaskEditKeyPress(kind_, input[i]))
        kept += input[i];
      else if (i < pos)
        --newPos;
    }
    input = kept;
    pos = newPos;
    return Acceptable;
  }

 private:
  char kind_;
};

// The input mask for dates written in the fixed-width format: every digit place
// becomes a required digit, every other character is kept (escaped where the mask
// language would read it as a code), "_" marks empty places.
QString MaskFor(const std::string& fixedFormat) {
  const QString sample = widgets::qs(platform::formatDateTime(fixedFormat, platform::DateTime{2000, 12, 31}));
  const QString codes = QStringLiteral("AaNnXx90Dd#HhBb<>!\\[]{};");
  QString mask;
  for (QChar c : sample) {
    if (c.isDigit())
      mask += QLatin1Char('9');
    else if (codes.contains(c))
      mask += QLatin1Char('\\') + c;
    else
      mask += c;
  }
  return mask + QStringLiteral(";_");
}

int ParseLength(const std::string& text) {
  int n = 0;
  auto first = text.data(), last = text.data() + text.size();
  while (first < last && *first == ' ') ++first;
  auto [end, ec] = std::from_chars(first, last, n);
  if (ec != std::errc() || n < 0) return 0;
  return std::min(n, 32767);
}

}  // namespace

TInmEdit::TInmEdit(char kind, QWidget* parent) : QLineEdit(parent), kind_(kind) {
  if (kind == 'A' || kind == 'N') setValidator(new KindFilter(kind, this));
  if (kind == 'L') {
    setEchoMode(QLineEdit::Password);
    setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
  }
}

bool TInmEdit::MaskEditKeyPress(char kind, QChar c) {
  const char16_t u = c.unicode();
  if (kind == 'N') return u >= '0' && u <= '9';
  if (kind == 'A') {
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) return true;
    // Ä Å Ö ä å ö
    return u == 0xC4 || u == 0xC5 || u == 0xD6 || u == 0xE4 || u == 0xE5 || u == 0xF6;
  }
  return true;
}

TF_InmDlg::TF_InmDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_InmDlg"));
  // A fixed dialog frame with a title and no frame buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  const std::string fixed = platform::fixedWidthDateFormat(platform::displayDateFormat())
                                .value_or(*platform::fixedWidthDateFormat("yyyy/mm/dd"));
  dateFormat_ = fixed;
  dateMask_ = MaskFor(fixed);

  pa_Bevel = new QFrame(this);
  pa_Bevel->setObjectName(QStringLiteral("pa_Bevel"));
  pa_Bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  bu_Ok = new QPushButton(QStringLiteral("&OK"), this);
  bu_Ok->setObjectName(QStringLiteral("bu_Ok"));
  bu_Ok->setDefault(true);
  bu_Avbryt = new QPushButton(QStringLiteral("&Avbryt"), this);
  bu_Avbryt->setObjectName(QStringLiteral("bu_Avbryt"));
  connect(bu_Ok, &QPushButton::clicked, this, &TF_InmDlg::bu_OkClick);
  connect(bu_Avbryt, &QPushButton::clicked, this, &TF_InmDlg::bu_AvbrytClick);

  FormCreate();
}

void TF_InmDlg::FormCreate() {
  std::string& shared = dialogs::InmDlgText;
  std::vector<std::string> fields;
  for (auto end = shared.find(kFieldEnd); end != std::string::npos; end = shared.find(kFieldEnd)) {
    fields.push_back(shared.substr(0, end));
    shared.erase(0, end + 1);
  }

  const std::string attrEnd(1, kAttrEnd);
  const int kWidth = std::max(1, QFontMetrics(font()).horizontalAdvance(QLatin1Char('K')));
  int labelWidth = 0, editWidth = 0, row = 0;
  for (const std::string& field : fields) {
    ++row;
    const std::string kindText = platform::GetField(field, 2, attrEnd);
    const char kind = kindText.empty() ? 'S' : kindText[0];
    const int length = ParseLength(platform::GetField(field, 3, attrEnd));

    auto* label = new QLabel(pa_Bevel);
    label->setObjectName(QStringLiteral("la_Field%1").arg(row));
    label->setTextFormat(Qt::PlainText);
    label->setText(widgets::qs(platform::GetField(field, 1, attrEnd)));
    auto* edit = new TInmEdit(kind, pa_Bevel);
    edit->setObjectName(QStringLiteral("ed_Field%1").arg(row));
    label->setBuddy(edit);

    int width = std::clamp(length, 0, kMaxEditChars) * kWidth;
    if (edit->IsDate()) {
      edit->setInputMask(dateMask_);
      width = std::max(width, QFontMetrics(edit->font()).horizontalAdvance(edit->displayText()) + 16);
    } else if (length > 0) {
      edit->setMaxLength(length);
    }
    edit->setText(widgets::qs(platform::GetField(field, 4, attrEnd)));
    if (edit->IsDate()) edit->setCursorPosition(0);  // typing starts with the first digit
    edit->setFixedWidth(std::max(width, kMinEditWidth));
    edit->installEventFilter(this);

    labelWidth = std::max(labelWidth, label->sizeHint().width());
    editWidth = std::max(editWidth, edit->width());
    labels_.push_back(label);
    edits_.push_back(edit);
  }

  // Edits start right of the widest label, one row every kRowPitch pixels.
  const int editX = kInner + labelWidth + kInner;
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    const int y = kInner + static_cast<int>(i) * kRowPitch;
    const int h = edits_[i]->sizeHint().height();
    edits_[i]->setGeometry(editX, y, edits_[i]->width(), h);
    const QSize ls = labels_[i]->sizeHint();
    labels_[i]->setGeometry(kInner, y + (h - ls.height()) / 2, ls.width(), ls.height());
  }
  const int lastRowHeight = edits_.empty() ? 0 : edits_.back()->height();
  const int rowsHeight = edits_.empty() ? 0 : static_cast<int>(edits_.size() - 1) * kRowPitch + lastRowHeight;
  const int buttonsWidth = bu_Ok->sizeHint().width() + kMargin + bu_Avbryt->sizeHint().width();
  const int bevelWidth = std::max(editX + editWidth + kInner, buttonsWidth);
  const int bevelHeight = std::max(rowsHeight + 2 * kInner, 2 * kInner);
  pa_Bevel->setGeometry(kMargin, kMargin, bevelWidth, bevelHeight);
  const int buttonHeight = std::max(bu_Ok->sizeHint().height(), bu_Avbryt->sizeHint().height());
  setFixedSize(bevelWidth + 2 * kMargin, kMargin + bevelHeight + kMargin + buttonHeight + kMargin);
  FormResize();

  if (!edits_.empty())
    edits_.front()->setFocus();
  else
    bu_Ok->setFocus();
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

void TF_InmDlg::FormResize() {
  const QSize ok = bu_Ok->sizeHint(), cancel = bu_Avbryt->sizeHint();
  const int h = std::max(ok.height(), cancel.height());
  const int y = height() - kMargin - h;
  const int cancelX = width() - kMargin - cancel.width();
  bu_Avbryt->setGeometry(cancelX, y, cancel.width(), h);
  bu_Ok->setGeometry(cancelX - kMargin - ok.width(), y, ok.width(), h);
}

void TF_InmDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

std::optional<TF_InmDlg::FieldDate> TF_InmDlg::DateOf(const TInmEdit* edit) const {
  if (!edit || !edit->IsDate() || !edit->hasAcceptableInput()) return std::nullopt;
  auto dt = platform::parseWithFormat(widgets::ss(edit->text()), dateFormat_);
  if (!dt) return std::nullopt;
  return FieldDate{dt->year, dt->month, dt->day};
}

bool TF_InmDlg::FormKeyPress(TInmEdit* edit, int key) {
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
  auto it = std::find(edits_.begin(), edits_.end(), edit);
  if (it == edits_.end()) return false;
  if (++it != edits_.end())
    (*it)->setFocus(Qt::TabFocusReason);
  else
    bu_OkClick();
  return true;
}

bool TF_InmDlg::MaskEditKeyDown(TInmEdit* edit, int key) {
  if (key != Qt::Key_F12 || !edit->IsDate()) return false;
  MaskEditDblClick(edit);
  return true;
}

void TF_InmDlg::MaskEditDblClick(TInmEdit* edit) {
  if (!edit || !edit->IsDate()) return;
  const auto known = DateOf(edit);
  const calendar::Date initial = known ? calendar::Date{known->year, known->month, known->day} : calendar::Date{};
  const auto chosen = PickDate(initial, this);
  if (!chosen) return;
  edit->setText(widgets::qs(platform::formatDateTime(dateFormat_, {chosen->year, chosen->month, chosen->day})));
  edit->setFocus();
}

bool TF_InmDlg::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<TInmEdit*>(watched);
  if (edit && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~(Qt::KeypadModifier)) return QDialog::eventFilter(watched, event);
    if (MaskEditKeyDown(edit, key->key()) || FormKeyPress(edit, key->key())) return true;
  } else if (edit && event->type() == QEvent::MouseButtonDblClick && edit->IsDate()) {
    MaskEditDblClick(edit);
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TF_InmDlg::bu_OkClick() {
  std::string answers;
  for (TInmEdit* edit : edits_) {
    std::string text = widgets::ss(edit->text());
    if (edit->IsDate()) {
      // An incomplete date answers with an empty text; an impossible one is refused.
      if (!edit->hasAcceptableInput()) {
        text.clear();
      } else if (!DateOf(edit)) {
        platform::ui().message(platform::MsgKind::Warning, widgets::ss(windowTitle()), text + " is not a valid date",
                               platform::kOk);
        edit->setFocus();
        return;
      }
    }
    answers += text + kFieldEnd;
  }
  dialogs::InmDlgText = answers;
  accept();
}

void TF_InmDlg::bu_AvbrytClick() { reject(); }
