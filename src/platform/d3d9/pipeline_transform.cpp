// Vertex transform stage: reads vertices of the flexible vertex format and takes them to clip
// space with World x View x Projection (row vectors), in double precision so the viewport maps
// logical pixel positions back onto themselves before set-up snaps them.
#include <cstring>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {

Matrix4 Matrix4::From(const D3DMATRIX& d) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = d.m[i][j];
  return r;
}

Matrix4 Matrix4::Identity() {
  Matrix4 r{};
  for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0;
  return r;
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
  return r;
}

UINT FvfSize(DWORD fvf) {
  UINT size = 12;
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_PSIZE) size += 4;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  return size + 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> 8);
}

ClipVertex TransformVertex(const uint8_t* stream, UINT stride, DWORD fvf, UINT index,
                           const Matrix4& wvp, bool lighting) {
  const uint8_t* p = stream + static_cast<size_t>(index) * stride;
  float pos[3];
  std::memcpy(pos, p, sizeof pos);
  size_t off = 12;
  if (fvf & D3DFVF_NORMAL) off += 12;
  if (fvf & D3DFVF_PSIZE) off += 4;
  uint32_t diffuse = 0xFFFFFFFFu;
  if (fvf & D3DFVF_DIFFUSE) {
    std::memcpy(&diffuse, p + off, 4);
    off += 4;
  }
  if (fvf & D3DFVF_SPECULAR) off += 4;
  float uv[2] = {0.0f, 0.0f};
  if ((fvf & D3DFVF_TEXCOUNT_MASK) != 0 && off + 8 <= stride) std::memcpy(uv, p + off, 8);

  ClipVertex v;
  const double x = pos[0], y = pos[1], z = pos[2];
  v.x = x * wvp.m[0][0] + y * wvp.m[1][0] + z * wvp.m[2][0] + wvp.m[3][0];
  v.y = x * wvp.m[0][1] + y * wvp.m[1][1] + z * wvp.m[2][1] + wvp.m[3][1];
  v.z = x * wvp.m[0][2] + y * wvp.m[1][2] + z * wvp.m[2][2] + wvp.m[3][2];
  v.w = x * wvp.m[0][3] + y * wvp.m[1][3] + z * wvp.m[2][3] + wvp.m[3][3];
  const Color c = Unpack(diffuse);
  // Lighting with no lights and no material leaves only the vertex alpha; the system always
  // turns lighting off, so this is just the platform's answer for the default state.
  v.b = lighting ? 0.0f : static_cast<float>(c.b);
  v.g = lighting ? 0.0f : static_cast<float>(c.g);
  v.r = lighting ? 0.0f : static_cast<float>(c.r);
  v.a = static_cast<float>(c.a);
  v.u = uv[0];
  v.v = uv[1];
  return v;
}

}  // namespace platform::d3d9
