// The cost of one package signature check, measured beside one X25519 scalar
// multiplication of libsodium on the same machine; the ratio of the two is what
// to compare across machines.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <cstdint>
#include <string>

#include "sign/field_element.h"
#include "sign/signature.h"

namespace {

// A valid trailer for the development key (tests/data/signatures.txt, valid-1).
const char* const digestHex = "69594c681716ee842c4f02ffacbc913d0ac04d7b";
const char* const trailerHex =
    "69594c681716ee842c4f02ffacbc913d0ac04d7b80f6354d79e22085d9aa9e1d8a4231419a77d5e6bf3906"
    "f262e1bbb058efc44da31320643f6750b2acc0d84d8db6330a";

void fromHex(const char* hex, std::uint8_t* out, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    out[i] = std::uint8_t(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
  }
}

void BM_CheckSignature(benchmark::State& state) {
  std::uint8_t digest[digestSize], trailer[trailerSize];
  fromHex(digestHex, digest, sizeof digest);
  fromHex(trailerHex, trailer, sizeof trailer);
  if (!checkSignature(digest, trailer)) {
    state.SkipWithError("the vector does not verify");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(checkSignature(digest, trailer));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CheckSignature);

void BM_SodiumScalarMult(benchmark::State& state) {
  if (sodium_init() < 0) {
    state.SkipWithError("sodium_init failed");
    return;
  }
  std::uint8_t scalar[32], point[32] = {9}, out[32];
  fromHex(trailerHex + 72, scalar, sizeof scalar);
  for (auto _ : state) {
    benchmark::DoNotOptimize(crypto_scalarmult(out, scalar, point));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SodiumScalarMult);

void BM_FieldMul(benchmark::State& state) {
  FieldElement a, b, c;
  std::uint8_t m[32];
  fromHex(trailerHex + 72, m, sizeof m);
  m[31] &= 0x7F;
  feUnpack(a, m);
  feCopy(b, a);
  for (auto _ : state) {
    feMul(c, a, b);
    feCopy(a, c);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_FieldMul);

void BM_FieldSqr(benchmark::State& state) {
  FieldElement a, c;
  std::uint8_t m[32];
  fromHex(trailerHex + 72, m, sizeof m);
  m[31] &= 0x7F;
  feUnpack(a, m);
  for (auto _ : state) {
    feSqr(c, a);
    feCopy(a, c);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_FieldSqr);

}  // namespace
