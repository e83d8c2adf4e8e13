#pragma once
// `ostrelctl pause-while-idle on|off` and `ostrelctl page-refresh N`: two of
// the settings window's choices from the command line. Through the running
// Ostrel (SetPauseWhileIdle, SetPageRefresh), which stores them and uses them
// at once; without Ostrel, straight into its settings file, for its next start.
// Needs no monitor.
//
// Outcomes: nothing printed (exit 0), or why the setting could not be stored
// (exit 1: the settings file is unusable, or could not be written).

#include "ostrelctl/CtlRequest.h"

#include <QDBusConnection>
#include <QVariantMap>
#include <optional>

namespace ostrel {
class PreferenceStore;
}

namespace ostrel::ctl {

bool isRefreshSettingsCommand(CtlCommand command);

// Nothing when no Ostrel owns the bus name (or there is no session bus).
std::optional<CtlOutcome> refreshSettingsThroughOstrel(QDBusConnection bus, const CtlRequest& request);

CtlOutcome refreshSettingsDirectly(PreferenceStore& store, const CtlRequest& request);

// What the settings file holds for Auto Clear, in the AutoClear property's
// form (Period, PauseWhileIdle, PageRefresh), for a status without Ostrel.
QVariantMap storedRefreshSettings(const PreferenceStore& store);

}  // namespace ostrel::ctl
