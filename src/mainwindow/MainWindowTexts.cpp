#include "mainwindow/MainWindowTexts.h"

namespace ostrel {

const MainWindowTexts& MainWindowTexts::forLanguage(std::int32_t language) {
  static const MainWindowTexts english{
      QStringLiteral("Monitor Connected"),
      QStringLiteral("Contrast"),
      QStringLiteral("Image Mode"),
      QStringLiteral("Refresh Speed"),
      QStringLiteral("Time Sync"),
      QStringLiteral("Get Parameters"),
      QStringLiteral("Fast Refresh"),
      QStringLiteral("Settings"),
      QStringLiteral("Front Light Mode"),
      QStringLiteral("Brightness"),
      QStringLiteral("Dark"),
      QStringLiteral("Bright"),
      QStringLiteral("Temperature"),
      QStringLiteral("Warm"),
      QStringLiteral("Cold"),
      {QStringLiteral("Text Mode"), QStringLiteral("Graphic Mode"), QStringLiteral("Video Mode")},
      {QStringLiteral("Off"), QStringLiteral("Cold"), QStringLiteral("Warm"), QStringLiteral("Mixed")},
      QStringLiteral("No Match"),
      QStringLiteral("Currently there is no starter, and the stability is poor. Press Enter to close the pop-up window."),
      QStringLiteral("Monitors found on the serial ports; commands go to the first"),
      QStringLiteral("Contrast threshold"),
      QStringLiteral("Image mode"),
      QStringLiteral("Refresh speed"),
      QStringLiteral("Front light mode"),
      QStringLiteral("Front light brightness"),
      QStringLiteral("Front light colour temperature"),
  };
  static const MainWindowTexts chinese{
      QStringLiteral("已连接显示器"),
      QStringLiteral("对比度"),
      QStringLiteral("画质模式"),
      QStringLiteral("刷新速度"),
      QStringLiteral("时间同步"),
      QStringLiteral("获取参数"),
      QStringLiteral("快速刷新"),
      QStringLiteral("高级设置"),
      QStringLiteral("前光模式"),
      QStringLiteral("亮度"),
      QStringLiteral("暗"),
      QStringLiteral("亮"),
      QStringLiteral("色温"),
      QStringLiteral("暖"),
      QStringLiteral("冷"),
      {QStringLiteral("文本模式"), QStringLiteral("图文模式"), QStringLiteral("视频模式")},
      {QStringLiteral("关闭"), QStringLiteral("冷光"), QStringLiteral("暖光"), QStringLiteral("混光")},
      QStringLiteral("无匹配"),
      QStringLiteral("当前没有设置启动台，稳定性较差，回车关闭弹窗。"),
      QStringLiteral("在串口上找到的显示器；命令发送到第一台"),
      QStringLiteral("对比度阈值"),
      QStringLiteral("画质模式"),
      QStringLiteral("刷新速度"),
      QStringLiteral("前光模式"),
      QStringLiteral("前光亮度"),
      QStringLiteral("前光色温"),
  };
  return language == 0 ? chinese : english;
}

QStringList contrastEntries() {
  QStringList out;
  for (int i = 1; i <= 9; ++i) out << QString::number(i);
  return out;
}

QStringList refreshSpeedEntries() {
  return {QStringLiteral("Fast"), QStringLiteral("Fast+"), QStringLiteral("Fast++"), QStringLiteral("Fast+++"),
          QStringLiteral("Fast++++")};
}

}  // namespace ostrel
