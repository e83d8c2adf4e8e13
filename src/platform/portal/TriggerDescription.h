#pragma once
// The key a desktop reports for a shortcut ("trigger_description"), in the
// form Ostrel shows everywhere else ("Ctrl+Alt+R").
//
// KDE already reports "Ctrl+Alt+R". GNOME (48) reports a sentence around GTK
// accelerators: "Press <Control><Alt>r", or "Press <Control>r or <Super>F5"
// for two keys, in the user's language. One accelerator becomes the key alone;
// with more, each is rewritten in place and the sentence kept. A text without
// accelerators is returned as it is.

#include <QString>

namespace ostrel::platform::portal {

QString readableTrigger(const QString& description);

}  // namespace ostrel::platform::portal
