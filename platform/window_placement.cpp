#include "platform/window_placement.h"

#include <algorithm>
#include <cstdint>

namespace {

int64_t OverlapArea(const WindowRect& a, const WindowRect& b) {
  const int64_t w = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width) - std::max(a.x, b.x);
  const int64_t h = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height) - std::max(a.y, b.y);
  return w > 0 && h > 0 ? w * h : 0;
}

// Places v (of length len) inside [lo, lo + room).
int ClampInto(int v, int len, int lo, int room) { return std::clamp(v, lo, lo + room - len); }

}  // namespace

WindowPlacement FitPlacement(const WindowPlacement& saved, const std::vector<WindowRect>& workAreas) {
  WindowPlacement p = saved;
  if (p.showCmd != SW_SHOWMAXIMIZED) p.showCmd = SW_SHOWNORMAL;
  if (workAreas.empty()) return p;

  const WindowRect* area = &workAreas.front();
  int64_t best = 0;
  for (const WindowRect& a : workAreas) {
    const int64_t o = OverlapArea(p.normal, a);
    if (o > best) {
      best = o;
      area = &a;
    }
  }
  WindowRect& r = p.normal;
  r.width = std::clamp(r.width, std::min(200, area->width), area->width);
  r.height = std::clamp(r.height, std::min(150, area->height), area->height);
  r.x = ClampInto(r.x, r.width, area->x, area->width);
  r.y = ClampInto(r.y, r.height, area->y, area->height);
  return p;
}

WindowPlacement DefaultPlacement(const WindowRect& work) {
  WindowPlacement p;
  p.normal.width = std::min(work.width, std::max(work.width * 3 / 4, std::min(work.width, 800)));
  p.normal.height = std::min(work.height, std::max(work.height * 3 / 4, std::min(work.height, 600)));
  p.normal.x = work.x + (work.width - p.normal.width) / 2;
  p.normal.y = work.y + (work.height - p.normal.height) / 2;
  return p;
}
