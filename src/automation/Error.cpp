#include "automation/Error.h"

#include "automation/Text.h"

namespace automation {

std::u16string standardDescription(std::int32_t number) {
  switch (number) {
    case 3:
      return u"Return without GoSub";
    case 5:
      return u"Invalid procedure call or argument";
    case 6:
      return u"Overflow";
    case 7:
      return u"Out of memory";
    case 9:
      return u"Subscript out of range";
    case 11:
      return u"Division by zero";
    case 13:
      return u"Type mismatch";
    case 51:
      return u"Internal error";
    case 91:
      return u"Object variable or With block variable not set";
    case 94:
      return u"Invalid use of Null";
    case 340:
      return u"Control array element doesn't exist";
    case 360:
      return u"Object already loaded";
    case 424:
      return u"Object required";
    case 429:
      return u"ActiveX component can't create object";
    case 438:
      return u"Object doesn't support this property or method";
    case 445:
      return u"Object doesn't support this action";
    case 448:
      return u"Named argument not found";
    case 449:
      return u"Argument not optional";
    case 450:
      return u"Wrong number of arguments or invalid property assignment";
    default:
      return {};
  }
}

AutomationError::AutomationError(std::int32_t number, std::u16string description, std::u16string source,
                                 std::u16string helpFile, std::int32_t helpContext)
    : number_(number),
      description_(description.empty() ? standardDescription(number) : std::move(description)),
      source_(std::move(source)),
      helpFile_(std::move(helpFile)),
      helpContext_(helpContext),
      what_("Error " + std::to_string(number) + ": " + toUtf8(description_)) {}

void raise(std::int32_t number, std::u16string description) {
  throw AutomationError(number, std::move(description));
}

void ErrObject::set(const AutomationError& error) {
  Number = error.number();
  Description = error.description();
  Source = error.source();
  HelpFile = error.helpFile();
  HelpContext = error.helpContext();
}

void ErrObject::Raise(std::int32_t number, std::u16string source, std::u16string description,
                      std::u16string helpFile, std::int32_t helpContext) {
  AutomationError error(number, std::move(description), std::move(source), std::move(helpFile), helpContext);
  set(error);
  throw error;
}

AutomationError ErrObject::toError() const {
  return AutomationError(Number, Description, Source, HelpFile, HelpContext);
}

ErrObject& Err() {
  thread_local ErrObject pending;
  return pending;
}

}  // namespace automation
