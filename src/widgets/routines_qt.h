// Routines shared by the data-entry windows.
#pragma once

class QWidget;

namespace widgets {

// Makes Enter move between fields. Called from a window's key handling with the key
// character: for a carriage return (13) outside a grid the key is swallowed (set to
// 0) and the focus moves to the next field; inside a grid whose options allow
// tabbing (dynamic property "goTabs") it becomes a tab (9). Other keys are left.
void EnterAsTab(QWidget* form, int& key);

// The hourglass for the life of the object (the length of a command).
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace widgets
