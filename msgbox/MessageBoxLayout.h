// The message box's layout arithmetic: from the texts, the style word, the
// record and the metrics that the Windows side measures, every control's pixel
// rectangle, its dialog-unit rectangle and the dialog template's header.
// Portable; CAppDialogTemplate (AppDialogTemplate_win.h) feeds it the measured
// figures and turns its items into the in-memory dialog template.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "msgbox/MessageBoxParams.h"

namespace hivemend {

// Caption slots: the order of MessageBoxParams::custom_captions.
enum CaptionSlot : int {
  SlotAbort, SlotCancel, SlotContinue, SlotCheckAsk, SlotCheckTell, SlotCheckShow,
  SlotHelp, SlotIgnore, SlotIgnoreAll, SlotNo, SlotNoToAll, SlotOk, SlotReport,
  SlotRetry, SlotSkip, SlotSkipAll, SlotTryAgain, SlotYes, SlotYesToAll,
};
static_assert(SlotYesToAll + 1 == AMB_CAPTION_SLOTS);

// The string-table id of a slot (9001 to 9019) and its built-in caption.
std::uint32_t CaptionStringId(int slot);
std::u16string_view BuiltInCaption(int slot);

// Loads string id from the string module, at most max_chars characters; an
// empty result means the id did not load.
using StringLoader = std::function<std::u16string(std::uint32_t id, std::size_t max_chars)>;

using Captions = std::array<std::u16string, AMB_CAPTION_SLOTS>;

// The caption of every slot: built-in, replaced by the record's non-empty
// custom captions when it asks for them, else by the string table unless the
// style has AMB_NO_STRING_TABLE. The Report slot takes the record's report
// caption (id first, then text) when there is one, and nothing else.
Captions ResolveCaptions(std::uint32_t style, const MessageBoxParams& params, const StringLoader& load);

// The record's custom button captions: its id loaded (258 characters) when not
// 0, else or when that is empty its text (259 characters). '\n'-separated.
std::u16string ResolveCustomButtons(const MessageBoxParams& params, const StringLoader& load);

// The captions of the custom buttons: the pieces between line feeds, empty
// pieces skipped, at most 4.
std::vector<std::u16string> SplitCustomButtons(std::u16string_view text);

// Box kind flags.
inline constexpr std::uint32_t kBoxCheckAsk = 1;
inline constexpr std::uint32_t kBoxCheckTell = 2;
inline constexpr std::uint32_t kBoxCheckShow = 4;
inline constexpr std::uint32_t kBoxCheckAny = 7;
inline constexpr std::uint32_t kBoxHasCancel = 8;
inline constexpr std::uint32_t kBoxIsOk = 16;

// Which check box the style asks for (ask over tell over show), whether the
// row has a Cancel button, and whether a Cancel command answers OK. Custom
// buttons have neither. Sets 10 to 15 show a single OK button and behave as
// MB_OK.
std::uint32_t BoxKind(std::uint32_t style, bool custom_buttons);
// The result bit (AMB_CHECK_ASK, ...) of a box kind's check box; 0 without one.
std::uint32_t CheckResultBit(std::uint32_t box_kind);

struct SetButton {
  int slot;  // caption slot
  int id;    // the id the button returns
};
// The buttons of a set, left to right, before Help and Report.
std::vector<SetButton> ButtonSetRow(std::uint32_t style);

struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const PixelRect&) const = default;
};

struct PixelSize {
  int cx = 0, cy = 0;
};

// What the Windows side measures with the message font and the system, all
// for the DPI of the monitor the box opens on.
struct LayoutMetrics {
  // The DPI the figures below are for. The layout's own margins and gaps are
  // pixels at 96 DPI, scaled by dpi / 96.
  int dpi = 96;
  int base_x = 8, base_y = 16;   // GetDialogBaseUnits: low and high word
  int screen_width = 1280;       // SM_CXSCREEN
  // The width of the work area of the monitor the box opens on; 0: the screen
  // width. The box is never wider than it.
  int work_area_width = 0;
  // The height of that work area; 0: no limit. The box (its client area and
  // frame_height) is never taller than it: a message that would make it
  // taller scrolls in an area of fixed height.
  int work_area_height = 0;
  int frame_height = 0;     // the window's height less its client area's
  int scroll_bar_width = 17;  // SM_CXVSCROLL
  int icon_width = 32, icon_height = 32;  // SM_CXICON, SM_CYICON
  // Extent of a one-line caption (GetTextExtentPoint32W).
  std::function<int(std::u16string_view caption)> caption_extent;
  // The text's extent as DrawTextW computes it in (0, 0, limit, limit) with
  // DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX.
  std::function<PixelSize(std::u16string_view text, int limit)> text_extent;
  int line_height = 0;  // the height of "My"
};

// What one box shows, after the texts were loaded and the look decided.
struct LayoutInput {
  std::uint32_t style = 0;
  std::uint32_t options = 0;  // AMB_OPT_ bits; modern also right-aligns the buttons
  std::int32_t countdown_seconds = 0;
  bool has_icon = false;              // an icon was loaded
  bool has_background_brush = false;  // the band is painted
  bool has_report = false;            // the record has a report callback
  std::u16string message;
  Captions captions;
  std::u16string custom_buttons;  // '\n'-separated; empty for the style's set
};

// ScrollingText: the message in a read-only multiline edit control with a
// vertical scroll bar and no border, for a text taller than the box may be.
enum class ItemKind : std::uint8_t { PushButton, CheckBox, Static, ScrollingText };

inline constexpr std::uint16_t kButtonClassAtom = 0x0080;
inline constexpr std::uint16_t kEditClassAtom = 0x0081;
inline constexpr std::uint16_t kStaticClassAtom = 0x0082;
inline constexpr std::uint32_t kPushButtonStyle = 0x50010000u;
inline constexpr std::uint32_t kDefaultButtonStyle = 0x50010001u;
inline constexpr std::uint32_t kCheckBoxStyle = 0x50010003u;
inline constexpr std::uint32_t kStaticStyle = 0x50000000u;
// Child, visible, vertical scroll bar, multiline, read-only; no tab stop: the
// buttons keep the focus.
inline constexpr std::uint32_t kScrollingTextStyle = 0x50200804u;
inline constexpr std::uint32_t kBoxDialogStyle = 0x90C80880u;  // popup, caption, system menu, centred
inline constexpr std::uint32_t kSystemModalBit = 0x00000002u;

inline constexpr int kIconId = 1000;
inline constexpr int kMessageId = 1001;

struct DialogUnitRect {
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  bool operator==(const DialogUnitRect&) const = default;
};

struct LayoutItem {
  ItemKind kind = ItemKind::Static;
  int id = 0;
  PixelRect rect;           // where the layout placed it, in pixels
  DialogUnitRect units;     // the same in dialog units of the system font
  std::uint32_t style = 0;  // window style
  std::uint16_t class_atom = 0;
  std::u16string text;
};

struct BoxLayout {
  // Metrics in pixels.
  int min_button_width = 0, countdown_extra = 0, button_height = 0, check_box_height = 0;
  std::array<int, AMB_CAPTION_SLOTS> caption_widths{};
  // The message's area (the band is painted down to its bottom). A scrolling
  // message's control is the top of it, a whole number of lines high.
  PixelRect message_rect;
  bool message_scrolls = false;  // the message item is ScrollingText
  PixelRect icon_rect;  // empty without an icon
  int width = 0, height = 0;  // the box's client area in pixels
  // Items in creation order: icon, message text, push buttons left to right,
  // check box.
  std::vector<LayoutItem> items;
  int default_index = 1;  // the n-th push button that is the default
  int default_id = 1;     // its id
  std::uint32_t box_kind = 0;
  // Template header.
  std::uint32_t dialog_style = kBoxDialogStyle;
  std::int16_t cx = 0, cy = 0;  // dialog units

  const LayoutItem* Find(int id) const;
};

// Converts pixels to dialog units of base units (bx, by), truncating.
DialogUnitRect ToDialogUnits(const PixelRect& rect, int base_x, int base_y);
// a * b / c rounded to the nearest, as Win32 MulDiv.
int MulDivRound(int a, int b, int c);

// The text with a line break ("\r\n") inserted into every word (a run without
// blanks or line breaks) wider than limit pixels, so that each piece fits;
// each piece holds at least one character. extent measures one line.
std::u16string BreakLongWords(std::u16string_view text, int limit,
                              const std::function<int(std::u16string_view)>& extent);

// The text with every line break ("\n", "\r" or "\r\n") written "\r\n", as
// an edit control shows line breaks.
std::u16string WithCrLf(std::u16string_view text);

// Lays out one box; the constructor's steps in order. The message item's text
// has its long words broken (BreakLongWords); the width limit is kept within
// the work area. When the box would be taller than the work area, the message
// becomes ScrollingText: measured for the width left beside the scroll bar,
// as many whole lines high as fit (at least one), its text WithCrLf.
BoxLayout LayOutMessageBox(const LayoutInput& input, const LayoutMetrics& metrics);

// The in-memory DLGTEMPLATE of a layout: header, no menu, default class, the
// title (its first 1023 characters) and no font; then every item on a 4-byte
// boundary: DLGITEMTEMPLATE, class 0xFFFF + atom, text, 0 creation bytes.
// Little-endian, sized exactly, zero-filled.
std::vector<std::uint8_t> DialogTemplateBytes(const BoxLayout& layout, std::u16string_view title);

}  // namespace hivemend
