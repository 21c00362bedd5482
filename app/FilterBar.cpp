#include "app/FilterBar_win.h"

#include <commctrl.h>

#include <chrono>

#include "platform/Text.h"
#include "platform/WinString.h"
#include "resources/resource.h"

namespace hivemend {

void FilterBar::Attach(HWND window, ChangeList& list, StatusBar& status, std::function<void(bool)> hold_loads) {
  window_ = window;
  list_ = &list;
  status_ = &status;
  hold_loads_ = std::move(hold_loads);
  edit_ = GetDlgItem(window, IDC_FILTER_TEXT);
  choice_ = GetDlgItem(window, IDC_FILTER_STATUS);
  SendMessageW(edit_, EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(L"Filter by key, value name or data (Ctrl+F)"));
  for (size_t i = 0; i < kStatusChoiceCount; ++i)
    SendMessageW(choice_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AsWide(StatusChoiceText(i))));
  SendMessageW(choice_, CB_SETCURSEL, 0, 0);
}

bool FilterBar::OnCommand(int id, int code) {
  switch (id) {
    case IDC_FILTER_TEXT:
      if (code == EN_CHANGE) Restart();
      return true;
    case IDC_FILTER_STATUS:
      if (code == CBN_SELCHANGE) Restart();
      return true;
    case IDM_FIND:
      SetFocus(edit_);
      SendMessageW(edit_, EM_SETSEL, 0, -1);
      return true;
    case IDM_FIND_NEXT:
    case IDM_FIND_PREVIOUS: FindNext(id == IDM_FIND_NEXT); return true;
    case IDM_FILTER_ESCAPE:
      // Escape empties the box; in an empty box it leaves for the list (it
      // never closes the window from there).
      if (GetWindowTextLengthW(edit_) > 0) SetWindowTextW(edit_, L"");
      else SetFocus(list_->handle());
      return true;
    case IDM_FILTER_ENTER:
      // Enter goes to the rows found (not to the window's default button).
      SetFocus(list_->handle());
      if (!list_->CurrentRow()) list_->SelectNextShown(true);
      return true;
    default: return false;
  }
}

RowFilter FilterBar::Wanted() const {
  const int length = GetWindowTextLengthW(edit_);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(edit_, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  const LRESULT choice = SendMessageW(choice_, CB_GETCURSEL, 0, 0);
  return RowFilter(AsU16(text.c_str(), text.size()), StatusChoiceAt(choice == CB_ERR ? 0 : static_cast<size_t>(choice)));
}

// Each change starts a pass of its own; the rows keep the flags of the filter
// applied last, against which a narrower filter looks only at the rows shown
// and a wider one only at the rows hidden, and of the filters applied before
// (FilterSets), which a pass takes back at once (as Backspace does).
void FilterBar::Restart() {
  RowFilter wanted = Wanted();
  const RowFilter& applied = list_->filter();
  if (!pass_ && wanted.text() == applied.text() && wanted.choice() == applied.choice()) return;
  // The loads wait once for all the passes until one ends.
  if (!pass_ && hold_loads_) hold_loads_(true);
  pass_.emplace(list_->store(), std::move(wanted), list_->filters(), list_->any_selection());
  selection_seen_ = list_->selection_changes();
  Continue();
  if (pass_) ShowCounts();  // a long pass says that it runs
}

void FilterBar::OnNext() {
  KillTimer(window_, kFilterTimer);
  next_posted_ = false;
  if (pass_) Continue();
  else if (!list_->ShowSelectionSlice(std::chrono::milliseconds(kSliceMs))) Next();
}

// The next slice comes at once (a message the window posts to itself) unless
// input or painting waits: then after them (a timer message comes last).
void FilterBar::Next() {
  if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT)) != 0) {
    SetTimer(window_, kFilterTimer, USER_TIMER_MINIMUM, nullptr);
  } else if (!next_posted_) {
    next_posted_ = PostMessageW(window_, kFilterSliceMessage, 0, 0) != FALSE;
    if (!next_posted_) SetTimer(window_, kFilterTimer, USER_TIMER_MINIMUM, nullptr);
  }
}

namespace {
// Whether another thread's message or the user's key or click waits for the
// window's thread; asked at most every 2 ms, as each asking costs a call to
// the system.
class WantedElsewhere {
 public:
  bool operator()() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(2)) return false;
    last_ = now;
    return HIWORD(GetQueueStatus(QS_SENDMESSAGE | QS_KEY | QS_MOUSEBUTTON)) != 0;
  }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};
}  // namespace

// One slice now, which ends early when a message or the user waits.
void FilterBar::Continue() {
  KillTimer(window_, kFilterTimer);
  if (!pass_->Step(std::chrono::milliseconds(kSliceMs), WantedElsewhere())) {
    Next();
    return;
  }
  list_->FilterApplied(*pass_, selection_seen_);
  pass_.reset();
  ShowCounts();
  if (hold_loads_) hold_loads_(false);  // may take the loads' rows at once, each filtered as it comes
  // A large selection shows a slice at a time too.
  if (list_->selection_pending()) Next();
}

void FilterBar::ShowCounts() {
  const EntryStore& store = list_->store();
  std::u16string text;
  if (pass_) text = u"Filtering " + Decimal(store.size()) + u" rows ...";
  else if (!list_->filter().empty()) text = ShowingRowsText(store.shown_size(), store.size());
  if (text == shown_text_) return;
  shown_text_ = text;
  status_->SetShowing(text);
}

void FilterBar::FindNext(bool forward) {
  if (!list_->SelectNextShown(forward)) MessageBeep(MB_OK);
}

}  // namespace hivemend
