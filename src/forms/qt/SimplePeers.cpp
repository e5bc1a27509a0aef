// The controls that are one plain widget each (label, text box, button, scroll bar, picture box,
// line), the timer, and the popup menu.
#include <QCursor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "forms/qt/Peers.h"

namespace forms::qt {
namespace {

class LabelPeer final : public QtControlPeer {
 public:
  LabelPeer(const QtBackend& backend, Label& label, QWidget* parent)
      : QtControlPeer(backend, label, new QLabel(parent)), label_(label) {
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
      place();
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
  // A box made for the design font's line (宋体 9 pt: 12 px) is lower than the line of the font
  // drawn in its place: a one-line label then draws its line whole, centred on its box, over what
  // lies around it (a label paints no background of its own).
  QRect placed(const QRect& box) const override {
    const auto* w = static_cast<const QLabel*>(widget_.data());
    const int line = w->fontMetrics().height();
    if (label_.WordWrap() || w->autoFillBackground() || box.height() >= line) return box;
    return box.adjusted(0, -(line - box.height()) / 2, 0, line - box.height() - (line - box.height()) / 2);
  }

 private:
  Label& label_;
};

class TextBoxPeer final : public QtControlPeer {
 public:
  TextBoxPeer(const QtBackend& backend, TextBox& box, QWidget* parent)
      : QtControlPeer(backend, box, new QLineEdit(parent)), box_(box) {
    auto* w = static_cast<QLineEdit*>(widget_.data());
    // A text box holds any length of text: a line edit would cut a paste at 32767 characters.
    w->setMaxLength(std::numeric_limits<int>::max());
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
  ButtonPeer(const QtBackend& backend, CommandButton& button, QWidget* parent)
      : QtControlPeer(backend, button, new QPushButton(parent)), button_(button) {
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

class ScrollBarPeer final : public QtControlPeer {
 public:
  ScrollBarPeer(const QtBackend& backend, VScrollBar& bar, QWidget* parent)
      : QtControlPeer(backend, bar, new QScrollBar(Qt::Vertical, parent)), bar_(bar) {
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
  PicturePeer(const QtBackend& backend, PictureBox& pic, QWidget* parent)
      : QtControlPeer(backend, pic, new QFrame(parent)), pic_(pic) {
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

// Draws a line from corner to corner of the box the two end points span.
class LineWidget final : public QWidget {
 public:
  LineWidget(const QtBackend& backend, Line& line, QWidget* parent)
      : QWidget(parent), backend_(backend), line_(line) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(colorOf(line_.BorderColor(), palette()));
    const QtBackend& b = backend_;
    const Twips left = std::min(line_.X1(), line_.X2());
    const Twips top = std::min(line_.Y1(), line_.Y2());
    p.drawLine(b.pixelsX(line_.X1() - left), b.pixelsY(line_.Y1() - top), b.pixelsX(line_.X2() - left),
               b.pixelsY(line_.Y2() - top));
  }

 private:
  const QtBackend& backend_;
  Line& line_;
};

class LinePeer final : public QtControlPeer {
 public:
  LinePeer(const QtBackend& backend, Line& line, QWidget* parent)
      : QtControlPeer(backend, line, new LineWidget(backend, line, parent)) {
    syncAll();
  }
  void syncOwn(Property) override { widget_->update(); }
};

// A timer has no widget, only a QTimer; it needs nothing from the backend.
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

}  // namespace

std::unique_ptr<ControlPeer> makeLabelPeer(const QtBackend& backend, Label& label, QWidget* parent) {
  return std::make_unique<LabelPeer>(backend, label, parent);
}

std::unique_ptr<ControlPeer> makeTextBoxPeer(const QtBackend& backend, TextBox& box, QWidget* parent) {
  return std::make_unique<TextBoxPeer>(backend, box, parent);
}

std::unique_ptr<ControlPeer> makeButtonPeer(const QtBackend& backend, CommandButton& button,
                                            QWidget* parent) {
  return std::make_unique<ButtonPeer>(backend, button, parent);
}

std::unique_ptr<ControlPeer> makeScrollBarPeer(const QtBackend& backend, VScrollBar& bar, QWidget* parent) {
  return std::make_unique<ScrollBarPeer>(backend, bar, parent);
}

std::unique_ptr<ControlPeer> makePicturePeer(const QtBackend& backend, PictureBox& pic, QWidget* parent) {
  return std::make_unique<PicturePeer>(backend, pic, parent);
}

std::unique_ptr<ControlPeer> makeLinePeer(const QtBackend& backend, Line& line, QWidget* parent) {
  return std::make_unique<LinePeer>(backend, line, parent);
}

std::unique_ptr<ControlPeer> makeTimerPeer(Timer& timer) {
  return std::make_unique<TimerPeer>(timer);
}

void popUpMenu(const QtBackend& backend, Form& form, Menu& menu, Twips x, Twips y) {
  auto* peer = formPeerOf(form);
  const QPoint at = peer && peer->client()
                        ? peer->client()->mapToGlobal(QPoint(backend.pixelsX(x), backend.pixelsY(y)))
                        : QCursor::pos();
  popUpMenuAt(backend, form, menu, at);
}

void popUpMenuAt(const QtBackend& backend, Form& form, Menu& menu, QPoint screenAt) {
  QMenu popup;
  popup.setFont(backend.qfont(form.font()));
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
  QAction* chosen = popup.exec(screenAt);
  for (const auto& [action, entry] : actions) {
    if (action == chosen) entry->choose();
  }
}

}  // namespace forms::qt
