// A dialog window. Dialogs derive from Form, hold their controls as members and override the
// Form_… handlers they need.
#pragma once

#include <string>
#include <vector>

#include "forms/Backend.h"
#include "forms/Control.h"

namespace forms {

class Menu;

enum class BorderStyle { None = 0, FixedSingle = 1, Sizable = 2, FixedDialog = 3 };
// Why a form is being unloaded (QueryUnload's mode).
enum class UnloadMode { CloseBox = 0, Code = 1 };

class Form {
 public:
  explicit Form(std::u16string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::u16string& Name() const { return name_; }
  const std::u16string& Caption() const { return caption_; }
  void setCaption(std::u16string caption);
  const std::u16string& Tag() const { return tag_; }
  void setTag(std::u16string tag) { tag_ = std::move(tag); }
  bool KeyPreview() const { return keyPreview_; }
  void setKeyPreview(bool v) { keyPreview_ = v; }
  BorderStyle borderStyle() const { return borderStyle_; }
  bool TitleBar() const { return titleBar_; }
  // The frame: a border style and whether there is a title bar (with its control box).
  void setFrame(BorderStyle style, bool titleBar);
  // Centred on the screen when first shown after loading.
  bool centered() const { return centered_; }
  void setCentered(bool v) { centered_ = v; }
  // A popup window (set before loading): above the other windows and placed by code; a click
  // outside it deactivates it.
  bool popupWindow() const { return popupWindow_; }
  void setPopupWindow(bool v) { popupWindow_ = v; }

  // Outer position and size in twips; the client area lies inside the frame.
  Twips Left() const { return left_; }
  Twips Top() const { return top_; }
  Twips Width() const { return width_; }
  Twips Height() const { return height_; }
  void Move(Twips left, Twips top, Twips width, Twips height);
  void setLeft(Twips v) { Move(v, top_, width_, height_); }
  void setTop(Twips v) { Move(left_, v, width_, height_); }
  void setWidth(Twips v) { Move(left_, top_, v, height_); }
  void setHeight(Twips v) { Move(left_, top_, width_, v); }
  // Sets the outer size from a client size.
  void setClientSize(Twips width, Twips height);
  Twips frameLeft() const;  // from the outer left edge to the client area
  Twips frameTop() const;   // from the outer top edge to the client area
  Twips ScaleWidth() const;
  Twips ScaleHeight() const;

  const Font& font() const { return font_; }
  void setFont(Font f);
  bool Visible() const { return visible_; }
  bool isLoaded() const { return loaded_; }
  bool isModal() const { return modal_; }

  // Loads the form (runs Form_Load once), shows it, hides it, unloads it. Show(true) returns
  // when the form is hidden or unloaded. Unload asks Form_QueryUnload and Form_Unload, either of
  // which may cancel; it answers whether the form was unloaded.
  void Load();
  void Show(bool modal = false);
  void Hide();
  bool Unload(UnloadMode mode = UnloadMode::Code);

  Control* ActiveControl() const { return active_; }
  // Moves the focus to a control of this form (LostFocus of the old, then GotFocus of the new).
  void setFocusTo(Control* control);
  // The next (or previous) control in tab order that can take the focus.
  Control* nextInTabOrder(Control* from, bool backwards) const;

  double TextWidth(std::u16string_view text) const;
  double TextHeight() const;
  void PopupMenu(Menu& menu, Twips x, Twips y);
  // Shows the menu at the mouse pointer.
  void PopupMenu(Menu& menu);

  const std::vector<Control*>& controls() const { return controls_; }
  // Gives a control added to a loaded form (a control array element) its backend mirror; called
  // once the control is fully constructed.
  void realise(Control& control);
  FormPeer* peer() const { return peer_.get(); }

  // Input, as a backend (or a test) reports it. keyDown and keyPress answer whether the key was
  // consumed: true means the control must not apply its own editing.
  bool keyDown(int keyCode, int shiftState);
  bool keyPress(char16_t& ch);
  // One whole key stroke: key down, then the character (0 for keys without one), then the
  // window's own actions (Enter and Esc press the default and cancel buttons, Tab moves the
  // focus). `ch` may come back changed by a KeyPress handler.
  bool keyStroke(int keyCode, int shiftState, char16_t& ch);
  void focusChangedByUser(Control* control);
  // The window system moved the window (a window manager, a placement of its own): Left and Top
  // follow, and nothing is moved again.
  void movedByUser(Twips left, Twips top);
  void mouseDown(int button, int shiftState, Twips x, Twips y) { Form_MouseDown(button, shiftState, x, y); }
  void mouseUp(int button, int shiftState, Twips x, Twips y) { Form_MouseUp(button, shiftState, x, y); }
  void activatedByUser();
  void deactivatedByUser();

 protected:
  virtual void Form_Load() {}
  virtual void Form_Activate() {}
  virtual void Form_Deactivate() {}
  virtual void Form_QueryUnload(bool& /*cancel*/, UnloadMode /*mode*/) {}
  virtual void Form_Unload(bool& /*cancel*/) {}
  virtual void Form_KeyDown(int& /*keyCode*/, int /*shift*/) {}
  virtual void Form_KeyPress(int& /*keyAscii*/) {}
  virtual void Form_MouseDown(int /*button*/, int /*shift*/, Twips /*x*/, Twips /*y*/) {}
  virtual void Form_MouseUp(int /*button*/, int /*shift*/, Twips /*x*/, Twips /*y*/) {}

 private:
  friend class Control;
  void registerControl(Control* control);
  void unregisterControl(Control* control);
  void layoutDocked();
  void changed(Property what) const {
    if (peer_) peer_->sync(what);
  }
  void activate();
  void deactivate();
  bool stillUp() const { return loaded_ && visible_; }

  std::u16string name_;
  std::u16string caption_;
  std::u16string tag_;
  bool keyPreview_ = false;
  BorderStyle borderStyle_ = BorderStyle::Sizable;
  bool titleBar_ = true;
  bool centered_ = false;
  bool popupWindow_ = false;
  bool placed_ = false;  // centred once after loading
  Twips left_ = 0, top_ = 0, width_ = 4800, height_ = 3600;
  Font font_;
  bool visible_ = false;
  bool loaded_ = false;
  bool modal_ = false;
  bool active_form_ = false;
  Control* active_ = nullptr;
  std::vector<Control*> controls_;
  std::unique_ptr<FormPeer> peer_;
};

// The forms loaded in this process, in loading order.
const std::vector<Form*>& loadedForms();
// The form that is active (the last one shown that is still up), nullptr when none.
Form* activeForm();

}  // namespace forms
