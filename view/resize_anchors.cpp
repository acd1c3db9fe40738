#include "view/resize_anchors.h"

#include <algorithm>
#include <cmath>

#include <wx/window.h>

void CResizeAnchors::Add(wxWindow* window, Anchor topLeft, Anchor bottomRight) {
  m_entries.push_back({window, window->GetRect(), topLeft, bottomRight});
}

void CResizeAnchors::Apply(const wxSize& size) const {
  const int dx = std::max(0, size.x - m_base.x);
  const int dy = std::max(0, size.y - m_base.y);
  const auto move = [&](int v, double f, int d) { return v + static_cast<int>(std::lround(f * d)); };
  for (const Entry& e : m_entries) {
    const int left = move(e.rect.x, e.topLeft.x, dx);
    const int top = move(e.rect.y, e.topLeft.y, dy);
    const int right = move(e.rect.x + e.rect.width, e.bottomRight.x, dx);
    const int bottom = move(e.rect.y + e.rect.height, e.bottomRight.y, dy);
    e.window->SetSize(left, top, right - left, bottom - top);
  }
}
