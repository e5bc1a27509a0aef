// The standard controls: labels, text boxes, buttons, list boxes, the vertical scroll bar, picture
// boxes, lines, timers and menus.
#pragma once

#include <string>
#include <vector>

#include "forms/Control.h"

namespace forms {

enum class Alignment { Left = 0, Right = 1, Center = 2 };

class Label final : public Control {
 public:
  Label(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::Label, std::move(name), container) {}
  Label(const Label& design, std::int16_t index) : Control(design, index), p_(design.p_) {}

  const std::u16string& Caption() const { return p_.caption; }
  void setCaption(std::u16string caption);
  // Sized to the caption: a right-aligned label keeps its right edge, any other its left edge.
  bool AutoSize() const { return p_.autoSize; }
  void setAutoSize(bool v);
  Alignment alignment() const { return p_.alignment; }
  void setAlignment(Alignment a);
  bool WordWrap() const { return p_.wordWrap; }
  void setWordWrap(bool v);
  Color ForeColor() const { return p_.foreColor; }
  Color BackColor() const { return p_.backColor; }
  void setColors(Color fore, Color back);
  // Re-fits an auto-sized label (after a font change).
  void fit();

 private:
  struct Props {
    std::u16string caption;
    bool autoSize = false;
    Alignment alignment = Alignment::Left;
    bool wordWrap = false;
    Color foreColor = colors::Black;
    Color backColor = colors::ButtonFace;
  } p_;
};

class TextBox final : public Control {
 public:
  TextBox(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::TextBox, std::move(name), container) {}
  // A loaded element starts empty: text, caret, selection and tooltip belong to element 0 alone.
  TextBox(const TextBox& design, std::int16_t index) : Control(design, index) {}

  bool focusable() const override { return true; }
  const std::u16string& Text() const { return p_.text; }
  // Runs Change before it returns when the text differs; the caret goes to the start.
  void setText(std::u16string text);
  std::int32_t SelStart() const { return p_.selStart; }
  std::int32_t SelLength() const { return p_.selLength; }
  void setSelStart(std::int32_t v);
  void setSelLength(std::int32_t v);
  const std::u16string& ToolTipText() const { return p_.toolTip; }
  void setToolTipText(std::u16string v);

  // The user's edits, reported by a backend: the new text and caret, then Change.
  void userEdited(std::u16string text, std::int32_t caret);
  // The user's caret or selection moved (no event).
  void userSelected(std::int32_t start, std::int32_t length);
  // The standard editing of a typed character or a Backspace / Delete, as a backend without its
  // own editor applies it.
  void applyTypedChar(char16_t ch);
  // A paste: the text replaces the selection in one edit, so Change runs once however long it is.
  void applyInserted(std::u16string_view text);
  void applyEditKey(int keyCode);

  std::function<void()> Change;

 private:
  struct Props {
    std::u16string text;
    std::int32_t selStart = 0;
    std::int32_t selLength = 0;
    std::u16string toolTip;
  } p_;
};

class CommandButton final : public Control {
 public:
  CommandButton(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::CommandButton, std::move(name), container) {}
  CommandButton(const CommandButton& design, std::int16_t index) : Control(design, index), p_(design.p_) {}

  bool focusable() const override { return true; }
  const std::u16string& Caption() const { return p_.caption; }
  void setCaption(std::u16string caption);
  // Enter presses the default button, Esc the cancel button.
  bool Default() const { return p_.isDefault; }
  void setDefault(bool v) { p_.isDefault = v; }
  bool Cancel() const { return p_.isCancel; }
  void setCancel(bool v) { p_.isCancel = v; }
  // Presses the button by code (its Value = True): runs Click.
  void press();

 private:
  struct Props {
    std::u16string caption;
    bool isDefault = false;
    bool isCancel = false;
  } p_;
};

class ListBox final : public Control {
 public:
  ListBox(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::ListBox, std::move(name), container) {}

  bool focusable() const override { return true; }
  // A sorted list keeps entries added without a position in ascending text order.
  bool Sorted() const { return sorted_; }
  void setSorted(bool v) { sorted_ = v; }
  void AddItem(std::u16string item);
  void AddItem(std::u16string item, std::int32_t index);  // error 5 outside 0..ListCount
  void Clear();
  const std::u16string& List(std::int32_t index) const;  // error 381 outside the list
  std::int32_t ListCount() const { return static_cast<std::int32_t>(items_.size()); }
  std::int32_t ListIndex() const {
    settle();
    return listIndex_;
  }
  // Selects an entry (-1: none) and runs Click; error 380 outside -1..ListCount-1.
  void setListIndex(std::int32_t index);
  // The selected entry's text, "" when none.
  std::u16string Text() const;
  const std::vector<std::u16string>& items() const {
    settle();
    return items_;
  }

 private:
  // Entries added to a sorted list are put in their places when the list is next read, all at
  // once: filling a long list stays O(n log n).
  void settle() const;

  bool sorted_ = false;
  mutable std::vector<std::u16string> items_;
  mutable std::vector<std::u16string> keys_;  // the items in upper case, for sorting
  mutable std::size_t settled_ = 0;           // items_[0, settled_) are in order
  mutable std::int32_t listIndex_ = -1;
};

class VScrollBar final : public Control {
 public:
  VScrollBar(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::VScrollBar, std::move(name), container) {}

  bool focusable() const override { return true; }
  std::int32_t Min() const { return min_; }
  std::int32_t Max() const { return max_; }
  std::int32_t Value() const { return value_; }
  std::int32_t SmallChange() const { return smallChange_; }
  std::int32_t LargeChange() const { return largeChange_; }
  // Changing the range pulls the value into it (running Change when that moves it).
  void setMin(std::int32_t v);
  void setMax(std::int32_t v);
  // Runs Change when the value moves; error 380 outside the range.
  void setValue(std::int32_t v);
  void setSmallChange(std::int32_t v);
  void setLargeChange(std::int32_t v);

  std::function<void()> Change;

 private:
  void clampValue();
  std::int32_t min_ = 0, max_ = 32767, value_ = 0, smallChange_ = 1, largeChange_ = 1;
};

enum class Align { None, Top, Bottom };

class PictureBox final : public Control {
 public:
  PictureBox(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::PictureBox, std::move(name), container) {}

  // A picture box aligned to the bottom spans the client width and stays on the bottom edge.
  Align align() const { return align_; }
  void setAlign(Align a);
  bool Border() const { return border_; }
  void setBorder(bool v);

 private:
  Align align_ = Align::None;
  bool border_ = false;
};

class Line final : public Control {
 public:
  Line(Form& form, std::u16string name, Control* container = nullptr)
      : Control(form, ControlKind::Line, std::move(name), container) {}
  Twips X1() const { return x1_; }
  Twips Y1() const { return y1_; }
  Twips X2() const { return x2_; }
  Twips Y2() const { return y2_; }
  void setPoints(Twips x1, Twips y1, Twips x2, Twips y2);
  Color BorderColor() const { return color_; }
  void setBorderColor(Color c);

 private:
  Twips x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
  Color color_ = colors::Black;
};

class Timer final : public Control {
 public:
  Timer(Form& form, std::u16string name) : Control(form, ControlKind::Timer, std::move(name), nullptr) {
    setEnabled(false);
  }
  // Milliseconds between ticks; a timer ticks while it is Enabled with an interval above 0.
  std::int32_t Interval() const { return interval_; }
  void setInterval(std::int32_t ms);
  bool running() const { return Enabled() && interval_ > 0; }
  // One tick: runs the Timer event when the timer is running.
  void tick();

  std::function<void()> OnTimer;

 private:
  std::int32_t interval_ = 0;
};

class Menu final : public Control {
 public:
  // A top-level menu (parent nullptr) or an entry of `parent`. A caption of "-" is a separator.
  Menu(Form& form, std::u16string name, Menu* parent = nullptr);
  const std::u16string& Caption() const { return caption_; }
  void setCaption(std::u16string caption);
  bool isSeparator() const { return caption_ == u"-"; }
  Menu* parentMenu() const { return parent_; }
  const std::vector<Menu*>& entries() const { return entries_; }
  // Chooses the entry as the user does: runs Click when it is visible and enabled.
  void choose();

 private:
  std::u16string caption_;
  Menu* parent_;
  std::vector<Menu*> entries_;
};

}  // namespace forms
