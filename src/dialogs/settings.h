// The settings window: six pages of controls over the live settings of the run.
//
// The window is created once at start and lives for the run. Creating it reads the
// configuration file (TSettings::LoadSettings). Every control writes its value into
// the TSettings object the moment the user changes it, and showing the window
// shows the object's current values, so the window never keeps a copy of its own:
// Cancel leaves the changes in effect for the run without writing anything, OK
// writes them all.
#pragma once

#include <QDialog>
#include <QFrame>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/settings_model.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QPushButton;
class QRadioButton;
class QShowEvent;
class QSlider;
class QTabWidget;
class QToolButton;

// Up and down arrows beside a column row's order number.
class TSpinButton : public QWidget {
  Q_OBJECT
 public:
  explicit TSpinButton(QWidget* parent = nullptr);
  QToolButton* UpButton;
  QToolButton* DownButton;
};

// A clickable colour swatch; the colour is a stored 0x00BBGGRR number (a system
// colour when the top bit is set).
class TColorPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TColorPanel(QWidget* parent = nullptr);
  void SetColorRef(std::int32_t ref);
  std::int32_t ColorRef() const { return ref_; }

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::int32_t ref_ = 0;
};

class TF_Settings : public QDialog {
  Q_OBJECT
 public:
  // What the main window does for the settings window. Unset hooks are skipped.
  struct Hooks {
    // At creation, when cb_OpenStart is on: open the favourites window.
    std::function<void()> OnOpenFavorites;
    // After OK saved the settings: rebuild the listing when an archive is loaded.
    std::function<void()> OnSettingsAccepted;
  };

  // Reads the configuration into settings (which must outlive the window; set its
  // Hooks first), applies the graphic-viewer rule and runs OnOpenFavorites when
  // cb_OpenStart is on.
  explicit TF_Settings(dialogs::TSettings& settings, Hooks hooks = {}, QWidget* parent = nullptr);

  // Writes the settings; a failure is shown ("Unable to write to <file>", error
  // box) and gives false. The main window's column-width handler uses this too.
  bool SaveSettings();

  // Puts the settings' current values into the controls (also done on every show).
  void ShowValues();

  dialogs::TSettings& Settings() { return settings_; }

  // Banner, pages and buttons.
  QLabel* pa_Banner;
  QTabWidget* PageControl1;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;

  // User Interface
  QCheckBox* ch_Filename;
  QLabel* la_Filename;
  TSpinButton* sb_Filename;
  QLineEdit* ed_Filename;
  QCheckBox* ch_Size;
  QLabel* la_Size;
  TSpinButton* sb_Size;
  QLineEdit* ed_Size;
  QCheckBox* ch_Packed;
  QLabel* la_Packed;
  TSpinButton* sb_Packed;
  QLineEdit* ed_Packed;
  QCheckBox* ch_Modified;
  QLabel* la_Modified;
  TSpinButton* sb_Modified;
  QLineEdit* ed_Modified;
  QCheckBox* ch_Ratio;
  QLabel* la_Ratio;
  TSpinButton* sb_Ratio;
  QLineEdit* ed_Ratio;
  QCheckBox* ch_Path;
  QLabel* la_Path;
  TSpinButton* sb_Path;
  QLineEdit* ed_Path;
  QPushButton* bu_Default;
  TColorPanel* pa_HeaderColor;
  TColorPanel* pa_WindowColor;
  QCheckBox* cb_Vert;
  QCheckBox* cb_Hor;
  QCheckBox* cb_Tooltip;
  QComboBox* co_DateFormat;
  QComboBox* co_Timeformat;
  QCheckBox* cbExpLook;

  // Folders
  QRadioButton* rb_WinDef;
  QRadioButton* rb_OtherWin;
  QLineEdit* ed_StartUp;
  QPushButton* bu_Startup;
  QRadioButton* rb_Extr;
  QRadioButton* rb_OtherExtr;
  QLineEdit* ed_Extract;
  QPushButton* bu_Extract;
  QRadioButton* rb_Last;
  QRadioButton* rb_OtherLast;
  QLineEdit* ed_Add;
  QPushButton* bu_Add;
  QLineEdit* ed_Temp;
  QPushButton* bu_Temp;

  // System
  QCheckBox* cb_Outside;
  QCheckBox* cb_AskzipName;
  QLineEdit* ed_Zipname;
  QPushButton* bu_Path;
  QLineEdit* ed_Install;
  QCheckBox* cb_OpenStart;
  QCheckBox* cb_SaveLayout;
  QCheckBox* cb_FilesAdded;
  QCheckBox* cb_AfterExtracted;
  QCheckBox* cb_AfterDeleted;

  // Locations
  QRadioButton* rb_External;
  QRadioButton* rb_BuiltIn;
  QLineEdit* ed_Editor;
  QPushButton* bu_GetTexTDir;
  QRadioButton* rb_ExtGraphic;
  QRadioButton* rb_BuiltGraphic;
  QLineEdit* ed_Graphic;
  QPushButton* bu_Graphic;
  QLineEdit* ed_Formats;

  // Zip && Email
  QCheckBox* DirNameCB;
  QCheckBox* RecurseCB;
  QCheckBox* CB_ForceDos;
  QCheckBox* CB_Timestamp;
  QSlider* tb_complevel;
  QLineEdit* ed_Server;
  QLineEdit* ed_Port;
  QLineEdit* ed_Name;
  QLineEdit* ed_EMail;
  QComboBox* co_Port;        // holds ed_Port as its edit, with the usual ports to pick
  QLineEdit* ed_User;        // user name for signing in to the mail server
  QCheckBox* cb_RequireTls;  // send nothing without a secure connection

  // Spanning
  QLineEdit* FreeDisk1Edit;
  QLineEdit* MaxVolSizeEdit;
  QLineEdit* MinFreeVolEdit;
  QCheckBox* FormatCB;
  QCheckBox* CheckBox1;

 public slots:
  void BitBtn1Click();
  void bu_DefaultClick();
  void pa_HeaderColorClick(TColorPanel* panel);
  void rb_GraphicClick();
  void ed_EditorExit();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct RowControls {
    QCheckBox* check;
    QLabel* order;
    TSpinButton* spin;
    QLineEdit* width;
  };

  QWidget* BuildUserInterfacePage();
  QWidget* BuildFoldersPage();
  QWidget* BuildSystemPage();
  QWidget* BuildLocationsPage();
  QWidget* BuildZipPage();
  QWidget* BuildSpanningPage();
  QWidget* BuildColumnsGroup();

  // Ties a control to a field: user changes go to the field, ShowValues shows it.
  void Bind(QAbstractButton* box, bool dialogs::SettingsValues::*field);
  void Bind(QLineEdit* edit, std::string dialogs::SettingsValues::*field);
  void Bind(QComboBox* combo, std::string dialogs::SettingsValues::*field);
  void BindRadioPair(QRadioButton* first, bool dialogs::SettingsValues::*firstField, QRadioButton* second,
                     bool dialogs::SettingsValues::*secondField);
  void BindColumnRow(std::size_t index);
  void StepOrder(std::size_t index, int step);
  void Browse(const QString& caption, QLineEdit* target);
  void BrowseZipFolder();

  dialogs::TSettings& settings_;
  Hooks hooks_;
  std::array<RowControls, dialogs::kColumnCount> rows_{};
  std::vector<std::function<void()>> showers_;
  bool showing_ = false;  // true while ShowValues fills the controls
};
