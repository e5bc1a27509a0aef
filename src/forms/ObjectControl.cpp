#include "forms/ObjectControl.h"

#include "automation/ClassRegistry.h"

namespace forms {

ObjectControl::ObjectControl(Form& form, std::u16string name, std::u16string progId)
    : Control(form, ControlKind::Object, std::move(name), nullptr), progId_(std::move(progId)) {}

ObjectControl::~ObjectControl() {
  // The object may outlive the control (a caller kept a reference): it must not call back into a
  // form that is gone.
  if (automation::EventSource* source = automation::eventSourceOf(object_)) source->advise(nullptr);
}

const automation::ObjectRef& ObjectControl::object() {
  if (!object_) {
    object_ = automation::CreateObject(progId_);
    if (automation::EventSource* source = automation::eventSourceOf(object_)) {
      source->advise([this](std::u16string_view event, automation::Args& args) {
        if (Event) Event(event, args);
      });
    }
  }
  return object_;
}

automation::Variant ObjectControl::invoke(automation::DispId id, automation::InvokeKind kind,
                                          std::span<automation::Variant> args) {
  return object()->invoke(id, kind, args);
}

automation::Variant ObjectControl::invoke(std::u16string_view name, automation::InvokeKind kind,
                                          std::span<automation::Variant> args) {
  return object()->invoke(name, kind, args);
}

}  // namespace forms
