// Walking a large package with hashing on, reading payloads in 4096-byte bulk
// reads as the upgrade run's verifier does; beside it the bare SHA-1 over the
// same amount of data, to show what the part stream adds.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "pkgfile/builtin_sha1.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/sha1.h"

namespace {

constexpr std::uint32_t payloadSize = 64u << 20;

void appendU16(std::string& out, unsigned value) {
  out.push_back(char(value & 0xFF));
  out.push_back(char((value >> 8) & 0xFF));
}

void appendU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(char((value >> shift) & 0xFF));
}

void appendPartHeader(std::string& out, unsigned type, std::uint32_t length) {
  appendU16(out, type);
  appendU32(out, length);
}

// Pseudo-random bytes (xorshift), the same on every run.
std::string randomBytes(std::size_t length) {
  std::string out(length, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (std::size_t i = 0; i < length; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    out[i] = char(x >> 24);
  }
  return out;
}

// A package file of a header, a text part, one 64 MiB payload and a trailer,
// written once to a temporary file and removed at exit (kept, and its path
// printed, when BENCH_KEEP_PACKAGE is set, e.g. to time sha1sum on it).
class BenchPackage {
public:
  BenchPackage() {
    char name[] = "/tmp/bench_part_stream_XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) std::abort();
    ::close(fd);
    path_ = name;

    std::string header;
    std::string parts;
    appendPartHeader(parts, partPackage, 32);
    parts += std::string("benchpkg").append(24, '\0');
    appendPartHeader(parts, partText24, 5);
    parts += "bench";
    appendPartHeader(parts, partFileTree, payloadSize);
    const std::string payload = randomBytes(payloadSize);
    std::string trailer;
    appendPartHeader(trailer, partSignature, 68);
    trailer.append(68, '\0');
    appendU32(header, packageMagic);
    appendU32(header, std::uint32_t(parts.size() + payload.size() + trailer.size()));

    std::ofstream out(path_, std::ios_base::binary);
    out << header << parts << payload << trailer;
    if (!out.flush()) std::abort();
  }
  ~BenchPackage() {
    if (std::getenv("BENCH_KEEP_PACKAGE") != nullptr) {
      std::fprintf(stderr, "package kept: %s\n", path_.c_str());
    } else {
      std::remove(path_.c_str());
    }
  }
  const std::string& path() const { return path_; }

private:
  std::string path_;
};

const BenchPackage& benchPackage() {
  static const BenchPackage package;
  return package;
}

void BM_WalkHashed(benchmark::State& state) {
  const std::string& path = benchPackage().path();
  std::vector<char> block(4096);
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    std::ifstream input(path, std::ios_base::binary);
    PartStream stream(input, true);
    stream.wanted = {partPackage, partText24, partFileTree, partSignature};
    while (stream.next() != -1) {
      std::streamsize got;
      while ((got = stream.rdbuf()->sgetn(block.data(), std::streamsize(block.size()))) > 0) {
        bytes += std::uint64_t(got);
      }
    }
    std::uint8_t digest[SHA1::digestSize];
    benchmark::DoNotOptimize(stream.takeDigest(digest));
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(std::int64_t(bytes));
}
BENCHMARK(BM_WalkHashed)->Unit(benchmark::kMillisecond)->UseRealTime();

template <typename H>
void BM_Sha1Only(benchmark::State& state) {
  const std::string data = randomBytes(payloadSize);
  for (auto _ : state) {
    H hash;
    for (std::size_t at = 0; at < data.size(); at += 4096) hash.update(data.data() + at, 4096);
    std::uint8_t digest[SHA1::digestSize];
    hash.digest(digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * payloadSize);
}
BENCHMARK_TEMPLATE(BM_Sha1Only, SHA1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Sha1Only, BuiltinSha1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
