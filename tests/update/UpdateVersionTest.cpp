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
  EXPECT_EQ(HttpsUrl(u"localhost:8443", kVersionInfoPath), u"https://localhost:8443/versioninfo/hivemend/");
}

TEST(UpdateVersionTest, PublisherPinIsSixtyFourHexadecimalDigits) {
  const std::u16string good = u"00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";
  const auto hash = ParseCertificateHash(good);
  ASSERT_TRUE(hash.has_value());
  EXPECT_EQ((*hash)[0], 0x00);
  EXPECT_EQ((*hash)[1], 0x11);
  EXPECT_EQ((*hash)[15], 0xff);
  EXPECT_EQ((*hash)[16], 0xff);
  EXPECT_EQ((*hash)[31], 0x00);
  for (const std::u16string& bad : {std::u16string(), good.substr(1), good + u"0", u"g" + good.substr(1),
                                    u" " + good.substr(1)}) {
    EXPECT_FALSE(ParseCertificateHash(bad).has_value()) << bad.size();
  }
}

}  // namespace
}  // namespace hivemend
