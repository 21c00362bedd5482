#include "app/Startup_win.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/FileHandlerCommand_win.h"
#include "app/MainDialog_win.h"
#include "msgbox/MessageBoxParams.h"
#include "platform/Event_win.h"
#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

// The settings that the program's result messages pass: company "Tarnwick",
// module name "hivemend.exe", strings from the program's own module, narrow
// text.
MessageBoxParams ProgramMessageBoxParams() {
  MessageBoxParams params;
  constexpr std::u16string_view kCompany = u"Tarnwick";
  const size_t n = std::min(kCompany.size(), static_cast<size_t>(AMB_FIELD_CHARS - 1));
  std::copy_n(kCompany.data(), n, params.company_name);
  params.company_name[n] = u'\0';
  params.module_name = u"hivemend.exe";
  params.string_module = GetModuleHandleW(nullptr);
  params.options = AMB_OPT_NARROW;
  return params;
}

// Sets a running copy's TerminateEvent, if there is one.
void RequestTerminate() {
  const ScopedHandle event = OpenEventToSet(kTerminateEventName);
  if (event) SetEventOn(event.get());
}

}  // namespace

bool IsTerminateSwitch(std::u16string_view argument) { return EqualsNoCase(argument, u"/terminate"); }

int RunHivemend(int argc, wchar_t** argv) {
  // Opens the running copy's event when there is one; any number of copies may
  // run. Without it the window simply never closes on request.
  const ScopedHandle terminate_event = NewEvent(EventReset::Auto, kTerminateEventName);
  const MessageBoxParams message_box_params = ProgramMessageBoxParams();
  MainDialogOptions options;
  options.terminate_event = terminate_event.get();
  options.message_box_params = &message_box_params;
  for (int i = 1; i < argc; ++i) {
    const std::u16string argument = AsU16(argv[i]);
    if (IsTerminateSwitch(argument)) {
      RequestTerminate();
      Sleep(2000);
      return 0;
    }
    if (IsSetHandlerSwitch(argument) || IsRemoveHandlerSwitch(argument)) {
      Registry* registry = SystemRegistry();
      return registry ? RunHandlerSwitch(*registry, IsSetHandlerSwitch(argument)) : 1;
    }
    if (EqualsNoCase(argument, kCheckedSwitch) && i + 1 < argc) {
      options.checked_lines_file = AsU16(argv[++i]);
      continue;
    }
    options.startup_arguments.push_back(argument);
  }
  return static_cast<int>(ShowMainDialog(options));
}

}  // namespace hivemend
