// 4 x 4 float matrices in the row-vector convention: a point is the row (x, y, z, 1) and is
// multiplied on the left, so translations sit in the fourth row.
#include <cmath>

#include "platform/d3dx9/d3dx9.h"

namespace platform::d3dx9 {

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
  }
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float left, float right, float bottom,
                                       float top, float zNear, float zFar) {
  D3DXMatrixIdentity(out);
  out->_11 = 2.0f / (right - left);
  out->_22 = 2.0f / (top - bottom);
  out->_33 = 1.0f / (zFar - zNear);
  out->_41 = (left + right) / (left - right);
  out->_42 = (top + bottom) / (bottom - top);
  out->_43 = zNear / (zNear - zFar);
  return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  D3DXMatrixIdentity(out);
  out->_11 = c;
  out->_12 = s;
  out->_21 = -s;
  out->_22 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
  D3DXMatrixIdentity(out);
  out->_41 = x;
  out->_42 = y;
  out->_43 = z;
  return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
  D3DXMatrixIdentity(out);
  out->_11 = sx;
  out->_22 = sy;
  out->_33 = sz;
  return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2) {
  // Computed into a copy: callers chain transforms with out == m1.
  D3DXMATRIX product;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      product.m[r][c] = m1->m[r][0] * m2->m[0][c] + m1->m[r][1] * m2->m[1][c] +
                        m1->m[r][2] * m2->m[2][c] + m1->m[r][3] * m2->m[3][c];
    }
  }
  *out = product;
  return out;
}

}  // namespace platform::d3dx9
