#include "app/MergeCommand.h"

#include <algorithm>
#include <string>

#include "msgbox/AppMessageBox.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

constexpr wchar_t kCaption[] = L"Hivemend";

class WindowMergeUi final : public MergeUi {
 public:
  WindowMergeUi(HWND owner, const MessageBoxParams* params, bool offer_restart)
      : owner_(owner), params_(params), offer_restart_(offer_restart) {}

  // One box: the rows, then the question its buttons answer.
  UnwritableChoice ChooseForUnwritable(std::u16string_view text, bool others) override {
    std::u16string message(text);
    std::u16string_view buttons;
    if (offer_restart_ && others) {
      message += u"\r\nRestart Hivemend as administrator with the same files and the same rows checked, or merge only "
                 u"the rows this account may change?";
      buttons = u"Restart as administrator\nMerge the others\nCancel";
    } else if (offer_restart_) {
      message += u"\r\nRestart Hivemend as administrator with the same files and the same rows checked?";
      buttons = u"Restart as administrator\nCancel";
    } else if (others) {
      message += u"\r\nMerge only the rows this account may change?";
      buttons = u"Merge the others\nCancel";
    } else {
      message += u"\r\nNothing was changed.";
    }
    MessageBoxParams params = params_ ? *params_ : MessageBoxParams{};
    std::copy(buttons.begin(), buttons.end(), params.custom_buttons);
    params.custom_buttons[buttons.size()] = u'\0';
    const int answer = AppMessageBox(owner_, AsWide(message), kCaption,
                                     (buttons.empty() ? MB_OK : 0) | MB_ICONEXCLAMATION, &params) & 0xFFFF;
    if (buttons.empty()) return UnwritableChoice::Cancel;
    const bool restart_first = offer_restart_;
    if (answer == AMB_ID_CUSTOM1) return restart_first ? UnwritableChoice::Restart : UnwritableChoice::MergeOthers;
    if (answer == AMB_ID_CUSTOM2 && restart_first && others) return UnwritableChoice::MergeOthers;
    return UnwritableChoice::Cancel;
  }

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
  bool offer_restart_;
};

}  // namespace

MergeResult RunMergeCommand(HWND owner, EntryStore& store, Registry& registry,
                            const std::function<std::u16string()>& history_folder,
                            const MessageBoxParams* params, bool offer_restart) {
  WindowMergeUi ui(owner, params, offer_restart);
  return RunMerge(store, registry, ui, history_folder);
}

}  // namespace hivemend
