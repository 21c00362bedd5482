#include "msgbox/SavedAnswer.h"

#include <iterator>

namespace hivemend {

namespace {
constexpr char16_t kNameAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz98";
static_assert(std::size(kNameAlphabet) == 65);
constexpr std::size_t kMaxModuleChars = 490;
constexpr std::size_t kMaxKeyNameChars = 497;
}  // namespace

std::int32_t MessageChecksum(std::u16string_view text) {
  // Unsigned arithmetic: the sum wraps around like the 32-bit signed sum it stands for.
  const std::uint32_t n = static_cast<std::uint32_t>(text.size());
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < n; ++i) sum += (text[i] & 0xFFu) * (n + i);
  return static_cast<std::int32_t>(sum);
}

std::u16string AnswerValueName(std::u16string_view module_name, std::int32_t checksum) {
  module_name = module_name.substr(0, kMaxModuleChars);
  std::u16string name;
  name.reserve(module_name.size() + 11);
  for (std::size_t i = 0; i < module_name.size(); ++i)
    name += kNameAlphabet[(i * 5 + module_name[i]) % 64];
  // Decimal digits of the checksum, computed on the magnitude so that the
  // most negative value has none of the overflow of negating it.
  std::int64_t value = checksum;
  if (value < 0) {
    name += u'-';
    value = -value;
  }
  char16_t digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) name += digits[--count];
  return name;
}

std::u16string SavedAnswerKeyPath(std::u16string_view company_name,
                                  std::u16string_view program_path) {
  std::u16string_view file = program_path;
  if (const auto slash = file.rfind(u'\\'); slash != std::u16string_view::npos)
    file = file.substr(slash + 1);
  company_name = company_name.substr(0, kMaxKeyNameChars);
  file = file.substr(0, kMaxKeyNameChars - company_name.size());

  std::u16string path = u"Software\\";
  if (!company_name.empty()) {
    path += company_name;
    path += u'\\';
  }
  path += file;
  path += u"\\AppMessageBox";
  return path;
}

std::int32_t LimitSeconds(std::int32_t seconds) {
  return seconds >= 1000 ? AMB_MAX_SECONDS : seconds;
}

std::uint32_t SavedAnswers::Read(std::u16string_view module_name, std::int32_t checksum) const {
  RegKey key(registry_);
  if (key.Open(RegRoot::CurrentUser, key_path_, kKeyRead) != kRegOk) return 0;
  std::uint32_t answer = 0, size = sizeof answer;
  if (key.Query(AnswerValueName(module_name, checksum), nullptr, reinterpret_cast<std::uint8_t*>(&answer), &size) !=
      kRegOk)
    return 0;
  return answer;
}

bool SavedAnswers::Write(std::u16string_view module_name, std::int32_t checksum, std::uint32_t answer) const {
  RegKey key(registry_);
  return key.Create(RegRoot::CurrentUser, key_path_, kKeyWrite) == kRegOk &&
         key.Set(AnswerValueName(module_name, checksum), kRegDword, reinterpret_cast<const std::uint8_t*>(&answer),
                 sizeof answer) == kRegOk;
}

void SavedAnswers::Forget(std::u16string_view module_name, std::int32_t checksum) const {
  RegKey key(registry_);
  if (key.Open(RegRoot::CurrentUser, key_path_, kKeySetValue) == kRegOk)
    (void)key.Delete(AnswerValueName(module_name, checksum));
}

void ForgetSavedAnswer(Registry& registry, const MessageBoxParams& params, std::u16string_view program_path,
                       std::u16string_view text) {
  if (!params.module_name || !*params.module_name) return;
  SavedAnswers(registry, FieldText(params.company_name), program_path)
      .Forget(params.module_name, MessageChecksum(text));
}

}  // namespace hivemend
