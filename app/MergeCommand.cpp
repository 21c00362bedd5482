#include "app/MergeCommand.h"

#include <string>

#include "msgbox/AppMessageBox.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

constexpr wchar_t kCaption[] = L"Hivemend";

class WindowMergeUi final : public MergeUi {
 public:
  WindowMergeUi(HWND owner, const MessageBoxParams* params) : owner_(owner), params_(params) {}

  bool Confirm(std::u16string_view text) override {
    const std::u16string question(text);
    return MessageBoxW(owner_, AsWide(question), kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
  }

  void Show(MergeMessage kind, std::u16string_view text) override {
    const std::u16string message(text);
    switch (kind) {
      case MergeMessage::NoValues:
      case MergeMessage::UndoFileFailed:
      case MergeMessage::ErrorLogFailed:
        MessageBoxW(owner_, AsWide(message), kCaption, MB_OK | MB_ICONERROR);
        break;
      case MergeMessage::Success:
        AppMessageBox(owner_, AsWide(message), kCaption, MB_OK | MB_ICONINFORMATION, params_);
        break;
      case MergeMessage::Failures:
        AppMessageBox(owner_, AsWide(message), kCaption, MB_OK | MB_ICONEXCLAMATION, params_);
        break;
    }
  }

 private:
  HWND owner_;
  const MessageBoxParams* params_;
};

}  // namespace

MergeResult RunMergeCommand(HWND owner, EntryStore& store, Registry& registry,
                            const std::function<std::u16string()>& history_folder,
                            const MessageBoxParams* params) {
  WindowMergeUi ui(owner, params);
  return RunMerge(store, registry, ui, history_folder);
}

}  // namespace hivemend
