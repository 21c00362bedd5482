#include <gtest/gtest.h>

#include "msgbox/MessageBoxParams.h"
#include "msgbox/SavedAnswer.h"

namespace hivemend {
namespace {

TEST(MessageBoxParams, DefaultsAreZeroExceptTheColours) {
  const MessageBoxParams p;
  EXPECT_EQ(p.help_context, 0u);
  EXPECT_EQ(p.countdown_seconds, 0);
  EXPECT_EQ(p.disabled_seconds, 0);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(p.options, 0u);
  EXPECT_EQ(p.string_module, nullptr);
  EXPECT_EQ(p.icon_module, nullptr);
  EXPECT_EQ(p.icon_id, 0u);
  EXPECT_EQ(FieldText(p.icon_name), u"");
  EXPECT_EQ(p.custom_buttons_id, 0u);
  EXPECT_EQ(FieldText(p.custom_buttons), u"");
  EXPECT_EQ(p.report_caption_id, 0u);
  EXPECT_EQ(FieldText(p.report_caption), u"");
  EXPECT_EQ(FieldText(p.company_name), u"");
  EXPECT_EQ(p.module_name, nullptr);
  EXPECT_EQ(p.checksum, 0);
  EXPECT_EQ(p.report_data, 0u);
  EXPECT_EQ(p.report_callback, nullptr);
  EXPECT_EQ(p.text_color, 0xFFFFFFFFu);
  EXPECT_EQ(p.background_color, 0xFFFFFFFFu);
  EXPECT_EQ(p.use_custom_captions, 0);
  for (const auto& caption : p.custom_captions) EXPECT_EQ(FieldText(caption), u"");
}

TEST(MessageBoxParams, BitsAndIdsKeepThePlatformValues) {
  // Callers mix these with the platform's MB_ and ID values; they must agree.
  EXPECT_EQ(AMB_YESNO | AMB_ICONQUESTION | AMB_CHECK_ASK, 0x01000024u);
  EXPECT_EQ(AMB_OK | AMB_ICONEXCLAMATION, 0x30u);
  EXPECT_EQ(AMB_OK | AMB_ICONASTERISK, 0x40u);
  EXPECT_EQ(static_cast<std::int32_t>(AMB_TIMED_OUT | AMB_ID_YES), static_cast<std::int32_t>(0x80000006u));
  EXPECT_LT(static_cast<std::int32_t>(AMB_TIMED_OUT | AMB_ID_YES), 0);
  EXPECT_EQ(AMB_CHECK_MASK, 0x07000000u);
  // The box's own bits stay clear of every platform bit it honours.
  const std::uint32_t platform = AMB_BUTTONS_MASK | AMB_ICON_MASK | AMB_DEFBUTTON_MASK |
                                 AMB_SYSTEMMODAL | AMB_HELP | AMB_SETFOREGROUND | AMB_TOPMOST;
  const std::uint32_t own = AMB_CHECK_MASK | AMB_YES_TO_ALL | AMB_NO_TO_ALL |
                            AMB_NO_STRING_TABLE | AMB_NO_SOUND | AMB_TIMED_OUT;
  EXPECT_EQ(platform & own, 0u);
}

TEST(MessageBoxParams, SecondsOfAThousandOrMoreBecomeTen) {
  struct Case {
    int line;
    std::int32_t in, out;
  } const cases[] = {
      {__LINE__, 0, 0},     {__LINE__, 1, 1},       {__LINE__, 999, 999},
      {__LINE__, 1000, 10}, {__LINE__, 1500, 10},   {__LINE__, 0x7FFFFFFF, 10},
      {__LINE__, -3, -3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(LimitSeconds(c.in), c.out);
  }
}

TEST(MessageBoxParams, FieldTextStopsAtTheEndOfAnUnterminatedField) {
  char16_t field[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(FieldText(field), u"abc");
  field[1] = 0;
  EXPECT_EQ(FieldText(field), u"a");
}

}  // namespace
}  // namespace hivemend
