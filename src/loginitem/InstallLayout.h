#pragma once
// Where Ostrel and its login helper sit relative to each other, and the names
// they go by. Installed: PREFIX/bin/ostrel and PREFIX/libexec/ostrel/ostrelkick
// (the directories follow the install rules); in a build tree both sit in bin/.
//
// Contract:
//  - helperExecutableFor(): the helper beside a given ostrel executable, tried
//    in the installed place first and as a sibling second; empty when neither is
//    an executable file (the helper is then not part of this installation).
//  - mainExecutableFor(): the path of Ostrel's executable `appName` seen from the
//    helper's own path, by the fixed rule alone (no file is looked at): from a
//    directory named like the helper directory, the installed bin directory;
//    from anywhere else, the sibling.
//  - programForIdentifier(): the executable a reverse-DNS identifier stands
//    for, its last component in lower case ("VELDOR.Ostrel" -> "ostrel").

#include <QString>

namespace ostrel {

class InstallLayout {
 public:
  static QString mainIdentifier();        // "VELDOR.Ostrel"
  static QString helperIdentifier();      // "VELDOR.Ostrelkick"
  static QString testHelperIdentifier();  // "VELDOR.testHelper"
  static QString mainExecutableName();    // "ostrel"
  static QString helperExecutableName();  // "ostrelkick"

  static QString helperExecutableFor(const QString& mainExecutable);
  static QString mainExecutableFor(const QString& helperExecutable, const QString& appName);
  static QString programForIdentifier(const QString& bundleIdentifier);

  // Relative paths between the installed bin directory and the helper's.
  static QString helperDirFromBin();
  static QString binFromHelperDir();
};

}  // namespace ostrel
