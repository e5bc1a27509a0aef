#include "forms/Control.h"

#include "automation/Error.h"
#include "forms/Backend.h"
#include "forms/Form.h"

namespace forms {
namespace {
std::int64_t nextZ = 0;
}

Control::Control(Form& form, ControlKind kind, std::u16string name, Control* container)
    : form_(form),
      kind_(kind),
      name_(std::move(name)),
      container_(container),
      font_(form.font()),
      zOrder_(++nextZ) {
  form_.registerControl(this);
}

Control::Control(const Control& design, std::int16_t index)
    : form_(design.form_),
      kind_(design.kind_),
      name_(design.name_),
      index_(index),
      container_(design.container_),
      left_(design.left_),
      top_(design.top_),
      width_(design.width_),
      height_(design.height_),
      visible_(false),
      enabled_(design.enabled_),
      tag_(design.tag_),
      font_(design.font_),
      tabIndex_(design.tabIndex_ + index),
      zOrder_(++nextZ) {
  form_.registerControl(this);
}

Control::~Control() {
  form_.unregisterControl(this);
}

void Control::attachPeer(std::unique_ptr<ControlPeer> peer) {
  peer_ = std::move(peer);
}
void Control::detachPeer() {
  peer_.reset();
}

void Control::Move(Twips left, Twips top, Twips width, Twips height) {
  if (width < 0 || height < 0) automation::raise(380, u"Invalid property value");
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  changed(Property::Geometry);
}

Twips Control::clientLeft() const {
  return left_ + (container_ ? container_->clientLeft() : 0);
}
Twips Control::clientTop() const {
  return top_ + (container_ ? container_->clientTop() : 0);
}

void Control::setVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  changed(Property::Visible);
  if (!v && form_.ActiveControl() == this) form_.setFocusTo(nullptr);
}

bool Control::isShown() const {
  return visible_ && (!container_ || container_->isShown());
}

void Control::setEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  changed(kind_ == ControlKind::Timer ? Property::Timer : Property::Enabled);
}

void Control::setFont(Font f) {
  if (f == font_) return;
  font_ = std::move(f);
  changed(Property::Font);
}

void Control::setFontSize(float points) {
  Font f = font_;
  f.size = points;
  setFont(std::move(f));
}

void Control::SetFocus() {
  if (!focusable() || !isShown() || !enabled_ || !form_.isLoaded()) {
    automation::raise(automation::errors::InvalidProcedureCall);
  }
  form_.setFocusTo(this);
}

void Control::ZOrder(int position) {
  zOrder_ = position == 0 ? ++nextZ : -(++nextZ);
  changed(Property::ZOrder);
}

}  // namespace forms
