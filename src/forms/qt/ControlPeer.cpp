// What every control's peer shares: the translation of Qt's keys, mouse buttons and colours, the
// bridge that feeds a widget's events to the model, and the placement of the widget.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>

#include "forms/qt/Peers.h"

namespace forms::qt {

// --- Keys, mouse and colours ---------------------------------------------------------------------

int virtualKeyOf(const QKeyEvent& e) {
  const int k = e.key();
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return 'A' + (k - Qt::Key_A);
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return '0' + (k - Qt::Key_0);
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return keys::Return;
    case Qt::Key_Escape:
      return keys::Escape;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return keys::Tab;
    case Qt::Key_Backspace:
      return keys::Back;
    case Qt::Key_Delete:
      return keys::Delete;
    case Qt::Key_Left:
      return keys::Left;
    case Qt::Key_Up:
      return keys::Up;
    case Qt::Key_Right:
      return keys::Right;
    case Qt::Key_Down:
      return keys::Down;
    case Qt::Key_Home:
      return keys::Home;
    case Qt::Key_End:
      return keys::End;
    case Qt::Key_Space:
      return keys::Space;
    case Qt::Key_Shift:
      return keys::Shift;
    case Qt::Key_Control:
      return keys::Control;
    case Qt::Key_Alt:
      return keys::Menu;
    default:
      return e.text().isEmpty() ? 0 : 229;
  }
}

int shiftStateOf(Qt::KeyboardModifiers m) {
  return (m.testFlag(Qt::ShiftModifier) ? shift::Shift : 0) |
         (m.testFlag(Qt::ControlModifier) ? shift::Ctrl : 0) | (m.testFlag(Qt::AltModifier) ? shift::Alt : 0);
}

int buttonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton:
      return mouse::Left;
    case Qt::RightButton:
      return mouse::Right;
    case Qt::MiddleButton:
      return mouse::Middle;
    default:
      return 0;
  }
}

QColor colorOf(Color c, const QPalette& palette) {
  switch (c) {
    case colors::WindowBackground:
      return palette.color(QPalette::Base);
    case colors::WindowText:
      return palette.color(QPalette::Text);
    case colors::ButtonFace:
      return palette.color(QPalette::Window);
    default:
      return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  }
}

bool routeKey(Form& form, Control* control, QKeyEvent& e) {
  const int vk = virtualKeyOf(e);
  if (vk == 0) return false;
  char16_t ch = e.text().isEmpty() ? 0 : static_cast<char16_t>(e.text().at(0).unicode());
  const char16_t typed = ch;
  int state = shiftStateOf(e.modifiers());
  if (e.key() == Qt::Key_Backtab) state |= shift::Shift;
  if (form.keyStroke(vk, state, ch)) return true;
  if (ch != typed && control != nullptr && control->kind() == ControlKind::TextBox) {
    static_cast<TextBox*>(control)->applyTypedChar(ch);
    return true;
  }
  return false;
}

// --- The event bridge ----------------------------------------------------------------------------

// Feeds a widget's focus, key and mouse events to the model.
class EventBridge final : public QObject {
 public:
  EventBridge(const QtBackend& backend, Control& control, QWidget* mouseSurface)
      : backend_(backend), control_(control), mouseSurface_(mouseSurface) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool handle(QObject* watched, QEvent* event);
  Twips xOf(QObject* watched, const QMouseEvent& e) const;
  Twips yOf(QObject* watched, const QMouseEvent& e) const;
  const QtBackend& backend_;
  Control& control_;
  QWidget* mouseSurface_;
  bool afterDoubleClick_ = false;
};

bool EventBridge::eventFilter(QObject* watched, QEvent* event) {
  return guarded([&] { return handle(watched, event); });
}

bool EventBridge::handle(QObject* watched, QEvent* event) {
  Form& form = control_.form();
  switch (event->type()) {
    case QEvent::FocusIn:
      if (control_.focusable() && form.ActiveControl() != &control_) form.focusChangedByUser(&control_);
      return false;
    case QEvent::KeyPress: {
      auto& key = static_cast<QKeyEvent&>(*event);
      if (routeKey(form, &control_, key)) return true;
      // The widget has the key now. What it leaves must not go up to the window, which would
      // route it through the form a second time.
      watched->event(event);
      key.accept();
      return true;
    }
    case QEvent::MouseButtonPress: {
      auto& e = static_cast<QMouseEvent&>(*event);
      if (control_.MouseDown)
        control_.MouseDown(buttonOf(e.button()), shiftStateOf(e.modifiers()), xOf(watched, e),
                           yOf(watched, e));
      return false;
    }
    case QEvent::MouseButtonRelease: {
      auto& e = static_cast<QMouseEvent&>(*event);
      if (control_.MouseUp)
        control_.MouseUp(buttonOf(e.button()), shiftStateOf(e.modifiers()), xOf(watched, e), yOf(watched, e));
      const bool clicked = e.button() == Qt::LeftButton && !afterDoubleClick_;
      afterDoubleClick_ = false;
      const bool ownClick =
          control_.kind() == ControlKind::CommandButton || control_.kind() == ControlKind::ListBox;
      if (clicked && !ownClick && control_.Click) control_.Click();
      return false;
    }
    case QEvent::MouseButtonDblClick: {
      afterDoubleClick_ = true;
      if (control_.kind() != ControlKind::ListBox && control_.DblClick) control_.DblClick();
      return false;
    }
    default:
      return false;
  }
}

Twips EventBridge::xOf(QObject* watched, const QMouseEvent& e) const {
  auto* w = static_cast<QWidget*>(watched);
  return backend_.twipsX(mouseSurface_->mapFrom(w->window(), w->mapTo(w->window(), e.position())).x());
}

Twips EventBridge::yOf(QObject* watched, const QMouseEvent& e) const {
  auto* w = static_cast<QWidget*>(watched);
  return backend_.twipsY(mouseSurface_->mapFrom(w->window(), w->mapTo(w->window(), e.position())).y());
}

// --- The control's peer --------------------------------------------------------------------------

QtControlPeer::QtControlPeer(const QtBackend& backend, Control& control, QWidget* widget)
    : backend_(backend), control_(control), widget_(widget) {
  bridge_ = std::make_unique<EventBridge>(backend, control, widget);
  widget->installEventFilter(bridge_.get());
  // A control in the form's font inherits it from the window.
  if (!(control.font() == control.form().font())) widget->setFont(backend_.qfont(control.font()));
}

QtControlPeer::~QtControlPeer() {
  if (!widget_) return;
  widget_->removeEventFilter(bridge_.get());
  // When the whole form goes, its window takes the widgets with it.
  const FormPeer* formPeer = control_.form().peer();
  if (formPeer != nullptr && formPeer->isUnloading()) return;
  widget_->hide();
  widget_->deleteLater();
}

void QtControlPeer::sync(Property what) {
  if (!widget_) return;
  switch (what) {
    case Property::Geometry:
      place();
      break;
    case Property::Visible:
      if (widget_->isVisibleTo(widget_->parentWidget()) != control_.Visible())
        widget_->setVisible(control_.Visible());
      break;
    case Property::Enabled:
      if (widget_->isEnabled() != control_.Enabled()) widget_->setEnabled(control_.Enabled());
      break;
    case Property::Font:
      widget_->setFont(backend_.qfont(control_.font()));
      place();  // a peer may size its widget by its font
      break;
    case Property::ZOrder:
      if (control_.zOrder() >= 0) {
        widget_->raise();
      } else {
        widget_->lower();
      }
      break;
    case Property::Focus:
      // Focus set by code shows its frame as focus reached by Tab does; a Tab reason would also
      // select a text box's whole text, which the dialogs decide themselves.
      widget_->window()->setAttribute(Qt::WA_KeyboardFocusChange, true);
      widget_->setFocus(Qt::OtherFocusReason);
      widget_->update();
      break;
    default:
      syncOwn(what);
      break;
  }
}

void QtControlPeer::syncAll() {
  for (Property p : {Property::Geometry, Property::Enabled, Property::Text, Property::Caption,
                     Property::Colors, Property::Style, Property::Items, Property::Columns,
                     Property::Selection, Property::Scroll, Property::Timer, Property::Visible})
    sync(p);
}

void QtControlPeer::watch(QWidget* other) {
  other->installEventFilter(bridge_.get());
}

void QtControlPeer::place() {
  const QtBackend& b = backend_;
  widget_->setGeometry(placed(QRect(b.pixelsX(control_.Left()), b.pixelsY(control_.Top()),
                                    std::max(1, b.pixelsX(control_.Width())),
                                    std::max(1, b.pixelsY(control_.Height())))));
}

QWidget* parentWidgetOf(const Control& control) {
  if (Control* container = control.Container()) return widgetOf(*container);
  QtFormPeer* peer = formPeerOf(control.form());
  return peer ? peer->client() : nullptr;
}

QWidget* widgetOf(const Control& control) {
  auto* peer = dynamic_cast<QtControlPeer*>(control.peer());
  return peer ? peer->widget() : nullptr;
}

}  // namespace forms::qt
