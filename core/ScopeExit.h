#pragma once
// A step run on every way out of a scope, an exception's included: what a scope takes (a device
// lock, a busy flag, a handle) it gives back there. The step must not throw.
#include <utility>

namespace core {

template <typename Step>
class ScopeExit {
 public:
  explicit ScopeExit(Step step) : step_(std::move(step)) {}
  ~ScopeExit() { step_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Step step_;
};

}  // namespace core
