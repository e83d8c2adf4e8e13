#pragma once
// What the simulated monitor's microcontroller does with one command frame:
// the settings it keeps, the parameter reports it answers read commands with,
// and the notices it may volunteer after a change.
//
// Messages it produces:
//   report  5FF5 PP 0A II VV 00000000 A0FA   (PP = F0, or 00 on some firmware)
//   notice  5FF5 CC VV 000000000000 A0FA     (CC = the setting's command code)
//   input   5FF5 06 EE 000000000000 A0FA     (EE = input event number)

#include "ostrel-sim/MonitorSetting.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace ostrel::sim {

enum class ReportPrefix { F0, Zero };

class MonitorModel {
 public:
  struct Config {
    int mcuVersion = 48;  // 16, 32 or 48; only 48 has a front light
    ReportPrefix reportPrefix = ReportPrefix::F0;
    bool notifyAfterSet = false;
  };

  struct Reaction {
    std::vector<QByteArray> messages;  // to send back, in order
    QString note;                      // one line for the simulator's log
  };

  explicit MonitorModel(Config config);

  // `frame` is one complete frame (FrameAssembler::isFrame).
  Reaction receive(const QByteArray& frame);

  // A change made on the monitor itself (its own menu). Out-of-range values and
  // front-light settings on a monitor without a front light are refused with
  // the reason; nothing changes then.
  std::optional<QString> set(Setting setting, int value);

  int value(Setting setting) const;
  bool hasFrontLight() const { return config_.mcuVersion == 48; }
  const Config& config() const { return config_; }
  QString describeState() const;

  QByteArray reportFrame(int identifier, int value) const;
  static QByteArray noticeFrame(Setting setting, int value);
  static QByteArray inputEventFrame(int event);

  static constexpr int kReadParameter = 10;
  static constexpr int kRefresh = 3;
  static constexpr int kClockSync = 5;
  static constexpr int kInputEvent = 6;
  static constexpr int kMcuVersionIdentifier = 16;

 private:
  Reaction read(int identifier) const;
  Reaction applySet(Setting setting, int parameter);

  Config config_;
  std::map<Setting, int> values_;
};

}  // namespace ostrel::sim
