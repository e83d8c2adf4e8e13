#include "ostrelctl/StatusReport.h"

#include "common/DesktopServices.h"
#include "control/ControlProtocol.h"
#include "keybindings/CompositorKeybindings.h"
#include "keybindings/UserSteps.h"

#include <QDBusArgument>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace ostrel::ctl {
namespace {

QJsonValue number(const std::optional<std::int32_t>& v) {
  return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QJsonValue text(const QString& s) {
  return s.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s);
}

std::optional<std::int32_t> intProperty(const QVariantMap& properties, const QString& name) {
  const QVariant v = properties.value(name);
  bool ok = false;
  const int i = v.toInt(&ok);
  return ok ? std::optional<std::int32_t>(i) : std::nullopt;
}

bool hasFrontLight(const StatusValues& v) {
  return v.mcuVersion == kFrontLightMCUVersion;
}

QVariantMap mapProperty(const QVariant& value) {
  if (value.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
  return value.toMap();
}

QList<ShortcutAssignment> assignments(const QVariantMap& d) {
  const QStringList ids = d.value(QStringLiteral("ShortcutIds")).toStringList();
  const QStringList preferred = d.value(QStringLiteral("ShortcutsPreferred")).toStringList();
  const QStringList assigned = d.value(QStringLiteral("ShortcutsAssigned")).toStringList();
  QList<ShortcutAssignment> out;
  for (qsizetype i = 0; i < ids.size(); ++i) out << ShortcutAssignment{ids[i], preferred.value(i), assigned.value(i)};
  return out;
}

QString serviceText(const QVariantMap& d, const QString& prefix) {
  const QString detail = d.value(prefix + QStringLiteral("Detail")).toString();
  if (d.value(prefix + QStringLiteral("Backend")).toString().isEmpty()) {
    return QStringLiteral("unavailable: %1").arg(detail);
  }
  return detail;
}

}  // namespace

QString shortcutsTodo(const QVariantMap& d) {
  const QString own = d.value(QStringLiteral("OwnKeybindings")).toString();
  switch (shortcutsStep(d)) {
    case ShortcutsStep::None:
      return QString();
    case ShortcutsStep::AnswerDesktop:
      return QStringLiteral("answer the desktop's question about Ostrel's shortcuts");
    case ShortcutsStep::AskAgain:
      return QStringLiteral("change a shortcut in Ostrel's settings window, or start Ostrel again, to be asked again");
    case ShortcutsStep::ChangeInDesktop:
      return QStringLiteral("change the keys in the desktop's keyboard settings, or accept the ones it assigned");
    case ShortcutsStep::RestoreGnomeKeys:
      return QStringLiteral(
          "run `ostrelctl gnome-shortcuts add` (or Add in Ostrel's settings window) to give GNOME "
          "the recorded keys again");
    case ShortcutsStep::AddToGnome:
      return QStringLiteral(
          "run `ostrelctl gnome-shortcuts add`, or press Add in Ostrel's settings window, to put "
          "them among GNOME's custom shortcuts");
    case ShortcutsStep::PasteKeybindings:
      if (const std::optional<Compositor> c = compositorNamed(own)) {
        return QStringLiteral("paste what `ostrelctl keybindings %1` prints into %2 and reload it")
            .arg(compositorName(*c), compositorConfigurationFile(*c));
      }
      return QString();
    case ShortcutsStep::BindOstrelctl:
      return QStringLiteral(
          "bind `ostrelctl refresh`, `ostrelctl contrast up` and `ostrelctl contrast down` in the "
          "desktop's own keyboard settings");
  }
  return QString();
}

QString inputTodo(const QVariantMap& d) {
  return inputStep(d) == InputStep::AllowWhenAsked
             ? QStringLiteral("allow it when the desktop asks, as a monitor connects")
             : QString();
}

namespace {

QString desktopText(const QVariantMap& d) {
  if (d.isEmpty()) return QString();
  QString out = QStringLiteral("Shortcuts:      %1\n").arg(serviceText(d, QStringLiteral("Shortcuts")));
  const bool bound = d.value(QStringLiteral("ShortcutsBinding")).toString() == QLatin1String("bound");
  for (const ShortcutAssignment& a : assignments(d)) {
    if (!bound) break;
    out += QStringLiteral("  %1").arg(a.id + QLatin1Char(':'), -16);
    if (a.assigned.isEmpty()) {
      out += QStringLiteral("no key (recorded %1: set one in the desktop's keyboard settings)\n").arg(a.preferred);
    } else if (!a.matchesPreferred()) {
      out += QStringLiteral("%1 (recorded %2: change it in the desktop's keyboard settings)\n")
                 .arg(a.assigned, a.preferred);
    } else {
      out += a.assigned + QLatin1Char('\n');
    }
  }
  const int changed = d.value(QStringLiteral("ShortcutsChangedByDesktop")).toInt();
  if (changed > 0) {
    out += QStringLiteral("  re-assigned in the desktop's keyboard settings: %1\n")
               .arg(changed == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(changed));
  }
  if (const QString todo = shortcutsTodo(d); !todo.isEmpty()) out += QStringLiteral("  to do:        %1\n").arg(todo);
  out += QStringLiteral("Monitor input:  %1\n").arg(serviceText(d, QStringLiteral("Input")));
  if (const QString todo = inputTodo(d); !todo.isEmpty()) out += QStringLiteral("  to do:        %1\n").arg(todo);
  return out;
}

QJsonValue desktopJson(const QVariantMap& d) {
  if (d.isEmpty()) return QJsonValue(QJsonValue::Null);
  QJsonArray keys;
  for (const ShortcutAssignment& a : assignments(d)) {
    keys.append(QJsonObject{{QStringLiteral("id"), a.id},
                            {QStringLiteral("preferred"), a.preferred},
                            {QStringLiteral("assigned"), text(a.assigned)},
                            {QStringLiteral("asRecorded"), a.matchesPreferred()}});
  }
  const QJsonObject shortcuts{
      {QStringLiteral("backend"), text(d.value(QStringLiteral("ShortcutsBackend")).toString())},
      {QStringLiteral("detail"), d.value(QStringLiteral("ShortcutsDetail")).toString()},
      {QStringLiteral("binding"), text(d.value(QStringLiteral("ShortcutsBinding")).toString())},
      {QStringLiteral("changedByDesktop"), d.value(QStringLiteral("ShortcutsChangedByDesktop")).toInt()},
      {QStringLiteral("awaitingConfirmation"), d.value(QStringLiteral("ShortcutsAwaitingConfirmation")).toBool()},
      {QStringLiteral("keys"), keys},
      {QStringLiteral("todo"), text(shortcutsTodo(d))}};
  const QJsonObject input{
      {QStringLiteral("backend"), text(d.value(QStringLiteral("InputBackend")).toString())},
      {QStringLiteral("detail"), d.value(QStringLiteral("InputDetail")).toString()},
      {QStringLiteral("awaitingConfirmation"), d.value(QStringLiteral("InputAwaitingConfirmation")).toBool()},
      {QStringLiteral("todo"), text(inputTodo(d))}};
  return QJsonObject{{QStringLiteral("shortcuts"), shortcuts},
                     {QStringLiteral("input"), input},
                     {QStringLiteral("ownKeybindings"), text(d.value(QStringLiteral("OwnKeybindings")).toString())}};
}

QString autoClearSourceText(const QVariantMap& a, const QString& prefix) {
  const QString detail = a.value(prefix + QStringLiteral("Detail")).toString();
  if (a.value(prefix + QStringLiteral("Backend")).toString().isEmpty()) {
    return QStringLiteral("unavailable: %1").arg(detail);
  }
  return detail;
}

QString autoClearText(const QVariantMap& a) {
  if (a.isEmpty()) return QString();
  const int period = a.value(QStringLiteral("Period")).toInt();
  const QString reason = a.value(QStringLiteral("Reason")).toString();
  QString out = QStringLiteral("Auto Clear:     ");
  if (period <= 0) {
    out += QStringLiteral("off");
  } else {
    out += QStringLiteral("every %1 s").arg(period);
    if (a.contains(QStringLiteral("Resting"))) {
      if (a.value(QStringLiteral("Resting")).toBool()) {
        out += QStringLiteral(", resting: %1").arg(reason);
      } else {
        out += QStringLiteral(", refreshing");
        if (!reason.isEmpty()) out += QStringLiteral(" (%1)").arg(reason);
      }
    }
  }
  out += QLatin1Char('\n');
  out += QStringLiteral("  Pause while idle: %1\n")
             .arg(a.value(QStringLiteral("PauseWhileIdle")).toBool() ? QStringLiteral("on") : QStringLiteral("off"));
  if (a.contains(QStringLiteral("IdleDetail"))) {
    out += QStringLiteral("  idle time:    %1\n").arg(autoClearSourceText(a, QStringLiteral("Idle")));
    out += QStringLiteral("  lock:         %1\n").arg(autoClearSourceText(a, QStringLiteral("Lock")));
  }
  const int pages = a.value(QStringLiteral("PageRefresh")).toInt();
  out += QStringLiteral("Page refresh:   %1\n")
             .arg(pages > 0 ? QStringLiteral("after every %1 page turns").arg(pages) : QStringLiteral("off"));
  return out;
}

QJsonValue autoClearSourceJson(const QVariantMap& a, const QString& prefix) {
  if (!a.contains(prefix + QStringLiteral("Detail"))) return QJsonValue(QJsonValue::Null);
  return QJsonObject{{QStringLiteral("backend"), text(a.value(prefix + QStringLiteral("Backend")).toString())},
                     {QStringLiteral("detail"), a.value(prefix + QStringLiteral("Detail")).toString()}};
}

QJsonValue autoClearJson(const QVariantMap& a) {
  if (a.isEmpty()) return QJsonValue(QJsonValue::Null);
  const int period = a.value(QStringLiteral("Period")).toInt();
  const bool known = a.contains(QStringLiteral("Resting"));
  return QJsonObject{
      {QStringLiteral("period"), period > 0 ? QJsonValue(period) : QJsonValue(QJsonValue::Null)},
      {QStringLiteral("pauseWhileIdle"), a.value(QStringLiteral("PauseWhileIdle")).toBool()},
      {QStringLiteral("pageRefresh"), a.value(QStringLiteral("PageRefresh")).toInt()},
      {QStringLiteral("resting"),
       known ? QJsonValue(a.value(QStringLiteral("Resting")).toBool()) : QJsonValue(QJsonValue::Null)},
      {QStringLiteral("reason"), text(a.value(QStringLiteral("Reason")).toString())},
      {QStringLiteral("idle"), autoClearSourceJson(a, QStringLiteral("Idle"))},
      {QStringLiteral("lock"), autoClearSourceJson(a, QStringLiteral("Lock"))},
  };
}

}  // namespace

StatusValues StatusValues::fromBusProperties(const QVariantMap& properties) {
  StatusValues v;
  v.source = QStringLiteral("ostrel");
  v.monitors = properties.value(ControlPropertyMonitors).toStringList();
  v.current = properties.value(ControlPropertyCurrentMonitor).toString();
  v.desktop = mapProperty(properties.value(ControlPropertyDesktopServices));
  v.autoClear = mapProperty(properties.value(ControlPropertyAutoClear));
  if (const QVariant ports = properties.value(ControlPropertyPortReasons); ports.canConvert<QDBusArgument>()) {
    v.ports = qdbus_cast<QList<PortProbeReport>>(ports.value<QDBusArgument>());
  }
  if (!v.hasMonitor()) return v;  // what Ostrel remembers of a monitor that left is not a status
  const std::optional<std::int32_t> mcu = intProperty(properties, ControlPropertyMCUVersion);
  if (mcu && *mcu != 0) v.mcuVersion = mcu;
  v.contrast = intProperty(properties, ControlPropertyContrast);
  v.imageMode = intProperty(properties, ControlPropertyImageMode);
  v.refreshSpeed = intProperty(properties, ControlPropertyRefreshSpeed);
  if (hasFrontLight(v)) {
    v.frontLightMode = intProperty(properties, ControlPropertyFrontLightMode);
    v.brightness = intProperty(properties, ControlPropertyBrightness);
    v.temperature = intProperty(properties, ControlPropertyTemperature);
  }
  return v;
}

QString statusText(const StatusValues& v) {
  if (!v.hasMonitor())
    return QStringLiteral("No monitor connected.\n") + desktopText(v.desktop) + autoClearText(v.autoClear);
  QString out;
  out += QStringLiteral("Monitor:        %1").arg(v.current);
  if (v.mcuVersion) out += QStringLiteral(" (MCU version %1)").arg(*v.mcuVersion);
  out += QLatin1Char('\n');
  if (v.monitors.size() > 1) out += QStringLiteral("All monitors:   %1\n").arg(v.monitors.join(QStringLiteral(", ")));
  auto line = [&out](const char* label, const std::optional<std::int32_t>& value, const QString& name = {}) {
    if (!value) return;
    out += QString::fromLatin1(label) + QString::number(*value);
    if (!name.isEmpty()) out += QStringLiteral(" (%1)").arg(name);
    out += QLatin1Char('\n');
  };
  line("Contrast:       ", v.contrast);
  line("Image mode:     ", v.imageMode, v.imageMode ? imageModeName(*v.imageMode) : QString());
  line("Refresh speed:  ", v.refreshSpeed, v.refreshSpeed ? refreshSpeedName(*v.refreshSpeed) : QString());
  line("Front light:    ", v.frontLightMode, v.frontLightMode ? frontLightModeName(*v.frontLightMode) : QString());
  line("Brightness:     ", v.brightness);
  line("Temperature:    ", v.temperature);
  return out + desktopText(v.desktop) + autoClearText(v.autoClear);
}

QByteArray statusJson(const StatusValues& v) {
  QJsonObject o;
  o.insert(QStringLiteral("source"), v.source);
  o.insert(QStringLiteral("monitors"), QJsonArray::fromStringList(v.monitors));
  o.insert(QStringLiteral("current"), text(v.current));
  o.insert(QStringLiteral("mcuVersion"), number(v.mcuVersion));
  o.insert(QStringLiteral("contrast"), number(v.contrast));
  o.insert(QStringLiteral("imageMode"), number(v.imageMode));
  o.insert(QStringLiteral("imageModeName"), text(v.imageMode ? imageModeName(*v.imageMode) : QString()));
  o.insert(QStringLiteral("refreshSpeed"), number(v.refreshSpeed));
  o.insert(QStringLiteral("refreshSpeedName"), text(v.refreshSpeed ? refreshSpeedName(*v.refreshSpeed) : QString()));
  o.insert(QStringLiteral("frontLightMode"), number(v.frontLightMode));
  o.insert(QStringLiteral("frontLightModeName"),
           text(v.frontLightMode ? frontLightModeName(*v.frontLightMode) : QString()));
  o.insert(QStringLiteral("brightness"), number(v.brightness));
  o.insert(QStringLiteral("temperature"), number(v.temperature));
  o.insert(QStringLiteral("desktop"), desktopJson(v.desktop));
  o.insert(QStringLiteral("autoClear"), autoClearJson(v.autoClear));
  return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QString monitorsText(const StatusValues& v) {
  QString out;
  for (const QString& name : v.monitors) out += name + QLatin1Char('\n');
  return out;
}

QByteArray monitorsJson(const StatusValues& v) {
  QJsonObject o;
  o.insert(QStringLiteral("source"), v.source);
  o.insert(QStringLiteral("monitors"), QJsonArray::fromStringList(v.monitors));
  o.insert(QStringLiteral("current"), text(v.current));
  o.insert(QStringLiteral("adapter"), text(v.adapter));
  QJsonArray ports;
  for (const PortProbeReport& port : v.ports) {
    ports.append(QJsonObject{{QStringLiteral("name"), port.name},
                             {QStringLiteral("path"), port.path},
                             {QStringLiteral("discovery"), port.reason}});
  }
  o.insert(QStringLiteral("ports"), ports);
  return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

}  // namespace ostrel::ctl
