#include "forms/headless/HeadlessBackend.h"

#include <cmath>
#include <stdexcept>

#include "automation/Error.h"
#include "automation/Text.h"
#include "forms/Controls.h"

namespace forms::headless {

void HeadlessBackend::runModal(Form& form) {
  while (form.isLoaded() && form.Visible()) {
    if (script_.empty()) {
      automation::raise(
          automation::errors::InvalidProcedureCall,
          u"The modal form '" + form.Name() + u"' is waiting for the user, and the test has no more actions");
    }
    Action action = std::move(script_.front());
    script_.pop_front();
    action(form);
  }
}

namespace {
Menu* findEntry(Menu& menu, const std::u16string& name) {
  for (Menu* entry : menu.entries()) {
    if (entry->Name() == name) return entry;
    if (Menu* inner = findEntry(*entry, name)) return inner;
  }
  return nullptr;
}
}  // namespace

void HeadlessBackend::popupMenu(Form&, Menu& menu, Twips, Twips) {
  shownMenus.push_back(&menu);
  if (menuChoices.empty()) return;
  const std::u16string choice = std::move(menuChoices.front());
  menuChoices.pop_front();
  if (Menu* entry = findEntry(menu, choice)) entry->choose();
}

void HeadlessBackend::messageBox(const std::u16string& text, const std::u16string& title, MessageIcon icon) {
  messageBoxes.push_back({text, title, icon});
}

double HeadlessBackend::textWidth(const Font& font, std::u16string_view text) const {
  const double em = font.size * 20.0;
  double width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xDC00 && c <= 0xDFFF) continue;  // second half of a pair: counted with the first
    width += (c >= 0x1100) ? em : em / 2;
  }
  return width;
}

double HeadlessBackend::lineHeight(const Font& font) const {
  return font.size * 20.0;
}

double HeadlessBackend::rowHeight(const Font& font) const {
  return std::ceil(font.size * 20.0 * 4.0 / 3.0 / 15.0) * 15.0;
}

HeadlessBackend& installed() {
  if (auto* h = dynamic_cast<HeadlessBackend*>(&backend())) return *h;
  setBackend(std::make_unique<HeadlessBackend>());
  return static_cast<HeadlessBackend&>(backend());
}

namespace {

// The key code of a typed character: letters and digits have their own keys; characters from
// other keys or an input method share one code.
int keyCodeOf(char16_t ch) {
  if (ch >= u'a' && ch <= u'z') return ch - u'a' + u'A';
  if ((ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') || ch == u' ') return ch;
  return 229;
}

void stroke(Form& form, int keyCode, int shiftState, char16_t ch) {
  const bool consumed = form.keyStroke(keyCode, shiftState, ch);
  if (consumed) return;
  Control* target = form.ActiveControl();
  if (target == nullptr || target->kind() != ControlKind::TextBox) return;
  auto* box = static_cast<TextBox*>(target);
  if (ch >= 32 || ch == 8) {
    box->applyTypedChar(ch);
  } else if (keyCode == keys::Delete) {
    box->applyEditKey(keys::Delete);
  } else if (keyCode == keys::Left) {
    box->userSelected(box->SelStart() - 1, 0);
  } else if (keyCode == keys::Right) {
    box->userSelected(box->SelStart() + 1, 0);
  } else if (keyCode == keys::Home) {
    box->userSelected(0, 0);
  } else if (keyCode == keys::End) {
    box->userSelected(static_cast<std::int32_t>(box->Text().size()), 0);
  }
}

}  // namespace

void type(Form& form, std::u16string_view text) {
  for (char16_t ch : text) {
    const int shiftState = (ch >= u'A' && ch <= u'Z') ? shift::Shift : 0;
    stroke(form, keyCodeOf(ch), shiftState, ch);
  }
}

void paste(Form& form, std::u16string_view text) {
  auto* box = dynamic_cast<TextBox*>(form.ActiveControl());
  if (box == nullptr) throw std::logic_error("paste: the focus is not in a text box");
  box->applyInserted(text);
}

void press(Form& form, int keyCode, int shiftState) {
  char16_t ch = 0;
  switch (keyCode) {
    case keys::Back:
      ch = 8;
      break;
    case keys::Tab:
      ch = 9;
      break;
    case keys::Return:
      ch = 13;
      break;
    case keys::Escape:
      ch = 27;
      break;
    case keys::Space:
      ch = 32;
      break;
    default:
      break;
  }
  if ((shiftState & (shift::Ctrl | shift::Alt)) != 0 && keyCode != keys::Tab) ch = 0;
  // The modifiers are held down while the key is pressed, as the keyboard state shows them.
  auto& ui = installed();
  const std::set<int> before = ui.keysDown;
  if ((shiftState & shift::Shift) != 0) ui.keysDown.insert(keys::Shift);
  if ((shiftState & shift::Ctrl) != 0) ui.keysDown.insert(keys::Control);
  if ((shiftState & shift::Alt) != 0) ui.keysDown.insert(keys::Menu);
  try {
    stroke(form, keyCode, shiftState, ch);
  } catch (...) {
    ui.keysDown = before;
    throw;
  }
  ui.keysDown = before;
}

void focus(Control& control) {
  if (control.focusable()) control.form().focusChangedByUser(&control);
}

void mouseDown(Control& control, int button, Twips x, Twips y, int shiftState) {
  if (control.MouseDown) control.MouseDown(button, shiftState, x, y);
}

void mouseUp(Control& control, int button, Twips x, Twips y, int shiftState) {
  if (control.MouseUp) control.MouseUp(button, shiftState, x, y);
}

void click(Control& control) {
  focus(control);
  mouseDown(control, mouse::Left);
  mouseUp(control, mouse::Left);
  if (control.kind() == ControlKind::CommandButton) {
    static_cast<CommandButton&>(control).press();
  } else if (control.Click) {
    control.Click();
  }
}

void dblClick(Control& control) {
  click(control);
  mouseDown(control, mouse::Left);
  if (control.DblClick) control.DblClick();
  mouseUp(control, mouse::Left);
}

void clickItem(ListBox& list, std::int32_t index) {
  focus(list);
  list.setListIndex(index);
}

void fireTimers(Form& form) {
  for (Control* c : form.controls()) {
    if (c->kind() == ControlKind::Timer) static_cast<Timer*>(c)->tick();
  }
}

}  // namespace forms::headless
