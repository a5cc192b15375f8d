#include "dialogs/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/browse.h"
#include "dialogs/controls.h"
#include "dialogs/dialogrules.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"

using dialogs::SettingsValues;
using widgets::qs;
using widgets::ss;

namespace {

// Client area of the window.
constexpr int kWidth = 376;
constexpr int kHeight = 419;
constexpr int kFirstOrder = 1;
constexpr int kLastOrder = 6;

template <typename W>
W* named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QCheckBox* checkBox(const char* name, const char* caption, const char* hint = nullptr) {
  auto* c = named(new QCheckBox(QString::fromUtf8(caption)), name);
  if (hint) c->setToolTip(QString::fromUtf8(hint));
  return c;
}

QRadioButton* radio(const char* name, const char* caption) {
  return named(new QRadioButton(QString::fromUtf8(caption)), name);
}

QLineEdit* edit(const char* name, const char* hint = nullptr) {
  auto* e = named(new QLineEdit, name);
  if (hint) e->setToolTip(QString::fromUtf8(hint));
  return e;
}

QPushButton* browseButton(const char* name) {
  auto* b = named(new QPushButton(QStringLiteral("...")), name);
  b->setFixedWidth(28);
  return b;
}

QVBoxLayout* tight(QVBoxLayout* l) {
  l->setSpacing(3);
  l->setContentsMargins(6, 4, 6, 4);
  return l;
}

QGroupBox* group(const QString& title) { return new QGroupBox(title); }

QHBoxLayout* row(std::initializer_list<QWidget*> widgets) {
  auto* l = new QHBoxLayout;
  l->setSpacing(4);
  for (QWidget* w : widgets) l->addWidget(w);
  return l;
}

// Sets a radio button without letting its group force a partner on or off, so a
// pair whose stored values are both off is shown that way.
void setRadio(QRadioButton* b, bool on) {
  b->setAutoExclusive(false);
  b->setChecked(on);
  b->setAutoExclusive(true);
}

}  // namespace

// ---- TSpinButton, TColorPanel ---------------------------------------------------

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  UpButton = named(new QToolButton, "Up");
  DownButton = named(new QToolButton, "Down");
  UpButton->setArrowType(Qt::UpArrow);
  DownButton->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {UpButton, DownButton}) {
    b->setFixedSize(15, 9);
    l->addWidget(b);
  }
}

TColorPanel::TColorPanel(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Sunken);
  setAutoFillBackground(true);
  setFixedSize(41, 19);
  setCursor(Qt::PointingHandCursor);
}

void TColorPanel::SetColorRef(std::int32_t ref) {
  ref_ = ref;
  QPalette p = palette();
  p.setColor(QPalette::Window, widgets::colorFromRef(static_cast<std::uint32_t>(ref)));
  setPalette(p);
}

void TColorPanel::mouseReleaseEvent(QMouseEvent* event) {
  QFrame::mouseReleaseEvent(event);
  emit clicked();
}

// ---- TF_Settings -------------------------------------------------------------------

TF_Settings::TF_Settings(dialogs::TSettings& settings, Hooks hooks, QWidget* parent)
    : QDialog(parent), settings_(settings), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("F_Settings"));
  // Named like its banner, so the window manager's title bar and window list name it.
  setWindowTitle(QStringLiteral("Configuration"));
  setFixedSize(kWidth, kHeight);
  // A small font, as the window's fixed size was laid out for.
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(4, 4, 4, 4);
  main->setSpacing(4);

  pa_Banner = dialogs::Banner("Configuration");
  main->addWidget(pa_Banner);

  PageControl1 = named(new QTabWidget, "PageControl1");
  PageControl1->setUsesScrollButtons(false);
  PageControl1->tabBar()->setElideMode(Qt::ElideNone);
  PageControl1->addTab(BuildUserInterfacePage(), QStringLiteral("User Interface"));
  PageControl1->addTab(BuildFoldersPage(), QStringLiteral("Folders"));
  PageControl1->addTab(BuildSystemPage(), QStringLiteral("System"));
  PageControl1->addTab(BuildLocationsPage(), QStringLiteral("Locations"));
  PageControl1->addTab(BuildZipPage(), QStringLiteral("Zip && Email"));
  PageControl1->addTab(BuildSpanningPage(), QStringLiteral("Spanning"));
  main->addWidget(PageControl1, 1);

  BitBtn1 = named(new QPushButton(QStringLiteral("OK")), "BitBtn1");
  BitBtn1->setDefault(true);
  BitBtn1->setToolTip(QStringLiteral("Close and save settings"));
  BitBtn2 = named(new QPushButton(QStringLiteral("Cancel")), "BitBtn2");
  BitBtn2->setToolTip(QStringLiteral("Close without save changes"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  main->addLayout(buttons);
  connect(BitBtn1, &QPushButton::clicked, this, &TF_Settings::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
  dialogs::EscapeClicks(*this, *BitBtn2);
  // The six page titles in the window's own font need more width than the
  // window's designed size gives them on some styles; the window widens to show
  // every title whole rather than cut the last ones off.
  const int tabsWidth = PageControl1->tabBar()->sizeHint().width() + 2 * main->contentsMargins().left() + 8;
  setFixedSize(std::max(kWidth, tabsWidth), kHeight);

  settings_.LoadSettings();
  ShowValues();
  if (settings_.cb_OpenStart && hooks_.OnOpenFavorites) hooks_.OnOpenFavorites();
}

QWidget* TF_Settings::BuildColumnsGroup() {
  auto* box = group(QStringLiteral("Columns"));
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  grid->setContentsMargins(6, 2, 6, 4);
  grid->addWidget(new QLabel(QStringLiteral("Order")), 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Width")), 0, 3);

  QCheckBox** checks[] = {&ch_Filename, &ch_Size, &ch_Packed, &ch_Modified, &ch_Ratio, &ch_Path};
  QLabel** orders[] = {&la_Filename, &la_Size, &la_Packed, &la_Modified, &la_Ratio, &la_Path};
  TSpinButton** spins[] = {&sb_Filename, &sb_Size, &sb_Packed, &sb_Modified, &sb_Ratio, &sb_Path};
  QLineEdit** widths[] = {&ed_Filename, &ed_Size, &ed_Packed, &ed_Modified, &ed_Ratio, &ed_Path};
  for (std::size_t i = 0; i < dialogs::kColumnCount; ++i) {
    const QString title = QString::fromLatin1(dialogs::kColumnTitles[i]);
    auto* check = new QCheckBox(title);
    check->setObjectName(QStringLiteral("ch_") + title);
    auto* order = new QLabel;
    order->setObjectName(QStringLiteral("la_") + title);
    order->setAutoFillBackground(true);
    QPalette p = order->palette();
    p.setColor(QPalette::Window, Qt::white);
    order->setPalette(p);
    order->setFixedWidth(20);
    order->setAlignment(Qt::AlignCenter);
    auto* spin = new TSpinButton;
    spin->setObjectName(QStringLiteral("sb_") + title);
    auto* width = new QLineEdit;
    width->setObjectName(QStringLiteral("ed_") + title);
    width->setFrame(false);
    width->setFixedWidth(40);
    *checks[i] = check;
    *orders[i] = order;
    *spins[i] = spin;
    *widths[i] = width;
    rows_[i] = {check, order, spin, width};
    const int r = static_cast<int>(i) + 1;
    grid->addWidget(check, r, 0);
    grid->addWidget(order, r, 1);
    grid->addWidget(spin, r, 2);
    grid->addWidget(width, r, 3);
    BindColumnRow(i);
  }
  // The listing always shows the names.
  ch_Filename->setEnabled(false);

  bu_Default = named(new QPushButton(QStringLiteral("Set default")), "bu_Default");
  bu_Default->setToolTip(QStringLiteral("Close and save settings"));
  connect(bu_Default, &QPushButton::clicked, this, &TF_Settings::bu_DefaultClick);
  grid->addWidget(bu_Default, static_cast<int>(dialogs::kColumnCount) + 1, 0, 1, 4);
  grid->setRowStretch(static_cast<int>(dialogs::kColumnCount) + 2, 1);
  return box;
}

QWidget* TF_Settings::BuildUserInterfacePage() {
  auto* page = new QWidget;
  auto* pl = tight(new QVBoxLayout(page));
  auto* fileWindow = group(QStringLiteral("File window"));
  auto* fl = tight(new QVBoxLayout(fileWindow));

  auto* top = new QHBoxLayout;
  top->addWidget(BuildColumnsGroup());
  auto* right = new QVBoxLayout;
  right->setSpacing(3);
  pa_HeaderColor = named(new TColorPanel, "pa_HeaderColor");
  pa_WindowColor = named(new TColorPanel, "pa_WindowColor");
  right->addWidget(new QLabel(QStringLiteral("Header color")));
  right->addWidget(pa_HeaderColor);
  right->addWidget(new QLabel(QStringLiteral("Window color")));
  right->addWidget(pa_WindowColor);
  connect(pa_HeaderColor, &TColorPanel::clicked, this, [this] { pa_HeaderColorClick(pa_HeaderColor); });
  connect(pa_WindowColor, &TColorPanel::clicked, this, [this] { pa_HeaderColorClick(pa_WindowColor); });
  showers_.push_back([this] {
    pa_HeaderColor->SetColorRef(settings_.pa_HeaderColor);
    pa_WindowColor->SetColorRef(settings_.pa_WindowColor);
  });

  co_DateFormat = named(new QComboBox, "co_DateFormat");
  co_DateFormat->setEditable(true);
  co_DateFormat->addItems({QStringLiteral("yy/mm/dd"), QStringLiteral("dd/mm/yy"), QStringLiteral("yyyy/mm/dd"),
                           QStringLiteral("dd/mm/yyyy")});
  co_Timeformat = named(new QComboBox, "co_Timeformat");
  co_Timeformat->setEditable(true);
  co_Timeformat->addItems({QStringLiteral("hh:mm:ss"), QStringLiteral("hh:mm"), QStringLiteral("mm:hh")});
  Bind(co_DateFormat, &SettingsValues::co_DateFormat);
  Bind(co_Timeformat, &SettingsValues::co_Timeformat);
  right->addWidget(new QLabel(QStringLiteral("Date format")));
  right->addWidget(co_DateFormat);
  right->addWidget(new QLabel(QStringLiteral("Time format")));
  right->addWidget(co_Timeformat);
  right->addStretch(1);
  top->addLayout(right, 1);
  fl->addLayout(top);

  cb_Vert = checkBox("cb_Vert", "Show grid vertical lines");
  cb_Hor = checkBox("cb_Hor", "Show grid horizontal lines");
  cb_Tooltip = checkBox("cb_Tooltip", "Show tooltip under buttons");
  cbExpLook = checkBox("cbExpLook", "Make mainbuttons Explorer Look a like!");
  auto* checks = new QGridLayout;
  checks->setVerticalSpacing(2);
  checks->addWidget(cb_Vert, 0, 0);
  checks->addWidget(cb_Hor, 1, 0);
  checks->addWidget(cb_Tooltip, 2, 0);
  checks->addWidget(cbExpLook, 3, 0);
  fl->addLayout(checks);
  Bind(cb_Vert, &SettingsValues::cb_Vert);
  Bind(cb_Hor, &SettingsValues::cb_Hor);
  Bind(cb_Tooltip, &SettingsValues::cb_Tooltip);
  Bind(cbExpLook, &SettingsValues::cbExpLook);
  pl->addWidget(fileWindow);
  pl->addStretch(1);
  return page;
}

QWidget* TF_Settings::BuildFoldersPage() {
  auto* page = new QWidget;
  auto* pl = tight(new QVBoxLayout(page));
  auto folderGroup = [&](const char* title, QRadioButton* a, QRadioButton* b, QLineEdit* e, QPushButton* bu) {
    auto* box = group(QString::fromUtf8(title));
    auto* l = tight(new QVBoxLayout(box));
    if (a) l->addLayout(row({a, b}));
    l->addLayout(row({e, bu}));
    pl->addWidget(box);
  };
  rb_WinDef = radio("rb_WinDef", "Windows default");
  rb_OtherWin = radio("rb_OtherWin", "Other");
  ed_StartUp = edit("ed_StartUp");
  bu_Startup = browseButton("bu_Startup");
  folderGroup("Startup folder", rb_WinDef, rb_OtherWin, ed_StartUp, bu_Startup);
  rb_Extr = radio("rb_Extr", "Last extract folder");
  rb_OtherExtr = radio("rb_OtherExtr", "Other");
  ed_Extract = edit("ed_Extract");
  bu_Extract = browseButton("bu_Extract");
  folderGroup("Extract folder", rb_Extr, rb_OtherExtr, ed_Extract, bu_Extract);
  rb_Last = radio("rb_Last", "Last add folder");
  rb_OtherLast = radio("rb_OtherLast", "Other");
  ed_Add = edit("ed_Add");
  bu_Add = browseButton("bu_Add");
  folderGroup("Add folder", rb_Last, rb_OtherLast, ed_Add, bu_Add);
  ed_Temp = edit("ed_Temp");
  bu_Temp = browseButton("bu_Temp");
  folderGroup("Temporary folder", nullptr, nullptr, ed_Temp, bu_Temp);
  pl->addStretch(1);

  BindRadioPair(rb_WinDef, &SettingsValues::rb_WinDef, rb_OtherWin, &SettingsValues::rb_OtherWin);
  BindRadioPair(rb_Extr, &SettingsValues::rb_Extr, rb_OtherExtr, &SettingsValues::rb_OtherExtr);
  BindRadioPair(rb_Last, &SettingsValues::rb_Last, rb_OtherLast, &SettingsValues::rb_OtherLast);
  Bind(ed_StartUp, &SettingsValues::ed_StartUp);
  Bind(ed_Extract, &SettingsValues::ed_Extract);
  Bind(ed_Add, &SettingsValues::ed_Add);
  Bind(ed_Temp, &SettingsValues::ed_Temp);
  connect(bu_Startup, &QPushButton::clicked, this,
          [this] { Browse(QStringLiteral("Choose startup folder"), ed_StartUp); });
  connect(bu_Extract, &QPushButton::clicked, this,
          [this] { Browse(QStringLiteral("Choose extract folder"), ed_Extract); });
  connect(bu_Add, &QPushButton::clicked, this, [this] { Browse(QStringLiteral("Choose add folder"), ed_Add); });
  connect(bu_Temp, &QPushButton::clicked, this, [this] { Browse(QStringLiteral("Choose temp folder"), ed_Temp); });
  return page;
}

QWidget* TF_Settings::BuildSystemPage() {
  auto* page = new QWidget;
  auto* pl = tight(new QVBoxLayout(page));
  auto* drop = group(QStringLiteral("Drag && Drop"));
  auto* dl = tight(new QVBoxLayout(drop));
  cb_Outside = checkBox("cb_Outside", "Accept files outside Kelvory98");
  cb_AskzipName = checkBox("cb_AskzipName", "Ask Zipname before if new archive");
  ed_Zipname = edit("ed_Zipname");
  bu_Path = browseButton("bu_Path");
  dl->addWidget(cb_Outside);
  dl->addWidget(cb_AskzipName);
  dl->addWidget(new QLabel(QStringLiteral("Default path and name of Zipfile:")));
  dl->addLayout(row({ed_Zipname, bu_Path}));
  pl->addWidget(drop);

  auto* install = group(QStringLiteral("Available install programs"));
  auto* il = tight(new QVBoxLayout(install));
  ed_Install = edit("ed_Install");
  il->addWidget(new QLabel(QStringLiteral("Separate each program with semicolon")));
  il->addWidget(ed_Install);
  pl->addWidget(install);

  cb_OpenStart = checkBox("cb_OpenStart", "Open favorites window on start");
  cb_SaveLayout = checkBox("cb_SaveLayout", "Save Kelvory 98 Layout");
  cb_FilesAdded = checkBox("cb_FilesAdded", "Prompt after files added");
  cb_AfterExtracted = checkBox("cb_AfterExtracted", "Prompt after files extracted");
  cb_AfterDeleted = checkBox("cb_AfterDeleted", "Prompt after files deleted");
  for (QCheckBox* c : {cb_OpenStart, cb_SaveLayout, cb_FilesAdded, cb_AfterExtracted, cb_AfterDeleted})
    pl->addWidget(c);
  pl->addStretch(1);

  Bind(cb_Outside, &SettingsValues::cb_Outside);
  Bind(cb_AskzipName, &SettingsValues::cb_AskzipName);
  Bind(ed_Zipname, &SettingsValues::ed_Zipname);
  Bind(ed_Install, &SettingsValues::ed_Install);
  Bind(cb_OpenStart, &SettingsValues::cb_OpenStart);
  Bind(cb_SaveLayout, &SettingsValues::cb_SaveLayout);
  Bind(cb_FilesAdded, &SettingsValues::cb_FilesAdded);
  Bind(cb_AfterExtracted, &SettingsValues::cb_AfterExtracted);
  Bind(cb_AfterDeleted, &SettingsValues::cb_AfterDeleted);
  connect(bu_Path, &QPushButton::clicked, this, &TF_Settings::BrowseZipFolder);
  return page;
}

QWidget* TF_Settings::BuildLocationsPage() {
  auto* page = new QWidget;
  auto* pl = tight(new QVBoxLayout(page));
  auto* text = group(QStringLiteral("Text viewer"));
  auto* tl = tight(new QVBoxLayout(text));
  rb_External = radio("rb_External", "External");
  rb_BuiltIn = radio("rb_BuiltIn", "Built in");
  ed_Editor = edit("ed_Editor");
  bu_GetTexTDir = browseButton("bu_GetTexTDir");
  tl->addLayout(row({rb_External, rb_BuiltIn}));
  tl->addWidget(new QLabel(QStringLiteral("Path and filename")));
  tl->addLayout(row({ed_Editor, bu_GetTexTDir}));
  pl->addWidget(text);

  auto* graphic = group(QStringLiteral("Graphic viewer"));
  auto* gl = tight(new QVBoxLayout(graphic));
  rb_ExtGraphic = radio("rb_ExtGraphic", "External");
  rb_BuiltGraphic = radio("rb_BuiltGraphic", "Internal (GIF, GIF Anim, JPG, BMP)");
  ed_Graphic = edit("ed_Graphic");
  bu_Graphic = browseButton("bu_Graphic");
  ed_Formats = edit("ed_Formats");
  gl->addLayout(row({rb_ExtGraphic, rb_BuiltGraphic}));
  gl->addWidget(new QLabel(QStringLiteral("Path and filename")));
  gl->addLayout(row({ed_Graphic, bu_Graphic}));
  gl->addWidget(new QLabel(QStringLiteral("Supported formats. Separated with ;")));
  gl->addWidget(ed_Formats);
  pl->addWidget(graphic);
  pl->addStretch(1);
  ed_Graphic->setEnabled(false);
  ed_Formats->setEnabled(false);

  BindRadioPair(rb_External, &SettingsValues::rb_External, rb_BuiltIn, &SettingsValues::rb_BuiltIn);
  BindRadioPair(rb_ExtGraphic, &SettingsValues::rb_ExtGraphic, rb_BuiltGraphic, &SettingsValues::rb_BuiltGraphic);
  Bind(ed_Editor, &SettingsValues::ed_Editor);
  Bind(ed_Graphic, &SettingsValues::ed_Graphic);
  Bind(ed_Formats, &SettingsValues::ed_Formats);
  connect(rb_ExtGraphic, &QRadioButton::clicked, this, &TF_Settings::rb_GraphicClick);
  connect(rb_BuiltGraphic, &QRadioButton::clicked, this, &TF_Settings::rb_GraphicClick);
  for (QLineEdit* e : {ed_Editor, ed_Graphic, ed_Formats}) e->installEventFilter(this);
  connect(bu_GetTexTDir, &QPushButton::clicked, this,
          [this] { Browse(QStringLiteral("Choose text viewer folder"), ed_Editor); });
  connect(bu_Graphic, &QPushButton::clicked, this,
          [this] { Browse(QStringLiteral("Choose graphic viewer folder"), ed_Graphic); });
  return page;
}

QWidget* TF_Settings::BuildZipPage() {
  auto* page = new QWidget;
  auto* pl = tight(new QVBoxLayout(page));
  auto* zip = group(QStringLiteral("ZIP compression options"));
  auto* zl = new QGridLayout(zip);
  zl->setContentsMargins(6, 4, 6, 4);
  zl->setVerticalSpacing(2);
  DirNameCB = checkBox("DirNameCB", "Save DirNames", "Saves the pathname with each filename");
  RecurseCB = checkBox("RecurseCB", "Recurse Dirs",
                       "Subdirectories below EACH given filespecification will be included in the filespecification");
  CB_ForceDos = checkBox("CB_ForceDos", "Force MS-DOS",
                         "Force all filenames that go into the ZIP file to meet the DOS 8x3 restriction. If not "
                         "checked, long filenames are supported");
  CB_Timestamp =
      checkBox("CB_Timestamp", "Use Timestamp", "Set ZIP timestamp to that of the newest file in the archive");
  zl->addWidget(DirNameCB, 0, 0);
  zl->addWidget(RecurseCB, 1, 0);
  zl->addWidget(CB_ForceDos, 2, 0);
  zl->addWidget(CB_Timestamp, 3, 0);

  auto* level = new QVBoxLayout;
  level->setSpacing(0);
  level->addWidget(new QLabel(QStringLiteral("Compression level")));
  tb_complevel = named(new QSlider(Qt::Horizontal), "tb_complevel");
  tb_complevel->setRange(0, 9);
  tb_complevel->setTickInterval(1);
  tb_complevel->setSingleStep(1);
  tb_complevel->setPageStep(1);
  tb_complevel->setTickPosition(QSlider::TicksBelow);
  tb_complevel->setToolTip(QStringLiteral("Compression level, default = max = save space, Min = save time"));
  level->addWidget(tb_complevel);
  auto* marks = new QHBoxLayout;
  marks->addWidget(new QLabel(QStringLiteral("Min")));
  marks->addStretch(1);
  marks->addWidget(new QLabel(QStringLiteral("Med")));
  marks->addStretch(1);
  marks->addWidget(new QLabel(QStringLiteral("Max")));
  level->addLayout(marks);
  zl->addLayout(level, 0, 1, 4, 1);
  pl->addWidget(zip);

  auto* mail = group(QStringLiteral("Email server information"));
  auto* ml = new QGridLayout(mail);
  ml->setContentsMargins(6, 4, 6, 4);
  ml->setVerticalSpacing(3);
  ed_Server = edit("ed_Server");
  ed_Port = edit("ed_Port");
  ed_Port->setText(QStringLiteral("25"));
  ed_Name = edit("ed_Name");
  ed_EMail = edit("ed_EMail", "Return address to use when sending SMTP mail");
  // The port is typed or picked: 25 (plain SMTP) or 587 (mail submission).
  co_Port = named(new QComboBox, "co_Port");
  co_Port->setEditable(true);
  co_Port->setInsertPolicy(QComboBox::NoInsert);
  co_Port->setLineEdit(ed_Port);
  co_Port->setCompleter(nullptr);  // a typed "5" must stay "5", not become 587
  co_Port->addItems({QStringLiteral("25"), QStringLiteral("587")});
  ed_User = edit("ed_User",
                 "User name for signing in to the mail server; empty: no sign-in. The password is asked "
                 "for when mail is sent and never stored");
  cb_RequireTls = checkBox("cb_RequireTls", "Require a secure connection (TLS)",
                           "Send nothing unless the server offers a secure connection");
  const std::pair<const char*, QWidget*> lines[] = {{"Mail server:", ed_Server},
                                                    {"Port:", co_Port},
                                                    {"Your name:", ed_Name},
                                                    {"Email address:", ed_EMail},
                                                    {"User name:", ed_User}};
  int r = 0;
  for (const auto& [label, e] : lines) {
    ml->addWidget(new QLabel(QString::fromUtf8(label)), r, 0);
    ml->addWidget(e, r++, 1);
  }
  ml->addWidget(cb_RequireTls, r, 0, 1, 2);
  pl->addWidget(mail);
  pl->addStretch(1);

  Bind(DirNameCB, &SettingsValues::DirNameCB);
  Bind(RecurseCB, &SettingsValues::RecurseCB);
  Bind(CB_ForceDos, &SettingsValues::CB_ForceDos);
  Bind(CB_Timestamp, &SettingsValues::CB_Timestamp);
  connect(tb_complevel, &QSlider::valueChanged, this, [this](int v) {
    if (!showing_) settings_.tb_complevel = v;
  });
  showers_.push_back([this] { tb_complevel->setValue(settings_.tb_complevel); });
  Bind(ed_Server, &SettingsValues::ed_Server);
  Bind(ed_Port, &SettingsValues::ed_Port);
  Bind(ed_Name, &SettingsValues::ed_Name);
  Bind(ed_EMail, &SettingsValues::ed_EMail);
  Bind(ed_User, &SettingsValues::ed_User);
  Bind(cb_RequireTls, &SettingsValues::cb_RequireTls);
  return page;
}

QWidget* TF_Settings::BuildSpanningPage() {
  auto* page = new QWidget;
  auto* pl = tight(new QVBoxLayout(page));
  auto* span = group(QStringLiteral("Multiple disk spanning"));
  auto* sl = new QGridLayout(span);
  sl->setContentsMargins(6, 4, 6, 4);
  sl->setVerticalSpacing(3);
  FreeDisk1Edit = edit("FreeDisk1Edit", "Bytes on the first disk which will not be used for the zipfile");
  MaxVolSizeEdit = edit("MaxVolSizeEdit", "Maximum size of any archive part in bytes");
  MinFreeVolEdit = edit("MinFreeVolEdit", "Min. number of bytes available before disk will be used");
  sl->addWidget(new QLabel(QStringLiteral("Keep free on first disk")), 0, 0);
  sl->addWidget(FreeDisk1Edit, 0, 1);
  sl->addWidget(new QLabel(QStringLiteral("Bytes")), 0, 2);
  sl->addWidget(new QLabel(QStringLiteral("Max. volume size")), 1, 0);
  sl->addWidget(MaxVolSizeEdit, 1, 1);
  sl->addWidget(new QLabel(QStringLiteral("Bytes")), 1, 2);
  sl->addWidget(new QLabel(QStringLiteral("0 = Use available space")), 2, 1);
  sl->addWidget(new QLabel(QStringLiteral("Min. free volume size")), 3, 0);
  sl->addWidget(MinFreeVolEdit, 3, 1);
  sl->addWidget(new QLabel(QStringLiteral("Bytes")), 3, 2);
  FormatCB = checkBox("FormatCB", "&Format each disk first");
  // The caption is wider than the window: it takes two lines.
  CheckBox1 = checkBox("CheckBox1", "Automatically use disk spanning when\nwriting to removable media");
  sl->addWidget(FormatCB, 4, 0, 1, 3);
  sl->addWidget(CheckBox1, 5, 0, 1, 3);
  pl->addWidget(span);
  pl->addStretch(1);

  Bind(FreeDisk1Edit, &SettingsValues::FreeDisk1Edit);
  Bind(MaxVolSizeEdit, &SettingsValues::MaxVolSizeEdit);
  Bind(MinFreeVolEdit, &SettingsValues::MinFreeVolEdit);
  Bind(FormatCB, &SettingsValues::FormatCB);
  Bind(CheckBox1, &SettingsValues::CheckBox1);
  return page;
}

// ---- Binding controls to the settings ---------------------------------------------

void TF_Settings::Bind(QAbstractButton* box, bool SettingsValues::*field) {
  connect(box, &QAbstractButton::toggled, this, [this, field](bool on) {
    if (!showing_) settings_.*field = on;
  });
  showers_.push_back([this, box, field] { box->setChecked(settings_.*field); });
}

void TF_Settings::Bind(QLineEdit* e, std::string SettingsValues::*field) {
  connect(e, &QLineEdit::textChanged, this, [this, field](const QString& t) {
    if (!showing_) settings_.*field = ss(t);
  });
  showers_.push_back([this, e, field] { e->setText(qs(settings_.*field)); });
}

void TF_Settings::Bind(QComboBox* combo, std::string SettingsValues::*field) {
  connect(combo, &QComboBox::currentTextChanged, this, [this, field](const QString& t) {
    if (!showing_) settings_.*field = ss(t);
  });
  showers_.push_back([this, combo, field] { combo->setCurrentText(qs(settings_.*field)); });
}

void TF_Settings::BindRadioPair(QRadioButton* first, bool SettingsValues::*firstField, QRadioButton* second,
                                bool SettingsValues::*secondField) {
  for (auto [b, f] : {std::pair{first, firstField}, std::pair{second, secondField}}) {
    connect(b, &QRadioButton::toggled, this, [this, f = f](bool on) {
      if (!showing_) settings_.*f = on;
    });
  }
  showers_.push_back([this, first, firstField, second, secondField] {
    setRadio(first, settings_.*firstField);
    setRadio(second, settings_.*secondField);
  });
}

void TF_Settings::BindColumnRow(std::size_t index) {
  const RowControls& r = rows_[index];
  connect(r.check, &QCheckBox::toggled, this, [this, index](bool on) {
    if (!showing_) settings_.Columns[index].Shown = on;
  });
  connect(r.width, &QLineEdit::textChanged, this, [this, index](const QString& t) {
    if (!showing_) settings_.Columns[index].Width = ss(t);
  });
  connect(r.spin->UpButton, &QToolButton::clicked, this, [this, index] { StepOrder(index, -1); });
  connect(r.spin->DownButton, &QToolButton::clicked, this, [this, index] { StepOrder(index, +1); });
  showers_.push_back([this, index] {
    const dialogs::ColumnRow& c = settings_.Columns[index];
    rows_[index].check->setChecked(c.Shown);
    rows_[index].order->setText(qs(c.Order));
    rows_[index].width->setText(qs(c.Width));
  });
}

void TF_Settings::StepOrder(std::size_t index, int step) {
  // Up lowers the number, down raises it, within 1..6. Rows are not kept apart:
  // two rows may show the same number. A number that is not one (typed into the
  // file) stays as it is.
  std::string& order = settings_.Columns[index].Order;
  bool ok = false;
  const int n = qs(order).toInt(&ok);
  if (!ok) return;
  const int next = n + step;
  if ((step < 0 && n <= kFirstOrder) || (step > 0 && n >= kLastOrder)) return;
  order = std::to_string(next);
  rows_[index].order->setText(qs(order));
}

void TF_Settings::ShowValues() {
  showing_ = true;
  for (const auto& show : showers_) show();
  showing_ = false;
  ed_Graphic->setEnabled(settings_.rb_ExtGraphic);
  ed_Formats->setEnabled(settings_.rb_ExtGraphic);
}

void TF_Settings::showEvent(QShowEvent* event) {
  ShowValues();
  QDialog::showEvent(event);
  dialogs::CentreOnScreen(*this);
}

// ---- Handlers ----------------------------------------------------------------------

bool TF_Settings::SaveSettings() {
  dialogs::WriteResult r = settings_.SaveSettings();
  if (!r) platform::ui().message(platform::MsgKind::Error, {}, r.error, platform::kOk);
  return r.ok;
}

void TF_Settings::BitBtn1Click() {
  // The window closes with OK even when the save failed: the values stay in effect.
  if (SaveSettings() && hooks_.OnSettingsAccepted) hooks_.OnSettingsAccepted();
  accept();
}

void TF_Settings::bu_DefaultClick() {
  auto answer = platform::ui().message(platform::MsgKind::Confirmation, {}, "Are you sure?", platform::kYesNo);
  if (answer != platform::kBtnNo) {
    settings_.SetFactoryColumns();
    ShowValues();
  }
  accept();
}

void TF_Settings::pa_HeaderColorClick(TColorPanel* panel) {
  std::int32_t& field = panel == pa_HeaderColor ? settings_.pa_HeaderColor : settings_.pa_WindowColor;
  // A system colour starts the dialog on the colour it stands for.
  const auto start = widgets::refFromColor(widgets::colorFromRef(static_cast<std::uint32_t>(field)));
  if (auto chosen = platform::ui().pickColor(start)) {
    field = static_cast<std::int32_t>(*chosen & 0x00FFFFFFu);
    panel->SetColorRef(field);
  }
}

void TF_Settings::rb_GraphicClick() {
  if (rb_BuiltGraphic->isChecked()) {
    ed_Graphic->setEnabled(false);
    ed_Formats->setEnabled(false);
  } else if (rb_ExtGraphic->isChecked()) {
    ed_Graphic->setEnabled(true);
    ed_Formats->setEnabled(true);
  }
}

void TF_Settings::ed_EditorExit() {
  if (!platform::fileExists(settings_.ed_Editor))
    platform::ui().message(platform::MsgKind::Warning, {}, "Can't find editor!", platform::kOk);
}

bool TF_Settings::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && (watched == ed_Editor || watched == ed_Graphic || watched == ed_Formats)) {
    // Only a move to another control of this window counts as leaving the field,
    // not the window losing the focus (for instance to the warning box itself).
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) ed_EditorExit();
  }
  return QDialog::eventFilter(watched, event);
}

// ---- Browsing for folders ----------------------------------------------------------

void TF_Settings::Browse(const QString& caption, QLineEdit* target) {
  TF_Browse browse(this);
  browse.setWindowTitle(caption);
  const std::string current = ss(target->text());
  browse.SetFolder(platform::directoryExists(current) ? current : platform::homeFolder());
  if (widgets::runModal(browse, "TF_Browse") != QDialog::Accepted) return;
  if (auto folder = browse.Folder()) target->setText(qs(*folder));
}

void TF_Settings::BrowseZipFolder() {
  // The edit holds a path and a file name: the chosen folder replaces the path and
  // the name stays, so the setting keeps naming an archive.
  TF_Browse browse(this);
  browse.setWindowTitle(QStringLiteral("Choose folder"));
  const std::string current = ss(ed_Zipname->text());
  const std::string folder = platform::folderOf(current);
  browse.SetFolder(platform::directoryExists(folder) ? folder : platform::homeFolder());
  if (widgets::runModal(browse, "TF_Browse") != QDialog::Accepted) return;
  auto chosen = browse.Folder();
  if (!chosen) return;
  std::string name = platform::fileNameOf(current);
  if (name.empty()) name = "Noname.zip";
  std::string path = *chosen;
  if (path.empty() || path.back() != '/') path += '/';
  ed_Zipname->setText(qs(path + name));
}
