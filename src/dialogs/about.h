// The about window: the program's name and version, OK, and a button that opens
// the home page in the desktop's browser.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

class TF_SPInfo : public QDialog {
  Q_OBJECT
 public:
  explicit TF_SPInfo(QWidget* parent = nullptr);

  // The program's version ("0.1.0"), taken from the build.
  static const char* Version();
  // The home page the button opens.
  static constexpr const char* kHomePage = "https://kelvory.example.org/";

  // Opens an address; platform::ShellOpen unless replaced (tests do).
  std::function<void(const std::string&)> OpenAddress;

  QLabel* la_Program;
  QLabel* la_Version;
  QPushButton* bu_Ok;
  QPushButton* bu_HomePage;
};
