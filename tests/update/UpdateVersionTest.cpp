// The update decision: reading version texts, packing, the length limit, and
// the names the download uses.
#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"
#include "platform/Version.h"
#include "update/UpdateVersion.h"

namespace hivemend {
namespace {

struct ParseCase {
  int line;
  const char16_t* text;
  VersionFields fields;
};

TEST(UpdateVersionTest, ReadsFieldsLikeTheScanFormat) {
  const ParseCase cases[] = {
      {__LINE__, u"0.0.2.11", {0, 0, 2, 11}},
      {__LINE__, u"0.0.2.12\r\n", {0, 0, 2, 12}},
      {__LINE__, u"0.0.3", {0, 0, 3, 0}},
      {__LINE__, u"1.0.0.300", {1, 0, 0, 300}},
      {__LINE__, u"1.2.3.4.5", {1, 2, 3, 4}},
      {__LINE__, u"", {0, 0, 0, 0}},
      {__LINE__, u"<html><body>404 Not Found</body></html>", {0, 0, 0, 0}},
      {__LINE__, u"12abc.3", {12, 0, 0, 0}},
      {__LINE__, u"1..2", {1, 0, 0, 0}},
      {__LINE__, u"1.", {1, 0, 0, 0}},
      // Each number may follow white space and a sign; the dots must be exact.
      {__LINE__, u"  \t1.2", {1, 2, 0, 0}},
      {__LINE__, u"1. 2.\n3", {1, 2, 3, 0}},
      {__LINE__, u"1 .2", {1, 0, 0, 0}},
      {__LINE__, u"+7.-1", {7, 0xFFFFFFFFu, 0, 0}},
      {__LINE__, u"-.1", {0, 0, 0, 0}},
      // Numbers wrap at 32 bits.
      {__LINE__, u"4294967295.4294967296.4294967297", {0xFFFFFFFFu, 0, 1, 0}},
      // Digits beyond ASCII are not digits.
      {__LINE__, u"\uFF11.2", {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(ParseVersionFields(c.text), c.fields);
  }
}

struct PackCase {
  int line;
  VersionFields fields;
  std::uint32_t packed;
};

TEST(UpdateVersionTest, PacksEightBitFieldsMostSignificantFirst) {
  const PackCase cases[] = {
      {__LINE__, {0, 0, 2, 11}, 0x0000020Bu},
      {__LINE__, {1, 2, 3, 4}, 0x01020304u},
      {__LINE__, {255, 255, 255, 255}, 0xFFFFFFFFu},
      // A field above 255 overlaps the fields before it.
      {__LINE__, {1, 0, 0, 300}, 0x0100012Cu},
      {__LINE__, {0, 0, 1, 300}, 0x0000012Cu},
      {__LINE__, {0, 0, 0, 256}, 0x00000100u},
      // Bits shifted past bit 31 are lost.
      {__LINE__, {256, 0, 0, 0}, 0x00000000u},
      {__LINE__, {0x12345678u, 0, 0, 0}, 0x78000000u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(PackVersion(c.fields), c.packed);
  }
}

struct OfferCase {
  int line;
  std::u16string latest;
  bool offered;
};

TEST(UpdateVersionTest, OffersOnlyAHigherVersionOfFewerThan128Characters) {
  const std::u16string padding127 = std::u16string(127 - 7, u'x');
  const OfferCase cases[] = {
      {__LINE__, u"0.0.2.12", true},
      {__LINE__, u"0.0.2.11", false},
      {__LINE__, u"0.0.2.10", false},
      {__LINE__, u"0.0.3", true},
      {__LINE__, u"0.1", true},
      {__LINE__, u"1.0.0.300", true},
      // The overlapping last field does not lift 0.0.1 above 0.0.2.11.
      {__LINE__, u"0.0.1.300", false},
      {__LINE__, u"", false},
      {__LINE__, u"<html><body>Not Found</body></html>", false},
      {__LINE__, u"9.9.9.9" + padding127, true},
      {__LINE__, u"9.9.9.9" + padding127 + u"x", false},
      {__LINE__, std::u16string(300, u'9'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(IsUpdateOffered(c.latest, kProgramVersion), c.offered);
  }
  EXPECT_EQ(PackedVersion(kProgramVersion), 0x0000020Bu);
}

// The update check reads versions as four fields of 8 bits: the program's own
// version must come back whole from that reading, or the check would compare
// some other version with the server's.
TEST(UpdateVersionTest, ProgramVersionSurvivesTheUpdateChecksReading) {
  const VersionFields fields = ParseVersionFields(kProgramVersion);
  std::u16string written;
  for (std::uint32_t field : fields) {
    EXPECT_LE(field, 255u);
    written += (written.empty() ? u"" : u".") + Decimal(field);
  }
  EXPECT_EQ(written, kProgramVersion);
}

TEST(UpdateVersionTest, PromptNamesTheServersVersion) {
  EXPECT_EQ(UpdatePromptText(u"0.0.2.12"),
            u"There is an update for Hivemend available. Version 0.0.2.12. Would you like to "
            u"auto-install it now?");
}

struct FolderCase {
  int line;
  const char16_t* program;
  const char16_t* folder;
};

TEST(UpdateVersionTest, InstallerGoesIntoTheProgramsFolderOrNowhere) {
  const FolderCase cases[] = {
      {__LINE__, u"C:\\Program Files\\Hivemend\\hivemend.exe", u"C:\\Program Files\\Hivemend"},
      {__LINE__, u"C:\\hivemend.exe", u"C:"},
      {__LINE__, u"\\\\server\\share\\hivemend.exe", u"\\\\server\\share"},
      // Without a path, or with no folder in it, nothing is downloaded: never
      // into the root of the current drive.
      {__LINE__, u"\\hivemend.exe", u""},
      {__LINE__, u"hivemend.exe", u""},
      {__LINE__, u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(InstallerFolderOf(c.program), c.folder);
  }
  // The installer reads /D= to the end of its command line, unquoted.
  EXPECT_EQ(InstallerArguments(u"D:\\Tools\\Hive mend"), u"/S /D=D:\\Tools\\Hive mend");
  EXPECT_EQ(InstallerArguments(u"C:"), u"/S /D=C:\\");
  EXPECT_EQ(HttpsUrl(u"localhost:8443", kVersionInfoPath), u"https://localhost:8443/versioninfo/hivemend/");
}

TEST(UpdateVersionTest, PublisherPinsAreSixtyFourHexadecimalDigitsEach) {
  const std::u16string good = u"00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";
  const std::u16string second(64, u'7');
  const auto hash = ParsePin(good);
  ASSERT_TRUE(hash.has_value());
  EXPECT_EQ((*hash)[0], 0x00);
  EXPECT_EQ((*hash)[1], 0x11);
  EXPECT_EQ((*hash)[15], 0xff);
  EXPECT_EQ((*hash)[16], 0xff);
  EXPECT_EQ((*hash)[31], 0x00);
  for (const std::u16string& bad : {std::u16string(), good.substr(1), good + u"0", u"g" + good.substr(1),
                                    u" " + good.substr(1)}) {
    EXPECT_FALSE(ParsePin(bad).has_value()) << bad.size();
    // One bad entry spoils the list: a typing error must not leave fewer keys unnoticed.
    EXPECT_EQ(ParsePins(second + u"," + bad + u"x").size(), 0u);
  }
  EXPECT_EQ(ParsePins(good + u"," + second), (std::vector{*hash, *ParsePin(second)}));
  EXPECT_EQ(ParsePins(u" " + good + u" ;\t" + second + u","), (std::vector{*hash, *ParsePin(second)}));
  EXPECT_EQ(ParsePins(u""), (std::vector<std::array<std::uint8_t, 32>>{}));
}

struct InstallerVersionCase {
  int line;
  std::optional<std::array<std::uint16_t, 4>> installer;
  const char16_t* offered;
  bool accepted;
};

// The installer's own version must be the one offered, and newer than the
// program (0.0.2.11): an older signed installer is never run.
TEST(UpdateVersionTest, InstallerMustNameTheOfferedNewerVersion) {
  using V = std::array<std::uint16_t, 4>;
  const InstallerVersionCase cases[] = {
      {__LINE__, V{0, 0, 2, 12}, u"0.0.2.12", true},
      {__LINE__, V{0, 0, 3, 0}, u"0.0.3", true},
      {__LINE__, V{1, 0, 0, 0}, u"1.0.0.0", true},
      {__LINE__, V{0, 0, 2, 12}, u"0.0.2.13", false},  // not the one offered
      {__LINE__, V{0, 0, 2, 13}, u"0.0.2.12", false},
      {__LINE__, V{0, 0, 2, 10}, u"0.0.2.10", false},  // older than the program
      {__LINE__, V{0, 0, 2, 11}, u"0.0.2.11", false},  // the program's own
      {__LINE__, V{0, 1, 2, 12}, u"0.0.2.12", false},  // differs only in a field the packing would hide
      {__LINE__, std::nullopt, u"0.0.2.12", false},    // names no version
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(IsInstallerVersionAccepted(c.installer, c.offered, u"0.0.2.11"), c.accepted);
  }
  EXPECT_EQ(VersionText({0, 0, 2, 12}), u"0.0.2.12");
}

// Every way a download ends, but the user's own Cancel, is told in one
// message; each failure gives its reason and says that nothing was installed.
TEST(UpdateVersionTest, EveryOutcomeButCancelHasOneMessage) {
  for (int n = 0; n <= static_cast<int>(InstallOutcome::StartFailed); ++n) {
    InstallResult result(static_cast<InstallOutcome>(n));
    result.offered_version = u"0.0.2.12";
    result.status = 404;
    result.installer_version = u"0.0.2.10";
    const std::u16string text = InstallOutcomeMessage(result);
    SCOPED_TRACE(testing::Message() << "outcome " << n);
    if (result.outcome == InstallOutcome::Stopped) {
      EXPECT_EQ(text, u"");
    } else if (result.outcome == InstallOutcome::Started) {
      EXPECT_NE(text.find(u"version 0.0.2.12"), std::u16string::npos);
      EXPECT_EQ(text.find(u"Nothing was installed"), std::u16string::npos);
    } else {
      EXPECT_TRUE(text.ends_with(u" Nothing was installed.")) << ToUtf8(text);
    }
  }
  InstallResult status(InstallOutcome::ServerStatus);
  status.status = 404;
  EXPECT_NE(InstallOutcomeMessage(status).find(u"status 404."), std::u16string::npos);
  InstallResult wrong(InstallOutcome::WrongVersion);
  wrong.offered_version = u"0.0.2.12";
  wrong.installer_version = u"0.0.2.10";
  EXPECT_EQ(InstallOutcomeMessage(wrong),
            u"The downloaded installer is version 0.0.2.10, but version 0.0.2.12 was offered. It was deleted and not "
            u"started. Nothing was installed.");
}

}  // namespace
}  // namespace hivemend
