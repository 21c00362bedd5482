#include "msgbox/MessageBoxLayout.h"

#include <algorithm>

#include "msgbox/SavedAnswer.h"

namespace hivemend {

namespace {

struct SlotInfo {
  std::uint32_t string_id;
  std::u16string_view caption;
};
constexpr SlotInfo kSlots[AMB_CAPTION_SLOTS] = {
    {9005, u"&Abort"},
    {9002, u"Cancel"},
    {9009, u"&Continue"},
    {9010, u"Don't ask me again"},
    {9011, u"Don't tell me again"},
    {9012, u"Don't show again"},
    {9006, u"&Help"},
    {9003, u"&Ignore"},
    {9017, u"I&gnore All"},
    {9008, u"&No"},
    {9014, u"N&o to All"},
    {9001, u"OK"},
    {9016, u"Re&port"},
    {9004, u"&Retry"},
    {9018, u"&Skip"},
    {9019, u"S&kip All"},
    {9015, u"&Try Again"},
    {9007, u"&Yes"},
    {9013, u"Y&es to All"},
};

constexpr std::size_t kCaptionChars = 99;
constexpr std::size_t kReportIdChars = 98;
constexpr std::size_t kCustomButtonsIdChars = 258;
constexpr std::size_t kCustomButtonsChars = 259;
constexpr std::size_t kMaxCustomButtons = 4;
constexpr std::size_t kTitleChars = 1023;

std::u16string Cut(std::u16string_view text, std::size_t max_chars) {
  return std::u16string(text.substr(0, max_chars));
}

// Builds the items in creation order and keeps the default-button count.
class ItemList {
 public:
  ItemList(BoxLayout& layout, const LayoutMetrics& metrics) : layout_(layout), metrics_(metrics) {}

  void AddItem(ItemKind kind, int id, const PixelRect& rect, std::u16string_view text) {
    LayoutItem item;
    item.kind = kind;
    item.id = id;
    item.rect = rect;
    item.units = ToDialogUnits(rect, metrics_.base_x, metrics_.base_y);
    item.text = std::u16string(text);
    switch (kind) {
      case ItemKind::PushButton:
        item.class_atom = kButtonClassAtom;
        item.style = kPushButtonStyle;
        if (++push_buttons_ == layout_.default_index) {
          item.style = kDefaultButtonStyle;
          layout_.default_id = id;
        }
        break;
      case ItemKind::CheckBox:
        item.class_atom = kButtonClassAtom;
        item.style = kCheckBoxStyle;
        break;
      case ItemKind::Static:
        item.class_atom = kStaticClassAtom;
        item.style = kStaticStyle;
        break;
      case ItemKind::ScrollingText:
        item.class_atom = kEditClassAtom;
        item.style = kScrollingTextStyle;
        break;
    }
    layout_.items.push_back(std::move(item));
  }

  // A push button of the given width and caption at (x, y); returns the step
  // to the next button.
  int AddButton(int id, int width, std::u16string_view caption, int x, int y, int gap) {
    AddItem(ItemKind::PushButton, id, {x, y, x + width, y + layout_.button_height}, caption);
    return width + gap;
  }

 private:
  BoxLayout& layout_;
  const LayoutMetrics& metrics_;
  int push_buttons_ = 0;
};

int DefaultIndex(std::uint32_t style) {
  switch (style & AMB_DEFBUTTON_MASK) {
    case AMB_DEFBUTTON2: return 2;
    case AMB_DEFBUTTON3: return 3;
    case AMB_DEFBUTTON4: return 4;
    case AMB_DEFBUTTON5: return 5;
    case AMB_DEFBUTTON6: return 6;
    default: return 1;
  }
}

void PutLe16(std::vector<std::uint8_t>& out, std::size_t& at, std::uint16_t v) {
  out[at++] = static_cast<std::uint8_t>(v & 0xFF);
  out[at++] = static_cast<std::uint8_t>(v >> 8);
}
void PutLe32(std::vector<std::uint8_t>& out, std::size_t& at, std::uint32_t v) {
  PutLe16(out, at, static_cast<std::uint16_t>(v & 0xFFFF));
  PutLe16(out, at, static_cast<std::uint16_t>(v >> 16));
}
void PutText(std::vector<std::uint8_t>& out, std::size_t& at, std::u16string_view text) {
  for (char16_t c : text) PutLe16(out, at, c);
  PutLe16(out, at, 0);
}

}  // namespace

std::uint32_t CaptionStringId(int slot) { return kSlots[slot].string_id; }
std::u16string_view BuiltInCaption(int slot) { return kSlots[slot].caption; }

Captions ResolveCaptions(std::uint32_t style, const MessageBoxParams& params, const StringLoader& load) {
  Captions captions;
  if (params.report_caption_id != 0) captions[SlotReport] = load(params.report_caption_id, kReportIdChars);
  if (captions[SlotReport].empty())
    captions[SlotReport] = Cut(FieldText(params.report_caption), kCaptionChars);

  for (int slot = 0; slot < AMB_CAPTION_SLOTS; ++slot)
    if (slot != SlotReport || captions[slot].empty()) captions[slot] = std::u16string(kSlots[slot].caption);

  if (params.use_custom_captions) {
    for (int slot = 0; slot < AMB_CAPTION_SLOTS; ++slot) {
      const std::u16string_view custom = FieldText(params.custom_captions[slot]);
      if (slot != SlotReport && !custom.empty()) captions[slot] = Cut(custom, kCaptionChars);
    }
  } else if (!(style & AMB_NO_STRING_TABLE)) {
    for (int slot = 0; slot < AMB_CAPTION_SLOTS; ++slot) {
      if (slot == SlotReport) continue;
      std::u16string loaded = load(kSlots[slot].string_id, kCaptionChars);
      if (!loaded.empty()) captions[slot] = Cut(loaded, kCaptionChars);
    }
  }
  return captions;
}

std::u16string ResolveCustomButtons(const MessageBoxParams& params, const StringLoader& load) {
  std::u16string text;
  if (params.custom_buttons_id != 0) text = Cut(load(params.custom_buttons_id, kCustomButtonsIdChars), kCustomButtonsIdChars);
  if (text.empty()) text = Cut(FieldText(params.custom_buttons), kCustomButtonsChars);
  return text;
}

std::vector<std::u16string> SplitCustomButtons(std::u16string_view text) {
  std::vector<std::u16string> captions;
  while (!text.empty() && captions.size() < kMaxCustomButtons) {
    const std::size_t end = std::min(text.find(u'\n'), text.size());
    if (end > 0) captions.emplace_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return captions;
}

std::uint32_t BoxKind(std::uint32_t style, bool custom_buttons) {
  std::uint32_t kind = 0;
  if (style & AMB_CHECK_ASK)
    kind = kBoxCheckAsk;
  else if (style & AMB_CHECK_TELL)
    kind = kBoxCheckTell;
  else if (style & AMB_CHECK_SHOW)
    kind = kBoxCheckShow;
  if (custom_buttons) return kind;
  switch (style & AMB_BUTTONS_MASK) {
    case AMB_OKCANCEL:
    case AMB_YESNOCANCEL:
    case AMB_RETRYCANCEL:
    case AMB_CANCELTRYCONTINUE:
    case AMB_SKIPSKIPALLCANCEL:
    case AMB_IGNOREIGNOREALLCANCEL:
      return kind | kBoxHasCancel;
    case AMB_ABORTRETRYIGNORE:
    case AMB_YESNO:
    case AMB_CONTINUEABORT:
      return kind;
    default:  // MB_OK and the sets 10 to 15 that show OK alone
      return kind | kBoxIsOk;
  }
}

std::uint32_t CheckResultBit(std::uint32_t box_kind) {
  if (box_kind & kBoxCheckAsk) return AMB_CHECK_ASK;
  if (box_kind & kBoxCheckTell) return AMB_CHECK_TELL;
  if (box_kind & kBoxCheckShow) return AMB_CHECK_SHOW;
  return 0;
}

std::vector<SetButton> ButtonSetRow(std::uint32_t style) {
  const SetButton ok{SlotOk, AMB_ID_OK}, cancel{SlotCancel, AMB_ID_CANCEL};
  const SetButton abort{SlotAbort, AMB_ID_ABORT}, retry{SlotRetry, AMB_ID_RETRY};
  const SetButton ignore{SlotIgnore, AMB_ID_IGNORE}, cont{SlotContinue, AMB_ID_CONTINUE};
  switch (style & AMB_BUTTONS_MASK) {
    case AMB_OKCANCEL: return {ok, cancel};
    case AMB_ABORTRETRYIGNORE: return {abort, retry, ignore};
    case AMB_YESNOCANCEL:
    case AMB_YESNO: {
      std::vector<SetButton> row{{SlotYes, AMB_ID_YES}};
      if (style & AMB_YES_TO_ALL) row.push_back({SlotYesToAll, AMB_ID_YES_TO_ALL});
      row.push_back({SlotNo, AMB_ID_NO});
      if (style & AMB_NO_TO_ALL) row.push_back({SlotNoToAll, AMB_ID_NO_TO_ALL});
      if ((style & AMB_BUTTONS_MASK) == AMB_YESNOCANCEL) row.push_back(cancel);
      return row;
    }
    case AMB_RETRYCANCEL: return {retry, cancel};
    case AMB_CANCELTRYCONTINUE: return {cancel, {SlotTryAgain, AMB_ID_TRYAGAIN}, cont};
    case AMB_CONTINUEABORT: return {cont, abort};
    case AMB_SKIPSKIPALLCANCEL: return {{SlotSkip, AMB_ID_SKIP}, {SlotSkipAll, AMB_ID_SKIP_ALL}, cancel};
    case AMB_IGNOREIGNOREALLCANCEL: return {ignore, {SlotIgnoreAll, AMB_ID_IGNORE_ALL}, cancel};
    default: return {ok};
  }
}

const LayoutItem* BoxLayout::Find(int id) const {
  for (const LayoutItem& item : items)
    if (item.id == id) return &item;
  return nullptr;
}

DialogUnitRect ToDialogUnits(const PixelRect& rect, int base_x, int base_y) {
  auto unit = [](int pixels, int scale, int base) {
    return static_cast<std::int16_t>(pixels * scale / base);
  };
  return {unit(rect.left, 4, base_x), unit(rect.top, 8, base_y), unit(rect.width(), 4, base_x),
          unit(rect.height(), 8, base_y)};
}

int MulDivRound(int a, int b, int c) {
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

std::u16string BreakLongWords(std::u16string_view text, int limit,
                              const std::function<int(std::u16string_view)>& extent) {
  const auto is_gap = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (is_gap(text[i])) {
      out += text[i++];
      continue;
    }
    size_t end = i;
    while (end < text.size() && !is_gap(text[end])) ++end;
    std::u16string_view word = text.substr(i, end - i);
    while (extent(word) > limit && word.size() > 1) {
      // The longest prefix that fits, at least one character.
      size_t low = 1, high = word.size() - 1;
      while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        if (extent(word.substr(0, mid)) <= limit) low = mid;
        else high = mid - 1;
      }
      out += word.substr(0, low);
      out += u"\r\n";
      word.remove_prefix(low);
    }
    out += word;
    i = end;
  }
  return out;
}

std::u16string WithCrLf(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (text[i] == u'\n') {
      out += u"\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

namespace {

// One pass of the layout. text_cap < 0: the message is shown whole; else it
// scrolls in an area at most text_cap pixels high (at least one line). The
// message's measured height is put in *text_height.
BoxLayout LayOut(const LayoutInput& in, const LayoutMetrics& m, int text_cap, int* text_height) {
  BoxLayout box;
  const bool modern = (in.options & AMB_OPT_MODERN) != 0;
  const bool narrow = (in.options & AMB_OPT_NARROW) != 0;
  const bool right_aligned = modern || (in.options & AMB_OPT_RIGHT_BUTTONS) != 0;
  const bool custom = !in.custom_buttons.empty() && !SplitCustomButtons(in.custom_buttons).empty();
  const std::uint32_t icon_field = in.style & AMB_ICON_MASK;
  const bool scrolls = text_cap >= 0;
  box.box_kind = BoxKind(in.style, custom);
  box.message_scrolls = scrolls;
  // Margins and gaps: pixels at 96 DPI.
  const int dpi = m.dpi > 0 ? m.dpi : 96;
  const auto px = [dpi](int pixels_at_96) { return MulDivRound(pixels_at_96, dpi, 96); };

  // Metrics.
  const int bx = m.base_x, by = m.base_y;
  box.min_button_width = MulDivRound(38, bx, 4) + (modern ? MulDivRound(6, bx, 4) : 0);
  box.countdown_extra = MulDivRound(13, bx, 4);
  box.button_height = MulDivRound(12, by, 8) + (modern ? MulDivRound(1, by, 8) : 0);
  box.check_box_height = MulDivRound(10, by, 8);
  box.default_index = DefaultIndex(in.style);

  auto button_width = [&](std::u16string_view caption) {
    return std::max(box.min_button_width, m.caption_extent(caption) + px(20)) +
           (in.countdown_seconds != 0 ? box.countdown_extra : 0);
  };
  for (int slot = 0; slot < AMB_CAPTION_SLOTS; ++slot) box.caption_widths[slot] = button_width(in.captions[slot]);

  // Message text.
  int limit = narrow ? m.screen_width / 3 : modern ? m.screen_width / 2 - px(10) : m.screen_width / 2 + px(80);
  if (icon_field != 0) limit -= m.icon_width + px(16);
  // Within the work area: the text's margins, an icon's room and the window's
  // frame (taken as 16 pixels a side at most) stay inside it too.
  if (m.work_area_width > 0) {
    const int room = m.work_area_width - px(modern ? 44 : 28) - px(32) - (in.has_icon ? m.icon_width + px(48) : 0);
    limit = std::max(std::min(limit, room), 1);
  }
  // A scrolling text has the scroll bar beside it.
  if (scrolls) limit = std::max(limit - m.scroll_bar_width, 1);
  std::u16string shown = BreakLongWords(in.message, limit, m.caption_extent);
  PixelSize text = m.text_extent(shown, limit);
  if (text_height) *text_height = text.cy;
  if (scrolls) {
    int visible = text_cap;
    if (m.line_height > 0) visible = std::max(text_cap / m.line_height, 1) * m.line_height;
    text.cy = std::min(text.cy, visible);
    text.cx += m.scroll_bar_width;
    shown = WithCrLf(shown);
  }
  box.message_rect = modern ? PixelRect{px(16), px(32), text.cx + px(28), text.cy + px(61)}
                            : PixelRect{px(16), px(16), text.cx + px(28), text.cy + px(29)};
  box.width = text.cx + px(modern ? 44 : 28);

  ItemList items(box, m);
  // Icon.
  if (in.has_icon) {
    const int margin = px(modern ? 24 : 8);
    box.icon_rect = {margin, margin, margin + m.icon_width + px(2), margin + m.icon_height + px(2)};
    box.message_rect.left += margin + m.icon_width;
    box.message_rect.right += margin + m.icon_width;
    box.width = box.message_rect.right + margin;
    items.AddItem(ItemKind::Static, kIconId, box.icon_rect, u"");
    if (modern && text.cy > m.line_height) {
      const int height = box.message_rect.height();
      box.message_rect.top = box.icon_rect.top;
      box.message_rect.bottom = box.message_rect.top + height;
    }
  }
  if (scrolls) {
    PixelRect control = box.message_rect;
    control.bottom = control.top + text.cy;
    items.AddItem(ItemKind::ScrollingText, kMessageId, control, shown);
  } else {
    items.AddItem(ItemKind::Static, kMessageId, box.message_rect, shown);
  }

  // Button row.
  struct RowButton {
    int id;
    int width;
    std::u16string caption;
  };
  std::vector<RowButton> row;
  if (custom) {
    int id = AMB_ID_CUSTOM1;
    for (std::u16string& caption : SplitCustomButtons(in.custom_buttons)) {
      const int width = button_width(caption);
      row.push_back({id++, width, std::move(caption)});
    }
  } else {
    for (const SetButton& b : ButtonSetRow(in.style))
      row.push_back({b.id, box.caption_widths[b.slot], in.captions[b.slot]});
  }
  if (in.style & AMB_HELP) row.push_back({AMB_ID_HELP, box.caption_widths[SlotHelp], in.captions[SlotHelp]});
  if (in.has_report)
    row.push_back({AMB_ID_REPORT, box.caption_widths[SlotReport], in.captions[SlotReport]});
  const int n = static_cast<int>(row.size());
  const int gap = px(6);
  int row_width = gap * (n - 1);
  for (const RowButton& b : row) row_width += b.width;

  int y = std::max(box.message_rect.bottom, box.icon_rect.bottom) + px(5);
  if (in.has_icon || in.has_background_brush) y += px(9);
  if (box.default_index > n) box.default_index = 1;

  int check_slot = -1, check_width = 0;
  if (box.box_kind & kBoxCheckAny) {
    check_slot = (box.box_kind & kBoxCheckAsk) ? SlotCheckAsk
                 : (box.box_kind & kBoxCheckTell) ? SlotCheckTell
                                                   : SlotCheckShow;
    check_width = box.caption_widths[check_slot] + box.check_box_height;
  }
  box.width = std::max(box.width, row_width + px(32));
  if (box.width < check_width) box.width = check_width + px(16);

  int x = right_aligned ? box.width - row_width - px(16) : (box.width - row_width) / 2;
  for (const RowButton& b : row) x += items.AddButton(b.id, b.width, b.caption, x, y, gap);
  box.height = y + box.button_height + px(12);

  if (check_slot >= 0) {
    const int top = y + box.button_height + px(12);
    const PixelRect rect{px(17), top, px(17) + check_width, top + box.check_box_height};
    items.AddItem(ItemKind::CheckBox, AMB_ID_CHECKBOX, rect, in.captions[check_slot]);
    box.height = rect.bottom + px(8);
    box.width = std::max(box.width, check_width + px(17));
  }

  // Template header.
  box.dialog_style = kBoxDialogStyle | ((in.style & AMB_SYSTEMMODAL) ? kSystemModalBit : 0);
  box.cx = static_cast<std::int16_t>(box.width * 4 / bx);
  box.cy = static_cast<std::int16_t>(box.height * 8 / by);
  return box;
}

}  // namespace

BoxLayout LayOutMessageBox(const LayoutInput& in, const LayoutMetrics& m) {
  int text_height = 0;
  BoxLayout box = LayOut(in, m, -1, &text_height);
  const int excess = box.height + m.frame_height - m.work_area_height;
  if (m.work_area_height <= 0 || excess <= 0) return box;
  // Every pixel the box is too tall comes off the message: the rest of the box
  // grows with the message's height one for one (or not at all where the icon
  // is taller).
  return LayOut(in, m, std::max(text_height - excess, 0), nullptr);
}

std::vector<std::uint8_t> DialogTemplateBytes(const BoxLayout& layout, std::u16string_view title) {
  title = title.substr(0, kTitleChars);
  auto align4 = [](std::size_t n) { return (n + 3) & ~std::size_t{3}; };
  // Header (18 bytes), menu and class (4), title with terminator.
  std::size_t size = 18 + 4 + 2 * (title.size() + 1);
  for (const LayoutItem& item : layout.items)
    size = align4(size) + 18 + 4 + 2 * (item.text.size() + 1) + 2;

  std::vector<std::uint8_t> out(size, 0);
  std::size_t at = 0;
  PutLe32(out, at, layout.dialog_style);
  PutLe32(out, at, 0);
  PutLe16(out, at, static_cast<std::uint16_t>(layout.items.size()));
  PutLe16(out, at, 0);
  PutLe16(out, at, 0);
  PutLe16(out, at, static_cast<std::uint16_t>(layout.cx));
  PutLe16(out, at, static_cast<std::uint16_t>(layout.cy));
  PutLe16(out, at, 0);  // no menu
  PutLe16(out, at, 0);  // the dialog class
  PutText(out, at, title);
  for (const LayoutItem& item : layout.items) {
    at = align4(at);
    PutLe32(out, at, item.style);
    PutLe32(out, at, 0);
    PutLe16(out, at, static_cast<std::uint16_t>(item.units.x));
    PutLe16(out, at, static_cast<std::uint16_t>(item.units.y));
    PutLe16(out, at, static_cast<std::uint16_t>(item.units.cx));
    PutLe16(out, at, static_cast<std::uint16_t>(item.units.cy));
    PutLe16(out, at, static_cast<std::uint16_t>(item.id));
    PutLe16(out, at, 0xFFFF);
    PutLe16(out, at, item.class_atom);
    PutText(out, at, item.text);
    PutLe16(out, at, 0);  // no creation data
  }
  return out;
}

}  // namespace hivemend
