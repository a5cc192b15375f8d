// What the main window's command files share: the boxes with only an OK button,
// the texts more than one command shows, and the hourglass for the length of a
// command.
#pragma once

#include <QApplication>
#include <string>

#include "platform/ui.h"

namespace app {

inline constexpr char kNoArchive[] = "You must create a new zipfile or open a zipfile first!";
// A command whose engine call failed with an exception.
inline constexpr char kEngineFailed[] = "Error in Extract; Fatal DLL Exception";

inline void warn(const std::string& text) {
  platform::ui().message(platform::MsgKind::Warning, {}, text, platform::kOk);
}
inline void inform(const std::string& text) {
  platform::ui().message(platform::MsgKind::Information, {}, text, platform::kOk);
}
inline void error(const std::string& text) {
  platform::ui().message(platform::MsgKind::Error, {}, text, platform::kOk);
}

struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace app
