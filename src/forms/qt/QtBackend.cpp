// The backend itself: it makes the peers, handing each this backend, and provides the platform
// services (message boxes, beeps, screen and text metrics, cursor and key state) through Qt.
#include "forms/qt/QtBackend.h"

#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "forms/qt/Peers.h"

namespace forms::qt {

QtBackend::QtBackend() {
  if (QApplication::instance() == nullptr) {
    throw std::logic_error("the Qt backend needs a QApplication");
  }
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

QtBackend::~QtBackend() = default;

std::unique_ptr<FormPeer> QtBackend::createFormPeer(Form& form) {
  return std::make_unique<QtFormPeer>(*this, form);
}

std::unique_ptr<ControlPeer> QtBackend::createControlPeer(Control& control) {
  if (control.kind() == ControlKind::Timer) return makeTimerPeer(static_cast<Timer&>(control));
  if (control.kind() == ControlKind::Menu) return nullptr;  // built when it pops up
  QWidget* parent = parentWidgetOf(control);
  if (parent == nullptr) return nullptr;
  switch (control.kind()) {
    case ControlKind::Label:
      return makeLabelPeer(*this, static_cast<Label&>(control), parent);
    case ControlKind::TextBox:
      return makeTextBoxPeer(*this, static_cast<TextBox&>(control), parent);
    case ControlKind::CommandButton:
      return makeButtonPeer(*this, static_cast<CommandButton&>(control), parent);
    case ControlKind::ListBox:
      return makeListBoxPeer(*this, static_cast<ListBox&>(control), parent);
    case ControlKind::ListView:
      return makeListViewPeer(*this, static_cast<ListView&>(control), parent);
    case ControlKind::VScrollBar:
      return makeScrollBarPeer(*this, static_cast<VScrollBar&>(control), parent);
    case ControlKind::PictureBox:
      return makePicturePeer(*this, static_cast<PictureBox&>(control), parent);
    case ControlKind::Line:
      return makeLinePeer(*this, static_cast<Line&>(control), parent);
    default:
      return nullptr;
  }
}

void QtBackend::runModal(Form& form) {
  runModalLoop(form);
}

void QtBackend::popupMenu(Form& form, Menu& menu, Twips x, Twips y) {
  popUpMenu(*this, form, menu, x, y);
}

void QtBackend::popupMenuAtCursor(Form& form, Menu& menu) {
  popUpMenuAt(*this, form, menu, QCursor::pos());
}

void QtBackend::messageBox(const std::u16string& text, const std::u16string& title, MessageIcon icon) {
  const QMessageBox::Icon qicon = icon == MessageIcon::Warning       ? QMessageBox::Warning
                                  : icon == MessageIcon::Information ? QMessageBox::Information
                                  : icon == MessageIcon::Error       ? QMessageBox::Critical
                                                                     : QMessageBox::NoIcon;
  QMessageBox box(qicon, toQString(title), toQString(text), QMessageBox::Ok);
  box.setFont(qfont(Font{}));
  // The keyboard goes back to the dialog the message interrupted, with its focus where it was,
  // whether or not a window manager hands the activation back.
  const QPointer<QWidget> before = QApplication::activeWindow();
  const QPointer<QWidget> focused = QApplication::focusWidget();
  box.exec();
  if (before && before->isVisible()) {
    before->activateWindow();
    if (focused && focused->window() == before) focused->setFocus(Qt::OtherFocusReason);
  }
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

bool QtBackend::standsIn(const Font& font) const {
  if (cjkFamily_.isEmpty()) return false;
  const QString family = toQString(font.name);
  for (const char* name : {"宋体", "新宋体", "SimSun", "NSimSun", "新細明體", "PMingLiU"}) {
    if (family.compare(QString::fromUtf8(name), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

QFont QtBackend::qfont(const Font& font) const {
  for (const auto& [key, f] : fonts_) {
    if (key == font) return f;
  }
  const QString family = standsIn(font) ? cjkFamily_ : toQString(font.name);
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
  // The design's Chinese fonts have a line exactly one em high (9 pt: 12 px at 96 dpi), and the
  // dialogs are laid out by it; the font drawn in their place has a taller line, which a label
  // draws beyond its box.
  if (standsIn(font)) return std::ceil(font.size * 20.0 / twipsPerPixelY_) * twipsPerPixelY_;
  return std::ceil(metrics(font).height()) * twipsPerPixelY_;
}

double QtBackend::rowHeight(const Font& font) const {
  return std::ceil(metrics(font).height() + 4) * twipsPerPixelY_;
}

}  // namespace forms::qt

namespace forms::qt {

ListChrome QtBackend::listChrome() const {
  if (!listChrome_) {
    // Read off a list view as the list-view peer makes it, in the application's style.
    QTreeView view;
    view.setRootIsDecorated(false);
    view.setHeaderHidden(true);
    const QStyle* style = view.style();
    // An item's text stands this far inside its cell on either side (the style's own margin).
    const int textMargin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    const int frame = 2 * view.frameWidth();
    const int bar = style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view.verticalScrollBar());
    listChrome_ = ListChrome{2 * textMargin * twipsPerPixelX_, frame * twipsPerPixelX_, frame * twipsPerPixelY_,
                             bar * twipsPerPixelX_};
  }
  return *listChrome_;
}

}  // namespace forms::qt
