// A control that hosts an automation object of another component, created by its ProgID: the form
// calls it by member name or dispatch number, and the events it raises reach the form's handler.
// It draws nothing of its own; a hidden form that hosts one stays hidden on every backend.
#pragma once

#include <string>
#include <string_view>

#include "automation/Dispatch.h"
#include "automation/Events.h"
#include "forms/Control.h"

namespace forms {

class ObjectControl final : public Control {
 public:
  ObjectControl(Form& form, std::u16string name, std::u16string progId);
  ~ObjectControl() override;

  const std::u16string& progId() const { return progId_; }
  // The hosted object, created on first use (error 429 naming the ProgID when it cannot be).
  const automation::ObjectRef& object();
  bool created() const { return object_ != nullptr; }

  // Calls a member by dispatch number or by name.
  automation::Variant invoke(automation::DispId id, automation::InvokeKind kind,
                             std::span<automation::Variant> args);
  automation::Variant invoke(std::u16string_view name, automation::InvokeKind kind,
                             std::span<automation::Variant> args);

  // The hosted object's events: the event's name and its arguments (by-reference ones writable).
  automation::EventSink Event;

 private:
  std::u16string progId_;
  automation::ObjectRef object_;
};

}  // namespace forms
