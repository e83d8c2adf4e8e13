#pragma once
// A menu held as plain data: what a menu bar looked like when it was copied, or
// a menu built in code.

#include "KivMenu.h"

namespace ostrel {

class KivMenuSnapshot : public KivMenu {
 public:
  explicit KivMenuSnapshot(std::vector<KivMenuItem> items) : items_(std::move(items)) {}
  std::vector<KivMenuItem> items() const override { return items_; }

 private:
  std::vector<KivMenuItem> items_;
};

}  // namespace ostrel
