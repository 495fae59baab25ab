#include <gtest/gtest.h>

#include "core/MessageTable.h"
#include "core/SettingsStore.h"
#include "support/TempRegistry.h"

namespace {

using platform::RegRoot;
const std::string kKey = core::kSettingsKey;

TEST(SettingsStoreTest, WritesAndReadsTextCreatingTheKey) {
  test::TempRegistry reg;
  std::string v;
  core::ReadSetting(RegRoot::CurrentUser, kKey, "Notify Check Days", v);
  EXPECT_EQ(v, "");
  // A first start's reads leave no trace: the key appears only with the first write.
  EXPECT_FALSE(reg.get().openKey(RegRoot::CurrentUser, kKey, platform::kKeyRead));
  core::WriteSetting(RegRoot::CurrentUser, kKey, "Notify Check Days", "60", true, false);
  core::ReadSetting(RegRoot::CurrentUser, kKey, "Notify Check Days", v);
  EXPECT_EQ(v, "60");
  core::WriteSetting(RegRoot::CurrentUser, kKey + "\\Missing", "X", "1", false, false);
  EXPECT_FALSE(reg.get().openKey(RegRoot::CurrentUser, kKey + "\\Missing", platform::kKeyRead));
}

TEST(SettingsStoreTest, AValueOfAnotherTypeLeavesTheOutputAsItWas) {
  test::TempRegistry reg;
  reg.get().openKey(RegRoot::CurrentUser, kKey, platform::kKeyAllAccess, true)->setDWord("N", 5);
  std::string v = "as given";
  core::ReadSetting(RegRoot::CurrentUser, kKey, "N", v);
  EXPECT_EQ(v, "as given");
}

TEST(SettingsStoreTest, MachineHiveIsReadThroughTheReadOnlyWayWithinItsRoom) {
  std::string file;
  {
    test::TempRegistry admin;  // the installer
    auto key = admin.get().openKey(RegRoot::LocalMachine, kKey, platform::kKeyAllAccess, true);
    key->setString("Product Version", "3.2");
    key->setString("Long255", std::string(255, 'x'));
    key->setString("Long256", std::string(256, 'x'));
    key->setString("WithZero", std::string("ab\0cd", 5));
    key->setDWord("Number", 7);
    file = admin.file();
    auto user = platform::Registry::open(file, /*administrator=*/false);
    platform::setRegistry(user.get());
    std::string v;
    core::ReadSetting(RegRoot::LocalMachine, kKey, "Product Version", v);
    EXPECT_EQ(v, "3.2");
    v.clear();
    core::ReadSetting(RegRoot::LocalMachine, kKey, "Long255", v);
    EXPECT_EQ(v.size(), 255u);
    v.clear();
    core::ReadSetting(RegRoot::LocalMachine, kKey, "Long256", v);
    EXPECT_EQ(v, "");
    core::ReadSetting(RegRoot::LocalMachine, kKey, "WithZero", v);
    EXPECT_EQ(v, "ab");
    v = "as given";
    core::ReadSetting(RegRoot::LocalMachine, kKey, "Number", v);
    EXPECT_EQ(v, "as given");
    core::ReadSetting(RegRoot::LocalMachine, kKey, "Missing", v);
    EXPECT_EQ(v, "as given");
    // A user cannot write the machine's hive; nothing changes and nothing is reported.
    core::WriteSetting(RegRoot::LocalMachine, kKey, "Product Version", "9.9", true, false);
    core::ReadSetting(RegRoot::LocalMachine, kKey, "Product Version", v);
    EXPECT_EQ(v, "3.2");
    platform::setRegistry(nullptr);
  }
}

TEST(MessageTableTest, TextsAreExact) {
  EXPECT_EQ(core::LoadMessage("SNetwork_NotReady"), "Network is not ready !");
  EXPECT_EQ(core::LoadMessage("SFile_Open_Exist"), "File existed already ! Overwirte?");
  EXPECT_EQ(core::LoadMessage("SFile_Save_Err"), "Can't save file : ");
  EXPECT_EQ(core::LoadMessage("SFail_Storage_Link"),
            "Can not connect because the storage access mode is currently in Server mode, not "
            "Corvane mode.");
  ASSERT_NE(core::FindMessage("SFail_Link"), nullptr);
  EXPECT_EQ(core::FindMessage("SFail_Link")->id, 65521);
  EXPECT_STREQ(core::FindMessage("SPrinterSetup_SMB")->group, "Reconst");
  EXPECT_EQ(core::LoadMessage("SNoSuchMessage"), "");
  EXPECT_LE(core::LoadMessage("SNetwork_NotReady").size(), 127u);  // it is also the tray tip
}

}  // namespace
