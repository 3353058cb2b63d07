// Trailer checks and the acceptance rule on the sample packages and on
// trailers that are short, long, damaged or missing.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/digest_window.h"
#include "pkgwriter/part_encoding.h"
#include "sign/signature.h"
#include "support/scratch_dir.h"

namespace {

using pkgwriter::Digest;
using pkgwriter::encodeFileHeader;
using pkgwriter::encodeHeaderPayload;
using pkgwriter::encodePart;

const std::string samples = std::string(TEST_DATA_DIR) + "/packages/";

std::string sample(const std::string& name) { return testing_support::readFile(samples + name); }

std::string fileOf(const std::string& body) {
  return encodeFileHeader(pkgwriter::standardMagic, std::uint32_t(body.size())) + body;
}

std::string hexOf(const Digest& digest) { return pkgwriter::hexDigest(digest); }

// Walks a file the way the verifier does: each package from its header to the
// first part after it that is not one of its own, then the acceptance rule.
// Returns the digests of the packages' windows, taken right after the check.
struct Verification {
  std::vector<std::string> digests;
  std::vector<bool> verdicts;
};

Verification verify(const std::string& bytes, std::streambuf* tee = nullptr) {
  std::istringstream input(bytes);
  PartStream stream(input, true, tee);
  stream.wanted = {partPackage, partSignature};
  Verification result;
  int type = stream.next();
  while (type == partPackage) {
    type = stream.next();  // the trailer, the next package or the end
    Digest digest{};
    if (type == partSignature) {
      result.verdicts.push_back(stream.verifySignature());
      EXPECT_TRUE(stream.takeDigest(digest.data()));
      type = stream.next();
    } else {
      EXPECT_TRUE(stream.takeDigest(digest.data()));
      result.verdicts.push_back(isKnownDigest(digest.data()));
    }
    result.digests.push_back(hexOf(digest));
  }
  return result;
}

TEST(SampleSignatures, DigestsAndVerdicts) {
  const Verification plain = verify(sample("sample-plain.tpk"));
  EXPECT_EQ(plain.digests, std::vector<std::string>{"fafe3069b24e46612888ee0d280d8d477af07da8"});
  EXPECT_EQ(plain.verdicts, std::vector<bool>{true});

  const Verification relations = verify(sample("sample-relations.tpk"));
  EXPECT_EQ(relations.digests,
            std::vector<std::string>{"0ba232e53e02bbda8a86774de9de4d43034de853"});
  EXPECT_EQ(relations.verdicts, std::vector<bool>{true});

  const Verification image = verify(sample("sample-image.tpk"));
  EXPECT_EQ(image.digests, std::vector<std::string>{"41dcef7d6be6b431d1c55d5bf6669a3bca948aac"});
  EXPECT_EQ(image.verdicts, std::vector<bool>{true});

  const Verification bundle = verify(sample("sample-bundle.tpk"));
  EXPECT_EQ(bundle.digests, (std::vector<std::string>{"5d9d6b1b5d459633e12c2af06b77cbafcb19cea9",
                                                      "f8a35c0ed59b3c46a1beff88696bc59eaad30dea"}));
  EXPECT_EQ(bundle.verdicts, (std::vector<bool>{true, true}));

  const Verification tampered = verify(sample("sample-plain-tampered.tpk"));
  EXPECT_EQ(tampered.digests,
            std::vector<std::string>{"63968c2409f80ed880cd68df045c805c634f9f3c"});
  EXPECT_EQ(tampered.verdicts, std::vector<bool>{false});
}

TEST(SampleSignatures, TeeCopiesTheTrailerToo) {
  const std::string bytes = sample("sample-bundle.tpk");
  std::stringbuf tee;
  verify(bytes, &tee);
  EXPECT_EQ(tee.str(), bytes);
}

TEST(SampleSignatures, GivenKey) {
  const std::string bytes = sample("sample-plain.tpk");
  auto verifyWith = [&](const std::uint8_t* key) {
    std::istringstream input(bytes);
    PartStream stream(input, true);
    stream.wanted = {partSignature};
    EXPECT_EQ(stream.next(), partSignature);
    return stream.verifySignature(key);
  };
  EXPECT_TRUE(verifyWith(signerPublicKey()));
  std::uint8_t otherKey[publicKeySize];
  std::copy(signerPublicKey(), signerPublicKey() + publicKeySize, otherKey);
  otherKey[0] ^= 0x08;
  EXPECT_FALSE(verifyWith(otherKey));
}

TEST(TrailerCheck, ShortLongAndUnhashedTrailers) {
  const std::string package = encodePart(partPackage, encodeHeaderPayload("p", 1, 1));

  // 67 bytes: refused, but the window still ends at the trailer header.
  const std::string shortTrailerHeader = pkgwriter::encodePartHeader(partSignature, 67);
  {
    std::istringstream input(fileOf(package + shortTrailerHeader + std::string(67, 'x')));
    PartStream stream(input, true);
    stream.wanted = {partSignature};
    ASSERT_EQ(stream.next(), partSignature);
    EXPECT_FALSE(stream.verifySignature());
    Digest digest{};
    ASSERT_TRUE(stream.takeDigest(digest.data()));
    EXPECT_EQ(digest, pkgwriter::sha1(package + shortTrailerHeader));
  }

  // A longer trailer is refused (its digest copy is wrong) and its extra bytes
  // are passed over by the next step.
  {
    std::istringstream input(fileOf(package + encodePart(partSignature, std::string(72, 'x')) +
                                     encodePart(partNote, "after")));
    PartStream stream(input, true);
    stream.wanted = {partSignature, partNote};
    ASSERT_EQ(stream.next(), partSignature);
    EXPECT_FALSE(stream.verifySignature());
    ASSERT_EQ(stream.next(), partNote);
    std::string note(5, '\0');
    EXPECT_TRUE(stream.read(note.data(), 5));
    EXPECT_EQ(note, "after");
  }

  // Without hashing there is nothing to check against.
  {
    std::istringstream input(sample("sample-plain.tpk"));
    PartStream stream(input, false);
    stream.wanted = {partSignature};
    ASSERT_EQ(stream.next(), partSignature);
    EXPECT_FALSE(stream.verifySignature());
  }
}

TEST(AcceptanceRule, TrailerOrKnownDigest) {
  auto acceptAll = [](const std::string& bytes) {
    std::istringstream input(bytes);
    PartStream stream(input, true);
    stream.wanted = {partPackage, partSignature};
    int accepted = 0;
    if (stream.next() != partPackage) return -1;
    while (stream.currentType() == partPackage) {
      stream.next();
      if (!acceptPackage(stream)) return -1;
      ++accepted;
    }
    return accepted;
  };
  EXPECT_EQ(acceptAll(sample("sample-bundle.tpk")), 2);
  EXPECT_EQ(acceptAll(sample("sample-plain.tpk")), 1);
  EXPECT_EQ(acceptAll(sample("sample-plain-tampered.tpk")), -1);

  // No trailer: the digest decides, and this one is not in the table.
  const std::string unsignedBody =
      encodePart(partPackage, encodeHeaderPayload("p", 1, 1)) + encodePart(partNote, "x");
  EXPECT_EQ(acceptAll(fileOf(unsignedBody)), -1);
}

}  // namespace
