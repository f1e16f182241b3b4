// The world matrix of a surface draw against the chain of D3DX matrix calls it stands for, bit
// for bit (signed zeros, infinities and NaN included), with and without groups.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "game/GroupStack.h"
#include "surface/KeshTextureEngine3D.h"

using namespace platform::d3dx9;

namespace {

D3DXMATRIX ByD3DX(double px, double py, double angle, double sx, double sy, double x, double y,
                  bool& groupScaled) {
  D3DXMATRIX world, factor;
  D3DXMatrixTranslation(&world, static_cast<float>(-px), static_cast<float>(-py), 0);
  if (angle != 0) {
    D3DXMatrixRotationZ(&factor, static_cast<float>(angle * std::numbers::pi / 180));
    D3DXMatrixMultiply(&world, &world, &factor);
  }
  if (sx != 1 || sy != 1) {
    D3DXMatrixScaling(&factor, static_cast<float>(sx), static_cast<float>(sy), 0);
    D3DXMatrixMultiply(&world, &world, &factor);
  }
  if (px != 0 || py != 0) {
    D3DXMatrixTranslation(&factor, static_cast<float>(px), static_cast<float>(py), 0);
    D3DXMatrixMultiply(&world, &world, &factor);
  }
  if (x != 0 || y != 0) {
    D3DXMatrixTranslation(&factor, static_cast<float>(x), static_cast<float>(y), 0);
    D3DXMatrixMultiply(&world, &world, &factor);
  }
  for (auto g = GroupStack.rbegin(); g != GroupStack.rend(); ++g) {
    if (g->ScaleX != 1 || g->ScaleY != 1) {
      D3DXMatrixScaling(&factor, static_cast<float>(g->ScaleX), static_cast<float>(g->ScaleY), 0);
      D3DXMatrixMultiply(&world, &world, &factor);
      groupScaled = true;
    }
    if (g->X != 0 || g->Y != 0) {
      D3DXMatrixTranslation(&factor, static_cast<float>(g->X), static_cast<float>(g->Y), 0);
      D3DXMatrixMultiply(&world, &world, &factor);
    }
  }
  return world;
}

TEST(SurfaceWorldMatrixTest, SameFloatsAsTheD3DXChain) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double px, py, angle, sx, sy, x, y;
  } draws[] = {
      {32, 32, 0, 1, 1, 0, 0},         {32, 32, 90, 1, 1, 100, 50},
      {0, 0, 90, 1, 1, 32, 8},         {-1, 0, 90, 1, 1, 32, 8},
      {32, 32, 33.3, 1.37, 1.21, 640.5, 511.25},
      {-0.0, 0.0, 180, -0.0, 1, -0.0, 0}, {16, 16, -45, 1e-40, 2, 3, -7},
      {5, 7, 1e6, 1e30, -1e30, 1e38, -1e38}, {5, 7, nan, 1, 1, 0, 0},
      {inf, 3, 10, 1, 1, 0, 0},        {3, 4, 270, inf, 1, nan, 2},
  };
  const std::vector<std::vector<tGroup>> stacks = {
      {},
      {tGroup{"g", 10, 20, 2, 3, 1, -1, -1}},
      {tGroup{"outer", -0.0, 0, 0.5, 0.5, 1, -1, -1}, tGroup{"inner", 7.5, -3, 1, 1, 1, -1, -1},
       tGroup{"top", 0, 0, -2, inf, 1, -1, -1}},
  };
  for (const auto& stack : stacks) {
    GroupStack = stack;
    for (const auto& d : draws) {
      SCOPED_TRACE(::testing::Message() << "groups " << stack.size() << " angle " << d.angle
                                        << " scale " << d.sx << " pivot " << d.px);
      bool scaledD3DX = false, scaled = false;
      const D3DXMATRIX expected = ByD3DX(d.px, d.py, d.angle, d.sx, d.sy, d.x, d.y, scaledD3DX);
      const D3DXMATRIX actual = SurfaceWorldMatrix(d.px, d.py, d.angle, d.sx, d.sy, d.x, d.y, scaled);
      EXPECT_EQ(std::memcmp(&expected, &actual, sizeof expected), 0);
      EXPECT_EQ(scaled, scaledD3DX);
    }
  }
  GroupStack.clear();
}

}  // namespace
