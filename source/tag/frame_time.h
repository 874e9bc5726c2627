// The frame number of a document time.
#ifndef KW_FRAME_TIME_H
#define KW_FRAME_TIME_H

#include "c4d.h"

// The integer part of floor(fps * numerator) / floor(denominator): the
// product and the floors in single precision, the quotient in double. A
// quotient beyond the 32-bit range is clamped to it; a quotient that is not
// a number (0 / 0) counts as the earliest frame.
LONG FrameOf(const BaseTime& time, LONG fps);

#endif
