#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "msgbox/MessageBoxLayout.h"
#include "msgbox/SavedAnswer.h"

namespace hivemend {
namespace {

// Metrics as a 96-dpi system reports them: system-font base units 8 x 16,
// 32-pixel icons. Captions measure 6 pixels a character; the message text
// measures whatever the case says, and the limit it was measured against is kept.
struct FakeScreen {
  PixelSize text_size{100, 13};
  int measured_limit = -1;

  LayoutMetrics Metrics() {
    LayoutMetrics m;
    m.base_x = 8;
    m.base_y = 16;
    m.screen_width = 1280;
    m.icon_width = 32;
    m.icon_height = 32;
    m.caption_extent = [](std::u16string_view caption) { return 6 * static_cast<int>(caption.size()); };
    m.text_extent = [this](std::u16string_view, int limit) {
      measured_limit = limit;
      return text_size;
    };
    m.line_height = 13;
    return m;
  }
};

// The program's own string table: the slot captions without accelerators.
std::u16string OwnStringTable(std::uint32_t id, std::size_t max_chars) {
  static const std::pair<std::uint32_t, std::u16string_view> table[] = {
      {9002, u"Cancel"}, {9003, u"Ignore"}, {9004, u"Retry"}, {9005, u"Abort"},
      {9006, u"Help"}, {9007, u"Yes"}, {9008, u"No"}, {9009, u"Continue"},
      {9010, u"Do not ask me again"}, {9011, u"Do not tell me again"},
      {9012, u"Do not show me again"}, {9013, u"Yes to all"}, {9014, u"No to all"},
      {9015, u"Try again"}, {9016, u"Report"}, {9017, u"Ignore all"}, {9018, u"Skip"},
      {9019, u"Skip all"}, {42, u"First\nSecond"},
  };
  for (const auto& [key, text] : table)
    if (key == id) return std::u16string(text.substr(0, max_chars));
  return {};
}

LayoutInput Input(std::uint32_t style, std::uint32_t options = 0) {
  LayoutInput in;
  in.style = style;
  in.options = options;
  in.message = u"message";
  in.captions = ResolveCaptions(style, MessageBoxParams{}, OwnStringTable);
  return in;
}

void ExpectRect(const BoxLayout& box, int id, PixelRect expected, int line) {
  SCOPED_TRACE(testing::Message() << "item " << id << " checked at line " << line);
  const LayoutItem* item = box.Find(id);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->rect.left, expected.left);
  EXPECT_EQ(item->rect.top, expected.top);
  EXPECT_EQ(item->rect.right, expected.right);
  EXPECT_EQ(item->rect.bottom, expected.bottom);
}
#define EXPECT_RECT(box, id, ...) ExpectRect(box, id, PixelRect{__VA_ARGS__}, __LINE__)

std::vector<int> Ids(const BoxLayout& box) {
  std::vector<int> ids;
  for (const LayoutItem& item : box.items) ids.push_back(item.id);
  return ids;
}

// --- Whole boxes, every figure -------------------------------------------

TEST(MessageBoxLayout, PlainOkBox) {
  FakeScreen screen;
  const BoxLayout box = LayOutMessageBox(Input(AMB_OK), screen.Metrics());
  EXPECT_EQ(screen.measured_limit, 1280 / 2 + 80);
  EXPECT_EQ(box.min_button_width, 76);
  EXPECT_EQ(box.countdown_extra, 26);
  EXPECT_EQ(box.button_height, 24);
  EXPECT_EQ(box.check_box_height, 20);
  EXPECT_EQ(Ids(box), (std::vector<int>{kMessageId, AMB_ID_OK}));
  EXPECT_RECT(box, kMessageId, 16, 16, 128, 42);
  EXPECT_RECT(box, AMB_ID_OK, 26, 47, 102, 71);  // centred: (128 - 76) / 2
  EXPECT_EQ(box.width, 128);
  EXPECT_EQ(box.height, 83);
  EXPECT_EQ(box.default_id, AMB_ID_OK);
  EXPECT_EQ(box.dialog_style, 0x90C80880u);
  EXPECT_EQ(box.cx, 64);
  EXPECT_EQ(box.cy, 41);
  EXPECT_EQ(box.items[0].units, (DialogUnitRect{8, 8, 56, 13}));
  EXPECT_EQ(box.items[1].units, (DialogUnitRect{13, 23, 38, 12}));
  EXPECT_EQ(box.items[0].style, kStaticStyle);
  EXPECT_EQ(box.items[0].class_atom, kStaticClassAtom);
  EXPECT_EQ(box.items[1].style, kDefaultButtonStyle);
  EXPECT_EQ(box.items[1].class_atom, kButtonClassAtom);
  EXPECT_EQ(box.box_kind, kBoxIsOk);
}

TEST(MessageBoxLayout, UpdateOfferClassicLook) {
  FakeScreen screen;
  screen.text_size = {300, 26};
  LayoutInput in = Input(AMB_YESNO | AMB_ICONQUESTION | AMB_CHECK_ASK);
  in.has_icon = true;
  const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
  EXPECT_EQ(screen.measured_limit, 720 - 48);
  EXPECT_EQ(Ids(box), (std::vector<int>{kIconId, kMessageId, AMB_ID_YES, AMB_ID_NO, AMB_ID_CHECKBOX}));
  EXPECT_RECT(box, kIconId, 8, 8, 42, 42);
  EXPECT_RECT(box, kMessageId, 56, 16, 368, 55);
  EXPECT_RECT(box, AMB_ID_YES, 109, 69, 185, 93);
  EXPECT_RECT(box, AMB_ID_NO, 191, 69, 267, 93);
  EXPECT_RECT(box, AMB_ID_CHECKBOX, 17, 105, 171, 125);
  EXPECT_EQ(box.width, 376);
  EXPECT_EQ(box.height, 133);
  EXPECT_EQ(box.cx, 188);
  EXPECT_EQ(box.cy, 66);
  EXPECT_EQ(box.Find(AMB_ID_CHECKBOX)->units, (DialogUnitRect{8, 52, 77, 10}));
  EXPECT_EQ(box.Find(AMB_ID_CHECKBOX)->style, kCheckBoxStyle);
  EXPECT_EQ(box.Find(AMB_ID_CHECKBOX)->text, u"Do not ask me again");
  EXPECT_EQ(box.Find(AMB_ID_YES)->text, u"Yes");
  EXPECT_EQ(box.Find(kIconId)->text, u"");
  EXPECT_EQ(box.box_kind, kBoxCheckAsk);
}

TEST(MessageBoxLayout, UpdateOfferModernLook) {
  FakeScreen screen;
  screen.text_size = {300, 26};
  LayoutInput in = Input(AMB_YESNO | AMB_ICONQUESTION | AMB_CHECK_ASK, AMB_OPT_MODERN);
  in.has_icon = true;
  in.has_background_brush = true;
  const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
  EXPECT_EQ(screen.measured_limit, 630 - 48);
  EXPECT_EQ(box.min_button_width, 88);
  EXPECT_EQ(box.button_height, 26);
  EXPECT_RECT(box, kIconId, 24, 24, 58, 58);
  EXPECT_RECT(box, kMessageId, 72, 24, 384, 79);  // two lines: moved up to the icon's top
  EXPECT_RECT(box, AMB_ID_YES, 210, 93, 298, 119);  // right-aligned: 408 - 182 - 16
  EXPECT_RECT(box, AMB_ID_NO, 304, 93, 392, 119);
  EXPECT_RECT(box, AMB_ID_CHECKBOX, 17, 131, 171, 151);
  EXPECT_EQ(box.width, 408);
  EXPECT_EQ(box.height, 159);
  EXPECT_EQ(box.cx, 204);
  EXPECT_EQ(box.cy, 79);
}

// --- Single rules ----------------------------------------------------------

TEST(MessageBoxLayout, DefaultButtonChoice) {
  struct Case {
    int line;
    std::uint32_t style;
    int default_id;
  } const cases[] = {
      {__LINE__, AMB_YESNO, AMB_ID_YES},
      {__LINE__, AMB_YESNO | AMB_DEFBUTTON2, AMB_ID_NO},
      {__LINE__, AMB_YESNO | AMB_DEFBUTTON3, AMB_ID_YES},  // beyond the row: the first
      {__LINE__, AMB_YESNO | AMB_DEFBUTTON3 | AMB_HELP, AMB_ID_HELP},
      {__LINE__, AMB_YESNOCANCEL | AMB_DEFBUTTON3, AMB_ID_CANCEL},
      {__LINE__, AMB_YESNOCANCEL | AMB_YES_TO_ALL | AMB_NO_TO_ALL | AMB_DEFBUTTON4, AMB_ID_NO_TO_ALL},
      {__LINE__, AMB_YESNOCANCEL | AMB_YES_TO_ALL | AMB_NO_TO_ALL | AMB_HELP | AMB_DEFBUTTON6, AMB_ID_HELP},
      {__LINE__, AMB_OK | 0x600, AMB_ID_OK},  // not a default-button value: the first
      {__LINE__, AMB_OK | 0xF00, AMB_ID_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    FakeScreen screen;
    const BoxLayout box = LayOutMessageBox(Input(c.style), screen.Metrics());
    EXPECT_EQ(box.default_id, c.default_id);
    int defaults = 0;
    for (const LayoutItem& item : box.items) {
      if (item.style == kDefaultButtonStyle) {
        ++defaults;
        EXPECT_EQ(item.id, c.default_id);
      }
    }
    EXPECT_EQ(defaults, 1);
  }
}

TEST(MessageBoxLayout, ButtonSetsLeftToRight) {
  struct Case {
    int line;
    std::uint32_t style;
    bool report;
    std::vector<int> ids;
    std::uint32_t kind;
  } const cases[] = {
      {__LINE__, AMB_OK, false, {1}, kBoxIsOk},
      {__LINE__, AMB_OKCANCEL, false, {1, 2}, kBoxHasCancel},
      {__LINE__, AMB_ABORTRETRYIGNORE, false, {3, 4, 5}, 0},
      {__LINE__, AMB_YESNOCANCEL, false, {6, 7, 2}, kBoxHasCancel},
      {__LINE__, AMB_YESNOCANCEL | AMB_YES_TO_ALL | AMB_NO_TO_ALL, false, {6, 19, 7, 20, 2}, kBoxHasCancel},
      {__LINE__, AMB_YESNO, false, {6, 7}, 0},
      {__LINE__, AMB_YESNO | AMB_NO_TO_ALL, false, {6, 7, 20}, 0},
      {__LINE__, AMB_OK | AMB_YES_TO_ALL, false, {1}, kBoxIsOk},  // only sets 3 and 4
      {__LINE__, AMB_RETRYCANCEL, false, {4, 2}, kBoxHasCancel},
      {__LINE__, AMB_CANCELTRYCONTINUE, false, {2, 10, 11}, kBoxHasCancel},
      {__LINE__, AMB_CONTINUEABORT, false, {11, 3}, 0},
      {__LINE__, AMB_SKIPSKIPALLCANCEL, false, {14, 15, 2}, kBoxHasCancel},
      {__LINE__, AMB_IGNOREIGNOREALLCANCEL, false, {5, 16, 2}, kBoxHasCancel},
      {__LINE__, 10, false, {1}, kBoxIsOk},
      {__LINE__, 15, false, {1}, kBoxIsOk},
      {__LINE__, AMB_OKCANCEL | AMB_HELP, true, {1, 2, 300, 301}, kBoxHasCancel},
      {__LINE__, AMB_OK | AMB_CHECK_SHOW | AMB_CHECK_TELL, false, {1, 5555}, kBoxIsOk | kBoxCheckTell},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    FakeScreen screen;
    LayoutInput in = Input(c.style);
    in.has_report = c.report;
    const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
    std::vector<int> ids = Ids(box);
    ids.erase(ids.begin());  // the message text
    EXPECT_EQ(ids, c.ids);
    EXPECT_EQ(box.box_kind, c.kind);
    // Buttons sit side by side, 6 pixels apart, on one row.
    for (std::size_t i = 2; i < box.items.size(); ++i) {
      if (box.items[i].kind != ItemKind::PushButton) continue;
      EXPECT_EQ(box.items[i].rect.left, box.items[i - 1].rect.right + 6);
      EXPECT_EQ(box.items[i].rect.top, box.items[1].rect.top);
    }
  }
}

TEST(MessageBoxLayout, CustomButtons) {
  struct Case {
    int line;
    std::u16string text;
    std::vector<std::u16string> captions;
  } const cases[] = {
      {__LINE__, u"One\nTwo\nThree\nFour\nFive", {u"One", u"Two", u"Three", u"Four"}},
      {__LINE__, u"\nOne\n\nTwo\n", {u"One", u"Two"}},
      {__LINE__, u"Only", {u"Only"}},
      {__LINE__, u"\n\n\n", {}},
      {__LINE__, u"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(SplitCustomButtons(c.text), c.captions);
  }

  FakeScreen screen;
  LayoutInput in = Input(AMB_YESNOCANCEL | AMB_YES_TO_ALL | AMB_HELP | AMB_DEFBUTTON2);
  in.custom_buttons = u"Save\nDiscard everything\nWait\nLater\nNever";
  in.has_report = true;
  const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
  EXPECT_EQ(Ids(box), (std::vector<int>{kMessageId, 23, 24, 25, 26, 300, 301}));
  EXPECT_EQ(box.Find(23)->text, u"Save");
  EXPECT_EQ(box.Find(26)->text, u"Later");
  // Each as wide as a slot with that caption: "Discard everything" is 108 + 20.
  EXPECT_EQ(box.Find(23)->rect.width(), 76);
  EXPECT_EQ(box.Find(24)->rect.width(), 128);
  EXPECT_EQ(box.default_id, 24);
  EXPECT_EQ(box.box_kind, 0u);  // neither a Cancel button nor OK
  // Row: 76 + 128 + 76 + 76 + 76 (Help) + 76 (Report) + 5 * 6 = 538; box 570 wide.
  EXPECT_EQ(box.width, 570);
  EXPECT_EQ(box.Find(23)->rect.left, 16);

  // Line feeds alone make no custom button: the style's set stays.
  in.custom_buttons = u"\n\n";
  EXPECT_EQ(Ids(LayOutMessageBox(in, screen.Metrics())),
            (std::vector<int>{kMessageId, 6, 19, 7, 2, 300, 301}));
}

TEST(MessageBoxLayout, TextWidthLimit) {
  struct Case {
    int line;
    std::uint32_t style, options;
    int limit;
  } const cases[] = {
      {__LINE__, AMB_OK, 0, 720},
      {__LINE__, AMB_OK, AMB_OPT_MODERN, 630},
      {__LINE__, AMB_OK, AMB_OPT_NARROW, 426},
      {__LINE__, AMB_OK, AMB_OPT_NARROW | AMB_OPT_MODERN, 426},
      {__LINE__, AMB_OK | AMB_ICONHAND, AMB_OPT_NARROW, 378},
      {__LINE__, AMB_OK | AMB_ICONEXCLAMATION, AMB_OPT_MODERN, 582},
      {__LINE__, AMB_OK | 0xF0, 0, 672},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    FakeScreen screen;
    LayOutMessageBox(Input(c.style, c.options), screen.Metrics());
    EXPECT_EQ(screen.measured_limit, c.limit);
  }
}

TEST(MessageBoxLayout, CustomIconWithoutIconStyleKeepsTheFullWidth) {
  FakeScreen screen;
  LayoutInput in = Input(AMB_OK);
  in.has_icon = true;
  const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
  EXPECT_EQ(screen.measured_limit, 720);
  EXPECT_RECT(box, kIconId, 8, 8, 42, 42);
  EXPECT_RECT(box, kMessageId, 56, 16, 168, 42);
  EXPECT_EQ(box.width, 176);
  EXPECT_RECT(box, AMB_ID_OK, 50, 56, 126, 80);  // row top: 42 + 5 + 9
}

TEST(MessageBoxLayout, CountdownWidensEveryButton) {
  FakeScreen screen;
  LayoutInput in = Input(AMB_YESNOCANCEL | AMB_CHECK_TELL);
  in.countdown_seconds = 5;
  const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
  for (int id : {AMB_ID_YES, AMB_ID_NO, AMB_ID_CANCEL}) EXPECT_EQ(box.Find(id)->rect.width(), 76 + 26) << id;
  // The check box's slot too: "Do not tell me again" 120 + 20 + 26, plus the box height.
  EXPECT_EQ(box.Find(AMB_ID_CHECKBOX)->rect.width(), 166 + 20);
  for (int slot = 0; slot < AMB_CAPTION_SLOTS; ++slot) EXPECT_GE(box.caption_widths[slot], 76 + 26);
}

TEST(MessageBoxLayout, ModernMessageTopWithIcon) {
  struct Case {
    int line;
    int text_height;
    int top;
  } const cases[] = {
      {__LINE__, 13, 32},  // one line stays at 32
      {__LINE__, 26, 24},  // two lines move up to the icon's top
      {__LINE__, 130, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    FakeScreen screen;
    screen.text_size = {200, c.text_height};
    LayoutInput in = Input(AMB_OK | AMB_ICONASTERISK, AMB_OPT_MODERN);
    in.has_icon = true;
    in.has_background_brush = true;
    const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
    EXPECT_EQ(box.message_rect.top, c.top);
    EXPECT_EQ(box.message_rect.height(), c.text_height + 29);
  }
}

TEST(MessageBoxLayout, CheckBoxBounds) {
  // A short text and a wide check box: the box grows to hold the check box.
  FakeScreen screen;
  screen.text_size = {20, 13};
  LayoutInput in = Input(AMB_OK | AMB_CHECK_SHOW);
  in.captions[SlotCheckShow] = std::u16string(40, u'x');  // 240 + 20 = 260 wide slot
  const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
  const LayoutItem* check = box.Find(AMB_ID_CHECKBOX);
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->rect, (PixelRect{17, 83, 17 + 280, 103}));  // 12 below the row's 71
  EXPECT_EQ(box.width, 280 + 17);  // W < cb gave cb + 16, then cb + 17
  EXPECT_EQ(box.height, 103 + 8);
  EXPECT_RECT(box, AMB_ID_OK, 110, 47, 186, 71);  // centred in 296: (296 - 76) / 2
}

TEST(MessageBoxLayout, BackgroundBrushLowersTheRow) {
  FakeScreen screen;
  LayoutInput in = Input(AMB_OK);
  in.has_background_brush = true;
  EXPECT_EQ(LayOutMessageBox(in, screen.Metrics()).Find(AMB_ID_OK)->rect.top, 42 + 5 + 9);
}

TEST(MessageBoxLayout, SystemModalTemplateStyle) {
  FakeScreen screen;
  EXPECT_EQ(LayOutMessageBox(Input(AMB_OK | AMB_SYSTEMMODAL | AMB_ICONQUESTION), screen.Metrics()).dialog_style,
            0x90C80882u);
}

TEST(MessageBoxLayout, DialogUnitsTruncate) {
  struct Case {
    int line;
    PixelRect rect;
    int bx, by;
    DialogUnitRect units;
  } const cases[] = {
      {__LINE__, {17, 105, 171, 125}, 8, 16, {8, 52, 77, 10}},
      {__LINE__, {7, 15, 14, 30}, 8, 16, {3, 7, 3, 7}},
      {__LINE__, {100, 100, 200, 150}, 7, 15, {57, 53, 57, 26}},
      {__LINE__, {0, 0, 0, 0}, 8, 16, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(ToDialogUnits(c.rect, c.bx, c.by), c.units);
  }
}

// --- Captions ----------------------------------------------------------------

TEST(MessageBoxCaptions, Sources) {
  MessageBoxParams params;
  Captions own = ResolveCaptions(0, params, OwnStringTable);
  EXPECT_EQ(own[SlotOk], u"OK");  // no string 9001: the built-in caption
  EXPECT_EQ(own[SlotYes], u"Yes");
  EXPECT_EQ(own[SlotCheckAsk], u"Do not ask me again");
  EXPECT_EQ(own[SlotReport], u"Re&port");  // the table's "Report" is not consulted

  Captions builtin = ResolveCaptions(AMB_NO_STRING_TABLE, params, OwnStringTable);
  for (int slot = 0; slot < AMB_CAPTION_SLOTS; ++slot) EXPECT_EQ(builtin[slot], BuiltInCaption(slot)) << slot;
  EXPECT_EQ(builtin[SlotYesToAll], u"Y&es to All");
  EXPECT_EQ(builtin[SlotCheckShow], u"Don't show again");

  Captions none = ResolveCaptions(0, params, [](std::uint32_t, std::size_t) { return std::u16string(); });
  EXPECT_EQ(none[SlotCancel], u"Cancel");

  params.use_custom_captions = 1;
  std::u16string long_caption(150, u'L');
  std::char_traits<char16_t>::copy(params.custom_captions[SlotNo], u"Nope", 5);
  std::char_traits<char16_t>::copy(params.custom_captions[SlotYes], long_caption.c_str(), 151);
  std::char_traits<char16_t>::copy(params.custom_captions[SlotReport], u"Ignored", 8);
  Captions custom = ResolveCaptions(0, params, OwnStringTable);
  EXPECT_EQ(custom[SlotNo], u"Nope");
  EXPECT_EQ(custom[SlotYes], long_caption.substr(0, 99));
  EXPECT_EQ(custom[SlotCancel], u"Cancel");   // empty entry: built-in, no string table
  EXPECT_EQ(custom[SlotHelp], u"&Help");
  EXPECT_EQ(custom[SlotReport], u"Re&port");  // the Report slot keeps its caption
}

TEST(MessageBoxCaptions, ReportCaption) {
  MessageBoxParams params;
  std::char_traits<char16_t>::copy(params.report_caption, u"Send &log", 10);
  EXPECT_EQ(ResolveCaptions(0, params, OwnStringTable)[SlotReport], u"Send &log");
  params.report_caption_id = 9018;
  EXPECT_EQ(ResolveCaptions(0, params, OwnStringTable)[SlotReport], u"Skip");
  params.report_caption_id = 777;  // does not load: the text
  EXPECT_EQ(ResolveCaptions(0, params, OwnStringTable)[SlotReport], u"Send &log");
}

TEST(MessageBoxCaptions, CustomButtonsText) {
  MessageBoxParams params;
  EXPECT_EQ(ResolveCustomButtons(params, OwnStringTable), u"");
  std::char_traits<char16_t>::copy(params.custom_buttons, u"A\nB", 4);
  EXPECT_EQ(ResolveCustomButtons(params, OwnStringTable), u"A\nB");
  params.custom_buttons_id = 42;
  EXPECT_EQ(ResolveCustomButtons(params, OwnStringTable), u"First\nSecond");
  params.custom_buttons_id = 43;
  EXPECT_EQ(ResolveCustomButtons(params, OwnStringTable), u"A\nB");
}

// --- The in-memory template ---------------------------------------------------

std::uint16_t Word(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Dword(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Word(b, at) | (static_cast<std::uint32_t>(Word(b, at + 2)) << 16);
}

TEST(MessageBoxTemplate, Bytes) {
  FakeScreen screen;
  LayoutInput in = Input(AMB_OKCANCEL);
  in.message = u"Hi";
  const BoxLayout box = LayOutMessageBox(in, screen.Metrics());
  const std::vector<std::uint8_t> bytes = DialogTemplateBytes(box, u"Cap");
  // Header 18, menu 2, class 2, "Cap" 8 = 30; item 1 at 32: 18 + 4 + "Hi" 6 + 2 = 30
  // -> 62; item 2 at 64: 22 + "OK" 6 + 2 = 30 -> 94; item 3 at 96: 22 + "Cancel" 14 + 2 -> 134.
  ASSERT_EQ(bytes.size(), 134u);
  EXPECT_EQ(Dword(bytes, 0), 0x90C80880u);
  EXPECT_EQ(Dword(bytes, 4), 0u);
  EXPECT_EQ(Word(bytes, 8), 3);
  EXPECT_EQ(Word(bytes, 10), 0);
  EXPECT_EQ(Word(bytes, 12), 0);
  EXPECT_EQ(Word(bytes, 14), static_cast<std::uint16_t>(box.cx));
  EXPECT_EQ(Word(bytes, 16), static_cast<std::uint16_t>(box.cy));
  EXPECT_EQ(Word(bytes, 18), 0);
  EXPECT_EQ(Word(bytes, 20), 0);
  EXPECT_EQ(Word(bytes, 22), u'C');
  EXPECT_EQ(Word(bytes, 28), 0);
  EXPECT_EQ(Word(bytes, 30), 0);  // padding
  EXPECT_EQ(Dword(bytes, 32), kStaticStyle);
  EXPECT_EQ(Word(bytes, 40), static_cast<std::uint16_t>(box.items[0].units.x));
  EXPECT_EQ(Word(bytes, 48), kMessageId);
  EXPECT_EQ(Word(bytes, 50), 0xFFFF);
  EXPECT_EQ(Word(bytes, 52), 0x0082);
  EXPECT_EQ(Word(bytes, 54), u'H');
  EXPECT_EQ(Word(bytes, 60), 0);  // creation data
  EXPECT_EQ(Dword(bytes, 64), kDefaultButtonStyle);
  EXPECT_EQ(Word(bytes, 80), AMB_ID_OK);
  EXPECT_EQ(Word(bytes, 84), 0x0080);
  EXPECT_EQ(Dword(bytes, 96), kPushButtonStyle);
  EXPECT_EQ(Word(bytes, 112), AMB_ID_CANCEL);
  EXPECT_EQ(Word(bytes, 118), u'C');
}

TEST(MessageBoxTemplate, TitleIsCutAt1023Characters) {
  FakeScreen screen;
  const BoxLayout box = LayOutMessageBox(Input(AMB_OK), screen.Metrics());
  const std::size_t short_size = DialogTemplateBytes(box, std::u16string(1023, u'x')).size();
  EXPECT_EQ(DialogTemplateBytes(box, std::u16string(5000, u'x')).size(), short_size);
}

// ---- Boxes that fit the work area --------------------------------------------

// ASCII texts readable in failure messages (others become '?').
std::string Ascii(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

TEST(MessageBoxLayout, LongWordsAreBrokenIntoPiecesThatFit) {
  const auto extent = [](std::u16string_view text) { return 6 * static_cast<int>(text.size()); };
  struct Case {
    int line;
    std::u16string_view text;
    int limit;
    std::u16string_view expected;
  } const cases[] = {
      {__LINE__, u"", 60, u""},
      {__LINE__, u"short words stay as they are", 60, u"short words stay as they are"},
      {__LINE__, u"abcdefghijklmnop", 60, u"abcdefghij\r\nklmnop"},
      {__LINE__, u"see HKCU\\a\\bcdefghijklmnopqrstu now", 60, u"see HKCU\\a\\bcd\r\nefghijklmn\r\nopqrstu now"},
      {__LINE__, u"line\r\nabcdefghijkl\tx", 60, u"line\r\nabcdefghij\r\nkl\tx"},
      // Narrower than one character: one character a line, never none.
      {__LINE__, u"abc", 3, u"a\r\nb\r\nc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    const std::u16string broken = BreakLongWords(c.text, c.limit, extent);
    EXPECT_EQ(Ascii(broken), Ascii(c.expected));
  }
}

TEST(MessageBoxLayout, TheBoxStaysWithinTheWorkArea) {
  // A key path of 300 characters in one word, measured as DrawTextW does with
  // DT_WORDBREAK at its narrowest: a line per word, words never broken, so the
  // widest word decides.
  const std::u16string path = u"HKEY_CURRENT_USER\\" + std::u16string(300, u'k');
  const std::u16string message = u"The error log was saved as " + path + u".";
  for (const int work : {1280, 800, 640}) {
    SCOPED_TRACE(work);
    LayoutMetrics m = FakeScreen{}.Metrics();
    m.screen_width = 1920;
    m.work_area_width = work;
    m.text_extent = [&](std::u16string_view text, int) {
      int widest = 0, lines = 1;
      size_t start = 0;
      for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\n' || text[i] == u' ') {
          std::u16string_view line = text.substr(start, i - start);
          if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
          widest = std::max(widest, m.caption_extent(line));
          if (i < text.size()) ++lines;
          start = i + 1;
        }
      }
      return PixelSize{widest, 13 * lines};
    };
    LayoutInput in = Input(AMB_OK | AMB_ICONHAND);
    in.has_icon = true;
    in.message = message;
    const BoxLayout box = LayOutMessageBox(in, m);
    EXPECT_LE(box.width + 32, work);
    const LayoutItem* text = box.Find(kMessageId);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text->text, message);  // broken into lines
    std::u16string joined = text->text;
    std::erase(joined, u'\r');
    std::erase(joined, u'\n');
    EXPECT_EQ(Ascii(joined), Ascii(message));
  }
}

// --- The monitor's height and DPI -------------------------------------------

TEST(MessageBoxLayout, LineBreaksForTheEditControl) {
  struct Case {
    int line;
    std::u16string_view text, expected;
  } const cases[] = {
      {__LINE__, u"", u""},
      {__LINE__, u"a\nb", u"a\r\nb"},
      {__LINE__, u"a\r\nb\rc\n\n", u"a\r\nb\r\nc\r\n\r\n"},
      {__LINE__, u"\n\r", u"\r\n\r\n"},  // a line feed then a lone return: two breaks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(Ascii(WithCrLf(c.text)), Ascii(c.expected));
  }
}

// Metrics of a monitor at a DPI: the 96-DPI figures of FakeScreen scaled, and
// a text that wraps: 6 pixels a character (scaled), lines of 13 (scaled).
LayoutMetrics MetricsAt(int dpi, int* measured_limit = nullptr) {
  LayoutMetrics m = FakeScreen{}.Metrics();
  const auto s = [dpi](int v) { return MulDivRound(v, dpi, 96); };
  m.dpi = dpi;
  m.base_x = s(8);
  m.base_y = s(16);
  m.screen_width = s(1280);
  m.icon_width = m.icon_height = s(32);
  m.scroll_bar_width = s(17);
  m.line_height = s(13);
  m.caption_extent = [s](std::u16string_view text) { return s(6 * static_cast<int>(text.size())); };
  m.text_extent = [s, measured_limit](std::u16string_view text, int limit) {
    if (measured_limit) *measured_limit = limit;
    const int chars_a_line = std::max(limit / s(6), 1);
    int lines = 0, widest = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = std::min(text.find(u'\n', start), text.size());
      int chars = static_cast<int>(end - start);
      if (chars > 0 && text[end - 1] == u'\r') --chars;
      lines += std::max((chars + chars_a_line - 1) / chars_a_line, 1);
      widest = std::max(widest, s(6) * std::min(chars, chars_a_line));
      start = end + 1;
    }
    return PixelSize{widest, s(13) * lines};
  };
  return m;
}

TEST(MessageBoxLayout, TextTallerThanTheWorkAreaScrolls) {
  std::u16string tall;
  for (int i = 0; i < 400; ++i) tall += u"Line " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"\n";
  struct Case {
    int line;
    int dpi;
    int work_height, frame_height;
    std::uint32_t style, options;
    bool has_icon;
  } const cases[] = {
      {__LINE__, 96, 740, 31, AMB_OK, AMB_OPT_MODERN, false},
      {__LINE__, 96, 740, 31, AMB_YESNO | AMB_ICONQUESTION | AMB_CHECK_ASK, AMB_OPT_MODERN, true},
      {__LINE__, 96, 400, 31, AMB_ABORTRETRYIGNORE | AMB_HELP, 0, false},
      {__LINE__, 144, 1040, 45, AMB_OK | AMB_ICONHAND, AMB_OPT_MODERN, true},
      {__LINE__, 192, 1400, 60, AMB_OKCANCEL | AMB_CHECK_SHOW, AMB_OPT_MODERN | AMB_OPT_NARROW, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    int measured_limit = 0;
    LayoutMetrics m = MetricsAt(c.dpi, &measured_limit);
    m.work_area_width = MulDivRound(1280, c.dpi, 96);
    LayoutInput in = Input(c.style, c.options);
    in.has_icon = c.has_icon;
    in.has_background_brush = (c.options & AMB_OPT_MODERN) != 0;
    in.message = tall;

    const BoxLayout whole = LayOutMessageBox(in, m);
    const int whole_limit = measured_limit;
    EXPECT_FALSE(whole.message_scrolls);  // no height given: no limit
    m.work_area_height = c.work_height;
    m.frame_height = c.frame_height;
    const BoxLayout box = LayOutMessageBox(in, m);

    ASSERT_TRUE(box.message_scrolls);
    EXPECT_LE(box.height + c.frame_height, c.work_height);
    EXPECT_GT(box.height + c.frame_height, c.work_height - m.line_height - MulDivRound(20, c.dpi, 96));
    // Measured for the width left beside the scroll bar.
    EXPECT_EQ(measured_limit, whole_limit - m.scroll_bar_width);
    const LayoutItem* text = box.Find(kMessageId);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->kind, ItemKind::ScrollingText);
    EXPECT_EQ(text->class_atom, kEditClassAtom);
    EXPECT_EQ(text->style, kScrollingTextStyle);
    EXPECT_EQ(text->rect.height() % m.line_height, 0);
    EXPECT_GE(text->rect.width(), m.text_extent(text->text, measured_limit).cx + m.scroll_bar_width);
    EXPECT_EQ(text->rect.top, box.message_rect.top);
    EXPECT_LE(text->rect.bottom, box.message_rect.bottom);
    EXPECT_EQ(text->text.substr(0, 8), u"Line a\r\n");
    // Every control inside the box, the buttons below the text.
    for (const LayoutItem& item : box.items) {
      SCOPED_TRACE(testing::Message() << "item " << item.id);
      EXPECT_GE(item.rect.left, 0);
      EXPECT_GE(item.rect.top, 0);
      EXPECT_LE(item.rect.right, box.width);
      EXPECT_LE(item.rect.bottom, box.height);
      if (item.kind == ItemKind::PushButton) {
        EXPECT_GT(item.rect.top, text->rect.bottom);
      }
    }
    // The same box with room for it shows the text whole.
    m.work_area_height = whole.height + c.frame_height;
    EXPECT_FALSE(LayOutMessageBox(in, m).message_scrolls);
    m.work_area_height -= 1;
    EXPECT_TRUE(LayOutMessageBox(in, m).message_scrolls);
  }
}

TEST(MessageBoxLayout, AWorkAreaBelowOneLineStillShowsOne) {
  LayoutMetrics m = MetricsAt(96);
  m.work_area_height = 60;
  LayoutInput in = Input(AMB_OK);
  in.message = u"one\ntwo\nthree";
  const BoxLayout box = LayOutMessageBox(in, m);
  ASSERT_TRUE(box.message_scrolls);
  EXPECT_EQ(box.Find(kMessageId)->rect.height(), 13);
}

TEST(MessageBoxLayout, EveryFigureFollowsTheDpi) {
  // The same box on monitors of 96, 144 and 192 DPI: the measured figures
  // scale with the DPI, and so does every place the layout computes.
  struct Case {
    int line;
    std::uint32_t style, options;
    bool has_icon, report;
    std::int32_t countdown;
  } const cases[] = {
      {__LINE__, AMB_OK, 0, false, false, 0},
      {__LINE__, AMB_YESNO | AMB_ICONQUESTION | AMB_CHECK_ASK, AMB_OPT_MODERN, true, false, 0},
      {__LINE__, AMB_YESNOCANCEL | AMB_HELP | AMB_CHECK_TELL, AMB_OPT_NARROW, true, true, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    LayoutInput in = Input(c.style, c.options);
    in.has_icon = c.has_icon;
    in.has_report = c.report;
    in.countdown_seconds = c.countdown;
    in.has_background_brush = (c.options & AMB_OPT_MODERN) != 0;
    in.message = u"A message long enough to be wrapped onto more than one line of the box, at every DPI.";
    const BoxLayout at96 = LayOutMessageBox(in, MetricsAt(96));
    for (const int dpi : {144, 192}) {
      SCOPED_TRACE(dpi);
      const BoxLayout box = LayOutMessageBox(in, MetricsAt(dpi));
      // 192 is exact; 144 within the rounding of the sums.
      const int slack = dpi == 192 ? 0 : 3;
      const auto scaled = [dpi](int v) { return MulDivRound(v, dpi, 96); };
      EXPECT_NEAR(box.width, scaled(at96.width), slack);
      EXPECT_NEAR(box.height, scaled(at96.height), slack);
      ASSERT_EQ(box.items.size(), at96.items.size());
      for (std::size_t i = 0; i < box.items.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "item " << box.items[i].id);
        const PixelRect& r = box.items[i].rect;
        const PixelRect& r96 = at96.items[i].rect;
        EXPECT_EQ(box.items[i].text, at96.items[i].text);
        EXPECT_NEAR(r.left, scaled(r96.left), slack);
        EXPECT_NEAR(r.top, scaled(r96.top), slack);
        EXPECT_NEAR(r.right, scaled(r96.right), slack);
        EXPECT_NEAR(r.bottom, scaled(r96.bottom), slack);
      }
    }
  }
}

}  // namespace
}  // namespace hivemend
