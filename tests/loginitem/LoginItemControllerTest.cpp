#include "LoginTestFiles.h"
#include "loginitem/LoginItemController.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

using ostrel::AutostartList;
using ostrel::LoginItemController;
using ostrel::LoginJobs;
using Phase = LoginItemController::ChangePhase;
using namespace ostrel::test;

const QString kHelper = "/opt/ostrel/libexec/ostrel/ostrelkick";

class LoginItemControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = freshAutostartDirectory(); }

  LoginJobs jobs(QString helper = kHelper) const {
    return LoginJobs(AutostartList(dir), [helper](const QString& id) {
      return id == "VELDOR.Ostrelkick" ? helper : QString();
    });
  }

  // Records announcements as "will:key" / "did:key".
  static std::shared_ptr<QStringList> record(LoginItemController& controller) {
    auto log = std::make_shared<QStringList>();
    controller.addObserver([log](const QString& key, Phase phase) {
      *log << (phase == Phase::Will ? "will:" : "did:") + key;
    });
    return log;
  }

  QString dir;
};

TEST_F(LoginItemControllerTest, WithoutIdentifierNothingHappens) {
  LoginItemController controller(jobs());
  const auto announced = record(controller);
  writeFile(dir + "/.desktop", entryText(kHelper));  // a file id of nothing at all
  EXPECT_FALSE(controller.startAtLogin());
  controller.setStartAtLogin(true);
  controller.setEnabled(true);
  EXPECT_FALSE(controller.enabled());
  EXPECT_TRUE(announced->isEmpty());
  EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{".desktop"});

  controller.setIdentifier("");
  controller.setStartAtLogin(true);
  EXPECT_TRUE(announced->isEmpty());
  EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{".desktop"});
}

TEST_F(LoginItemControllerTest, QueryReadsTheFirstJobWithTheLabel) {
  const struct {
    const char* label;
    const char* fileName;
    QByteArray contents;
    bool want;
  } cases[] = {
      {"enabled entry", "VELDOR.Ostrelkick.desktop", entryText(kHelper), true},
      {"entry for another program still counts by label", "VELDOR.Ostrelkick.desktop", entryText("/bin/true"), true},
      {"relative Exec still counts by label", "VELDOR.Ostrelkick.desktop", entryText("ostrelkick"), true},
      {"hidden", "VELDOR.Ostrelkick.desktop", entryText(kHelper, "Hidden=true\n"), false},
      {"switched off", "VELDOR.Ostrelkick.desktop", entryText(kHelper, "X-GNOME-Autostart-enabled=false\n"), false},
      {"other label", "VELDOR.Ostrelkick2.desktop", entryText(kHelper), false},
      {"label differs in case", "veldor.ostrelkick.desktop", entryText(kHelper), false},
      {"no entry", nullptr, {}, false},
  };
  for (const auto& c : cases) {
    dir = freshAutostartDirectory();
    if (c.fileName) writeFile(dir + "/" + c.fileName, c.contents);
    const auto controller = LoginItemController::initWithIdentifier("VELDOR.Ostrelkick", jobs());
    EXPECT_EQ(controller->enabled(), c.want) << c.label << ": setIdentifier queries once";
    EXPECT_EQ(controller->startAtLogin(), c.want) << c.label;
  }
}

TEST_F(LoginItemControllerTest, QueryAnnouncesEnabledOnlyWhenItChanges) {
  const auto controller = LoginItemController::initWithIdentifier("VELDOR.Ostrelkick", jobs());
  const auto announced = record(*controller);
  EXPECT_FALSE(controller->startAtLogin());
  EXPECT_TRUE(announced->isEmpty());

  writeFile(dir + "/VELDOR.Ostrelkick.desktop", entryText(kHelper));
  EXPECT_TRUE(controller->startAtLogin());
  EXPECT_TRUE(controller->enabled());
  EXPECT_EQ(*announced, QStringList({"will:enabled", "did:enabled"}));

  announced->clear();
  EXPECT_TRUE(controller->startAtLogin());
  EXPECT_TRUE(announced->isEmpty());
}

TEST_F(LoginItemControllerTest, SwitchingAnnouncesAroundTheChangeAndStoresSuccess) {
  const struct {
    const char* label;
    QString helper;
    bool flag;
    bool wantEnabled;
    bool wantEntry;
  } cases[] = {
      {"switch on", kHelper, true, true, true},
      {"switch on without an installed helper fails", "", true, false, false},
      {"switch off succeeds, and enabled says so", kHelper, false, true, false},
  };
  for (const auto& c : cases) {
    dir = freshAutostartDirectory();
    const auto controller = LoginItemController::initWithIdentifier("VELDOR.Ostrelkick", jobs(c.helper));
    const auto announced = record(*controller);
    bool enabledSeenAtDid = !c.wantEnabled;
    controller->addObserver([&](const QString& key, Phase phase) {
      if (key == "enabled" && phase == Phase::Did) enabledSeenAtDid = controller->enabled();
    });
    controller->setStartAtLogin(c.flag);
    EXPECT_EQ(*announced, QStringList({"will:startAtLogin", "will:enabled", "did:enabled", "did:startAtLogin"}))
        << c.label;
    EXPECT_EQ(controller->enabled(), c.wantEnabled) << c.label;
    EXPECT_EQ(enabledSeenAtDid, c.wantEnabled) << c.label << ": the new value is in place when did is announced";
    EXPECT_EQ(QFileInfo::exists(dir + "/VELDOR.Ostrelkick.desktop"), c.wantEntry) << c.label;
  }
}

TEST_F(LoginItemControllerTest, SetEnabledSwitchesLikeSetStartAtLogin) {
  const auto controller = LoginItemController::initWithIdentifier("VELDOR.Ostrelkick", jobs());
  controller->setEnabled(true);
  EXPECT_TRUE(QFileInfo::exists(dir + "/VELDOR.Ostrelkick.desktop"));
  EXPECT_TRUE(controller->startAtLogin());
  controller->setEnabled(false);
  EXPECT_FALSE(QFileInfo::exists(dir + "/VELDOR.Ostrelkick.desktop"));
  EXPECT_FALSE(controller->startAtLogin());
}

TEST_F(LoginItemControllerTest, ObserverMayRemoveItselfWhileBeingCalled) {
  const auto controller = LoginItemController::initWithIdentifier("VELDOR.Ostrelkick", jobs());
  int selfRemovingCalls = 0;
  int otherCalls = 0;
  LoginItemController::ObserverToken token = 0;
  token = controller->addObserver([&](const QString&, Phase) {
    ++selfRemovingCalls;
    controller->removeObserver(token);
  });
  controller->addObserver([&](const QString&, Phase) { ++otherCalls; });
  controller->setStartAtLogin(true);
  EXPECT_EQ(selfRemovingCalls, 1);
  EXPECT_EQ(otherCalls, 4);
}

}  // namespace
