// Transform groups and clip rectangles: the script operations that fill GroupStack, ClipStack,
// CurrentGroup and the current-group values. The surface engine reads the stacks on every draw;
// the drawing operations read the current-group values. Both stacks persist across frames until
// the matching end operation removes an entry.
//
// A clip rectangle is converted to back-buffer pixels once, when it begins: the groups from the
// innermost outwards, then the full-screen factor, in the single-precision matrices of D3DX.
#include "game/main.h"

#include <algorithm>
#include <cmath>

#include "platform/d3dx9/d3dx9.h"
#include "script/LuaArgs.h"

namespace d3dx9 = platform::d3dx9;

namespace {

double AlphaProduct() {
  double alpha = 1;
  for (const tGroup& g : GroupStack) alpha *= g.Alpha;
  return alpha;
}

void StoreValues(tGroup& group, const tGroupValues& v) {
  group.X = v.X;
  group.Y = v.Y;
  group.ScaleX = v.ScaleX;
  group.ScaleY = v.ScaleY;
  group.Alpha = v.Alpha;
  group.CenterX = v.CenterX;
  group.CenterY = v.CenterY;
}

tGroupValues ValuesOf(const tGroup& g) { return {g.X, g.Y, g.ScaleX, g.ScaleY, g.Alpha, g.CenterX, g.CenterY}; }

template <class T>
int IndexOfName(const std::vector<T>& stack, const std::string& name) {
  for (std::size_t i = 0; i < stack.size(); ++i) {
    if (stack[i].Name == name) return static_cast<int>(i);
  }
  return -1;
}

// A coordinate clamped into 0 .. Limit; NaN becomes 0 so that it can never reach the scissor.
double ClampCoordinate(double v, double limit) {
  if (!(v >= 0)) return 0;
  return v > limit ? limit : v;
}

void MultiplyBy(d3dx9::D3DXMATRIX& m, const d3dx9::D3DXMATRIX& factor) {
  const d3dx9::D3DXMATRIX left = m;
  d3dx9::D3DXMatrixMultiply(&m, &left, &factor);
}

// Each entry's Clip rectangle: its own intersected with the entry below it.
void RecomputeClipIntersections() {
  for (std::size_t i = 0; i < ClipStack.size(); ++i) {
    tClipRect& c = ClipStack[i];
    if (i == 0) {
      c.ClipLeft = c.Left;
      c.ClipTop = c.Top;
      c.ClipRight = c.Right;
      c.ClipBottom = c.Bottom;
      continue;
    }
    const tClipRect& below = ClipStack[i - 1];
    c.ClipLeft = std::max(c.Left, below.ClipLeft);
    c.ClipTop = std::max(c.Top, below.ClipTop);
    c.ClipRight = std::min(c.Right, below.ClipRight);
    c.ClipBottom = std::min(c.Bottom, below.ClipBottom);
  }
}

}  // namespace

void TMainForm::OpenGroup(const std::string& name, const tGroupValues& values) {
  CurrentGroupValues = values;
  const int found = IndexOfName(GroupStack, name);
  if (found >= 0) {
    // Re-opening a group changes its values but keeps its place in the stack.
    StoreValues(GroupStack[static_cast<std::size_t>(found)], values);
    CurrentGroup = found;
  } else {
    tGroup group;
    group.Name = name;
    StoreValues(group, values);
    GroupStack.push_back(std::move(group));
    CurrentGroup = static_cast<int32_t>(GroupStack.size()) - 1;
  }
  // Only the last entry counts, whatever group is current; a zero scale leaves its axis at 0.
  const tGroup& last = GroupStack.back();
  GroupMouseX = last.ScaleX != 0 ? (static_cast<double>(MouseX) - last.X) / last.ScaleX : 0;
  GroupMouseY = last.ScaleY != 0 ? (static_cast<double>(MouseY) - last.Y) / last.ScaleY : 0;
  CurrentGroupValues.Alpha = AlphaProduct();
}

void TMainForm::CloseGroup(const std::string& name) {
  if (CurrentGroup == -1) return;
  if (const int found = IndexOfName(GroupStack, name); found >= 0) {
    GroupStack.erase(GroupStack.begin() + found);
  }
  // Also when the name was not found, the current values fall back to the last entry.
  if (GroupStack.empty()) {
    CurrentGroup = -1;
    CurrentGroupValues = tGroupValues{};
  } else {
    CurrentGroup = static_cast<int32_t>(GroupStack.size()) - 1;
    CurrentGroupValues = ValuesOf(GroupStack.back());
  }
  CurrentGroupValues.Alpha = AlphaProduct();
}

void TMainForm::OpenClipRect(const std::string& name, std::span<const double> corners) {
  if (!Engine) return;
  const TKeshSurfaceEngine3D& e = *Engine;
  double corner[4] = {0, 0, 0, 0};
  double w = 0, h = 0, sx = 1, sy = 1;
  if (e.FullScreen) {
    corner[2] = w = e.InitWidth;
    corner[3] = h = e.InitHeight;
    // Before the first device every size is 0: the factor then stays 1 instead of 0/0.
    if (e.InitWidth != 0 && e.InitHeight != 0 && e.FullScreenSize.width != 0 && e.FullScreenSize.height != 0) {
      sx = static_cast<double>(e.FullScreenSize.width) / e.InitWidth;
      sy = static_cast<double>(e.FullScreenSize.height) / e.InitHeight;
    }
  } else {
    corner[2] = w = e.Width;
    corner[3] = h = e.Height;
  }
  for (std::size_t i = 0; i < corners.size() && i < 4; ++i) corner[i] = corners[i];

  d3dx9::D3DXMATRIX m, step;
  d3dx9::D3DXMatrixIdentity(&m);
  for (auto g = GroupStack.rbegin(); g != GroupStack.rend(); ++g) {
    if (g->ScaleX != 1 || g->ScaleY != 1) {
      MultiplyBy(m, *d3dx9::D3DXMatrixScaling(&step, static_cast<float>(g->ScaleX), static_cast<float>(g->ScaleY), 0));
    }
    if (g->X != 0 || g->Y != 0) {
      MultiplyBy(m, *d3dx9::D3DXMatrixTranslation(&step, static_cast<float>(g->X), static_cast<float>(g->Y), 0));
    }
  }
  if (sx != 1 || sy != 1) {
    MultiplyBy(m, *d3dx9::D3DXMatrixScaling(&step, static_cast<float>(sx), static_cast<float>(sy), 0));
    w *= sx;
    h *= sy;
  }

  tClipRect clip;
  clip.Name = name;
  clip.Left = ClampCoordinate(corner[0] * m._11 + corner[1] * m._21 + m._41, w);
  clip.Top = ClampCoordinate(corner[0] * m._12 + corner[1] * m._22 + m._42, h);
  clip.Right = ClampCoordinate(corner[2] * m._11 + corner[3] * m._21 + m._41, w);
  clip.Bottom = ClampCoordinate(corner[2] * m._12 + corner[3] * m._22 + m._42, h);
  if (clip.Left >= clip.Right || clip.Top >= clip.Bottom) return;
  clip.SourceLeft = corner[0];
  clip.SourceTop = corner[1];
  clip.SourceRight = corner[2];
  clip.SourceBottom = corner[3];

  if (const int found = IndexOfName(ClipStack, name); found >= 0) ClipStack.erase(ClipStack.begin() + found);
  ClipStack.push_back(std::move(clip));
  RecomputeClipIntersections();
}

void TMainForm::CloseClipRect(const std::string& name) {
  if (const int found = IndexOfName(ClipStack, name); found >= 0) ClipStack.erase(ClipStack.begin() + found);
  if (!ClipStack.empty()) RecomputeClipIntersections();
}

int TMainForm::GroupBegin(lua_State* L) {
  tGroupValues values;
  double* const fields[] = {&values.X, &values.Y, &values.ScaleX, &values.ScaleY,
                            &values.Alpha, &values.CenterX, &values.CenterY};
  for (int i = 0; i < 7; ++i) {
    if (LuaHasArg(L, i + 2)) *fields[i] = LuaArgNumber(L, i + 2);
  }
  OpenGroup(LuaArgText(L, 1), values);
  return 0;
}

int TMainForm::GroupEnd(lua_State* L) {
  CloseGroup(LuaArgText(L, 1));
  return 0;
}

int TMainForm::ClipRectBegin(lua_State* L) {
  double corners[4];
  const int count = std::clamp(LuaArgCount(L) - 1, 0, 4);
  for (int i = 0; i < count; ++i) corners[i] = LuaArgNumber(L, i + 2);
  OpenClipRect(LuaArgText(L, 1), std::span<const double>(corners, static_cast<std::size_t>(count)));
  return 0;
}

int TMainForm::ClipRectEnd(lua_State* L) {
  CloseClipRect(LuaArgText(L, 1));
  return 0;
}
