// The Qt 6 Widgets backend: each form a top-level window, each control a widget at its twips
// geometry converted by the screen's logical DPI; the widgets' events come back as form events.
// Needs a QApplication.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QFont>
#include <QFontMetricsF>
#include <QString>

class QWidget;

#include "forms/Backend.h"
#include "forms/Form.h"

namespace forms::qt {

// Every peer it makes keeps a reference to it: unload the forms before the backend goes.
class QtBackend final : public Backend {
 public:
  QtBackend();
  ~QtBackend() override;

  std::unique_ptr<FormPeer> createFormPeer(Form& form) override;
  std::unique_ptr<ControlPeer> createControlPeer(Control& control) override;
  void runModal(Form& form) override;
  void popupMenu(Form& form, Menu& menu, Twips x, Twips y) override;
  void popupMenuAtCursor(Form& form, Menu& menu) override;

  void messageBox(const std::u16string& text, const std::u16string& title, MessageIcon icon) override;
  void beep() override;
  double twipsPerPixelX() const override { return twipsPerPixelX_; }
  double twipsPerPixelY() const override { return twipsPerPixelY_; }
  Point cursorPos() const override;
  bool isKeyDown(int virtualKey) const override;
  bool isRemoteSession() const override;
  double screenWidth() const override;
  double screenHeight() const override;
  double textWidth(const Font& font, std::u16string_view text) const override;
  double lineHeight(const Font& font) const override;
  double rowHeight(const Font& font) const override;
  ListChrome listChrome() const override;

  // Twips to pixels and back.
  int pixelsX(Twips t) const;
  int pixelsY(Twips t) const;
  Twips twipsX(double px) const { return static_cast<Twips>(px * twipsPerPixelX_); }
  Twips twipsY(double px) const { return static_cast<Twips>(px * twipsPerPixelY_); }

  // The Qt font for a form font; the design font 宋体 maps to an installed CJK font.
  QFont qfont(const Font& font) const;
  const QFontMetricsF& metrics(const Font& font) const;
  // The family that stands in for 宋体 (empty when no CJK font is installed).
  const QString& cjkFamily() const { return cjkFamily_; }
  // Whether a font is one of the design's Chinese fonts, drawn with cjkFamily().
  bool standsIn(const Font& font) const;

 private:
  double twipsPerPixelX_ = 15;
  double twipsPerPixelY_ = 15;
  QString cjkFamily_;
  mutable std::vector<std::pair<Font, std::unique_ptr<QFontMetricsF>>> metrics_;
  mutable std::vector<std::pair<Font, QFont>> fonts_;
  mutable std::optional<ListChrome> listChrome_;
};

inline QString toQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::u16string fromQString(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<std::size_t>(text.size()));
}

// The Qt widget that mirrors a control, or the client area of a form (nullptr when there is
// none): for tests and tools that look at what is on screen.
QWidget* widgetOf(const Control& control);
QWidget* windowOf(const Form& form);

}  // namespace forms::qt
