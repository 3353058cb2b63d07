#include "sign/signature_ladder.h"

#include "sign/montgomery.h"

void setupLadderPoints(LadderPoints& points, const std::uint8_t publicKey[32]) {
  FieldElement t1[2], t2[2];
  FieldElement& p1 = points.p[1];
  feSet(points.p[0], baseX);
  feUnpack(p1, publicKey);

  // y(P)^2, and a root of it whose sign decides which of t2[0] -/+ t2[1] below
  // is (y(P) - y(G))^2 for the even y(P).
  xToY2(t1[1], t2[0], p1);
  feSqrt(t1[0], t2[0]);
  const int j = feIsNegative(t1[0]);
  points.rootNegative = j;
  t2[0].limb[0] += baseY2;              // y(P)^2 + y(G)^2
  feMul(t2[1], BaseTwoY, t1[0]);        // -2 y(G) * root
  feSub(t1[j], t2[0], t2[1]);
  feAdd(t1[1 - j], t2[0], t2[1]);

  // 1 / (x(P) - 9)^2
  feCopy(t2[0], p1);
  t2[0].limb[0] -= baseX;
  feSqr(t2[1], t2[0]);
  feRecip(t2[0], t2[1], false);

  // x(P +- G) = lambda^2 - A - x(P) - x(G)
  for (int i = 0; i < 2; ++i) {
    FieldElement& s = points.s[i];
    feMul(s, t1[i], t2[0]);
    feSub(s, s, p1);
    s.limb[0] -= curveAPlusBaseX;
    feMulSmall(s, s, 1);
  }
}

void encodeLadderChain(std::uint8_t d[32], std::uint32_t& carry, const std::uint8_t v[32],
                       const std::uint8_t h[32]) {
  std::uint32_t vi = 0, hi = 0, di = 0, n = 0;
  for (int i = 0; i < 32; ++i) {
    vi = (vi >> 8) ^ v[i] ^ (std::uint32_t(v[i]) << 1);
    hi = (hi >> 8) ^ h[i] ^ (std::uint32_t(h[i]) << 1);
    n = ~(vi ^ hi);
    di = (n & ((di & 0x80) >> 7)) ^ vi;
    di ^= n & ((di & 0x01) << 1);
    di ^= n & ((di & 0x02) << 1);
    di ^= n & ((di & 0x04) << 1);
    di ^= n & ((di & 0x08) << 1);
    di ^= n & ((di & 0x10) << 1);
    di ^= n & ((di & 0x20) << 1);
    di ^= n & ((di & 0x40) << 1);
    d[i] = std::uint8_t(di);
  }
  carry = ((n & ((di & 0x80) << 1)) ^ vi) >> 8;
}

void jointLadderX(std::uint8_t y[32], const std::uint8_t v[32], const std::uint8_t h[32],
                  const std::uint8_t publicKey[32]) {
  LadderPoints points;
  setupLadderPoints(points, publicKey);
  const FieldElement* p = points.p;
  const FieldElement* s = points.s;

  std::uint8_t d[32];
  std::uint32_t di;
  encodeLadderChain(d, di, v, h);

  // Accumulator 0 runs the doubling, 1 adds P or G as the chain says, 2 adds
  // P + G or P - G; their differences stay known points.
  FieldElement yx[3], yz[3], t1[3], t2[3];
  feSet(yx[0], 1);
  feSet(yz[0], 0);
  feCopy(yx[1], p[di]);
  feSet(yz[1], 1);
  feCopy(yx[2], s[0]);
  feSet(yz[2], 1);

  std::uint32_t vi = 0, hi = 0;
  for (int i = 31; i >= 0; --i) {
    vi = (vi << 8) | v[i];
    hi = (hi << 8) | h[i];
    di = (di << 8) | d[i];
    for (int j = 7; j >= 0; --j) {
      montPrep(t1[0], t2[0], yx[0], yz[0]);
      montPrep(t1[1], t2[1], yx[1], yz[1]);
      montPrep(t1[2], t2[2], yx[2], yz[2]);
      std::uint32_t k = (((vi ^ (vi >> 1)) >> j) & 1) + (((hi ^ (hi >> 1)) >> j) & 1);
      montDouble(yx[2], yz[2], t1[k], t2[k], yx[0], yz[0]);
      k = ((di >> j) & 2) ^ (((di >> j) & 1) << 1);
      montAdd(t1[1], t2[1], t1[k], t2[k], yx[1], yz[1], p[(di >> j) & 1]);
      montAdd(t1[2], t2[2], t1[0], t2[0], yx[2], yz[2], s[(((vi ^ hi) >> j) & 2) >> 1]);
    }
  }

  const std::uint32_t k = (vi & 1) + (hi & 1);
  feRecip(t1[0], yz[k], false);
  feMul(t1[1], yx[k], t1[0]);
  fePack(t1[1], y);
}
