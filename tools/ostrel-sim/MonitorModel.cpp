#include "ostrel-sim/MonitorModel.h"

#include "serial/PelSerialFrame.h"

#include <QStringList>
#include <cstdio>

namespace ostrel::sim {
namespace {

int hexByte(const QByteArray& frame, qsizetype position) {
  bool ok = false;
  const int v = frame.mid(position, 2).toInt(&ok, 16);
  return ok ? v : -1;
}

}  // namespace

MonitorModel::MonitorModel(Config config) : config_(config) {
  for (const SettingInfo& info : allSettings()) values_[info.setting] = info.initial;
}

int MonitorModel::value(Setting setting) const {
  return values_.at(setting);
}

QByteArray MonitorModel::reportFrame(int identifier, int value) const {
  char buf[32];
  const unsigned prefix = config_.reportPrefix == ReportPrefix::F0 ? 0xF0u : 0x00u;
  const int n = std::snprintf(buf, sizeof buf, "5FF5%02X0A%02X%02X00000000A0FA", prefix,
                              static_cast<unsigned>(identifier & 0xFF), static_cast<unsigned>(value & 0xFF));
  return QByteArray(buf, n);
}

QByteArray MonitorModel::noticeFrame(Setting setting, int value) {
  return pelCommandFrameText(settingInfo(setting).commandCode, value);
}

QByteArray MonitorModel::inputEventFrame(int event) {
  return pelCommandFrameText(kInputEvent, event);
}

MonitorModel::Reaction MonitorModel::receive(const QByteArray& frame) {
  const int code = hexByte(frame, 4);
  const int parameter = hexByte(frame, 6);
  if (code < 0 || parameter < 0)
    return {{}, QStringLiteral("unreadable frame %1: ignored").arg(QString::fromLatin1(frame))};

  if (code == kReadParameter) return read(parameter);
  if (const std::optional<Setting> setting = settingBySetCode(code)) return applySet(*setting, parameter);
  if (code == kRefresh) return {{}, QStringLiteral("refresh the panel (parameter %1)").arg(parameter)};
  if (code == kClockSync) return {{}, QStringLiteral("synchronise the clock (parameter %1)").arg(parameter)};
  return {{}, QStringLiteral("command code %1 means nothing to this monitor: no answer").arg(code)};
}

MonitorModel::Reaction MonitorModel::read(int identifier) const {
  if (identifier == kMcuVersionIdentifier) {
    return {{reportFrame(identifier, config_.mcuVersion)},
            QStringLiteral("read MCU version: reporting %1").arg(config_.mcuVersion)};
  }
  // The second image-mode identifier reads the same setting as the first.
  const int settingIdentifier = identifier == 3 ? 2 : identifier;
  for (const SettingInfo& info : allSettings()) {
    if (info.readIdentifier != settingIdentifier) continue;
    if (info.needsFrontLight && !hasFrontLight()) {
      return {{},
              QStringLiteral("read %1: no front light on MCU version %2, no answer")
                  .arg(QString::fromUtf8(info.label))
                  .arg(config_.mcuVersion)};
    }
    const int v = value(info.setting);
    return {{reportFrame(identifier, v)},
            QStringLiteral("read %1: reporting %2").arg(QString::fromUtf8(info.label)).arg(v)};
  }
  return {{}, QStringLiteral("read of unknown parameter %1: no answer").arg(identifier)};
}

MonitorModel::Reaction MonitorModel::applySet(Setting setting, int parameter) {
  const SettingInfo& info = settingInfo(setting);
  Reaction reaction;
  if (info.needsFrontLight && !hasFrontLight()) {
    reaction.note = QStringLiteral("set %1 to %2: no front light on MCU version %3, ignored")
                        .arg(QString::fromUtf8(info.label))
                        .arg(parameter)
                        .arg(config_.mcuVersion);
    return reaction;
  }
  if (const std::optional<QString> refused = set(setting, parameter)) {
    reaction.note = *refused;
  } else {
    reaction.note = QStringLiteral("%1 is now %2").arg(QString::fromUtf8(info.label)).arg(parameter);
  }
  // The notice carries the value in effect, so a refused change tells the
  // computer what the panel really uses.
  if (config_.notifyAfterSet) reaction.messages.push_back(noticeFrame(setting, value(setting)));
  return reaction;
}

std::optional<QString> MonitorModel::set(Setting setting, int value) {
  const SettingInfo& info = settingInfo(setting);
  if (info.needsFrontLight && !hasFrontLight()) {
    return QStringLiteral("this monitor (MCU version %1) has no front light; %2 cannot be set")
        .arg(config_.mcuVersion)
        .arg(QString::fromUtf8(info.name));
  }
  if (value < info.minimum || value > info.maximum) {
    return QStringLiteral("%1 %2 is out of range %3-%4; kept %5")
        .arg(QString::fromUtf8(info.label))
        .arg(value)
        .arg(info.minimum)
        .arg(info.maximum)
        .arg(this->value(setting));
  }
  values_[setting] = value;
  return std::nullopt;
}

QString MonitorModel::describeState() const {
  QStringList parts;
  parts << QStringLiteral("MCU version %1").arg(config_.mcuVersion);
  for (const SettingInfo& info : allSettings()) {
    if (info.needsFrontLight && !hasFrontLight()) continue;
    parts << QStringLiteral("%1 %2").arg(QString::fromUtf8(info.name)).arg(value(info.setting));
  }
  return parts.join(QStringLiteral(", "));
}

}  // namespace ostrel::sim
