// x-only steps on the Montgomery curve y^2 = x^3 + 486662 x^2 + x over the
// field mod 2^255 - 19, with points as projective x-coordinates X/Z.
#pragma once

#include <cstdint>

#include "sign/field_element.h"

constexpr std::int32_t curveA = 486662;
constexpr std::int32_t curveA24 = 121665;           // (A - 2) / 4
constexpr std::int32_t baseX = 9;
constexpr std::int32_t baseY2 = 39420360;           // 9^3 + 486662 * 9^2 + 9
constexpr std::int32_t curveAPlusBaseX = 486671;    // A + 9

// -2 v mod p, v the published y-coordinate of the base point with x = 9.
extern const FieldElement BaseTwoY;

// y2 = x^3 + 486662 x^2 + x; t is scratch. y2 and t must differ from x.
void xToY2(FieldElement& t, FieldElement& y2, const FieldElement& x);

// t1 = ax + az, t2 = ax - az.
void montPrep(FieldElement& t1, FieldElement& t2, const FieldElement& ax, const FieldElement& az);

// Differential addition: P prepared into (t1, t2), Q into (t3, t4), dx the affine
// x of P - Q. Afterwards ax/az = x(P + Q); t1, t2 are overwritten, t3, t4 kept.
void montAdd(FieldElement& t1, FieldElement& t2, const FieldElement& t3, const FieldElement& t4,
             FieldElement& ax, FieldElement& az, const FieldElement& dx);

// Doubling: Q prepared into (t3, t4). Afterwards bx/bz = x(2Q); t1, t2 are
// overwritten, t3, t4 kept.
void montDouble(FieldElement& t1, FieldElement& t2, const FieldElement& t3,
                const FieldElement& t4, FieldElement& bx, FieldElement& bz);
