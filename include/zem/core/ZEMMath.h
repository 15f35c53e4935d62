#ifndef ZEM_CORE_ZEMMATH_H
#define ZEM_CORE_ZEMMATH_H

#include <zem/core/ZEMExport.h>

// Tolerance comparisons and angle helpers; angles are in degrees, y pointing up.
namespace ZEM {

// True when -epsilon < a - b < epsilon (strict on both sides).
ZEM_API bool Equalf(float a, float b, float epsilon);
ZEM_API bool Equald(double a, double b, double epsilon);

// The angle brought into [0, 360]; 360 itself stays 360.
ZEM_API float Angle2PI(float angle);

// Direction of the vector from (x1, y1) to (x2, y2) in [0, 360); 90 is increasing y.
ZEM_API float VectorAngle(float x1, float y1, float x2, float y2);

// b - a brought into [-180, 180] by one correction, for angles in [0, 360].
ZEM_API float AngleDiff(float a, float b);

} // namespace ZEM

#endif
