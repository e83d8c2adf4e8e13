#include "mainwindow/MenuTexts.h"

namespace ostrel {

const MenuTexts& MenuTexts::forLanguage(std::int32_t language) {
  static const MenuTexts english{
      QStringLiteral("&Ostrel"),        QStringLiteral("&Settings…"),    QStringLiteral("Start at &Login"),
      QStringLiteral("&Quit"),          QStringLiteral("&Fast Refresh"), QStringLiteral("Contrast &Up"),
      QStringLiteral("Contrast &Down"), QStringLiteral("S&how Ostrel"),
  };
  static const MenuTexts chinese{
      QStringLiteral("&Ostrel"),        QStringLiteral("高级设置(&S)…"),   QStringLiteral("开机自启动(&L)"),
      QStringLiteral("退出(&Q)"),       QStringLiteral("快速刷新(&F)"),    QStringLiteral("提高对比度(&U)"),
      QStringLiteral("降低对比度(&D)"), QStringLiteral("显示 Ostrel(&H)"),
  };
  return language == 0 ? chinese : english;
}

}  // namespace ostrel
