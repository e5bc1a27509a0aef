// A form's top-level window and its peer: the client area, the frame, activation, and the loop
// of a modal run.
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QWidget>

#include "forms/qt/Peers.h"

namespace forms::qt {

class FormWindow final : public QWidget {
 public:
  FormWindow(const QtBackend& backend, Form& form, Qt::WindowFlags flags)
      : QWidget(nullptr, flags), backend_(backend), form_(&form) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Dialogs are driven by the keyboard: the focused control always shows its focus frame, also
    // when the focus was set by code (a form's own Tab, the focus after a lookup or a warning).
    setAttribute(Qt::WA_KeyboardFocusChange, true);
    client = new QWidget(this);
    client->setAutoFillBackground(true);
  }
  QWidget* client;
  bool bordered = false;
  bool placing = false;  // the form itself is placing the window
  // The window outlives its form by a deferred delete: from then on its events go nowhere.
  void detach() { form_ = nullptr; }

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (form_ == nullptr) return;
    // The model decides; unloading destroys the peer, which hides this window and deletes it later.
    // Qt closes a popup when the user clicks outside it or leaves the application: for the form
    // that is its deactivation.
    if (windowType() == Qt::Popup) {
      guarded([&] { form_->deactivatedByUser(); });
    } else {
      guarded([&] { form_->Unload(UnloadMode::CloseBox); });
    }
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (form_ == nullptr || !guarded([&] { return routeKey(*form_, nullptr, *e); }))
      QWidget::keyPressEvent(e);
  }
  void mousePressEvent(QMouseEvent* e) override {
    // While a popup is up, Qt hands it the presses outside it too: those close it.
    if (windowType() == Qt::Popup && !rect().contains(e->position().toPoint())) {
      QWidget::mousePressEvent(e);
      return;
    }
    guarded([&] { report(e, true); });
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    guarded([&] { report(e, false); });
  }
  void moveEvent(QMoveEvent* e) override {
    QWidget::moveEvent(e);
    if (form_ == nullptr || placing) return;
    // Where the window really is, in the form's terms: the outer edge, a frame drawn by the window
    // manager or by the form itself included. Unchanged pixels keep the form's own twips.
    const QPoint outer = form_->TitleBar() ? geometry().topLeft() - QPoint(backend_.pixelsX(form_->frameLeft()),
                                                                              backend_.pixelsY(form_->frameTop()))
                                           : geometry().topLeft();
    if (outer.x() == backend_.pixelsX(form_->Left()) && outer.y() == backend_.pixelsY(form_->Top())) return;
    guarded([&] { form_->movedByUser(backend_.twipsX(outer.x()), backend_.twipsY(outer.y())); });
  }
  void changeEvent(QEvent* e) override {
    if (e->type() == QEvent::ActivationChange && form_ != nullptr) {
      guarded([&] {
        if (isActiveWindow()) {
          form_->activatedByUser();
        } else {
          form_->deactivatedByUser();
        }
      });
    }
    QWidget::changeEvent(e);
  }
  void paintEvent(QPaintEvent*) override {
    if (!bordered) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
  }

 private:
  void report(QMouseEvent* e, bool down) {
    if (form_ == nullptr) return;
    const QPointF at = client->mapFrom(this, e->position());
    const Twips x = backend_.twipsX(at.x());
    const Twips y = backend_.twipsY(at.y());
    if (down) {
      form_->mouseDown(buttonOf(e->button()), shiftStateOf(e->modifiers()), x, y);
    } else {
      form_->mouseUp(buttonOf(e->button()), shiftStateOf(e->modifiers()), x, y);
    }
  }
  const QtBackend& backend_;
  Form* form_;
};

QtFormPeer::QtFormPeer(const QtBackend& backend, Form& form) : backend_(backend), form_(form) {
  const bool titled = form.TitleBar();
  Qt::WindowFlags flags = form.popupWindow() ? Qt::Popup : Qt::Window;
  if (!titled) flags |= Qt::FramelessWindowHint;
  window_ = new FormWindow(backend_, form, flags);
  window_->setFont(backend_.qfont(form.font()));
  sync(Property::Style);
  sync(Property::Caption);
  sync(Property::Geometry);
}

QtFormPeer::~QtFormPeer() {
  if (modalLoop != nullptr) modalLoop->quit();
  if (window_) {
    window_->detach();
    window_->hide();
    window_->deleteLater();
  }
}

void QtFormPeer::sync(Property what) {
  if (!window_) return;
  switch (what) {
    case Property::Caption:
      window_->setWindowTitle(toQString(form_.Caption()));
      break;
    case Property::Style:
      window_->bordered = form_.borderStyle() != BorderStyle::None && !form_.TitleBar();
      window_->update();
      [[fallthrough]];
    case Property::Geometry:
      place();
      break;
    case Property::Font:
      window_->setFont(backend_.qfont(form_.font()));
      break;
    case Property::Visible:
      if (form_.Visible()) {
        const Qt::WindowModality modality = form_.isModal() ? Qt::ApplicationModal : Qt::NonModal;
        if (window_->windowModality() != modality) {
          // Qt applies a new modality when the window is shown.
          if (window_->isVisible()) window_->hide();
          window_->setWindowModality(modality);
        }
        window_->show();
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) window_->raise();
        window_->activateWindow();
      } else {
        window_->hide();
        if (modalLoop != nullptr) modalLoop->quit();
      }
      break;
    default:
      break;
  }
}

QWidget* QtFormPeer::client() const {
  return window_ ? window_->client : nullptr;
}

QWidget* QtFormPeer::window() const {
  return window_;
}

void QtFormPeer::place() {
  const QtBackend& b = backend_;
  window_->placing = true;
  const auto done = qScopeGuard([this] { window_->placing = false; });
  const int fl = b.pixelsX(form_.frameLeft());
  const int ft = b.pixelsY(form_.frameTop());
  const QRect outer(b.pixelsX(form_.Left()), b.pixelsY(form_.Top()), b.pixelsX(form_.Width()),
                    b.pixelsY(form_.Height()));
  if (form_.TitleBar()) {
    // The window manager draws the frame: Qt places the client area.
    window_->setGeometry(outer.x() + fl, outer.y() + ft, b.pixelsX(form_.ScaleWidth()),
                         b.pixelsY(form_.ScaleHeight()));
    window_->client->setGeometry(0, 0, b.pixelsX(form_.ScaleWidth()), b.pixelsY(form_.ScaleHeight()));
  } else {
    window_->setGeometry(outer);
    window_->client->setGeometry(fl, ft, b.pixelsX(form_.ScaleWidth()), b.pixelsY(form_.ScaleHeight()));
  }
}

void runModalLoop(Form& form) {
  auto* peer = formPeerOf(form);
  if (peer == nullptr) return;
  QEventLoop loop;
  peer->modalLoop = &loop;
  peer->sync(Property::Visible);  // now with application modality
  // Unloading the form destroys its peer: ask the form again afterwards.
  while (form.isLoaded() && form.Visible()) loop.exec(QEventLoop::DialogExec);
  if (auto* still = formPeerOf(form)) still->modalLoop = nullptr;
}

QWidget* windowOf(const Form& form) {
  auto* peer = dynamic_cast<QtFormPeer*>(form.peer());
  return peer ? peer->window() : nullptr;
}

}  // namespace forms::qt
