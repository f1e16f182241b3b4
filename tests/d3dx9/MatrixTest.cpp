// The matrix helpers in the row-vector convention the surface engine composes with.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx9/d3dx9.h"

namespace d3dx9_test {
namespace {

using namespace platform::d3dx9;

struct Point {
  float x, y, z;
};

Point Apply(const D3DXMATRIX& m, Point p) {
  const float w = p.x * m._14 + p.y * m._24 + p.z * m._34 + m._44;
  return {(p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41) / w,
          (p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42) / w,
          (p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43) / w};
}

void ExpectNear(Point got, Point want) {
  EXPECT_NEAR(got.x, want.x, 1e-5f);
  EXPECT_NEAR(got.y, want.y, 1e-5f);
  EXPECT_NEAR(got.z, want.z, 1e-5f);
}

TEST(MatrixTest, EachHelperMovesPointsAsTheEngineExpects) {
  D3DXMATRIX m;
  struct Case {
    const char* what;
    D3DXMATRIX* (*make)(D3DXMATRIX*);
    Point in, out;
  };
  const Case cases[] = {
      {"identity", [](D3DXMATRIX* o) { return D3DXMatrixIdentity(o); }, {1, 2, 3}, {1, 2, 3}},
      {"translation",
       [](D3DXMATRIX* o) { return D3DXMatrixTranslation(o, 3, 4, 5); },
       {1, 2, 0},
       {4, 6, 5}},
      {"scaling",
       [](D3DXMATRIX* o) { return D3DXMatrixScaling(o, 2, 3, 0); },
       {1, 2, 7},
       {2, 6, 0}},
      // Positive angles turn +x towards +y, which is clockwise on screen with y down.
      {"rotation",
       [](D3DXMATRIX* o) { return D3DXMatrixRotationZ(o, 3.14159265f / 2); },
       {1, 0, 0},
       {0, 1, 0}},
      {"ortho corner",
       [](D3DXMATRIX* o) { return D3DXMatrixOrthoOffCenterLH(o, 0, 640, 480, 0, -1, 1); },
       {0, 0, -1},
       {-1, 1, 0}},
      {"ortho far corner",
       [](D3DXMATRIX* o) { return D3DXMatrixOrthoOffCenterLH(o, 0, 640, 480, 0, -1, 1); },
       {640, 480, 1},
       {1, -1, 1}},
      {"ortho centre",
       [](D3DXMATRIX* o) { return D3DXMatrixOrthoOffCenterLH(o, 0, 640, 480, 0, -1, 1); },
       {320, 240, 0},
       {0, 0, 0.5f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.make(&m), &m);
    ExpectNear(Apply(m, c.in), c.out);
  }
}

TEST(MatrixTest, MultiplyAppliesTheFirstFactorFirstEvenInPlace) {
  D3DXMATRIX world, scale, rotate;
  D3DXMatrixTranslation(&world, -10, -5, 0);
  D3DXMatrixRotationZ(&rotate, 3.14159265f);
  D3DXMatrixScaling(&scale, 2, 3, 1);
  EXPECT_EQ(D3DXMatrixMultiply(&world, &world, &rotate), &world);
  D3DXMatrixMultiply(&world, &world, &scale);
  // (12, 6) -> (2, 1) -> (-2, -1) -> (-4, -3)
  ExpectNear(Apply(world, {12, 6, 0}), {-4, -3, 0});

  D3DXMATRIX other;
  D3DXMatrixTranslation(&other, 1, 1, 0);
  D3DXMatrixMultiply(&other, &scale, &other);  // output aliasing the second factor
  ExpectNear(Apply(other, {1, 1, 0}), {3, 4, 0});
}

}  // namespace
}  // namespace d3dx9_test
