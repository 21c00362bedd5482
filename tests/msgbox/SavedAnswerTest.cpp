#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "msgbox/SavedAnswer.h"
#include "platform/MemoryRegistry.h"
#include "tests/RegistryValues.h"

namespace hivemend {
namespace {

TEST(SavedAnswer, MessageChecksum) {
  struct Case {
    int line;
    std::u16string text;
    std::int32_t sum;
  } const cases[] = {
      {__LINE__, u"", 0},
      {__LINE__, u"abc", 97 * 3 + 98 * 4 + 99 * 5},
      {__LINE__, u"a", 97},
      // Only the low 8 bits of a code unit count: U+0141 counts as 0x41.
      {__LINE__, u"\u0141", 0x41},
      {__LINE__, u"\u0100A", 0 * 2 + 65 * 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(MessageChecksum(c.text), c.sum);
  }
}

TEST(SavedAnswer, MessageChecksumWrapsAround) {
  // 70000 characters of 0xFF: sum of 255 * (70000 + i) for i < 70000
  // = 255 * (70000^2 + 70000 * 69999 / 2), taken modulo 2^32 as signed.
  const std::u16string text(70000, u'\u00FF');
  const std::uint64_t n = 70000;
  const std::uint64_t exact = 255 * (n * n + n * (n - 1) / 2);
  EXPECT_EQ(MessageChecksum(text), static_cast<std::int32_t>(static_cast<std::uint32_t>(exact)));
}

TEST(SavedAnswer, AnswerValueName) {
  struct Case {
    int line;
    std::u16string module;
    std::int32_t checksum;
    std::u16string name;
  } const cases[] = {
      {__LINE__, u"abc", MessageChecksum(u"abc"), u"7dj1178"},
      {__LINE__, u"", 0, u"0"},
      {__LINE__, u"", -42, u"-42"},
      {__LINE__, u"", INT32_MIN, u"-2147483648"},
      {__LINE__, u"", INT32_MAX, u"2147483647"},
      // Position 0 code 0 is 'A'; 63 is the alphabet's last '8'; 62 its '9'.
      {__LINE__, std::u16string(1, u'\0'), 1, u"A1"},
      {__LINE__, u"?", 1, u"81"},  // '?' is 63
      {__LINE__, u">", 1, u"91"},  // '>' is 62
      // Position counts: the same letter maps differently at positions 0 and 1.
      {__LINE__, u"aa", 7, u"7c7"},
      {__LINE__, u"hivemend.exe", 5, u"ekAqB9MHWSg25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(AnswerValueName(c.module, c.checksum), c.name);
  }
}

TEST(SavedAnswer, AnswerValueNameUsesTheFirst490Characters) {
  const std::u16string module(600, u'a');
  const std::u16string name = AnswerValueName(module, 3);
  ASSERT_EQ(name.size(), 491u);
  EXPECT_EQ(name.back(), u'3');
  EXPECT_EQ(name, AnswerValueName(module.substr(0, 490), 3));
}

TEST(SavedAnswer, KeyPath) {
  struct Case {
    int line;
    std::u16string company, program, key;
  } const cases[] = {
      {__LINE__, u"Tarnwick", u"C:\\Program Files\\Hivemend\\hivemend.exe",
       u"Software\\Tarnwick\\hivemend.exe\\AppMessageBox"},
      {__LINE__, u"", u"C:\\x\\hivemend.exe", u"Software\\hivemend.exe\\AppMessageBox"},
      {__LINE__, u"Tarnwick", u"other.exe", u"Software\\Tarnwick\\other.exe\\AppMessageBox"},
      {__LINE__, u"Tarnwick", u"C:\\dir\\", u"Software\\Tarnwick\\\\AppMessageBox"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(SavedAnswerKeyPath(c.company, c.program), c.key);
  }
}

TEST(SavedAnswer, KeyPathKeepsCompanyAndFileWithin497Characters) {
  const std::u16string company(300, u'c');
  const std::u16string file(300, u'f');
  const std::u16string key = SavedAnswerKeyPath(company, u"C:\\" + file);
  EXPECT_EQ(key, u"Software\\" + company + u"\\" + file.substr(0, 197) + u"\\AppMessageBox");
  const std::u16string long_company(600, u'c');
  EXPECT_EQ(SavedAnswerKeyPath(long_company, u"x.exe"),
            u"Software\\" + long_company.substr(0, 497) + u"\\\\AppMessageBox");
}

// The store reads, writes and forgets one program's answers, each question
// under its own name, as DWORD values below the program's key.
TEST(SavedAnswer, TheStoreKeepsEachQuestionsAnswerUnderTheProgramsKey) {
  MemoryRegistry registry;
  const SavedAnswers answers(registry, u"Tarnwick", u"C:\\x\\hivemend.exe");
  EXPECT_EQ(answers.Read(u"hivemend.exe", 1178), 0u);  // no key yet
  ASSERT_TRUE(answers.Write(u"hivemend.exe", 1178, 0x01000007));
  ASSERT_TRUE(answers.Write(u"hivemend.exe", -5, 0x01000006));
  EXPECT_EQ(answers.Read(u"hivemend.exe", 1178), 0x01000007u);
  EXPECT_EQ(answers.Read(u"hivemend.exe", -5), 0x01000006u);
  EXPECT_EQ(answers.Read(u"other.exe", 1178), 0u);
  EXPECT_EQ(SavedAnswers(registry, u"Tarnwick", u"other.exe").Read(u"hivemend.exe", 1178), 0u);
  EXPECT_EQ(test::GetValue(registry, RegRoot::CurrentUser, u"Software\\Tarnwick\\hivemend.exe\\AppMessageBox",
                           AnswerValueName(u"hivemend.exe", 1178)),
            (test::Value{kRegDword, {7, 0, 0, 1}}));

  answers.Forget(u"hivemend.exe", 1178);
  answers.Forget(u"hivemend.exe", 1178);  // twice: nothing left to forget
  EXPECT_EQ(answers.Read(u"hivemend.exe", 1178), 0u);
  EXPECT_EQ(answers.Read(u"hivemend.exe", -5), 0x01000006u);
  // Asked by the text the question shows; nothing without a module name.
  MessageBoxParams params;
  std::copy_n(u"Tarnwick", 9, params.company_name);
  ForgetSavedAnswer(registry, params, u"C:\\x\\hivemend.exe", u"Cancel it?");
  params.module_name = u"hivemend.exe";
  ASSERT_TRUE(answers.Write(u"hivemend.exe", MessageChecksum(u"Cancel it?"), 2));
  ForgetSavedAnswer(registry, params, u"C:\\x\\hivemend.exe", u"Cancel it?");
  EXPECT_EQ(answers.Read(u"hivemend.exe", MessageChecksum(u"Cancel it?")), 0u);
}

}  // namespace
}  // namespace hivemend
