// What a backend provides: mirrors of forms and controls, modal loops, and the platform services
// the dialogs use (message box, beep, screen metrics, cursor and key state, text measurement).
#pragma once

#include <memory>
#include <string>

#include "forms/Control.h"

namespace forms {

class Menu;

// A backend's mirror of a form (its window).
class FormPeer {
 public:
  virtual ~FormPeer() = default;
  virtual void sync(Property what) = 0;
  // The form is being unloaded: its controls' mirrors go next, then this one.
  virtual void unloading() {}
  bool isUnloading() const { return unloading_; }

 protected:
  bool unloading_ = false;
};

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

enum class MessageIcon { None, Warning, Information, Error };

// What a list view draws around its cells and around itself (twips), beyond the widths of its
// columns and the heights of its rows.
struct ListChrome {
  double cellPadding = 0;  // around a cell's text: every column is this much wider than its text
  double frameWidth = 0;   // the frame, left and right together
  double frameHeight = 0;  // the frame, top and bottom together
  double scrollBar = 0;    // the width of the vertical scroll bar
};

// The platform's services, one interface.
class PlatformServices {
 public:
  virtual ~PlatformServices() = default;
  // A modal message box with only an OK button.
  virtual void messageBox(const std::u16string& text, const std::u16string& title, MessageIcon icon) = 0;
  virtual void beep() = 0;
  virtual double twipsPerPixelX() const = 0;
  virtual double twipsPerPixelY() const = 0;
  // The cursor position on the screen, in pixels.
  virtual Point cursorPos() const = 0;
  // Whether a key (keys::Shift, keys::Control, keys::Menu …) is held down.
  virtual bool isKeyDown(int virtualKey) const = 0;
  virtual bool isRemoteSession() const = 0;
  // The primary screen's size (twips).
  virtual double screenWidth() const = 0;
  virtual double screenHeight() const = 0;
  // The width of a text, and the height of a line, in a font (twips).
  virtual double textWidth(const Font& font, std::u16string_view text) const = 0;
  virtual double lineHeight(const Font& font) const = 0;
  // The height of one list-view row in a font (twips).
  virtual double rowHeight(const Font& font) const = 0;
  virtual ListChrome listChrome() const = 0;
};

class Backend : public PlatformServices {
 public:
  virtual std::unique_ptr<FormPeer> createFormPeer(Form& form) = 0;
  // nullptr when the backend keeps nothing for the control.
  virtual std::unique_ptr<ControlPeer> createControlPeer(Control& control) = 0;
  // Runs a modal loop for a shown form; returns when the form is hidden or unloaded.
  virtual void runModal(Form& form) = 0;
  // Shows a popup menu at a point of the form's client area (twips) and returns when it closes;
  // the chosen entry's Click runs before it returns.
  virtual void popupMenu(Form& form, Menu& menu, Twips x, Twips y) = 0;
  // The same at the mouse pointer.
  virtual void popupMenuAtCursor(Form& form, Menu& menu) = 0;
};

// The process's backend (the headless one until another is installed).
Backend& backend();
// Installs a backend and returns the previous one. Forms loaded under the old backend must be
// unloaded first.
std::unique_ptr<Backend> setBackend(std::unique_ptr<Backend> next);

}  // namespace forms
