#pragma once

// The pie chart's arithmetic, free of any window so that it can be checked
// on its own: where the disc sits, where an angle meets the circle, and the
// percentage a slice prints.

#include <string>

#include "app/controls/client_geometry.h"

namespace pie {

// A slice of this many degrees or fewer carries no label.
inline constexpr int kLabelMinSweep = 25;

// Brings an angle in degrees into 0..359.
int NormalizeDegrees(long long degrees);

// Adds two angles in degrees; when the plain sum does not fit an int it is
// reduced to 0..359, which describes the same direction.
int AddDegrees(int angle, long long delta);

// The square that bounds the disc: as large as the client allows, centred
// horizontally, touching the bottom edge.
ClientRect RecalcLayout(const ClientRect& client);

// The point at `angle` degrees (0 straight up, clockwise) on the circle of
// `pieRect`, or at six tenths of the radius when `inner` is set.
ClientPoint AngleToPoint(const ClientRect& pieRect, int angle, bool inner);

// Centre of the disc in whole pixels, where the radius lines meet.
ClientPoint IntegerCentre(const ClientRect& pieRect);

// The label of a slice: its share of a full turn as "%.0f%%", or an empty
// text for slices of kLabelMinSweep degrees or fewer.
std::string SliceLabelText(int sweep);

// The direction at which the label of a slice that ends at `endAngle` is
// placed: the middle of the slice.
int LabelAngle(int endAngle, int sweep);

}  // namespace pie
