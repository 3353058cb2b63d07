// Trailer checks and the acceptance rule on the sample packages and on
// trailers that are short, long or missing.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/digest_window.h"
#include "pkgwriter/key_signer.h"
#include "pkgwriter/package_builder.h"
#include "sign/signature.h"
#include "support/scratch_dir.h"

namespace {

using pkgwriter::encodePart;
using pkgwriter::wrapFile;

std::string sample(const std::string& name) {
  return testing_support::dataFile("packages/" + name);
}

TrustAnchors knowing(const pkgwriter::Digest& digest) {
  TrustAnchors trust = configuredTrust();
  trust.knownDigests = reinterpret_cast<const std::uint8_t(*)[digestSize]>(digest.data());
  trust.knownDigestCount = 1;
  return trust;
}

// Walks a file as the verifier does: without a rule, a trailer is checked by
// its signature and the window's digest taken right after; with one, every
// package goes through it and only verdicts are recorded.
std::string verdicts(const std::string& bytes, const std::function<bool(PartStream&)>& rule,
                     std::streambuf* tee = nullptr) {
  std::istringstream input(bytes);
  PartStream stream(input, true, tee);
  stream.wanted = {partPackage, partSignature};
  std::string result;
  stream.next();
  while (stream.currentType() == partPackage) {
    if (stream.next() != partSignature || rule) {
      result += rule(stream) ? "ok " : "bad ";
      continue;
    }
    const bool verified = stream.verifySignature() == PackageVerdict::Accepted;
    pkgwriter::Digest digest{};
    EXPECT_EQ(stream.takeDigest(digest.data()), ReadResult::Read);
    result += (verified ? "ok " : "bad ") + pkgwriter::hexDigest(digest) + " ";
    stream.next();
  }
  return result;
}

TEST(SampleSignatures, DigestsAndVerdicts) {
  const std::vector<std::string> lines = testing_support::dataLines("pkgfile/sample_verdicts.txt");
  EXPECT_EQ(lines.size(), 8u);
  for (const std::string& line : lines) {
    const std::vector<std::string> words = testing_support::wordsOf(line);
    std::string expected;
    for (std::size_t i = 2; i < words.size(); ++i) expected += words[i] + " ";
    const std::string &file = words.at(0), &mode = words.at(1);
    std::uint8_t otherKey[publicKeySize];
    std::copy(signerPublicKey(), signerPublicKey() + publicKeySize, otherKey);
    otherKey[0] ^= 0x08;
    const std::uint8_t* key = mode == "otherkey" ? otherKey : nullptr;
    std::function<bool(PartStream&)> rule = [&](PartStream& s) {
      return acceptPackage(s, key) == PackageVerdict::Accepted;
    };
    EXPECT_EQ(verdicts(sample(file), mode == "direct" ? nullptr : rule), expected) << line;
  }

  std::stringbuf tee;  // trailers reach the tee too
  verdicts(sample("sample-bundle.tpk"), nullptr, &tee);
  EXPECT_EQ(tee.str(), sample("sample-bundle.tpk"));
}

TEST(TrailerCheck, ShortAndLong) {
  const std::string package = encodePart(partPackage, pkgwriter::encodeHeaderPayload("p", 1, 1));
  auto onTrailer = [](std::istringstream& input) {
    auto stream = std::make_unique<PartStream>(input, true);
    stream->wanted = {partSignature, partNote};
    EXPECT_EQ(stream->next(), partSignature);
    return stream;
  };
  // 67 bytes: refused without reading into the next part, but the window
  // still ends at the trailer header.
  const std::string shortHeader = pkgwriter::encodePartHeader(partSignature, 67);
  std::istringstream shortInput(
      wrapFile(package + shortHeader + std::string(67, 'x') + encodePart(partNote, "after")));
  auto shortTrailer = onTrailer(shortInput);
  EXPECT_EQ(shortTrailer->verifySignature(), PackageVerdict::Malformed);
  pkgwriter::Digest digest{};
  ASSERT_EQ(shortTrailer->takeDigest(digest.data()), ReadResult::Read);
  EXPECT_EQ(digest, pkgwriter::sha1(package + shortHeader));
  EXPECT_EQ(shortTrailer->next(), partNote);
  // A longer trailer (here with a wrong digest copy): its extra bytes are
  // passed over by the next step.
  std::istringstream longInput(wrapFile(package + encodePart(partSignature, std::string(72, 'x')) +
                                        encodePart(partNote, "after")));
  auto longTrailer = onTrailer(longInput);
  EXPECT_EQ(longTrailer->verifySignature(), PackageVerdict::DigestMismatch);
  ASSERT_EQ(longTrailer->next(), partNote);
  EXPECT_EQ(longTrailer->get(), 'a');
}

TEST(AcceptanceRule, KnownDigestsOnlyForPackagesWithoutTrailer) {
  const std::string body = encodePart(partPackage, pkgwriter::encodeHeaderPayload("p", 1, 1)) +
                           encodePart(partNote, "n");
  const pkgwriter::Digest unsignedDigest = pkgwriter::sha1(body);
  pkgwriter::Digest nearly = unsignedDigest;  // the last byte is compared too
  nearly[digestSize - 1] ^= 1;
  // A trailer is always checked by its signature, even when the digest it
  // carries is a known one.
  const std::string trailerHeader = pkgwriter::encodePartHeader(partSignature, trailerSize);
  const pkgwriter::Digest signedDigest = pkgwriter::sha1(body + trailerHeader);
  std::string trailer(reinterpret_cast<const char*>(signedDigest.data()), digestSize);
  trailer.append(trailerSize - digestSize, '\x01');
  // Each member of a bundle has a window of its own: the first ends at the
  // second's header.
  const struct {
    std::string file;
    TrustAnchors trust;
    const char* expected;
  } cases[] = {
      {wrapFile(body), knowing(unsignedDigest), "ok "},
      {wrapFile(body), configuredTrust(), "bad "},
      {wrapFile(body), knowing(nearly), "bad "},
      {wrapFile(body + body), knowing(unsignedDigest), "ok ok "},
      {wrapFile(body + encodePart(partNote, "x")), knowing(unsignedDigest), "bad "},
      {wrapFile(body + trailerHeader + trailer), knowing(signedDigest), "bad "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(verdicts(c.file,
                       [&](PartStream& s) {
                         return acceptPackage(s, c.trust) == PackageVerdict::Accepted;
                       }),
              c.expected);
}

// The upgrade run's file check over the files of tests/data/pkgfile/checks.txt
// (made as its README says): every member accepted, nothing of a bundle before
// its first member or after its last but what may stand there; progress after
// every block; the check and the report say why, and the report names the
// package refused, its header reading refusing a file the plain check passes
// only for headers it refuses.
TEST(PackageFileCheck, VerdictsBlocksAndReports) {
  const char* const verdicts[] = {"Accepted",       "NoSignatureUnknownDigest",
                                  "DigestMismatch", "BadSignature",
                                  "Malformed",      "BindingMismatch"};
  for (const std::string& line : testing_support::dataLines("pkgfile/checks.txt")) {
    const std::vector<std::string> w = testing_support::wordsOf(line);
    const std::string file = testing_support::dataFile(w.at(0));
    const bool known = w[0].find("/known-") != std::string::npos;  // its digest is known
    const pkgwriter::Digest digest = pkgwriter::sha1(file.substr(8));
    const TrustAnchors trust = known ? knowing(digest) : configuredTrust();
    std::istringstream input(file), again(file);
    PartStream stream(input, true), reported(again, true);
    std::vector<std::uint32_t> left;
    const CheckProgress progress{
        [](void* context, std::uint32_t position, std::uint32_t total) {
          static_cast<std::vector<std::uint32_t>*>(context)->push_back(total - position);
        },
        &left};
    const PackageVerdict verdict = checkPackageFile(stream, trust, progress);
    const FileCheckReport report = checkPackageFileReported(reported, trust);
    EXPECT_EQ(std::string(verdicts[int(verdict)]) + " " + std::to_string(left.size()) + " " +
                  verdicts[int(report.verdict)] + " " + report.name,
              line.substr(w[0].size() + 1));
    EXPECT_TRUE(!known || (!left.empty() && left.back() == 0u)) << "the last block ends the file";
  }
}

// The walks of an installer from before bindings, with their wanted lists as
// they stood (file check, stream installation, package file loader), pass
// over the binding part of a bound bundle: they stop where they stop in the
// same bundle unbound, and accept every member.
TEST(Binding, ReadersThatDoNotKnowItPassOverIt) {
  pkgwriter::BundleLayout layout;
  layout.name = "b";
  layout.defaultDisabled = {{{"m2"}}};
  for (const char* name : {"m1", "m2"}) {
    pkgwriter::PackageLayout member;
    member.name = name;
    member.fileTree = std::string(100, 't');
    member.signer = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
    layout.members.push_back(pkgwriter::buildPackageBody(member));
  }
  const std::string unbound = pkgwriter::buildBundleFile(layout);
  layout.binder = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
  const std::string bound = pkgwriter::buildBundleFile(layout);
  ASSERT_NE(bound.find(pkgwriter::encodePartHeader(25, 24)), std::string::npos);
  const auto walk = [](const std::string& file, const std::vector<std::uint32_t>& wanted) {
    std::istringstream input(file);
    PartStream stream(input, true);
    stream.wanted = wanted;
    std::string seen;
    for (int type = stream.next(); type != -1;) {
      seen += std::to_string(type) + " ";
      if (type != partSignature) {
        type = stream.next();
        continue;
      }
      // The check of that time also refused anything between a trailer and
      // the next member.
      const std::uint32_t trailerEnd = stream.partOffset() + stream.partLength();
      seen += acceptPackage(stream) == PackageVerdict::Accepted ? "ok " : "bad ";
      type = stream.currentType();
      if (type != -1 && stream.partOffset() - 6 != trailerEnd) seen += "bad ";
    }
    return seen;
  };
  for (const std::vector<std::uint32_t>& wanted : {std::vector<std::uint32_t>{1, 18, 21, 4, 9},
                                                   {1, 18, 20, 16, 3, 19, 17, 21, 4, 7, 8, 9},
                                                   {18, 1, 24, 16, 2, 23, 3, 19, 17, 21}}) {
    EXPECT_EQ(walk(bound, wanted), walk(unbound, wanted));
    EXPECT_EQ(walk(bound, wanted).find("bad"), std::string::npos);
  }
}

}  // namespace
