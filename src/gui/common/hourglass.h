#pragma once
// The hourglass: the application's override cursor, held by one guard object so that it
// is put back on every way out of a handler (a result box, an early return, an error).

#include <functional>

namespace korv::gui {

class Hourglass {
 public:
  Hourglass() = default;
  ~Hourglass() { restore(); }
  Hourglass(const Hourglass&) = delete;
  Hourglass& operator=(const Hourglass&) = delete;

  void show();     // idempotent
  void restore();  // idempotent
  bool shown() const { return shown_; }

  // The core's BusyCursor callback (true: show, false: restore) bound to this guard.
  std::function<void(bool)> callback() {
    return [this](bool busy) { busy ? show() : restore(); };
  }

 private:
  bool shown_ = false;
};

}  // namespace korv::gui
