#include "runtime/Units.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace rtl {

namespace {
std::mutex& Lock() {
  static std::mutex m;
  return m;
}
std::vector<std::function<void()>>& Finalizers() {
  static std::vector<std::function<void()>> list;
  return list;
}
}  // namespace

void AddFinalizer(std::function<void()> finalizer) {
  std::lock_guard<std::mutex> guard(Lock());
  Finalizers().push_back(std::move(finalizer));
}

void RunFinalizers() {
  std::vector<std::function<void()>> list;
  {
    std::lock_guard<std::mutex> guard(Lock());
    list.swap(Finalizers());
  }
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    try {
      (*it)();
    } catch (...) {
      // A failing finaliser must not keep the later ones (the log footers) from running.
    }
  }
}

void Halt(int exitCode) {
  RunFinalizers();
  std::fflush(nullptr);
  // Worker threads may still run: skip static destructors they could be using.
  std::_Exit(exitCode);
}

}  // namespace rtl
