// Dragging the frameless editor: a left-button press on the background, the lower panel or a label
// starts polling the cursor every 55 ms; the window follows it until the button is released.
#include <cmath>
#include <cstdlib>

#include "editor/FrmCalcEqual.h"

namespace editor {

namespace {
constexpr std::int32_t kDragInterval = 55;  // ms between moves, whatever the rate of mouse events
constexpr std::int32_t kClickSlop = 2;       // pixels a hand wobbles in a click

bool movedFrom(const forms::Point& press, const forms::Point& now) {
  return std::abs(now.x - press.x) > kClickSlop || std::abs(now.y - press.y) > kClickSlop;
}
}  // namespace

void FrmCalcEqual::WireDragSurfaces() {
  const auto wireLabel = [this](forms::Control& surface) {
    surface.MouseDown = [this](int button, int, forms::Twips, forms::Twips) {
      if (button == forms::mouse::Left) BeginDrag();
    };
    surface.MouseUp = [this](int, int, forms::Twips, forms::Twips) { EndDrag(); };
  };
  for (forms::Control* surface : std::initializer_list<forms::Control*>{
           &picFunction, &lblFuncName, &lblExplain, &lblParamName, &lblParamDes})
    wireLabel(*surface);
  lblParam.wire([wireLabel](forms::Label& label, std::int16_t) { wireLabel(label); });
  lblExp.wire([wireLabel](forms::Label& label, std::int16_t) { wireLabel(label); });
  TimerDrag.setEnabled(false);
  TimerDrag.OnTimer = [this] { TimerDrag_Timer(); };
}

void FrmCalcEqual::Form_MouseDown(int button, int, forms::Twips, forms::Twips) {
  if (button == forms::mouse::Left) BeginDrag();
}

void FrmCalcEqual::Form_MouseUp(int, int, forms::Twips, forms::Twips) {
  EndDrag();
}

void FrmCalcEqual::BeginDrag() {
  m_bDragging = true;
  m_bDragMoved = false;
  m_DragCursor = forms::backend().cursorPos();
  m_DragLeft = static_cast<std::int32_t>(std::nearbyint(Left()));
  m_DragTop = static_cast<std::int32_t>(std::nearbyint(Top()));
  TimerDrag.setInterval(kDragInterval);
  TimerDrag.setEnabled(true);
}

void FrmCalcEqual::TimerDrag_Timer() {
  if (!m_bDragging) return;
  // Offsets are taken from the press, so rounding never accumulates over the ticks.
  const forms::Point cursor = forms::backend().cursorPos();
  if (movedFrom(m_DragCursor, cursor)) m_bDragMoved = true;
  const auto& screen = forms::backend();
  Move(static_cast<forms::Twips>(m_DragLeft + (cursor.x - m_DragCursor.x) * screen.twipsPerPixelX()),
       static_cast<forms::Twips>(m_DragTop + (cursor.y - m_DragCursor.y) * screen.twipsPerPixelY()), Width(),
       Height());
}

void FrmCalcEqual::EndDrag() {
  if (m_bDragging) {
    if (movedFrom(m_DragCursor, forms::backend().cursorPos())) m_bDragMoved = true;
  }
  m_bDragging = false;
  TimerDrag.setEnabled(false);
}

}  // namespace editor
