#include "forms/qt/QtBackend.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "forms/Controls.h"
#include "forms/ListView.h"

namespace forms::qt {
namespace {

QtBackend* theBackend = nullptr;

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

// --- Keys and mouse --------------------------------------------------------------------------------

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

// Runs a key stroke through the form; answers whether the widget must not see the key. When a
// KeyPress handler changed the character, the model applies it to a text box itself.
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

// --- Forms -------------------------------------------------------------------------------------------

class FormWindow final : public QWidget {
 public:
  FormWindow(Form& form, Qt::WindowFlags flags) : QWidget(nullptr, flags), form_(&form) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    client = new QWidget(this);
    client->setAutoFillBackground(true);
  }
  QWidget* client;
  bool bordered = false;
  // The window outlives its form by a deferred delete: from then on its events go nowhere.
  void detach() { form_ = nullptr; }

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    // The model decides; unloading destroys the peer, which hides this window and deletes it later.
    if (form_ != nullptr) guarded([&] { form_->Unload(UnloadMode::CloseBox); });
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (form_ == nullptr || !guarded([&] { return routeKey(*form_, nullptr, *e); }))
      QWidget::keyPressEvent(e);
  }
  void mousePressEvent(QMouseEvent* e) override {
    guarded([&] { report(e, true); });
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    guarded([&] { report(e, false); });
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
    const Twips x = theBackend->twipsX(at.x());
    const Twips y = theBackend->twipsY(at.y());
    if (down) {
      form_->mouseDown(buttonOf(e->button()), shiftStateOf(e->modifiers()), x, y);
    } else {
      form_->mouseUp(buttonOf(e->button()), shiftStateOf(e->modifiers()), x, y);
    }
  }
  Form* form_;
};

class QtFormPeer final : public FormPeer {
 public:
  explicit QtFormPeer(Form& form) : form_(form) {
    const bool titled = form.TitleBar();
    Qt::WindowFlags flags = Qt::Window;
    if (!titled) flags |= Qt::FramelessWindowHint;
    window_ = new FormWindow(form, flags);
    window_->setFont(theBackend->qfont(form.font()));
    sync(Property::Style);
    sync(Property::Caption);
    sync(Property::Geometry);
  }
  ~QtFormPeer() override {
    if (modalLoop != nullptr) modalLoop->quit();
    if (window_) {
      window_->detach();
      window_->hide();
      window_->deleteLater();
    }
  }

  void sync(Property what) override {
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
        window_->setFont(theBackend->qfont(form_.font()));
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

  void unloading() override { unloading_ = true; }
  QWidget* client() const { return window_ ? window_->client : nullptr; }
  QWidget* window() const { return window_; }
  QEventLoop* modalLoop = nullptr;

 private:
  void place() {
    const QtBackend& b = *theBackend;
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

  Form& form_;
  QPointer<FormWindow> window_;
};

// --- Controls --------------------------------------------------------------------------------------

class QtControlPeer;

// Feeds a widget's focus, key and mouse events to the model.
class EventBridge final : public QObject {
 public:
  EventBridge(Control& control, QWidget* mouseSurface) : control_(control), mouseSurface_(mouseSurface) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool handle(QObject* watched, QEvent* event);
  Twips xOf(QObject* watched, const QMouseEvent& e) const;
  Twips yOf(QObject* watched, const QMouseEvent& e) const;
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
    case QEvent::KeyPress:
      return routeKey(form, &control_, static_cast<QKeyEvent&>(*event));
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
  return theBackend->twipsX(mouseSurface_->mapFrom(w->window(), w->mapTo(w->window(), e.position())).x());
}

Twips EventBridge::yOf(QObject* watched, const QMouseEvent& e) const {
  auto* w = static_cast<QWidget*>(watched);
  return theBackend->twipsY(mouseSurface_->mapFrom(w->window(), w->mapTo(w->window(), e.position())).y());
}

QtFormPeer* formPeerOf(const Form& form) {
  return static_cast<QtFormPeer*>(form.peer());
}

QWidget* parentWidgetOf(const Control& control) {
  if (Control* container = control.Container()) return widgetOf(*container);
  QtFormPeer* peer = formPeerOf(control.form());
  return peer ? peer->client() : nullptr;
}

class QtControlPeer : public ControlPeer {
 public:
  QtControlPeer(Control& control, QWidget* widget) : control_(control), widget_(widget) {
    bridge_ = std::make_unique<EventBridge>(control, widget);
    widget->installEventFilter(bridge_.get());
    // A control in the form's font inherits it from the window.
    if (!(control.font() == control.form().font())) widget->setFont(theBackend->qfont(control.font()));
  }
  ~QtControlPeer() override {
    if (!widget_) return;
    widget_->removeEventFilter(bridge_.get());
    // When the whole form goes, its window takes the widgets with it.
    const FormPeer* formPeer = control_.form().peer();
    if (formPeer != nullptr && formPeer->isUnloading()) return;
    widget_->hide();
    widget_->deleteLater();
  }
  void sync(Property what) override {
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
        widget_->setFont(theBackend->qfont(control_.font()));
        break;
      case Property::ZOrder:
        if (control_.zOrder() >= 0) {
          widget_->raise();
        } else {
          widget_->lower();
        }
        break;
      case Property::Focus:
        widget_->setFocus(Qt::OtherFocusReason);
        break;
      default:
        syncOwn(what);
        break;
    }
  }
  QWidget* widget() const { return widget_; }

 protected:
  // Receiver of the widget's signals: the connections end with the peer, not with the widget,
  // which is only deleted later.
  QObject context_;
  // Applies everything once the widget exists (the model may have been set up before loading).
  void syncAll() {
    for (Property p : {Property::Geometry, Property::Enabled, Property::Text, Property::Caption,
                       Property::Colors, Property::Style, Property::Items, Property::Columns,
                       Property::Selection, Property::Scroll, Property::Timer, Property::Visible})
      sync(p);
  }
  virtual void syncOwn(Property) {}
  void watch(QWidget* other) { other->installEventFilter(bridge_.get()); }
  Control& control_;
  QPointer<QWidget> widget_;

 private:
  void place() {
    const QtBackend& b = *theBackend;
    widget_->setGeometry(b.pixelsX(control_.Left()), b.pixelsY(control_.Top()),
                         std::max(1, b.pixelsX(control_.Width())), std::max(1, b.pixelsY(control_.Height())));
  }
  std::unique_ptr<EventBridge> bridge_;
};

class LabelPeer final : public QtControlPeer {
 public:
  LabelPeer(Label& label, QWidget* parent) : QtControlPeer(label, new QLabel(parent)), label_(label) {
    syncAll();
  }
  void syncOwn(Property what) override {
    auto* w = static_cast<QLabel*>(widget_.data());
    if (what == Property::Caption) w->setText(toQString(label_.Caption()));
    if (what == Property::Style) {
      const Qt::Alignment h = label_.alignment() == Alignment::Right    ? Qt::AlignRight
                              : label_.alignment() == Alignment::Center ? Qt::AlignHCenter
                                                                        : Qt::AlignLeft;
      w->setAlignment(h | Qt::AlignTop);
      w->setWordWrap(label_.WordWrap());
      w->setTextFormat(Qt::PlainText);
    }
    if (what == Property::Colors) {
      // The default colours are the window's own: nothing to paint differently.
      const bool plain = label_.ForeColor() == colors::Black && label_.BackColor() == colors::ButtonFace;
      if (plain && !w->autoFillBackground()) return;
      w->setAutoFillBackground(!plain);
      QPalette p = w->palette();
      p.setColor(QPalette::WindowText, colorOf(label_.ForeColor(), p));
      p.setColor(QPalette::Window, colorOf(label_.BackColor(), p));
      w->setPalette(p);
    }
  }

 private:
  Label& label_;
};

class TextBoxPeer final : public QtControlPeer {
 public:
  TextBoxPeer(TextBox& box, QWidget* parent) : QtControlPeer(box, new QLineEdit(parent)), box_(box) {
    auto* w = static_cast<QLineEdit*>(widget_.data());
    QObject::connect(w, &QLineEdit::textEdited, &context_, [this, w](const QString& text) {
      guarded([&] { box_.userEdited(fromQString(text), static_cast<std::int32_t>(w->cursorPosition())); });
    });
    QObject::connect(w, &QLineEdit::cursorPositionChanged, &context_,
                     [this, w](int, int) { reportSelection(w); });
    QObject::connect(w, &QLineEdit::selectionChanged, &context_, [this, w] { reportSelection(w); });
    syncAll();
  }
  void syncOwn(Property what) override {
    auto* w = static_cast<QLineEdit*>(widget_.data());
    if (what == Property::Text) {
      const QString text = toQString(box_.Text());
      if (w->text() != text) {
        const QSignalBlocker block(w);
        w->setText(text);
      }
      what = Property::Selection;
    }
    if (what == Property::Selection) {
      const QSignalBlocker block(w);
      if (box_.SelLength() > 0) {
        w->setSelection(box_.SelStart(), box_.SelLength());
      } else if (w->hasSelectedText() || w->cursorPosition() != box_.SelStart()) {
        w->setCursorPosition(box_.SelStart());
      }
    }
    if (what == Property::Style) w->setToolTip(toQString(box_.ToolTipText()));
  }

 private:
  void reportSelection(QLineEdit* w) {
    if (w->hasSelectedText()) {
      box_.userSelected(static_cast<std::int32_t>(w->selectionStart()),
                        static_cast<std::int32_t>(w->selectionLength()));
    } else {
      box_.userSelected(static_cast<std::int32_t>(w->cursorPosition()), 0);
    }
  }
  TextBox& box_;
};

class ButtonPeer final : public QtControlPeer {
 public:
  ButtonPeer(CommandButton& button, QWidget* parent)
      : QtControlPeer(button, new QPushButton(parent)), button_(button) {
    auto* w = static_cast<QPushButton*>(widget_.data());
    w->setAutoDefault(false);
    QObject::connect(w, &QPushButton::clicked, &context_, [this] { guarded([&] { button_.press(); }); });
    syncAll();
  }
  void syncOwn(Property what) override {
    if (what == Property::Caption)
      static_cast<QPushButton*>(widget_.data())->setText(toQString(button_.Caption()));
  }

 private:
  CommandButton& button_;
};

class ListBoxPeer final : public QtControlPeer {
 public:
  ListBoxPeer(ListBox& list, QWidget* parent) : QtControlPeer(list, new QListWidget(parent)), list_(list) {
    auto* w = static_cast<QListWidget*>(widget_.data());
    watch(w->viewport());
    QObject::connect(w, &QListWidget::currentRowChanged, &context_, [this](int row) {
      if (row != list_.ListIndex() && row < list_.ListCount()) guarded([&] { list_.setListIndex(row); });
    });
    QObject::connect(w, &QListWidget::itemDoubleClicked, &context_, [this](QListWidgetItem*) {
      if (list_.DblClick) guarded([&] { list_.DblClick(); });
    });
    syncAll();
  }
  void syncOwn(Property what) override {
    if (what == Property::Items) {
      // Lists are filled one entry at a time: rebuild the widget once, when the loop next runs.
      if (!pending_) {
        pending_ = true;
        QTimer::singleShot(0, &guard_, [this] { flush(); });
      }
    } else if (what == Property::Selection) {
      flush();
    }
  }
  void flush() {
    auto* w = static_cast<QListWidget*>(widget_.data());
    if (w == nullptr) return;
    const QSignalBlocker block(w);
    if (pending_) {
      pending_ = false;
      w->clear();
      QStringList texts;
      texts.reserve(list_.ListCount());
      for (const auto& item : list_.items()) texts.push_back(toQString(item));
      w->addItems(texts);
    }
    w->setCurrentRow(list_.ListIndex());
  }

 private:
  ListBox& list_;
  QObject guard_;  // deferred rebuilds die with the peer
  bool pending_ = false;
};

class ScrollBarPeer final : public QtControlPeer {
 public:
  ScrollBarPeer(VScrollBar& bar, QWidget* parent)
      : QtControlPeer(bar, new QScrollBar(Qt::Vertical, parent)), bar_(bar) {
    auto* w = static_cast<QScrollBar*>(widget_.data());
    QObject::connect(w, &QScrollBar::valueChanged, &context_, [this](int v) {
      if (v != bar_.Value()) guarded([&] { bar_.setValue(v); });
    });
    syncAll();
  }
  void syncOwn(Property what) override {
    if (what != Property::Scroll) return;
    auto* w = static_cast<QScrollBar*>(widget_.data());
    const QSignalBlocker block(w);
    w->setRange(std::min(bar_.Min(), bar_.Max()), std::max(bar_.Min(), bar_.Max()));
    w->setInvertedAppearance(bar_.Min() > bar_.Max());
    w->setSingleStep(bar_.SmallChange());
    w->setPageStep(bar_.LargeChange());
    w->setValue(bar_.Value());
  }

 private:
  VScrollBar& bar_;
};

class PicturePeer final : public QtControlPeer {
 public:
  PicturePeer(PictureBox& pic, QWidget* parent) : QtControlPeer(pic, new QFrame(parent)), pic_(pic) {
    widget_->setAutoFillBackground(true);
    syncAll();
  }
  void syncOwn(Property what) override {
    if (what == Property::Style) {
      static_cast<QFrame*>(widget_.data())
          ->setFrameStyle(pic_.Border() ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame);
    }
  }

 private:
  PictureBox& pic_;
};

class LineWidget final : public QWidget {
 public:
  LineWidget(Line& line, QWidget* parent) : QWidget(parent), line_(line) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(colorOf(line_.BorderColor(), palette()));
    const QtBackend& b = *theBackend;
    const Twips left = std::min(line_.X1(), line_.X2());
    const Twips top = std::min(line_.Y1(), line_.Y2());
    p.drawLine(b.pixelsX(line_.X1() - left), b.pixelsY(line_.Y1() - top), b.pixelsX(line_.X2() - left),
               b.pixelsY(line_.Y2() - top));
  }

 private:
  Line& line_;
};

class LinePeer final : public QtControlPeer {
 public:
  LinePeer(Line& line, QWidget* parent) : QtControlPeer(line, new LineWidget(line, parent)) { syncAll(); }
  void syncOwn(Property) override { widget_->update(); }
};

class TimerPeer final : public ControlPeer {
 public:
  explicit TimerPeer(Timer& timer) : timer_(timer) {
    QObject::connect(&qtimer_, &QTimer::timeout, &qtimer_, [this] { guarded([&] { timer_.tick(); }); });
    sync(Property::Timer);
  }
  void sync(Property what) override {
    if (what != Property::Timer) return;
    if (timer_.running()) {
      qtimer_.start(timer_.Interval());
    } else {
      qtimer_.stop();
    }
  }

 private:
  Timer& timer_;
  QTimer qtimer_;
};

// The list view's rows, read straight from the model's vectors (no copies per row).
class ListViewModel final : public QAbstractTableModel {
 public:
  explicit ListViewModel(ListView& list) : list_(list) {}
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : list_.itemCount(); }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : std::max(1, list_.columnCount());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (index.row() >= list_.itemCount()) return {};
    if (role == Qt::SizeHintRole) return QSize(-1, theBackend->pixelsY(list_.rowHeight()));
    if (role != Qt::DisplayRole) return {};
    const auto& item = list_.items()[static_cast<std::size_t>(index.row())];
    if (index.column() == 0) return toQString(item.text);
    const auto k = static_cast<std::size_t>(index.column() - 1);
    return k < item.subItems.size() ? toQString(item.subItems[k]) : QString();
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= list_.columnCount()) return {};
    return toQString(list_.column(section).text);
  }
  void reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  ListView& list_;
};

class ListViewPeer final : public QtControlPeer {
 public:
  ListViewPeer(ListView& list, QWidget* parent)
      : QtControlPeer(list, new QTreeView(parent)), list_(list), model_(list) {
    auto* view = static_cast<QTreeView*>(widget_.data());
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->header()->setStretchLastSection(false);
    view->setModel(&model_);
    watch(view->viewport());
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, &context_,
                     [this](const QModelIndex& current, const QModelIndex&) {
                       // The view may still show rows the model has dropped: those select nothing.
                       if (current.isValid() && current.row() < list_.itemCount() &&
                           current.row() != list_.selectedIndex()) {
                         syncing_ = true;
                         guarded([&] { list_.select(current.row()); });
                         syncing_ = false;
                       }
                     });
    syncAll();
  }
  void syncOwn(Property what) override {
    auto* view = static_cast<QTreeView*>(widget_.data());
    switch (what) {
      case Property::Items:
        // Many rows are added one by one: refresh the view once, when the event loop next runs.
        if (!resetPending_) {
          resetPending_ = true;
          QTimer::singleShot(0, &guard_, [this] { flush(); });
        }
        break;
      case Property::Columns:
        flush();
        for (int i = 0; i < list_.columnCount(); ++i)
          view->header()->resizeSection(i, theBackend->pixelsX(list_.column(i).width));
        break;
      case Property::Style:
        view->setHeaderHidden(list_.HideColumnHeaders());
        view->setSelectionBehavior(list_.FullRowSelect() ? QAbstractItemView::SelectRows
                                                         : QAbstractItemView::SelectItems);
        view->setAlternatingRowColors(list_.GridLines());
        break;
      case Property::Selection:
        if (!syncing_) {
          flush();
          const int row = list_.selectedIndex();
          const QSignalBlocker block(view->selectionModel());
          if (row < 0) {
            view->selectionModel()->clearSelection();
          } else {
            view->setCurrentIndex(model_.index(row, 0));
          }
        }
        break;
      case Property::Scroll:
        flush();
        if (list_.itemCount() > 0)
          view->scrollTo(model_.index(list_.topIndex(), 0), QAbstractItemView::PositionAtTop);
        break;
      default:
        break;
    }
  }
  void flush() {
    if (!widget_) return;
    resetPending_ = false;
    model_.reset();
    auto* view = static_cast<QTreeView*>(widget_.data());
    for (int i = 0; i < list_.columnCount(); ++i)
      view->header()->resizeSection(i, theBackend->pixelsX(list_.column(i).width));
    const int row = list_.selectedIndex();
    if (row >= 0) {
      const QSignalBlocker block(view->selectionModel());
      view->setCurrentIndex(model_.index(row, 0));
    }
  }
  void syncFontDependent() { flush(); }

 private:
  ListView& list_;
  ListViewModel model_;
  QObject guard_;  // deferred refreshes die with the peer
  bool resetPending_ = false;
  bool syncing_ = false;
};

}  // namespace

// --- The backend -------------------------------------------------------------------------------------

QtBackend::QtBackend() {
  if (QApplication::instance() == nullptr) {
    throw std::logic_error("the Qt backend needs a QApplication");
  }
  theBackend = this;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    twipsPerPixelX_ = 1440.0 / screen->logicalDotsPerInchX();
    twipsPerPixelY_ = 1440.0 / screen->logicalDotsPerInchY();
  }
  for (const QString& candidate : {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                                   QStringLiteral("Noto Sans SC"), QStringLiteral("AR PL UMing CN")}) {
    if (QFontDatabase::hasFamily(candidate)) {
      cjkFamily_ = candidate;
      break;
    }
  }
}

QtBackend::~QtBackend() {
  if (theBackend == this) theBackend = nullptr;
}

std::unique_ptr<FormPeer> QtBackend::createFormPeer(Form& form) {
  return std::make_unique<QtFormPeer>(form);
}

std::unique_ptr<ControlPeer> QtBackend::createControlPeer(Control& control) {
  if (control.kind() == ControlKind::Timer) return std::make_unique<TimerPeer>(static_cast<Timer&>(control));
  if (control.kind() == ControlKind::Menu) return nullptr;  // built when it pops up
  QWidget* parent = parentWidgetOf(control);
  if (parent == nullptr) return nullptr;
  switch (control.kind()) {
    case ControlKind::Label:
      return std::make_unique<LabelPeer>(static_cast<Label&>(control), parent);
    case ControlKind::TextBox:
      return std::make_unique<TextBoxPeer>(static_cast<TextBox&>(control), parent);
    case ControlKind::CommandButton:
      return std::make_unique<ButtonPeer>(static_cast<CommandButton&>(control), parent);
    case ControlKind::ListBox:
      return std::make_unique<ListBoxPeer>(static_cast<ListBox&>(control), parent);
    case ControlKind::ListView:
      return std::make_unique<ListViewPeer>(static_cast<ListView&>(control), parent);
    case ControlKind::VScrollBar:
      return std::make_unique<ScrollBarPeer>(static_cast<VScrollBar&>(control), parent);
    case ControlKind::PictureBox:
      return std::make_unique<PicturePeer>(static_cast<PictureBox&>(control), parent);
    case ControlKind::Line:
      return std::make_unique<LinePeer>(static_cast<Line&>(control), parent);
    default:
      return nullptr;
  }
}

void QtBackend::runModal(Form& form) {
  auto* peer = formPeerOf(form);
  if (peer == nullptr) return;
  QEventLoop loop;
  peer->modalLoop = &loop;
  peer->sync(Property::Visible);  // now with application modality
  while (form.isLoaded() && form.Visible()) loop.exec(QEventLoop::DialogExec);
  if (auto* still = formPeerOf(form)) still->modalLoop = nullptr;
}

void QtBackend::popupMenu(Form& form, Menu& menu, Twips x, Twips y) {
  auto* peer = formPeerOf(form);
  QMenu popup;
  popup.setFont(qfont(form.font()));
  std::vector<std::pair<QAction*, Menu*>> actions;
  for (Menu* entry : menu.entries()) {
    if (!entry->Visible()) continue;
    if (entry->isSeparator()) {
      popup.addSeparator();
      continue;
    }
    QAction* action = popup.addAction(toQString(entry->Caption()));
    action->setEnabled(entry->Enabled());
    actions.emplace_back(action, entry);
  }
  const QPoint at =
      peer && peer->client() ? peer->client()->mapToGlobal(QPoint(pixelsX(x), pixelsY(y))) : QCursor::pos();
  QAction* chosen = popup.exec(at);
  for (const auto& [action, entry] : actions) {
    if (action == chosen) entry->choose();
  }
}

void QtBackend::messageBox(const std::u16string& text, const std::u16string& title, MessageIcon icon) {
  const QMessageBox::Icon qicon = icon == MessageIcon::Warning       ? QMessageBox::Warning
                                  : icon == MessageIcon::Information ? QMessageBox::Information
                                  : icon == MessageIcon::Error       ? QMessageBox::Critical
                                                                     : QMessageBox::NoIcon;
  QMessageBox box(qicon, toQString(title), toQString(text), QMessageBox::Ok);
  box.setFont(qfont(Font{}));
  box.exec();
}

void QtBackend::beep() {
  QApplication::beep();
}

Point QtBackend::cursorPos() const {
  const QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

bool QtBackend::isKeyDown(int virtualKey) const {
  const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  switch (virtualKey) {
    case keys::Shift:
      return m.testFlag(Qt::ShiftModifier);
    case keys::Control:
      return m.testFlag(Qt::ControlModifier);
    case keys::Menu:
      return m.testFlag(Qt::AltModifier);
    default:
      return false;
  }
}

bool QtBackend::isRemoteSession() const {
  return std::getenv("SSH_CONNECTION") != nullptr || std::getenv("XRDP_SESSION") != nullptr;
}

double QtBackend::screenWidth() const {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() * twipsPerPixelX_ : 1920 * twipsPerPixelX_;
}

double QtBackend::screenHeight() const {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() * twipsPerPixelY_ : 1080 * twipsPerPixelY_;
}

int QtBackend::pixelsX(Twips t) const {
  return static_cast<int>(std::lround(t / twipsPerPixelX_));
}
int QtBackend::pixelsY(Twips t) const {
  return static_cast<int>(std::lround(t / twipsPerPixelY_));
}

QFont QtBackend::qfont(const Font& font) const {
  for (const auto& [key, f] : fonts_) {
    if (key == font) return f;
  }
  QString family = toQString(font.name);
  if ((family == QStringLiteral("宋体") || family == QStringLiteral("新宋体") ||
       family.compare(QStringLiteral("SimSun"), Qt::CaseInsensitive) == 0) &&
      !cjkFamily_.isEmpty()) {
    family = cjkFamily_;
  }
  QFont f(family);
  f.setPointSizeF(font.size);
  f.setWeight(font.weight >= 600 ? QFont::Bold : QFont::Normal);
  f.setItalic(font.italic);
  fonts_.emplace_back(font, f);
  return f;
}

const QFontMetricsF& QtBackend::metrics(const Font& font) const {
  for (auto& [key, m] : metrics_) {
    if (key == font) return *m;
  }
  metrics_.emplace_back(font, std::make_unique<QFontMetricsF>(qfont(font)));
  return *metrics_.back().second;
}

double QtBackend::textWidth(const Font& font, std::u16string_view text) const {
  return metrics(font).horizontalAdvance(toQString(text)) * twipsPerPixelX_;
}

double QtBackend::lineHeight(const Font& font) const {
  return std::ceil(metrics(font).height()) * twipsPerPixelY_;
}

double QtBackend::rowHeight(const Font& font) const {
  return std::ceil(metrics(font).height() + 4) * twipsPerPixelY_;
}

QWidget* widgetOf(const Control& control) {
  auto* peer = dynamic_cast<QtControlPeer*>(control.peer());
  return peer ? peer->widget() : nullptr;
}

QWidget* windowOf(const Form& form) {
  auto* peer = dynamic_cast<QtFormPeer*>(form.peer());
  return peer ? peer->window() : nullptr;
}

}  // namespace forms::qt
