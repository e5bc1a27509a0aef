#include "forms/Form.h"

#include <algorithm>
#include <cmath>

#include "automation/Error.h"
#include "forms/Controls.h"

namespace forms {
namespace {

constexpr Twips kBorder = 60;     // the frame around the client area
constexpr Twips kTitleBar = 330;  // a caption bar

std::vector<Form*>& loadedList() {
  static std::vector<Form*> forms;
  return forms;
}

// Forms that became active, most recent last; the one under a closing form becomes active again.
std::vector<Form*>& activationStack() {
  static std::vector<Form*> stack;
  return stack;
}

}  // namespace

const std::vector<Form*>& loadedForms() {
  return loadedList();
}

Form* activeForm() {
  return activationStack().empty() ? nullptr : activationStack().back();
}

Form::Form(std::u16string name) : name_(std::move(name)) {}

Form::~Form() {
  // The dialog's own handlers cannot run any more: drop the window without events.
  auto& list = loadedList();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  auto& stack = activationStack();
  stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
  if (peer_) peer_->unloading();
  for (Control* c : controls_) c->detachPeer();
  peer_.reset();
}

void Form::setCaption(std::u16string caption) {
  caption_ = std::move(caption);
  changed(Property::Caption);
}

void Form::setFrame(BorderStyle style, bool titleBar) {
  borderStyle_ = style;
  titleBar_ = titleBar;
  changed(Property::Style);
  layoutDocked();
}

void Form::Move(Twips left, Twips top, Twips width, Twips height) {
  if (width < 0 || height < 0) automation::raise(380, u"Invalid property value");
  const bool resized = width != width_ || height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  changed(Property::Geometry);
  if (resized) layoutDocked();
}

void Form::movedByUser(Twips left, Twips top) {
  left_ = left;
  top_ = top;
}

void Form::setClientSize(Twips width, Twips height) {
  Move(left_, top_, width + 2 * frameLeft(), height + frameTop() + frameLeft());
}

Twips Form::frameLeft() const {
  return borderStyle_ == BorderStyle::None ? 0 : kBorder;
}
Twips Form::frameTop() const {
  return frameLeft() + (titleBar_ ? kTitleBar : 0);
}
Twips Form::ScaleWidth() const {
  return std::max<Twips>(0, width_ - 2 * frameLeft());
}
Twips Form::ScaleHeight() const {
  return std::max<Twips>(0, height_ - frameTop() - frameLeft());
}

void Form::setFont(Font f) {
  font_ = std::move(f);
  changed(Property::Font);
}

void Form::registerControl(Control* control) {
  controls_.push_back(control);
}

void Form::realise(Control& control) {
  if (loaded_ && control.peer() == nullptr) control.attachPeer(backend().createControlPeer(control));
}

void Form::unregisterControl(Control* control) {
  if (active_ == control) active_ = nullptr;
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void Form::layoutDocked() {
  for (Control* c : controls_) {
    auto* pic = c->kind() == ControlKind::PictureBox ? static_cast<PictureBox*>(c) : nullptr;
    if (pic == nullptr || pic->Container() != nullptr) continue;
    if (pic->align() == Align::Bottom) {
      pic->Move(0, std::max<Twips>(0, ScaleHeight() - pic->Height()), ScaleWidth(), pic->Height());
    } else if (pic->align() == Align::Top) {
      pic->Move(0, 0, ScaleWidth(), pic->Height());
    }
  }
}

void Form::Load() {
  if (loaded_) return;
  loaded_ = true;
  placed_ = false;
  loadedList().push_back(this);
  peer_ = backend().createFormPeer(*this);
  for (Control* c : controls_) c->attachPeer(backend().createControlPeer(*c));
  layoutDocked();
  Form_Load();
}

void Form::activate() {
  auto& stack = activationStack();
  if (!stack.empty() && stack.back() == this) return;
  Form* previous = stack.empty() ? nullptr : stack.back();
  stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
  stack.push_back(this);
  if (previous != nullptr) previous->Form_Deactivate();
  Form_Activate();
}

void Form::deactivate() {
  auto& stack = activationStack();
  const bool wasActive = !stack.empty() && stack.back() == this;
  stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
  if (!wasActive) return;
  Form_Deactivate();
  if (!stack.empty()) stack.back()->Form_Activate();
}

void Form::Show(bool modal) {
  Load();
  if (!loaded_) return;  // Form_Load unloaded it
  if (modal && modal_) automation::raise(400, u"Form already displayed; can't show modally");
  // A modal form is modal from the moment its window appears.
  modal_ = modal;
  if (!visible_) {
    if (centered_ && !placed_) {
      placed_ = true;
      Move(std::round((backend().screenWidth() - width_) / 2),
           std::round((backend().screenHeight() - height_) / 2), width_, height_);
    }
    visible_ = true;
  }
  changed(Property::Visible);
  if (active_ == nullptr) {
    if (Control* first = nextInTabOrder(nullptr, false)) setFocusTo(first);
  }
  activate();
  if (!modal || !stillUp()) {
    modal_ = false;
    return;
  }
  try {
    backend().runModal(*this);
  } catch (...) {
    modal_ = false;
    throw;
  }
  modal_ = false;
}

void Form::Hide() {
  if (!visible_) return;
  visible_ = false;
  changed(Property::Visible);
  deactivate();
}

bool Form::Unload(UnloadMode mode) {
  if (!loaded_) return true;
  bool cancel = false;
  Form_QueryUnload(cancel, mode);
  if (cancel) return false;
  Form_Unload(cancel);
  if (cancel) return false;
  Hide();
  loaded_ = false;
  tag_.clear();  // a form loaded again starts with an empty Tag
  auto& list = loadedList();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  active_ = nullptr;
  if (peer_) peer_->unloading();
  for (Control* c : controls_) c->detachPeer();
  peer_.reset();
  return true;
}

void Form::setFocusTo(Control* control) {
  if (control == active_) return;
  Control* old = active_;
  active_ = control;
  if (old != nullptr && old->LostFocus) old->LostFocus();
  if (active_ != control) return;  // a LostFocus handler moved the focus on
  if (control != nullptr) {
    control->changed(Property::Focus);
    if (control->GotFocus) control->GotFocus();
  }
}

void Form::focusChangedByUser(Control* control) {
  setFocusTo(control);
}

Control* Form::nextInTabOrder(Control* from, bool backwards) const {
  std::vector<Control*> order;
  for (Control* c : controls_) {
    if (c->focusable() && c->isShown() && c->Enabled()) order.push_back(c);
  }
  if (order.empty()) return nullptr;
  std::stable_sort(order.begin(), order.end(),
                   [](const Control* a, const Control* b) { return a->TabIndex() < b->TabIndex(); });
  auto at = std::find(order.begin(), order.end(), from);
  if (at == order.end()) return backwards ? order.back() : order.front();
  const auto n = static_cast<std::ptrdiff_t>(order.size());
  const std::ptrdiff_t i = at - order.begin();
  return order[static_cast<std::size_t>((i + (backwards ? n - 1 : 1)) % n)];
}

double Form::TextWidth(std::u16string_view text) const {
  return backend().textWidth(font_, text);
}
double Form::TextHeight() const {
  return backend().lineHeight(font_);
}

void Form::PopupMenu(Menu& menu, Twips x, Twips y) {
  backend().popupMenu(*this, menu, x, y);
}

void Form::PopupMenu(Menu& menu) {
  backend().popupMenuAtCursor(*this, menu);
}

bool Form::keyDown(int keyCode, int shiftState) {
  if (keyPreview_) {
    Form_KeyDown(keyCode, shiftState);
    if (keyCode == 0 || !stillUp()) return true;
  }
  if (Control* target = active_; target != nullptr && target->KeyDown) {
    target->KeyDown(keyCode, shiftState);
    if (keyCode == 0 || !stillUp()) return true;
  }
  return false;
}

bool Form::keyPress(char16_t& ch) {
  int keyAscii = ch;
  if (keyPreview_) {
    Form_KeyPress(keyAscii);
    if (keyAscii == 0 || !stillUp()) return true;
  }
  if (Control* target = active_; target != nullptr && target->KeyPress) {
    target->KeyPress(keyAscii);
    if (keyAscii == 0 || !stillUp()) return true;
  }
  ch = static_cast<char16_t>(keyAscii);
  return false;
}

bool Form::keyStroke(int keyCode, int shiftState, char16_t& ch) {
  if (keyDown(keyCode, shiftState)) return true;
  if (ch != 0 && keyPress(ch)) return true;
  auto* focusedButton = active_ != nullptr && active_->kind() == ControlKind::CommandButton
                            ? static_cast<CommandButton*>(active_)
                            : nullptr;
  const auto findButton = [&](bool isDefault) -> CommandButton* {
    for (Control* c : controls_) {
      if (c->kind() != ControlKind::CommandButton || !c->isShown() || !c->Enabled()) continue;
      auto* b = static_cast<CommandButton*>(c);
      if (isDefault ? b->Default() : b->Cancel()) return b;
    }
    return nullptr;
  };
  if (keyCode == keys::Return || keyCode == keys::Space) {
    if (focusedButton != nullptr) {
      focusedButton->press();
      return true;
    }
  }
  if (keyCode == keys::Return) {
    if (CommandButton* b = findButton(true)) {
      b->press();
      return true;
    }
  }
  if (keyCode == keys::Escape) {
    if (CommandButton* b = findButton(false)) {
      b->press();
      return true;
    }
  }
  if (keyCode == keys::Tab) {
    if (Control* next = nextInTabOrder(active_, (shiftState & shift::Shift) != 0)) setFocusTo(next);
    return true;
  }
  return false;
}

void Form::activatedByUser() {
  if (stillUp()) activate();
}

void Form::deactivatedByUser() {
  if (activeForm() == this) deactivate();
}

}  // namespace forms
