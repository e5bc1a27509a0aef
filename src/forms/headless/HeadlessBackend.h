// The headless backend: everything stays in memory. Text widths follow a fixed rule, message boxes
// and beeps are recorded, cursor and key state are set by the test, and a test acts inside modal
// loops through a script of actions.
//
// Measuring rule: the em is the font size in points x 20 twips. A character from U+1100 on (CJK,
// fullwidth forms) is one em wide, any other half an em. A line is one em high; a list-view row
// is 4/3 em, rounded up to whole pixels of 15 twips.
#pragma once

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "forms/Backend.h"
#include "forms/Controls.h"
#include "forms/Form.h"

namespace forms::headless {

class HeadlessBackend final : public Backend {
 public:
  struct MessageBox {
    std::u16string text;
    std::u16string title;
    MessageIcon icon;
  };
  using Action = std::function<void(Form& shown)>;

  // What the dialogs did.
  std::vector<MessageBox> messageBoxes;
  int beeps = 0;
  std::vector<const Menu*> shownMenus;

  // What the test sets.
  Point cursor;
  std::set<int> keysDown;
  bool remoteSession = false;
  // Names of menu entries to choose, one per PopupMenu call (at a point or at the mouse).
  std::deque<std::u16string> menuChoices;

  // Queues an action for the next modal loop that needs one. Each modal loop takes actions in
  // order until its form is hidden or unloaded; a loop that runs out raises an error instead of
  // waiting for ever.
  void then(Action action) { script_.push_back(std::move(action)); }
  std::size_t pendingActions() const { return script_.size(); }
  void clearScript() { script_.clear(); }

  std::unique_ptr<FormPeer> createFormPeer(Form&) override { return nullptr; }
  std::unique_ptr<ControlPeer> createControlPeer(Control&) override { return nullptr; }
  void runModal(Form& form) override;
  void popupMenu(Form& form, Menu& menu, Twips x, Twips y) override;
  void popupMenuAtCursor(Form& form, Menu& menu) override { popupMenu(form, menu, 0, 0); }

  void messageBox(const std::u16string& text, const std::u16string& title, MessageIcon icon) override;
  void beep() override { ++beeps; }
  double twipsPerPixelX() const override { return 15; }
  double twipsPerPixelY() const override { return 15; }
  Point cursorPos() const override { return cursor; }
  bool isKeyDown(int virtualKey) const override { return keysDown.contains(virtualKey); }
  bool isRemoteSession() const override { return remoteSession; }
  // A 1920 x 1080 pixel screen.
  double screenWidth() const override { return 1920 * 15.0; }
  double screenHeight() const override { return 1080 * 15.0; }
  double textWidth(const Font& font, std::u16string_view text) const override;
  double lineHeight(const Font& font) const override;
  double rowHeight(const Font& font) const override;
  // The list of the platform the dialogs were made for: a 17-pixel scroll bar, and a frame that
  // its fitting rules count in the height only.
  ListChrome listChrome() const override { return {0, 0, 30, 255}; }

 private:
  std::deque<Action> script_;
};

// The process's backend as the headless one; installs a fresh one when another is in place.
HeadlessBackend& installed();

// The user's actions, as a test performs them. Keys go to the focused control of the form.
// Types text character by character: each is a key stroke whose character the focused text box
// inserts unless a handler consumed it.
void type(Form& form, std::u16string_view text);
// Pastes text into the focused text box as Ctrl+V does: it replaces the selection in one change,
// and no key events run. Raises std::logic_error when the focus is not in a text box.
void paste(Form& form, std::u16string_view text);
// Presses a key (keys::Return, keys::F7 …) with a Shift/Ctrl/Alt mask.
void press(Form& form, int keyCode, int shiftState = 0);
// Moves the focus as a mouse click into the control does.
void focus(Control& control);
// A left click (mouse down, mouse up, click); a button is pressed, a list box entry is chosen
// with clickItem.
void click(Control& control);
void dblClick(Control& control);
void clickItem(ListBox& list, std::int32_t index);
void mouseDown(Control& control, int button, Twips x = 0, Twips y = 0, int shiftState = 0);
void mouseUp(Control& control, int button, Twips x = 0, Twips y = 0, int shiftState = 0);
// Fires every running timer of the form once.
void fireTimers(Form& form);

}  // namespace forms::headless
