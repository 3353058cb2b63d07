// Trailer checks and the acceptance rule on the sample packages and on
// trailers that are short, long or missing.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "pkgfile/header_parts.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/digest_window.h"
#include "pkgwriter/package_builder.h"
#include "sign/signature.h"
#include "support/scratch_dir.h"

namespace {

using pkgwriter::encodePart;

std::string sample(const std::string& name) {
  return testing_support::readFile(std::string(TEST_DATA_DIR) + "/packages/" + name);
}

// Walks a file as the verifier does. Signed packages are checked directly so
// that their digest can be taken right after the check; with viaRule every
// package goes through the acceptance rule and only verdicts are recorded.
std::string verifyAll(const std::string& bytes, std::streambuf* tee = nullptr,
                      const std::uint8_t* key = nullptr, bool viaRule = false) {
  std::istringstream input(bytes);
  PartStream stream(input, true, tee);
  stream.wanted = {partPackage, partSignature};
  std::string result;
  stream.next();
  while (stream.currentType() == partPackage) {
    if (stream.next() != partSignature || viaRule) {
      result += acceptPackage(stream, key) ? "ok " : "bad ";
      continue;
    }
    const bool verified = stream.verifySignature(key);
    pkgwriter::Digest digest{};
    EXPECT_TRUE(stream.takeDigest(digest.data()));
    result += (verified ? "ok " : "bad ") + pkgwriter::hexDigest(digest) + " ";
    stream.next();
  }
  return result;
}

TEST(SampleSignatures, DigestsAndVerdicts) {
  EXPECT_EQ(verifyAll(sample("sample-plain.tpk")), "ok fafe3069b24e46612888ee0d280d8d477af07da8 ");
  EXPECT_EQ(verifyAll(sample("sample-relations.tpk")),
            "ok 0ba232e53e02bbda8a86774de9de4d43034de853 ");
  EXPECT_EQ(verifyAll(sample("sample-image.tpk")), "ok 41dcef7d6be6b431d1c55d5bf6669a3bca948aac ");
  EXPECT_EQ(verifyAll(sample("sample-bundle.tpk")),
            "ok 5d9d6b1b5d459633e12c2af06b77cbafcb19cea9 ok f8a35c0ed59b3c46a1beff88696bc59eaad30dea ");
  EXPECT_EQ(verifyAll(sample("sample-plain-tampered.tpk")),
            "bad 63968c2409f80ed880cd68df045c805c634f9f3c ");

  EXPECT_EQ(verifyAll(sample("sample-bundle.tpk"), nullptr, nullptr, true), "ok ok ");
  EXPECT_EQ(verifyAll(sample("sample-plain-tampered.tpk"), nullptr, nullptr, true), "bad ");

  // A key given by the caller replaces the configured one.
  std::uint8_t otherKey[publicKeySize];
  std::copy(signerPublicKey(), signerPublicKey() + publicKeySize, otherKey);
  otherKey[0] ^= 0x08;
  EXPECT_EQ(verifyAll(sample("sample-plain.tpk"), nullptr, otherKey, true), "bad ");

  // Trailers reach the tee too.
  std::stringbuf tee;
  verifyAll(sample("sample-bundle.tpk"), &tee);
  EXPECT_EQ(tee.str(), sample("sample-bundle.tpk"));
}

TEST(TrailerCheck, ShortLongMissingAndUnhashed) {
  const std::string package = encodePart(partPackage, pkgwriter::encodeHeaderPayload("p", 1, 1));
  auto onTrailer = [](std::istringstream& input, bool hashing) {
    auto stream = std::make_unique<PartStream>(input, hashing);
    stream->wanted = {partSignature, partNote};
    EXPECT_EQ(stream->next(), partSignature);
    return stream;
  };

  // 67 bytes: refused, but the window still ends at the trailer header.
  const std::string shortHeader = pkgwriter::encodePartHeader(partSignature, 67);
  std::istringstream shortInput(pkgwriter::wrapFile(package + shortHeader + std::string(67, 'x')));
  auto shortTrailer = onTrailer(shortInput, true);
  EXPECT_FALSE(shortTrailer->verifySignature());
  pkgwriter::Digest digest{};
  ASSERT_TRUE(shortTrailer->takeDigest(digest.data()));
  EXPECT_EQ(digest, pkgwriter::sha1(package + shortHeader));

  // A longer trailer (here with a wrong digest copy): its extra bytes are
  // passed over by the next step.
  std::istringstream longInput(pkgwriter::wrapFile(
      package + encodePart(partSignature, std::string(72, 'x')) + encodePart(partNote, "after")));
  auto longTrailer = onTrailer(longInput, true);
  EXPECT_FALSE(longTrailer->verifySignature());
  ASSERT_EQ(longTrailer->next(), partNote);
  EXPECT_EQ(longTrailer->get(), 'a');

  // Without hashing there is nothing to check against.
  std::istringstream plainInput(sample("sample-plain.tpk"));
  EXPECT_FALSE(onTrailer(plainInput, false)->verifySignature());

  // No trailer: the digest decides, and this one is not in the table.
  EXPECT_EQ(verifyAll(pkgwriter::wrapFile(package + encodePart(partNote, "x"))), "bad ");
}


// A package file as the upgrade run's verifier takes it: the loader's size
// check, then every package through the acceptance rule.
bool verifiesWhole(const std::string& bytes, const testing_support::ScratchDir& dir) {
  testing_support::writeFile(dir / "p.tpk", bytes);
  PackageFile file;
  if (!loadPackageFile(file, dir / "p.tpk")) return false;
  const std::string verdicts = verifyAll(bytes, nullptr, nullptr, true);
  return !verdicts.empty() && verdicts.find("bad") == std::string::npos;
}

TEST(SampleSignatures, EverySingleBitFlipIsRejected) {
  const testing_support::ScratchDir dir;
  const std::string original = sample("sample-plain.tpk");
  ASSERT_TRUE(verifiesWhole(original, dir));
  for (std::size_t bit = 0; bit < original.size() * 8; ++bit) {
    std::string flipped = original;
    flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << (bit % 8)));
    EXPECT_FALSE(verifiesWhole(flipped, dir)) << "byte " << bit / 8 << " bit " << bit % 8;
  }
}

TEST(AcceptanceRule, KnownDigestsOnlyForPackagesWithoutTrailer) {
  const std::string body =
      encodePart(partPackage, pkgwriter::encodeHeaderPayload("p", 1, 1)) + encodePart(partNote, "n");
  const pkgwriter::Digest unsignedDigest = pkgwriter::sha1(body);
  const TrustAnchors defaults = configuredTrust();
  auto accepts = [](const std::string& bytes, const TrustAnchors& trust) {
    std::istringstream input(bytes);
    PartStream stream(input, true);
    stream.wanted = {partPackage, partSignature};
    std::string verdicts;
    stream.next();
    while (stream.currentType() == partPackage) {
      stream.next();
      verdicts += acceptPackage(stream, trust) ? "ok " : "bad ";
    }
    return verdicts;
  };

  TrustAnchors known = defaults;
  known.knownDigests = reinterpret_cast<const std::uint8_t(*)[digestSize]>(unsignedDigest.data());
  known.knownDigestCount = 1;
  EXPECT_EQ(accepts(pkgwriter::wrapFile(body), known), "ok ");
  EXPECT_EQ(accepts(pkgwriter::wrapFile(body), defaults), "bad ");
  // Each member of a bundle has a window of its own: the first ends at the
  // second's header.
  EXPECT_EQ(accepts(pkgwriter::wrapFile(body + body), known), "ok ok ");
  EXPECT_EQ(accepts(pkgwriter::wrapFile(body + encodePart(partNote, "x")), known), "bad ");

  // A trailer is always checked by its signature, even when the digest it
  // carries is a known one.
  const std::string trailerHeader = pkgwriter::encodePartHeader(partSignature, trailerSize);
  const pkgwriter::Digest signedDigest = pkgwriter::sha1(body + trailerHeader);
  std::string trailer(reinterpret_cast<const char*>(signedDigest.data()), digestSize);
  trailer.append(trailerSize - digestSize, '\x01');
  TrustAnchors knownSigned = defaults;
  knownSigned.knownDigests = reinterpret_cast<const std::uint8_t(*)[digestSize]>(signedDigest.data());
  knownSigned.knownDigestCount = 1;
  const std::uint64_t curveChecks = signatureCurveChecks();
  EXPECT_EQ(accepts(pkgwriter::wrapFile(body + trailerHeader + trailer), knownSigned), "bad ");
  EXPECT_EQ(signatureCurveChecks(), curveChecks + 1);
}

// The upgrade run's file check: every member accepted, and nothing of the
// bundle before its first member or after its last but what may stand there.
TEST(PackageFileCheck, EveryMemberAndNothingAroundThem) {
  const std::string bundle = sample("sample-bundle.tpk");
  std::istringstream probe(bundle);
  PartStream walk(probe, false);
  walk.wanted = {partPackage};
  ASSERT_EQ(walk.next(), partPackage);
  const std::size_t first = walk.partOffset() - 6;
  ASSERT_EQ(walk.next(), partPackage);
  const std::size_t second = walk.partOffset() - 6;
  const std::string leading = bundle.substr(8, first - 8), members = bundle.substr(first);
  const std::string note = encodePart(partNote, "unsigned");
  const std::string junkTrailer = encodePart(partSignature, std::string(trailerSize, 'x'));
  // An unsigned package of a known digest whose file tree takes three blocks.
  const std::string known = encodePart(partPackage, pkgwriter::encodeHeaderPayload("k", 1, 1)) +
                            encodePart(partFileTree, std::string(9000, 't'));
  const pkgwriter::Digest knownDigest = pkgwriter::sha1(known);
  TrustAnchors trust = configuredTrust();
  trust.knownDigests = reinterpret_cast<const std::uint8_t(*)[digestSize]>(knownDigest.data());
  trust.knownDigestCount = 1;
  const struct {
    const char* what;
    std::string file;
    bool accepted;
    int blocks;
  } cases[] = {
      {"signed bundle", bundle, true, 2},
      {"signed package", sample("sample-plain.tpk"), true, 1},
      {"tampered package", sample("sample-plain-tampered.tpk"), false, 1},
      {"known digest", pkgwriter::wrapFile(known), true, 3},
      {"signature among the bundle's parts", pkgwriter::wrapFile(leading + junkTrailer + members),
       false, 0},
      {"payload after the last member",
       pkgwriter::wrapFile(leading + members + encodePart(partImage, "")), false, 2},
      {"text after the last member", pkgwriter::wrapFile(leading + members + note), false, 2},
      {"text between members",
       pkgwriter::wrapFile(leading + bundle.substr(first, second - first) + note +
                           bundle.substr(second)),
       false, 1},
      {"text after a package", pkgwriter::wrapFile(sample("sample-plain.tpk").substr(8) + note),
       false, 1},
  };
  for (const auto& c : cases) {
    std::istringstream input(c.file);
    PartStream stream(input, true);
    std::vector<std::uint32_t> positions;
    const CheckProgress progress{
        [](void* context, std::uint32_t position, std::uint32_t total) {
          static_cast<std::vector<std::uint32_t>*>(context)->push_back(total - position);
        },
        &positions};
    EXPECT_EQ(checkPackageFile(stream, trust, progress), c.accepted) << c.what;
    EXPECT_EQ(positions.size(), std::size_t(c.blocks)) << c.what;
    if (c.blocks == 3) {
      EXPECT_EQ(positions.back(), 0u) << "the last block ends the file";
    }
  }
}

}  // namespace
