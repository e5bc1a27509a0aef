#include "forms/Controls.h"

#include <algorithm>
#include <cmath>

#include "automation/Error.h"
#include "automation/Text.h"
#include "forms/Backend.h"

namespace forms {
namespace {
[[noreturn]] void invalidValue() {
  automation::raise(380, u"Invalid property value");
}
}  // namespace

// --- Label ---------------------------------------------------------------------------------------

void Label::setCaption(std::u16string caption) {
  if (caption == p_.caption) return;
  p_.caption = std::move(caption);
  changed(Property::Caption);
  fit();
}

void Label::setAutoSize(bool v) {
  p_.autoSize = v;
  fit();
}

void Label::setAlignment(Alignment a) {
  p_.alignment = a;
  changed(Property::Style);
}

void Label::setWordWrap(bool v) {
  p_.wordWrap = v;
  changed(Property::Style);
  fit();
}

void Label::setColors(Color fore, Color back) {
  p_.foreColor = fore;
  p_.backColor = back;
  changed(Property::Colors);
}

void Label::fit() {
  if (!p_.autoSize) return;
  const Backend& b = backend();
  const auto lineHeight = static_cast<Twips>(b.lineHeight(font()));
  if (p_.wordWrap) {
    // Keeps the width and grows downwards by the lines the caption needs.
    const double textWidth = b.textWidth(font(), p_.caption);
    const double lines = Width() > 0 ? std::max(1.0, std::ceil(textWidth / Width())) : 1.0;
    Move(Left(), Top(), Width(), static_cast<Twips>(lines) * lineHeight);
    return;
  }
  const auto width = static_cast<Twips>(b.textWidth(font(), p_.caption));
  const Twips left = p_.alignment == Alignment::Right ? Left() + Width() - width : Left();
  Move(left, Top(), width, lineHeight);
}

// --- TextBox -------------------------------------------------------------------------------------

void TextBox::setText(std::u16string text) {
  if (text == p_.text) return;
  p_.text = std::move(text);
  p_.selStart = 0;
  p_.selLength = 0;
  changed(Property::Text);
  fire(Change);
}

void TextBox::setSelStart(std::int32_t v) {
  if (v < 0) invalidValue();
  p_.selStart = std::min<std::int32_t>(v, static_cast<std::int32_t>(p_.text.size()));
  p_.selLength = 0;
  changed(Property::Selection);
}

void TextBox::setSelLength(std::int32_t v) {
  if (v < 0) invalidValue();
  p_.selLength = std::min<std::int32_t>(v, static_cast<std::int32_t>(p_.text.size()) - p_.selStart);
  changed(Property::Selection);
}

void TextBox::setToolTipText(std::u16string v) {
  p_.toolTip = std::move(v);
  changed(Property::Style);
}

void TextBox::userEdited(std::u16string text, std::int32_t caret) {
  const bool differs = text != p_.text;
  p_.text = std::move(text);
  p_.selStart = std::clamp<std::int32_t>(caret, 0, static_cast<std::int32_t>(p_.text.size()));
  p_.selLength = 0;
  if (differs) fire(Change);
}

void TextBox::userSelected(std::int32_t start, std::int32_t length) {
  const auto size = static_cast<std::int32_t>(p_.text.size());
  p_.selStart = std::clamp<std::int32_t>(start, 0, size);
  p_.selLength = std::clamp<std::int32_t>(length, 0, size - p_.selStart);
}

void TextBox::applyTypedChar(char16_t ch) {
  if (ch < 32) {
    applyEditKey(ch == 8 ? keys::Back : 0);
    return;
  }
  applyInserted(std::u16string_view(&ch, 1));
}

void TextBox::applyInserted(std::u16string_view inserted) {
  std::u16string text;
  text.reserve(p_.text.size() - static_cast<std::size_t>(p_.selLength) + inserted.size());
  const auto start = static_cast<std::size_t>(p_.selStart);
  text.append(p_.text, 0, start)
      .append(inserted)
      .append(p_.text, start + static_cast<std::size_t>(p_.selLength));
  const auto caret = static_cast<std::int32_t>(start + inserted.size());
  userEdited(std::move(text), caret);
  changed(Property::Text);
  changed(Property::Selection);
}

void TextBox::applyEditKey(int keyCode) {
  std::u16string text = p_.text;
  std::int32_t start = p_.selStart;
  std::int32_t length = p_.selLength;
  if (length == 0) {
    if (keyCode == keys::Back && start > 0) {
      --start;
      length = 1;
    } else if (keyCode == keys::Delete && start < static_cast<std::int32_t>(text.size())) {
      length = 1;
    }
  }
  if (length == 0) return;
  text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
  userEdited(std::move(text), start);
  changed(Property::Text);
  changed(Property::Selection);
}

// --- CommandButton -------------------------------------------------------------------------------

void CommandButton::setCaption(std::u16string caption) {
  p_.caption = std::move(caption);
  changed(Property::Caption);
}

void CommandButton::press() {
  fire(Click);
}

// --- ListBox -------------------------------------------------------------------------------------

void ListBox::settle() const {
  if (!sorted_ || settled_ == items_.size()) {
    settled_ = items_.size();
    return;
  }
  std::vector<std::size_t> order(items_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  // Stable: equal entries keep the order they were added in, as inserting one by one keeps it.
  std::stable_sort(order.begin(), order.end(),
                   [this](std::size_t a, std::size_t b) { return keys_[a] < keys_[b]; });
  std::vector<std::u16string> items, keys;
  items.reserve(order.size());
  keys.reserve(order.size());
  std::int32_t selected = -1;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (static_cast<std::int32_t>(order[i]) == listIndex_) selected = static_cast<std::int32_t>(i);
    items.push_back(std::move(items_[order[i]]));
    keys.push_back(std::move(keys_[order[i]]));
  }
  items_ = std::move(items);
  keys_ = std::move(keys);
  listIndex_ = selected;
  settled_ = items_.size();
}

void ListBox::AddItem(std::u16string item) {
  keys_.push_back(automation::upper(item));
  items_.push_back(std::move(item));
  if (!sorted_) settled_ = items_.size();
  changed(Property::Items);
}

void ListBox::AddItem(std::u16string item, std::int32_t index) {
  settle();
  if (index < 0 || index > ListCount()) automation::raise(automation::errors::InvalidProcedureCall);
  keys_.insert(keys_.begin() + index, automation::upper(item));
  items_.insert(items_.begin() + index, std::move(item));
  settled_ = items_.size();
  if (listIndex_ >= index) ++listIndex_;
  changed(Property::Items);
}

void ListBox::Clear() {
  items_.clear();
  keys_.clear();
  settled_ = 0;
  listIndex_ = -1;
  changed(Property::Items);
}

const std::u16string& ListBox::List(std::int32_t index) const {
  settle();
  if (index < 0 || index >= ListCount()) automation::raise(381, u"Invalid property array index");
  return items_[static_cast<std::size_t>(index)];
}

void ListBox::setListIndex(std::int32_t index) {
  settle();
  if (index < -1 || index >= ListCount()) invalidValue();
  listIndex_ = index;
  changed(Property::Selection);
  fire(Click);
}

std::u16string ListBox::Text() const {
  settle();
  return listIndex_ < 0 ? std::u16string{} : items_[static_cast<std::size_t>(listIndex_)];
}

// --- VScrollBar ----------------------------------------------------------------------------------

void VScrollBar::clampValue() {
  const std::int32_t lo = std::min(min_, max_);
  const std::int32_t hi = std::max(min_, max_);
  changed(Property::Scroll);
  if (value_ < lo || value_ > hi) setValue(std::clamp(value_, lo, hi));
}

void VScrollBar::setMin(std::int32_t v) {
  min_ = v;
  clampValue();
}

void VScrollBar::setMax(std::int32_t v) {
  max_ = v;
  clampValue();
}

void VScrollBar::setValue(std::int32_t v) {
  if (v < std::min(min_, max_) || v > std::max(min_, max_)) invalidValue();
  if (v == value_) return;
  value_ = v;
  changed(Property::Scroll);
  fire(Change);
}

void VScrollBar::setSmallChange(std::int32_t v) {
  if (v < 0) invalidValue();
  smallChange_ = v;
  changed(Property::Scroll);
}

void VScrollBar::setLargeChange(std::int32_t v) {
  if (v < 0) invalidValue();
  largeChange_ = v;
  changed(Property::Scroll);
}

// --- PictureBox, Line, Timer, Menu -----------------------------------------------------------------

void PictureBox::setAlign(Align a) {
  align_ = a;
  changed(Property::Style);
}

void PictureBox::setBorder(bool v) {
  border_ = v;
  changed(Property::Style);
}

void Line::setPoints(Twips x1, Twips y1, Twips x2, Twips y2) {
  x1_ = x1;
  y1_ = y1;
  x2_ = x2;
  y2_ = y2;
  Move(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1));
  changed(Property::Geometry);
}

void Line::setBorderColor(Color c) {
  color_ = c;
  changed(Property::Colors);
}

void Timer::setInterval(std::int32_t ms) {
  if (ms < 0 || ms > 65535) invalidValue();
  interval_ = ms;
  changed(Property::Timer);
}

void Timer::tick() {
  if (running()) fire(OnTimer);
}

Menu::Menu(Form& form, std::u16string name, Menu* parent)
    : Control(form, ControlKind::Menu, std::move(name), nullptr), parent_(parent) {
  if (parent_ != nullptr) parent_->entries_.push_back(this);
}

void Menu::setCaption(std::u16string caption) {
  caption_ = std::move(caption);
  changed(Property::Caption);
}

void Menu::choose() {
  if (Visible() && Enabled() && !isSeparator()) fire(Click);
}

}  // namespace forms
