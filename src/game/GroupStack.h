// The transform-group stack and the clip-rectangle stack of the game host: the records and the two
// process-wide stacks. The game object's group and clip operations fill them; the surface engine
// only reads them while it draws (the last entry of each is the innermost group / the clip in
// force). Kept in a header of its own so the surface engine can read the stacks without depending
// on the rest of the game host. Main thread only.
#pragma once

#include <string>
#include <vector>

// One transform group. X, Y are applied after the scale; CenterX, CenterY is the centre about
// which lines are scaled, (-1, -1) meaning none.
struct tGroup {
  std::string Name;
  double X = 0;
  double Y = 0;
  double ScaleX = 1;
  double ScaleY = 1;
  double Alpha = 1;
  double CenterX = -1;
  double CenterY = -1;
};

// One clip rectangle. Left..Bottom: the rectangle in back-buffer pixels (group transform and screen
// factor applied, clamped to the back buffer). Source*: the corners as the script gave them.
// Clip*: this rectangle intersected with the Clip rectangle of the entry below it (the first
// entry's own rectangle); an empty intersection is stored as computed.
struct tClipRect {
  std::string Name;
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;
  double SourceLeft = 0;
  double SourceTop = 0;
  double SourceRight = 0;
  double SourceBottom = 0;
  double ClipLeft = 0;
  double ClipTop = 0;
  double ClipRight = 0;
  double ClipBottom = 0;
};

// Empty at start; not cleared between frames.
inline std::vector<tGroup> GroupStack;
inline std::vector<tClipRect> ClipStack;
