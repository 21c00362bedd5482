// Where and under which names the message box keeps the answers of "Don't ask
// me again" questions, the store that reads, writes and forgets them, and the
// limits it applies to a record. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "msgbox/MessageBoxParams.h"
#include "platform/Registry.h"

namespace hivemend {

// The 32-bit wrap-around sum over the positions i of
// (low 8 bits of text[i]) * (length + i). "abc" gives 1178.
std::int32_t MessageChecksum(std::u16string_view text);

// The saved answer's value name: the first 490 characters of module_name, each
// replaced by ALPHABET[(i * 5 + c) % 64], then the checksum in decimal (with
// "-" when negative). Module "abc" with checksum 1178 gives "7dj1178".
std::u16string AnswerValueName(std::u16string_view module_name, std::int32_t checksum);

// The key below HKEY_CURRENT_USER: "Software\<company>\<program file>\AppMessageBox",
// without "<company>\" when the company is empty. program_path may be a full
// path; only the part after its last backslash is used. Company and file name
// together are cut to 497 characters (company first), as the box's key buffer
// holds no more.
std::u16string SavedAnswerKeyPath(std::u16string_view company_name,
                                  std::u16string_view program_path);

// Countdown and disabled seconds as the box uses them: 1000 or more becomes 10.
std::int32_t LimitSeconds(std::int32_t seconds);

// The terminated text of a fixed-size record field (stops at the array's end
// when the terminator is missing).
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
  const char16_t* end = std::char_traits<char16_t>::find(field, N, u'\0');
  return std::u16string_view(field, end ? static_cast<std::size_t>(end - field) : N);
}

// The answers the box keeps for one program, in the registry under
// HKEY_CURRENT_USER\<SavedAnswerKeyPath>: a DWORD value per question, named by
// AnswerValueName.
class SavedAnswers {
 public:
  SavedAnswers(Registry& registry, std::u16string_view company_name, std::u16string_view program_path)
      : registry_(registry), key_path_(SavedAnswerKeyPath(company_name, program_path)) {}

  // The answer kept for a question, 0 when there is none.
  std::uint32_t Read(std::u16string_view module_name, std::int32_t checksum) const;
  // Keeps an answer; false when the registry refuses it.
  bool Write(std::u16string_view module_name, std::int32_t checksum, std::uint32_t answer) const;
  // Forgets an answer, so that the question is asked again.
  void Forget(std::u16string_view module_name, std::int32_t checksum) const;

 private:
  Registry& registry_;
  std::u16string key_path_;
};

// Forgets the answer kept for text (asked with params by the program at
// program_path). Nothing to forget without a module name.
void ForgetSavedAnswer(Registry& registry, const MessageBoxParams& params, std::u16string_view program_path,
                       std::u16string_view text);

}  // namespace hivemend
