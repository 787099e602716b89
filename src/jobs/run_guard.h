#pragma once
// A run cannot start while another run works on the same tape component: the runs give
// control to the face's event loop while the drive works, and a second start from there
// would interleave two streams on one tape.

namespace korv {
class TScsifile;
}

namespace korv::jobs {

class RunGuard {
 public:
  explicit RunGuard(const TScsifile& sf);
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;
  bool acquired() const { return acquired_; }

  // True while some run holds `sf` (the faces disable their start controls).
  static bool running(const TScsifile& sf);

 private:
  const TScsifile* sf_;
  bool acquired_ = false;
};

}  // namespace korv::jobs
