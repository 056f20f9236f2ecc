#pragma once

// The progress bar's arithmetic, free of any window: the share of the range
// that is done, the filled extent in pixels and the percentage text.

#include <string>

namespace progress {

// (pos - min) / (max - min) in floating point, so that no int32 range or
// position can overflow. An empty range (max == min) counts as nothing done.
double Fraction(int pos, int min, int max);

// `value` truncated toward zero and held inside the int range: positions far
// outside the range must not turn into an undefined conversion.
int TruncateToInt(double value);

// Pixels of a bar `extent` pixels long that the position fills; negative or
// beyond `extent` for positions outside the range.
int FilledExtent(int pos, int min, int max, int extent);

// The default text of the bar: "%d%%" of the truncated percentage.
std::string PercentText(int pos, int min, int max);

}  // namespace progress
