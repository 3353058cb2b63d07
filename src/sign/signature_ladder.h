// The curve work of the signature check: Y = canonical x of v*P + h*G, where P is
// the point with x = the signer key and G the point with x = 9, each with the
// y-coordinate whose canonical value is even. Scalars are 32-byte little-endian
// strings and are not reduced; all working state is on the stack.
#pragma once

#include <cstdint>

#include "sign/field_element.h"

// The two points and their sum and difference: p[0] = x(G) = 9, p[1] = x(P),
// s[0] = x(P + G), s[1] = x(P - G) (reduced, affine). rootNegative is the sign
// bit of the square root the set-up found for P's y^2.
struct LadderPoints {
  FieldElement p[2];
  FieldElement s[2];
  int rootNegative;
};

void setupLadderPoints(LadderPoints& points, const std::uint8_t publicKey[32]);

// The joint encoding d of v and h that steers the ladder's addition of P or G;
// carry is the bit left over after byte 31 (0 or 1), the ladder's starting point.
void encodeLadderChain(std::uint8_t d[32], std::uint32_t& carry, const std::uint8_t v[32],
                       const std::uint8_t h[32]);

// Y = fePack(x(v*P + h*G)).
void jointLadderX(std::uint8_t y[32], const std::uint8_t v[32], const std::uint8_t h[32],
                  const std::uint8_t publicKey[32]);
