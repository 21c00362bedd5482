// Where keys lie among mounted hive files.
#include <gtest/gtest.h>

#include "platform/HiveMapping.h"
#include "tests/TestSupport.h"

namespace hivemend::test {
namespace {

TEST(HiveMapping, KeysLieInsideAboveOrOutsideTheMountedHives) {
  HiveMapping mapping;
  ASSERT_EQ(Show(mapping.Add(RegRoot::LocalMachine, u"SOFTWARE", u"img/SOFTWARE")), "");
  ASSERT_EQ(Show(mapping.Add(RegRoot::LocalMachine, u"System\\", u"img/SYSTEM")), "");
  ASSERT_EQ(Show(mapping.Add(RegRoot::CurrentUser, u"", u"img/NTUSER.DAT")), "");
  ASSERT_EQ(Show(mapping.Add(RegRoot::Users, u".DEFAULT", u"img/DEFAULT")), "");
  mapping.SetCurrentControlSet(1, 2);
  using W = HiveMapping::Where;
  const struct Case {
    RegRoot root;
    std::u16string_view path;
    W where;
    size_t mount;
    std::u16string_view inner;
  } cases[] = {
      {RegRoot::LocalMachine, u"SOFTWARE", W::Inside, 0, u""},
      {RegRoot::LocalMachine, u"software\\\\Acme\\Tool\\", W::Inside, 0, u"Acme\\Tool"},
      {RegRoot::LocalMachine, u"SOFTWAREX\\Acme", W::Outside, 0, u""},
      {RegRoot::LocalMachine, u"SAM\\Domains", W::Outside, 0, u""},
      {RegRoot::LocalMachine, u"", W::Above, 0, u""},
      {RegRoot::LocalMachine, u"SYSTEM\\CurrentControlSet\\Services\\x", W::Inside, 1, u"ControlSet002\\Services\\x"},
      {RegRoot::LocalMachine, u"system\\currentcontrolset", W::Inside, 1, u"ControlSet002"},
      {RegRoot::LocalMachine, u"SYSTEM\\CurrentControlSetX", W::Inside, 1, u"CurrentControlSetX"},
      {RegRoot::LocalMachine, u"SYSTEM\\ControlSet001\\Services", W::Inside, 1, u"ControlSet001\\Services"},
      {RegRoot::CurrentUser, u"", W::Inside, 2, u""},
      {RegRoot::CurrentUser, u"Software\\CurrentControlSet", W::Inside, 2, u"Software\\CurrentControlSet"},
      {RegRoot::Users, u"", W::Above, 0, u""},
      {RegRoot::Users, u".default\\Control Panel", W::Inside, 3, u"Control Panel"},
      {RegRoot::Users, u"S-1-5-18", W::Outside, 0, u""},
      {RegRoot::ClassesRoot, u".txt", W::Outside, 0, u""},
      {RegRoot::CurrentConfig, u"", W::Outside, 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.root)) + ":" + Show(c.path));
    const HiveMapping::Place place = mapping.Locate(c.root, c.path);
    EXPECT_EQ(place.where, c.where);
    if (c.where != W::Inside) continue;
    EXPECT_EQ(place.mount, c.mount);
    EXPECT_EQ(Show(place.inner), Show(c.inner));
  }
  EXPECT_EQ(mapping.NamesBelow(RegRoot::LocalMachine, u""), (std::vector<std::u16string>{u"SOFTWARE", u"System"}));

  // A SYSTEM hive that names no current control set: nothing lies below it.
  HiveMapping unnamed;
  ASSERT_EQ(Show(unnamed.Add(RegRoot::LocalMachine, u"SYSTEM", u"img/SYSTEM")), "");
  EXPECT_EQ(unnamed.Locate(RegRoot::LocalMachine, u"SYSTEM\\CurrentControlSet\\x").where, W::Outside);
  EXPECT_EQ(unnamed.Locate(RegRoot::LocalMachine, u"SYSTEM\\Select").where, W::Inside);
}

TEST(HiveMapping, MountsNeverNestAndNeverShareAFile) {
  HiveMapping mapping;
  ASSERT_EQ(Show(mapping.Add(RegRoot::LocalMachine, u"SOFTWARE", u"img/SOFTWARE")), "");
  EXPECT_NE(Show(mapping.Add(RegRoot::LocalMachine, u"software\\Classes", u"img/UsrClass.dat")), "");
  EXPECT_NE(Show(mapping.Add(RegRoot::LocalMachine, u"", u"img/ALL")), "");
  EXPECT_NE(Show(mapping.Add(RegRoot::LocalMachine, u"Software", u"img/OTHER")), "");
  EXPECT_NE(Show(mapping.Add(RegRoot::CurrentUser, u"", u"img/./SOFTWARE")), "");
  EXPECT_EQ(Show(mapping.Add(RegRoot::CurrentUser, u"Software", u"img/NTUSER.DAT")), "");
  EXPECT_EQ(mapping.mounts().size(), 2u);
}

}  // namespace
}  // namespace hivemend::test
