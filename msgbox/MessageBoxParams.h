// The vocabulary of the program's message box (AppMessageBox): the style word,
// the button sets with the ids they return, the result word and the optional
// settings record. Portable: the dialog side (AppMessageBox_win.h) and every caller
// include it; nothing here needs <windows.h>.
//
// Style word: the low 20 bits mean what the platform's MB_ bits mean (button
// set, icon, default button, system-modal, Help, foreground, topmost); the top
// eight bits are this box's own.
// Result word: the low 16 bits are the id of the button that ended the box
// (callers test only those), plus the check-box bit of the box's kind when it
// was ticked, plus AMB_TIMED_OUT when the countdown pressed the button. A saved
// answer is returned as it was stored. 2 means the dialog template could not be
// allocated, -1 that the dialog could not be created.
#pragma once

#include <cstdint>

namespace hivemend {

// Fields of the style word.
inline constexpr std::uint32_t AMB_BUTTONS_MASK = 0x0000000Fu;
inline constexpr std::uint32_t AMB_ICON_MASK = 0x000000F0u;
inline constexpr std::uint32_t AMB_DEFBUTTON_MASK = 0x00000F00u;

// Button sets (style & AMB_BUTTONS_MASK); 0 to 6 are the platform's MB_ values.
inline constexpr std::uint32_t AMB_OK = 0;
inline constexpr std::uint32_t AMB_OKCANCEL = 1;
inline constexpr std::uint32_t AMB_ABORTRETRYIGNORE = 2;
inline constexpr std::uint32_t AMB_YESNOCANCEL = 3;
inline constexpr std::uint32_t AMB_YESNO = 4;
inline constexpr std::uint32_t AMB_RETRYCANCEL = 5;
inline constexpr std::uint32_t AMB_CANCELTRYCONTINUE = 6;
inline constexpr std::uint32_t AMB_CONTINUEABORT = 7;
inline constexpr std::uint32_t AMB_SKIPSKIPALLCANCEL = 8;
inline constexpr std::uint32_t AMB_IGNOREIGNOREALLCANCEL = 9;
// Sets 10 to 15 show a single OK button.

// Icon field (style & AMB_ICON_MASK), with the platform's MB_ICON values;
// 0x50 to 0xF0 show the exclamation icon. 0 plays the default sound.
inline constexpr std::uint32_t AMB_ICONHAND = 0x10;
inline constexpr std::uint32_t AMB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t AMB_ICONEXCLAMATION = 0x30;
inline constexpr std::uint32_t AMB_ICONASTERISK = 0x40;

// Default button (style & AMB_DEFBUTTON_MASK): the 1st to 6th push button from
// the left; a number larger than the count of push buttons means the first.
inline constexpr std::uint32_t AMB_DEFBUTTON1 = 0x000;
inline constexpr std::uint32_t AMB_DEFBUTTON2 = 0x100;
inline constexpr std::uint32_t AMB_DEFBUTTON3 = 0x200;
inline constexpr std::uint32_t AMB_DEFBUTTON4 = 0x300;
inline constexpr std::uint32_t AMB_DEFBUTTON5 = 0x400;
inline constexpr std::uint32_t AMB_DEFBUTTON6 = 0x500;

// Platform bits that the box honours.
// System-modal; together with the hand-icon bit 0x10 the platform's own box
// is shown instead.
inline constexpr std::uint32_t AMB_SYSTEMMODAL = 0x00001000u;
inline constexpr std::uint32_t AMB_HELP = 0x00004000u;           // adds a Help button (id 300)
inline constexpr std::uint32_t AMB_SETFOREGROUND = 0x00010000u;  // foreground when it opens
inline constexpr std::uint32_t AMB_TOPMOST = 0x00040000u;        // topmost window

// The box's own bits. Only one check box exists: ask wins over tell, tell over
// show. A ticked box adds its bit to the result.
inline constexpr std::uint32_t AMB_CHECK_ASK = 0x01000000u;   // "Don't ask me again"
inline constexpr std::uint32_t AMB_CHECK_TELL = 0x02000000u;  // "Don't tell me again"
inline constexpr std::uint32_t AMB_CHECK_SHOW = 0x04000000u;  // "Don't show again"
inline constexpr std::uint32_t AMB_CHECK_MASK = AMB_CHECK_ASK | AMB_CHECK_TELL | AMB_CHECK_SHOW;
inline constexpr std::uint32_t AMB_YES_TO_ALL = 0x08000000u;  // "Yes to all" after "Yes" (sets 3, 4)
inline constexpr std::uint32_t AMB_NO_TO_ALL = 0x10000000u;   // "No to all" after "No" (sets 3, 4)
inline constexpr std::uint32_t AMB_NO_STRING_TABLE = 0x20000000u;  // built-in button captions
inline constexpr std::uint32_t AMB_NO_SOUND = 0x40000000u;
// Never passed in: set in a result when the countdown pressed the button.
inline constexpr std::uint32_t AMB_TIMED_OUT = 0x80000000u;

// Ids that buttons return (the low 16 bits of the result).
inline constexpr int AMB_ID_OK = 1;
inline constexpr int AMB_ID_CANCEL = 2;
inline constexpr int AMB_ID_ABORT = 3;
inline constexpr int AMB_ID_RETRY = 4;
inline constexpr int AMB_ID_IGNORE = 5;
inline constexpr int AMB_ID_YES = 6;
inline constexpr int AMB_ID_NO = 7;
inline constexpr int AMB_ID_TRYAGAIN = 10;
inline constexpr int AMB_ID_CONTINUE = 11;
inline constexpr int AMB_ID_SKIP = 14;
inline constexpr int AMB_ID_SKIP_ALL = 15;
inline constexpr int AMB_ID_IGNORE_ALL = 16;
inline constexpr int AMB_ID_YES_TO_ALL = 19;
inline constexpr int AMB_ID_NO_TO_ALL = 20;
inline constexpr int AMB_ID_CUSTOM1 = 23;
inline constexpr int AMB_ID_CUSTOM2 = 24;
inline constexpr int AMB_ID_CUSTOM3 = 25;
inline constexpr int AMB_ID_CUSTOM4 = 26;
// Buttons that never close the box.
inline constexpr int AMB_ID_HELP = 300;
inline constexpr int AMB_ID_REPORT = 301;
// The check box.
inline constexpr int AMB_ID_CHECKBOX = 5555;

// MessageBoxParams::options.
inline constexpr std::uint32_t AMB_OPT_RIGHT_BUTTONS = 1;  // buttons right-aligned
inline constexpr std::uint32_t AMB_OPT_MODERN = 2;         // text on a band in the window colour
inline constexpr std::uint32_t AMB_OPT_NARROW = 4;         // text at most a third of the screen wide

// "No colour": the system's colour is used.
inline constexpr std::uint32_t AMB_COLOR_NONE = 0xFFFFFFFFu;

// Seconds of 1000 or more (countdown, disabled period) are taken as this.
inline constexpr std::int32_t AMB_MAX_SECONDS = 10;

// Number of caption slots (button and check-box captions), and the capacity
// of the record's text fields in characters, terminator included.
inline constexpr int AMB_CAPTION_SLOTS = 19;
inline constexpr int AMB_FIELD_CHARS = 260;

// Called by the Report button with the box's copy of the message text and the
// record's report data. Returns nothing; the box stays open.
using ReportCallback = void (*)(const char16_t* text, std::uint32_t report_data);

// The optional settings of one box. The box works on its own copy and never
// changes the caller's record. Text fields hold a terminated string. Ids are
// string-table or resource ids; where an id is 0 or does not load, the text
// field beside it is used.
struct MessageBoxParams {
  std::uint32_t help_context = 0;      // Help button context; 0 = no context
  std::int32_t countdown_seconds = 0;  // default button presses itself; 0 = none
  std::int32_t disabled_seconds = 0;   // buttons disabled this long; 0 = none
  std::int32_t x = 0;                  // top-left corner on the screen;
  std::int32_t y = 0;                  //   both 0 = automatic placement
  std::uint32_t options = 0;           // AMB_OPT_ bits
  void* string_module = nullptr;       // HMODULE for string ids; none = the program
  void* icon_module = nullptr;         // HMODULE of a custom icon; none = the program
  std::uint32_t icon_id = 0;           // custom icon (low 16 bits); 0 = none
  char16_t icon_name[AMB_FIELD_CHARS] = {};       // custom icon by name, when icon_id is 0
  std::uint32_t custom_buttons_id = 0;             // string id of the custom captions
  char16_t custom_buttons[AMB_FIELD_CHARS] = {};   // up to 4 captions, '\n'-separated
  std::uint32_t report_caption_id = 0;             // string id of the Report caption
  char16_t report_caption[AMB_FIELD_CHARS] = {};   // Report caption (99 characters used)
  char16_t company_name[AMB_FIELD_CHARS] = {};     // key component of saved answers
  // Stem of the saved answers' value names; none or empty: answers are neither
  // looked up nor stored.
  const char16_t* module_name = nullptr;
  std::int32_t checksum = 0;             // filled in by the box; callers leave it 0
  std::uint32_t report_data = 0;         // passed to report_callback
  ReportCallback report_callback = nullptr;  // none = no Report button
  std::uint32_t text_color = AMB_COLOR_NONE;        // COLORREF; none = window text
  std::uint32_t background_color = AMB_COLOR_NONE;  // COLORREF; none = no band colour
  std::int32_t use_custom_captions = 0;  // take button captions from custom_captions
  // One caption per caption slot (99 characters used); empty keeps the slot's.
  char16_t custom_captions[AMB_CAPTION_SLOTS][AMB_FIELD_CHARS] = {};
};

}  // namespace hivemend
