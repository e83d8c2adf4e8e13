#include "common/Log.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

struct Named {
  QString n;
  QString description() const { return n; }
};

struct FormatCase {
  const char* label;
  QString got;
  QString want;
};

TEST(LogFormat, PrintfConversionsAndObjectDescriptions) {
  std::shared_ptr<Named> none;
  auto port = std::make_shared<Named>(Named{QStringLiteral("ttyUSB0")});
  QList<std::shared_ptr<Named>> list{port, port};
  const FormatCase cases[] = {
      {"signed", ostrel::formatLog("v = %d", {ostrel::toLogArg(-5)}), "v = -5"},
      {"unsigned long", ostrel::formatLog("n = %lu", {ostrel::toLogArg(size_t{3})}), "n = 3"},
      {"%0X of int -1 is 32 bits", ostrel::formatLog("%0X", {ostrel::toLogArg(-1)}), "FFFFFFFF"},
      {"hex field", ostrel::formatLog("command = %0X,CommandRe = %0X", {ostrel::toLogArg(240), ostrel::toLogArg(10)}),
       "command = F0,CommandRe = A"},
      {"%ul keeps the literal l", ostrel::formatLog("len %ul", {ostrel::toLogArg(24)}), "len 24l"},
      {"%lul", ostrel::formatLog("len %lul", {ostrel::toLogArg(24UL)}), "len 24l"},
      {"float", ostrel::formatLog("x= %f", {ostrel::toLogArg(1.5)}), "x= 1.500000"},
      {"C string", ostrel::formatLog("%s %@", {ostrel::toLogArg("a"), ostrel::toLogArg("b")}), "a b"},
      {"object", ostrel::formatLog("port %@", {ostrel::toLogArg(port)}), "port ttyUSB0"},
      {"empty reference", ostrel::formatLog("port = %@", {ostrel::toLogArg(none)}), "port = (null)"},
      {"list", ostrel::formatLog("%@", {ostrel::toLogArg(list)}), "(\n    ttyUSB0,\n    ttyUSB0\n)"},
      {"empty list", ostrel::formatLog("%@", {ostrel::toLogArg(QList<std::shared_ptr<Named>>{})}), "(\n)"},
      {"percent", ostrel::formatLog("100%% %d", {ostrel::toLogArg(1)}), "100% 1"},
      {"missing argument", ostrel::formatLog("%d %@", {}), "0 (null)"},
      {"chinese text kept", ostrel::formatLog("需要弹窗显示异常 currentPort = %@", {ostrel::toLogArg(none)}),
       QStringLiteral("需要弹窗显示异常 currentPort = (null)")},
      {"zero padding", ostrel::formatLog("%.04X%.2X", {ostrel::toLogArg(0x5FF5), ostrel::toLogArg(1)}), "5FF501"},
      {"unknown conversion kept", ostrel::formatLog("%k", {}), "%k"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.label;
}

TEST(LogCapture, RecordsDiagnosticsAndNoticesSeparatelyAcrossThreads) {
  ostrel::LogCapture capture;
  ostrel::log("one %d", 1);
  ostrel::notice("Serial port %s was opened\n", "ttyS0");
  std::thread t([] {
    for (int i = 0; i < 100; ++i) ostrel::log("thread %d", i);
  });
  t.join();
  EXPECT_EQ(capture.lines().size(), 101);
  EXPECT_TRUE(capture.contains("one 1"));
  EXPECT_EQ(capture.noticeLines(), QStringList{"Serial port ttyS0 was opened\n"});
  EXPECT_EQ(capture.count("thread 99"), 1);
  capture.clear();
  EXPECT_TRUE(capture.lines().isEmpty());
}

}  // namespace
