// AppMessageBox: the record copy, the delegation to the platform's box, the
// saved answers, the limits and the look; the dialog itself is CAppDialogTemplate.
#include "msgbox/AppMessageBox_win.h"

#include "msgbox/AppDialogTemplate_win.h"
#include "msgbox/SavedAnswer.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/WinString.h"

namespace hivemend {

namespace {

// The answer saved for this question, or 0 when there is none.
std::uint32_t ReadSavedAnswer(const MessageBoxParams& record) {
  Registry* registry = SystemRegistry();
  if (!registry) return 0;
  const SavedAnswers answers(*registry, FieldText(record.company_name), ProgramPath());
  return answers.Read(record.module_name, record.checksum);
}

// A text argument as a string: a string-table id is loaded from the module.
std::u16string ArgumentText(HMODULE module, const wchar_t* text) {
  if (text == nullptr) return {};
  if (!IS_INTRESOURCE(text)) return AsU16(text);
  std::u16string buffer(65535, u'\0');
  const int length = LoadStringW(module, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)),
                                 reinterpret_cast<wchar_t*>(buffer.data()), static_cast<int>(buffer.size()));
  buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return buffer;
}

}  // namespace

int AppMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type,
                  const MessageBoxParams* params) {
  if (!owner) {
    if (HWND active = GetActiveWindow()) owner = GetLastActivePopup(active);
  }

  MessageBoxParams record = params ? *params : MessageBoxParams{};
  const HMODULE string_module =
      record.string_module ? static_cast<HMODULE>(record.string_module) : GetModuleHandleW(nullptr);

  if ((type & AMB_SYSTEMMODAL) && (type & AMB_ICONHAND)) {
    // The platform's box reads its texts as strings: ids are loaded first.
    const std::u16string box_text = ArgumentText(string_module, text);
    const std::u16string box_caption = ArgumentText(string_module, caption);
    return MessageBoxW(owner, AsWide(box_text), caption ? AsWide(box_caption) : nullptr, type);
  }

  if ((type & AMB_CHECK_MASK) && record.module_name && record.module_name[0] != 0) {
    record.checksum = MessageChecksum(ArgumentText(string_module, text).substr(0, 65535));
    const std::uint32_t answer = ReadSavedAnswer(record);
    if (answer & AMB_CHECK_MASK) return static_cast<int>(answer);
  }

  record.countdown_seconds = LimitSeconds(record.countdown_seconds);
  record.disabled_seconds = LimitSeconds(record.disabled_seconds);
  // Every system the program runs on (Windows 7 and later) takes the modern look.
  record.options |= AMB_OPT_MODERN;

  CAppDialogTemplate box(owner, text, caption ? caption : L"Error", type, record);
  if (!(type & AMB_NO_SOUND)) MessageBeep(type & AMB_ICON_MASK);
  return box.RunModal();
}

}  // namespace hivemend
