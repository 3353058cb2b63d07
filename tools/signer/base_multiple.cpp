#include "signer/base_multiple.h"

#include "sign/field_element.h"
#include "sign/montgomery.h"

namespace signer {

void baseMultipleX(std::uint8_t out[32], const std::uint8_t n[32]) {
  // Two-accumulator ladder over every bit: r0 = m*G, r1 = (m+1)*G for the bits m
  // taken so far, starting from the point at infinity (1 : 0).
  FieldElement base, r0x, r0z, r1x, r1z, t1, t2, t3, t4;
  feSet(base, baseX);
  feSet(r0x, 1);
  feSet(r0z, 0);
  feSet(r1x, baseX);
  feSet(r1z, 1);
  for (int bit = 255; bit >= 0; --bit) {
    montPrep(t1, t2, r0x, r0z);
    montPrep(t3, t4, r1x, r1z);
    if ((n[bit / 8] >> (bit % 8)) & 1) {
      montAdd(t1, t2, t3, t4, r0x, r0z, base);  // r0 = r0 + r1
      montDouble(t1, t2, t3, t4, r1x, r1z);     // r1 = 2 r1
    } else {
      montAdd(t3, t4, t1, t2, r1x, r1z, base);  // r1 = r0 + r1
      montDouble(t3, t4, t1, t2, r0x, r0z);     // r0 = 2 r0
    }
  }
  FieldElement inverse, x;
  feRecip(inverse, r0z, false);
  feMul(x, r0x, inverse);
  fePack(x, out);
}

}  // namespace signer
