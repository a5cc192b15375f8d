// The program's live settings and the configuration file "Kelvory.Ini" behind them.
//
// One TSettings object lives for the whole run. Its fields carry the names of the
// settings window's controls (cb_Outside, ed_Zipname, tb_complevel, ...) and hold the
// values the rest of the program reads; the settings window edits them in place.
// The file is read into the object when the program starts and after every save,
// and written from it by SaveSettings (the settings window's OK, a column resize in
// the main list). Every key lives in one table (SettingKeys()), in the order
// SaveSettings writes them; the defaults are the member initialisers below.
//
// File format: INI sections and keys through platform::ini, one value per call, so
// every write reaches the disk at once. Booleans are stored "1"/"0" and read as
// integers (non-zero is true); integers as signed decimal; texts as typed, without
// any validation. The column layout of the main list lives in section USER: key =
// order number as text, value = title;True|False;width.
//
// Plain C++: no Qt. Not thread-safe; used from the user-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/ini.h"

namespace dialogs {

// One row of the column block of the settings window: check box ch_<Name> (caption
// Name), order label la_<Name>, width edit ed_<Name>.
struct ColumnRow {
  std::string Name;   // column title: "Filename", "Size", "Packed", "Modified", "Ratio", "Path"
  std::string Order;  // caption of la_<Name> ("1" ... "6"; stored as typed)
  bool Shown = true;  // ch_<Name> checked
  std::string Width;  // text of ed_<Name> (pixels; stored as typed)
  bool operator==(const ColumnRow&) const = default;
};

// Number of column rows and their titles in the settings window's creation order.
inline constexpr std::size_t kColumnCount = 6;
extern const std::array<const char*, kColumnCount> kColumnTitles;  // Filename, Size, Packed, Modified, Ratio, Path

// The value of every setting, with the factory defaults. Copyable and comparable,
// so a caller can take a snapshot.
struct SettingsValues {
  SettingsValues();

  // DRAG&DROP
  bool cb_Outside = true;     // ACCEPTFILES
  bool cb_AskzipName = true;  // ASKNAMEBEFORE
  std::string ed_Zipname;     // DEFAULTPATH: home folder + "/Noname.zip"
  // VIEWER/EDITOR
  bool rb_External = false;  // EXTERNAL
  bool rb_BuiltIn = true;    // BUILTIN
  std::string ed_Editor;     // EDITORPATH
  // GXVIEW
  bool rb_ExtGraphic = false;              // EXTERNAL
  bool rb_BuiltGraphic = true;             // QUILVIEW
  std::string ed_Graphic;                  // EXTPATH
  std::string ed_Formats = "JPG;BMP;GIF";  // FORMATS
  // AVAILABLEINSTALL
  std::string ed_Install = "install.exe;setup.exe;install.sh;setup.sh";  // FILENAMES
  // MISC
  bool cb_OpenStart = false;      // OPENFAVORITES
  bool cb_SaveLayout = false;     // SAVELAYOUT
  bool cb_FilesAdded = true;      // AFTERADDED
  bool cb_AfterDeleted = true;    // AFTERDELETED
  bool cb_AfterExtracted = true;  // AFTEREXTRACTED
  bool cbExpLook = true;          // EXPLORERLIKE
  // COLOR: 0x00BBGGRR colours; a value with the top bit set names a system colour
  // (-2147483643 = 0x80000005, the window background).
  std::int32_t pa_HeaderColor = 8421376;      // HEADER (teal)
  std::int32_t pa_WindowColor = -2147483643;  // WINDOW
  // GRID
  bool cb_Vert = false;  // VERT
  bool cb_Hor = false;   // HORZ
  // BUTTON
  bool cb_Tooltip = true;  // TOOLTIP
  // DATETIME
  std::string co_DateFormat = "yyyy/mm/dd";  // DATEFORMAT
  std::string co_Timeformat = "hh:mm";       // TIMEFORMAT
  // COMPRESSION
  bool DirNameCB = true;          // SAVEDIRNAME
  bool RecurseCB = true;          // RECURSEDIRS
  bool CB_ForceDos = false;       // FORCEMSDOS
  bool CB_Timestamp = false;      // TIMESTAMP
  std::int32_t tb_complevel = 9;  // LEVEL, the track bar's position 0..9
  // SPANNING
  std::string FreeDisk1Edit = "0";       // KEEPFREE
  std::string MaxVolSizeEdit = "0";      // MAXSIZE
  std::string MinFreeVolEdit = "65536";  // MINFREE
  bool FormatCB = true;                  // FORMAT
  bool CheckBox1 = true;                 // AUTOSPAN
  // SMTP and PERSONAL
  std::string ed_Server = "Enter SMTP Server";        // SMTP/SERVER
  std::string ed_Port = "25";                         // SMTP/PORT
  std::string ed_Name = "Enter your name";            // PERSONAL/NAME
  std::string ed_EMail = "Enter your Email address";  // PERSONAL/EMAIL
  // Signing in to the mail server (files from before these keys simply lack them)
  std::string ed_User;         // SMTP/USERNAME: empty means no sign-in
  bool cb_RequireTls = false;  // SMTP/REQUIRETLS: send nothing without a secure connection
  // FOLDERS (the folder defaults are the home folder, TEMP the system temporary folder)
  std::string ed_StartUp;     // STARTUP
  bool rb_WinDef = true;      // STARTWIN
  bool rb_OtherWin = false;   // OTHERWIN
  std::string ed_Extract;     // EXTRACT
  bool rb_Extr = true;        // LASTEXTR
  bool rb_OtherExtr = false;  // OTHEREXTR
  std::string ed_Add;         // ADD
  bool rb_Last = true;        // LASTADD
  bool rb_OtherLast = false;  // OTHERADD
  std::string ed_Temp;        // TEMP

  // The column rows in creation order (kColumnTitles), factory layout at first.
  std::array<ColumnRow, kColumnCount> Columns;

  // The row of a column title, or nullptr for an unknown title (exact match).
  ColumnRow* Column(const std::string& title);
  const ColumnRow* Column(const std::string& title) const;

  // Sets the rows to the factory layout: Filename 1/80, Packed 2/84, Size 3/84,
  // Modified 4/100, Path 5/100 shown; Ratio 6/30 hidden.
  void SetFactoryColumns();

  bool operator==(const SettingsValues&) const = default;
};

// One key of the configuration file. `field` points at the member that holds the
// value; the USER entry (the column rows) has none (std::monostate).
struct SettingKey {
  const char* section;
  const char* key;
  std::variant<std::monostate, bool SettingsValues::*, std::int32_t SettingsValues::*, std::string SettingsValues::*>
      field;
};

// Every key of the file in the order SaveSettings writes them, the USER block
// included as one entry. The RECENT list and FOLDERS/LASTE, LASTA are kept
// elsewhere (the recent menu, LastFolder) and are not in this table.
std::span<const SettingKey> SettingKeys();

// Where the main window plugs into loading and saving. Unset hooks are skipped. A
// hook may itself call SaveSettings/LoadSettings (the main window's column-width
// handler does), so none of them gets a reference into state that may change.
struct SettingsHooks {
  // LoadSettings, after the four mail values were read: the main window copies
  // ed_Server, ed_Port, ed_Name, ed_EMail into its own mail fields.
  std::function<void()> OnMailFieldsRead;
  // LoadSettings, when USER holds fewer than 6 lines: the rows were set to the
  // factory layout; the main window lays out its grid the factory way (and then
  // stores the layout through its column-width handler).
  std::function<void()> OnDefaultColumnLayout;
  // LoadSettings, last step: apply grid colours, grid lines and ColumnDefs
  // (ApplyColumnLayout) to the main list.
  std::function<void()> OnApplyDisplay;
  // SaveSettings, right after BUTTON/TOOLTIP was written: switch the toolbar's tool
  // tips on or off from cb_Tooltip.
  std::function<void()> OnTooltipsSaved;
  // SaveSettings, after every key was written and before the file is re-read: the
  // toolbar buttons go back to their enabled pictures.
  std::function<void()> OnToolbarReset;
};

// Outcome of a write. On failure `error` holds the text to show the user.
struct WriteResult {
  bool ok = true;
  std::string error;
  explicit operator bool() const { return ok; }
};

// The full path of the configuration file: ProgramPath(1) + "Kelvory.Ini".
std::string ConfigFileName();

// The live settings of the run and the configuration file behind them.
class TSettings : public SettingsValues {
 public:
  // Writes one value; the default is platform::ini::writeString. Tests replace it
  // to make a given key fail.
  using Writer = std::function<bool(const std::string& file, const std::string& section, const std::string& key,
                                    const std::string& value, std::string* error)>;

  // Uses fileName (default ConfigFileName()) and starts with the factory values;
  // reads nothing until LoadSettings.
  explicit TSettings(std::string fileName = ConfigFileName());

  const std::string& FileName() const { return fileName_; }

  // The USER lines as last read ("key=value", sorted as text when 6 or more were
  // read, else in file order). The main window's column layout comes from here.
  std::vector<std::string> ColumnDefs;

  SettingsHooks Hooks;

  // Reads every key into the fields (missing keys give the factory default), then
  // the column layout: fewer than 6 USER lines give the factory rows
  // (OnDefaultColumnLayout), otherwise the first 6 lines after sorting set the rows
  // they name. Ends with OnApplyDisplay. A missing or unreadable file is not an
  // error: every value is then the default.
  void LoadSettings();

  // Writes every key in SettingKeys() order; USER gets one line per row (rows
  // sharing an order number overwrite each other, the later row wins; lines under
  // numbers no row uses stay). The first key that cannot be written stops the save
  // with "Unable to write to <file>": the later keys are not written, the hooks
  // after it do not run and the file is not re-read; the fields keep their values.
  // On success runs OnToolbarReset and LoadSettings.
  WriteResult SaveSettings();

  // The starting folder of a dialog: kind 'S' (Open), 'E' (Extract), 'A' (Add).
  // 'S': the home folder when rb_WinDef is on, else ed_StartUp when it exists, else
  // nothing. 'E'/'A': the remembered folder (FOLDERS/LASTE, LASTA) when rb_Extr /
  // rb_Last is on, else ed_Extract / ed_Add; that folder when it exists, else the
  // home folder. Another kind gives nothing.
  std::optional<std::string> LastFolder(char kind) const;

  // Remembers folder as the last extract ('E', when rb_Extr is on) or add ('A',
  // when rb_Last is on) folder; otherwise writes nothing and succeeds.
  WriteResult LastFolder(char kind, const std::string& folder);

  void SetWriter(Writer w) {
    writer_ = std::move(w);
    customWriter_ = true;
  }

  // The text of a write failure for this file.
  std::string WriteError() const;

 private:
  void ReadValues();
  void ReadColumnLayout();
  bool WriteValue(const std::string& section, const std::string& key, const std::string& value);
  bool WriteColumns();

  std::string fileName_;
  Writer writer_;
  bool customWriter_ = false;
  platform::ini::Batch* batch_ = nullptr;  // set while SaveSettings runs
};

}  // namespace dialogs
