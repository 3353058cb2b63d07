#include "sign/montgomery.h"

const FieldElement BaseTwoY = {{39999547, 18689728, 59995525, 1648697, 57546132, 24010086,
                                19059592, 5425144, 63499247, 16420658}};

void xToY2(FieldElement& t, FieldElement& y2, const FieldElement& x) {
  feSqr(t, x);
  feMulSmall(y2, x, curveA);
  feAdd(t, t, y2);
  t.limb[0] += 1;
  feMul(y2, t, x);
}

void montPrep(FieldElement& t1, FieldElement& t2, const FieldElement& ax, const FieldElement& az) {
  feAdd(t1, ax, az);
  feSub(t2, ax, az);
}

void montAdd(FieldElement& t1, FieldElement& t2, const FieldElement& t3, const FieldElement& t4,
             FieldElement& ax, FieldElement& az, const FieldElement& dx) {
  feMul(ax, t2, t3);
  feMul(az, t1, t4);
  feAdd(t1, ax, az);
  feSub(t2, ax, az);
  feSqr(ax, t1);
  feSqr(t1, t2);
  feMul(az, t1, dx);
}

void montDouble(FieldElement& t1, FieldElement& t2, const FieldElement& t3,
                const FieldElement& t4, FieldElement& bx, FieldElement& bz) {
  feSqr(t1, t3);
  feSqr(t2, t4);
  feMul(bx, t1, t2);
  feSub(t2, t1, t2);
  feMulSmall(bz, t2, curveA24);
  feAdd(t1, t1, bz);
  feMul(bz, t1, t2);
}
