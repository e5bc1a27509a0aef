// A dialog as an automation object, for the outside components that are handed one (the language
// font loader): its name, and its font, which a put applies to the dialog and every control on it.
#pragma once

#include "automation/Dispatch.h"
#include "forms/Form.h"

namespace forms {

class FormObject final : public automation::Dispatch {
 public:
  explicit FormObject(Form& form) : form_(form) {}
  Form& form() const { return form_; }
  // Gives the form and all its controls this font.
  void applyFont(const Font& font);
  const automation::DispatchTable& dispatchTable() const override;

 private:
  Form& form_;
};

}  // namespace forms
