#pragma once

// Rectangles and points in a control's client coordinates, in the form the
// controls' layout rules are written in: right and bottom lie one past the
// last pixel, so width = right - left.

struct ClientPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const ClientPoint&, const ClientPoint&) = default;
};

struct ClientRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  friend bool operator==(const ClientRect&, const ClientRect&) = default;
};
