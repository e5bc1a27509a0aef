// What the pieces of the Qt backend share among themselves; not for use outside src/forms/qt/.
// The form's peer and the base of every control's peer live here, with the translation of Qt's
// keys, mouse buttons and colours, and one factory per control peer (the peers themselves stay
// inside their own files).
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QRect>
#include <exception>
#include <memory>
#include <type_traits>

#include "forms/Backend.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/ListView.h"
#include "forms/qt/QtBackend.h"

class QEventLoop;
class QKeyEvent;
class QWidget;

namespace forms::qt {

// Runs a dialog's handler from a Qt event. A failure the handler did not catch is shown to the
// user instead of unwinding through Qt's event loop.
template <class F>
auto guarded(F&& handler) -> decltype(handler()) {
  using Result = decltype(handler());
  try {
    return handler();
  } catch (const std::exception& e) {
    QMessageBox::warning(nullptr, QStringLiteral("Formulist2"), QString::fromUtf8(e.what()));
    if constexpr (!std::is_void_v<Result>) return Result{};
  }
}

// --- Keys, mouse and colours (ControlPeer.cpp) ---------------------------------------------------

// The virtual-key code of a key press (0 for keys the forms do not know, 229 for other text).
int virtualKeyOf(const QKeyEvent& e);
int shiftStateOf(Qt::KeyboardModifiers m);
int buttonOf(Qt::MouseButton b);
// A form colour; the system colours come from the palette.
QColor colorOf(Color c, const QPalette& palette);
// Runs a key stroke through the form; answers whether the widget must not see the key. When a
// KeyPress handler changed the character, the model applies it to a text box itself.
bool routeKey(Form& form, Control* control, QKeyEvent& e);

// --- The form (FormPeer.cpp) ---------------------------------------------------------------------

class FormWindow;

// A form's top-level window. The window may outlive the peer by a deferred delete.
class QtFormPeer final : public FormPeer {
 public:
  QtFormPeer(const QtBackend& backend, Form& form);
  ~QtFormPeer() override;

  void sync(Property what) override;
  void unloading() override { unloading_ = true; }
  // The client area, the parent of the form's controls.
  QWidget* client() const;
  QWidget* window() const;
  // The loop of a modal run in progress, quit when the form is hidden or unloaded.
  QEventLoop* modalLoop = nullptr;

 private:
  void place();

  const QtBackend& backend_;
  Form& form_;
  QPointer<FormWindow> window_;
};

// The form's peer, nullptr when the form is not loaded.
inline QtFormPeer* formPeerOf(const Form& form) {
  return static_cast<QtFormPeer*>(form.peer());
}

// Shows the form with application modality and returns once it is hidden or unloaded.
void runModalLoop(Form& form);

// --- The controls (ControlPeer.cpp) --------------------------------------------------------------

class EventBridge;

// A control mirrored by one widget, placed at the control's twips geometry.
class QtControlPeer : public ControlPeer {
 public:
  QtControlPeer(const QtBackend& backend, Control& control, QWidget* widget);
  ~QtControlPeer() override;
  void sync(Property what) override;
  QWidget* widget() const { return widget_; }

 protected:
  // Receiver of the widget's signals: the connections end with the peer, not with the widget,
  // which is only deleted later.
  QObject context_;
  // Applies everything once the widget exists (the model may have been set up before loading).
  void syncAll();
  virtual void syncOwn(Property) {}
  // Where the widget goes, given the control's box in pixels.
  virtual QRect placed(const QRect& box) const { return box; }
  // Puts the widget at the control's geometry.
  void place();
  // Feeds another widget's events (a view's viewport) to the control as well.
  void watch(QWidget* other);
  const QtBackend& backend_;
  Control& control_;
  QPointer<QWidget> widget_;

 private:
  std::unique_ptr<EventBridge> bridge_;
};

// The widget a control's widget goes into: its container's, or the form's client area.
QWidget* parentWidgetOf(const Control& control);

// Single-widget controls, the timer and the popup menu (SimplePeers.cpp).
std::unique_ptr<ControlPeer> makeLabelPeer(const QtBackend& backend, Label& label, QWidget* parent);
std::unique_ptr<ControlPeer> makeTextBoxPeer(const QtBackend& backend, TextBox& box, QWidget* parent);
std::unique_ptr<ControlPeer> makeButtonPeer(const QtBackend& backend, CommandButton& button, QWidget* parent);
std::unique_ptr<ControlPeer> makeScrollBarPeer(const QtBackend& backend, VScrollBar& bar, QWidget* parent);
std::unique_ptr<ControlPeer> makePicturePeer(const QtBackend& backend, PictureBox& pic, QWidget* parent);
std::unique_ptr<ControlPeer> makeLinePeer(const QtBackend& backend, Line& line, QWidget* parent);
std::unique_ptr<ControlPeer> makeTimerPeer(Timer& timer);
// A menu has no peer: it is built each time it pops up, and the chosen entry's Click runs
// before this returns.
void popUpMenu(const QtBackend& backend, Form& form, Menu& menu, Twips x, Twips y);
// The same at a point of the screen (pixels).
void popUpMenuAt(const QtBackend& backend, Form& form, Menu& menu, QPoint screenAt);

// The list box and the list view (ListPeers.cpp).
std::unique_ptr<ControlPeer> makeListBoxPeer(const QtBackend& backend, ListBox& list, QWidget* parent);
std::unique_ptr<ControlPeer> makeListViewPeer(const QtBackend& backend, ListView& list, QWidget* parent);

}  // namespace forms::qt
