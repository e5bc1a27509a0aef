// A control array: element 0 exists from design time; further elements are loaded at run time,
// take element 0's design properties and start hidden.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "automation/Error.h"
#include "automation/Text.h"
#include "forms/Control.h"

namespace forms {

template <class T>
class ControlArray {
 public:
  ControlArray(Form& form, std::u16string name, Control* container = nullptr) {
    auto first = std::make_unique<T>(form, std::move(name), container);
    first->index_ = 0;
    elements_.emplace(0, std::move(first));
  }

  // Element `index`; error 340 when it is not loaded.
  T& operator()(std::int16_t index) const {
    const auto it = elements_.find(index);
    if (it == elements_.end()) {
      automation::raise(automation::errors::ControlArrayElementMissing,
                        u"Control array element '" + number(index) + u"' doesn't exist");
    }
    return *it->second;
  }
  bool exists(std::int16_t index) const { return elements_.contains(index); }

  // Loads element `index` as a copy of element 0's design; error 360 when it is loaded already.
  T& Load(std::int16_t index) {
    if (exists(index)) automation::raise(automation::errors::ObjectAlreadyLoaded);
    if (index < 0) automation::raise(automation::errors::InvalidProcedureCall);
    auto element = std::make_unique<T>(*elements_.at(0), index);
    T& loaded = *element;
    elements_.emplace(index, std::move(element));
    loaded.form().realise(loaded);
    for (const auto& wiring : wirings_) wiring(loaded, index);
    return loaded;
  }

  // Unloads a run-time element; element 0 stays (error 362), a missing one raises 340.
  void Unload(std::int16_t index) {
    (*this)(index);
    if (index == 0) automation::raise(362, u"Can't unload controls created at design time");
    elements_.erase(index);
  }

  std::int16_t LBound() const { return elements_.begin()->first; }
  std::int16_t UBound() const { return elements_.rbegin()->first; }
  std::int16_t Count() const { return static_cast<std::int16_t>(elements_.size()); }

  // Connects events of every element, now and as elements are loaded; the handler learns the
  // element's index. Each call adds to the wirings before it, so separate concerns (a row's clicks,
  // dragging by the same labels) can each wire their own events.
  void wire(std::function<void(T&, std::int16_t)> wiring) {
    for (auto& [index, element] : elements_) wiring(*element, index);
    wirings_.push_back(std::move(wiring));
  }

 private:
  static std::u16string number(std::int16_t n) { return automation::decimalText(n); }
  std::map<std::int16_t, std::unique_ptr<T>> elements_;
  std::vector<std::function<void(T&, std::int16_t)>> wirings_;
};

}  // namespace forms
