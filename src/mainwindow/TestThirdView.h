#pragma once
// A second view controller that the main window's interface definition keeps
// beside the main one. It has no behaviour of its own; it exists so that the
// interface definition and the code agree on what is there.

#include <QObject>

namespace ostrel {

class TestThirdView : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
};

}  // namespace ostrel
