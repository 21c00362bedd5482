// Hivemend as the handler of .REG files, for the current user only: opening a
// .reg file (a double-click, the default verb) starts the program on it; the
// system's own verbs (Merge, Edit) stay on the file's context menu.
//
// Everything is written below HKEY_CURRENT_USER\Software\Classes, which the
// shell merges over the machine's classes with priority:
//   <class>\shell\Hivemend\command  "<program>" "%1"  (a verb of our own)
//   <class>\shell                   default value "Hivemend" (makes it the default verb)
//   .reg                            default value <class>, only when .reg has no class at all
// where <class> is the class that .reg names (the user's, else the machine's;
// "regfile" when neither names one). Before anything is written, what was
// there is kept below HKEY_CURRENT_USER\Software\Hivemend\FileHandler: each
// default value the program is about to write (with its type and bytes, or
// its absence) and each key it is about to create. Removing brings those
// values back and deletes those keys, and only those (a key that someone else
// has filled since is left). Setting twice, removing twice and removing
// without setting are harmless.
//
// Portable: it reaches the registry through the Registry interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace hivemend {

inline constexpr char16_t kHandlerVerb[] = u"Hivemend";
inline constexpr char16_t kHandlerVerbText[] = u"Preview with Hivemend";
inline constexpr char16_t kHandlerStateKey[] = u"Software\\Hivemend\\FileHandler";
// Where the system keeps the user's own choice of program for .reg files,
// which comes before every class's default verb.
inline constexpr char16_t kRegUserChoiceKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.reg\\UserChoice";

struct HandlerOutcome {
  long status = kRegOk;     // the first failure; kRegOk when everything was done
  // The registry was changed: after a set, the handler is in place (a failed
  // set: part of it could not be taken back); after a remove, it was set.
  bool changed = false;
  std::u16string file_class;  // the class whose default verb was set or restored
  // Set only: the user's choice for .reg files that comes before the class's
  // default verb and names another program (its ProgId).
  std::optional<std::u16string> overriding_choice;
  bool ok() const { return status == kRegOk; }
};

// The class that .reg files belong to for the current user.
std::u16string RegFileClass(Registry& registry);

// Makes program_path the default verb of .reg files for the current user.
// Once set, a second set puts back what was there and sets again (a moved
// program gets its new path). On a failure the registry is put back as it was.
HandlerOutcome SetFileHandler(Registry& registry, std::u16string_view program_path);

// Whether SetFileHandler's change is in place (and not removed since).
bool FileHandlerIsSet(Registry& registry);

// Puts back what SetFileHandler found. changed is false when it was not set.
// On a failure what could not be put back is kept, for another try.
HandlerOutcome RemoveFileHandler(Registry& registry);

// The user's choice of program for .reg files when it names another class
// than file_class and is not this program's own entry ("Applications\<file
// name of program_path>").
std::optional<std::u16string> OverridingUserChoice(Registry& registry, std::u16string_view file_class,
                                                   std::u16string_view program_path);

// What the program tells the user after a set or a remove. The set message
// with an overriding choice ends in a question (answered Yes or No): open the
// system's default-apps settings?
std::u16string SetHandlerMessage(const HandlerOutcome& outcome);
std::u16string RemoveHandlerMessage(const HandlerOutcome& outcome);

}  // namespace hivemend
