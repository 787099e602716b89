#include "jobs/run_guard.h"

#include <mutex>
#include <set>

namespace korv::jobs {
namespace {

std::mutex& guardMutex() {
  static std::mutex m;
  return m;
}

std::set<const TScsifile*>& runningComponents() {
  static std::set<const TScsifile*> s;
  return s;
}

}  // namespace

RunGuard::RunGuard(const TScsifile& sf) : sf_(&sf) {
  std::lock_guard lock(guardMutex());
  acquired_ = runningComponents().insert(sf_).second;
}

RunGuard::~RunGuard() {
  if (!acquired_) return;
  std::lock_guard lock(guardMutex());
  runningComponents().erase(sf_);
}

bool RunGuard::running(const TScsifile& sf) {
  std::lock_guard lock(guardMutex());
  return runningComponents().count(&sf) != 0;
}

}  // namespace korv::jobs
