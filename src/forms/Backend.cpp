#include "forms/Backend.h"

#include "forms/headless/HeadlessBackend.h"

namespace forms {
namespace {
std::unique_ptr<Backend>& current() {
  static std::unique_ptr<Backend> backend = std::make_unique<headless::HeadlessBackend>();
  return backend;
}
}  // namespace

Backend& backend() {
  return *current();
}

std::unique_ptr<Backend> setBackend(std::unique_ptr<Backend> next) {
  std::swap(current(), next);
  return next;
}

}  // namespace forms
