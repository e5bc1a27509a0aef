// The dialog toolkit's model: controls with the properties, methods and events the dialogs use,
// positioned in twips. The model is the truth; a backend mirrors it (in memory for tests, with Qt
// widgets on screen) and feeds the user's actions back as events.
//
// Naming: a member that stands for a property, method or event of the platform's controls keeps the
// platform's name (Caption, AutoSize, SetFocus, Change) and its setter is set + that name
// (setCaption); where that name is also a type of the toolkit (Alignment, Align, BorderStyle, Font,
// SortOrder) and for everything the toolkit adds for itself (kind, peer, isShown) names are camelCase.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace forms {

using Twips = float;  // positions and sizes, 1/1440 inch

class Form;
class Control;

// Mouse buttons and the Shift / Ctrl / Alt mask, as the platform numbers them.
namespace mouse {
inline constexpr int Left = 1;
inline constexpr int Right = 2;
inline constexpr int Middle = 4;
}  // namespace mouse
namespace shift {
inline constexpr int Shift = 1;
inline constexpr int Ctrl = 2;
inline constexpr int Alt = 4;
}  // namespace shift

// Virtual key codes the dialogs look at.
namespace keys {
inline constexpr int Back = 8;
inline constexpr int Tab = 9;
inline constexpr int Return = 13;
inline constexpr int Shift = 16;
inline constexpr int Control = 17;
inline constexpr int Menu = 18;  // Alt
inline constexpr int Escape = 27;
inline constexpr int Space = 32;
inline constexpr int End = 35;
inline constexpr int Home = 36;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int Delete = 46;
inline constexpr int F7 = 118;
}  // namespace keys

struct Font {
  std::u16string name = u"宋体";
  float size = 9;  // points
  int weight = 400;
  int charset = 134;  // GB2312
  bool italic = false;
  friend bool operator==(const Font&, const Font&) = default;
};

// Colours as 0x00BBGGRR; negative values name system colours.
using Color = std::int32_t;
namespace colors {
inline constexpr Color Black = 0x000000;
inline constexpr Color White = 0xFFFFFF;
inline constexpr Color WindowBackground = -2147483643;  // the system's window colour
inline constexpr Color WindowText = -2147483640;        // the system's window-text colour
inline constexpr Color ButtonFace = -2147483633;
}  // namespace colors

// What changed on a control, so that a backend updates only that.
enum class Property {
  Geometry,
  Visible,
  Enabled,
  Text,
  Caption,
  Font,
  Colors,
  Style,
  Items,
  Selection,
  Columns,
  Scroll,
  ZOrder,
  Timer,
  Focus,
};

// A backend's mirror of one control.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void sync(Property what) = 0;
};

enum class ControlKind {
  Label,
  TextBox,
  CommandButton,
  ListBox,
  ListView,
  VScrollBar,
  PictureBox,
  Line,
  Timer,
  Menu,
  Object  // an automation object of another component hosted on the form (no window of its own here)
};

class Control {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind kind() const { return kind_; }
  const std::u16string& Name() const { return name_; }
  // The element's index in its control array; -1 for a control that is not in one.
  std::int16_t Index() const { return index_; }
  Form& form() const { return form_; }
  // The container (a PictureBox) or nullptr for the form's client area.
  Control* Container() const { return container_; }

  Twips Left() const { return left_; }
  Twips Top() const { return top_; }
  Twips Width() const { return width_; }
  Twips Height() const { return height_; }
  void setLeft(Twips v) { Move(v, top_, width_, height_); }
  void setTop(Twips v) { Move(left_, v, width_, height_); }
  void setWidth(Twips v) { Move(left_, top_, v, height_); }
  void setHeight(Twips v) { Move(left_, top_, width_, v); }
  virtual void Move(Twips left, Twips top, Twips width, Twips height);
  // Position in the form's client area (adding the containers' offsets).
  Twips clientLeft() const;
  Twips clientTop() const;

  bool Visible() const { return visible_; }
  void setVisible(bool v);
  // Visible, and every container visible too.
  bool isShown() const;
  bool Enabled() const { return enabled_; }
  void setEnabled(bool v);
  const std::u16string& Tag() const { return tag_; }
  void setTag(std::u16string v) { tag_ = std::move(v); }
  const Font& font() const { return font_; }
  void setFont(Font f);
  void setFontSize(float points);
  std::int32_t TabIndex() const { return tabIndex_; }
  void setTabIndex(std::int32_t v) { tabIndex_ = v; }

  // Whether the control can take the keyboard focus at all (text boxes, buttons, lists).
  virtual bool focusable() const { return false; }
  // Moves the focus here (raising LostFocus on the old control, then GotFocus); error 5 when the
  // control is hidden or disabled.
  void SetFocus();
  // 0 brings the control to the front of its container, 1 sends it to the back.
  void ZOrder(int position = 0);
  // Stacking order within the container: higher is in front.
  std::int64_t zOrder() const { return zOrder_; }

  // Mouse events, coordinates in twips relative to the control.
  std::function<void(int button, int shift, Twips x, Twips y)> MouseDown;
  std::function<void(int button, int shift, Twips x, Twips y)> MouseUp;
  std::function<void()> Click;
  std::function<void()> DblClick;
  std::function<void()> GotFocus;
  std::function<void()> LostFocus;
  std::function<void(int& keyCode, int shift)> KeyDown;
  std::function<void(int& keyAscii)> KeyPress;

  ControlPeer* peer() const { return peer_.get(); }
  void attachPeer(std::unique_ptr<ControlPeer> peer);
  void detachPeer();

 protected:
  Control(Form& form, ControlKind kind, std::u16string name, Control* container);
  // A run-time element of a control array: the design properties of `design`, hidden.
  Control(const Control& design, std::int16_t index);
  void changed(Property what) const {
    if (peer_) peer_->sync(what);
  }
  static void fire(const std::function<void()>& handler) {
    if (handler) handler();
  }

 private:
  template <class T>
  friend class ControlArray;
  friend class Form;

  Form& form_;
  ControlKind kind_;
  std::u16string name_;
  std::int16_t index_ = -1;
  Control* container_;
  Twips left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  std::u16string tag_;
  Font font_;
  std::int32_t tabIndex_ = 0;
  std::int64_t zOrder_ = 0;
  std::unique_ptr<ControlPeer> peer_;
};

}  // namespace forms
