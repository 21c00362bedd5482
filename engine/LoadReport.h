// What a load tells whoever shows it.
//
// Implemented by the main window (it hands each call to the user-interface
// thread and waits until it is done), by the console front end (it prints) and
// by tests (they record). Called by RunLoad on the loading thread, in this
// order: rows and progress texts while the file is parsed, then LoadEnded, then
// for a normal end the two completion texts.
#pragma once

#include <string>
#include <string_view>

#include "engine/ChangeEntry.h"

namespace hivemend {

class LoadReport {
 public:
  virtual ~LoadReport() = default;
  // A compared value: one new row of the list.
  virtual void AddEntry(ChangeEntry&& entry) = 0;
  // Status bar part 0 (line texts), part 1 (the counts) or part 2 (what could
  // not be read: set once at the end, after any completion texts, and only
  // when lines were refused or a continuation was cut by the end of the file;
  // the window keeps it until the next load or "Clear all").
  virtual void SetStatusText(int part, const std::u16string& text) = 0;
  // An error the user must acknowledge (caption "Hivemend", error icon, OK);
  // returns when it has been closed.
  virtual void ShowError(const std::u16string& text) = 0;
  // Tested without waiting before each line; true stops the load, which then
  // ends normally.
  virtual bool CancelRequested() = 0;
  // The load ends, whichever way: "Cancel loading ..." is disabled.
  virtual void LoadEnded() = 0;
};

}  // namespace hivemend
