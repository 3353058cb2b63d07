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
    const bool verified = stream.verifySignature();
    pkgwriter::Digest digest{};
    EXPECT_TRUE(stream.takeDigest(digest.data()));
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
    std::function<bool(PartStream&)> rule = [&](PartStream& s) { return acceptPackage(s, key); };
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
  EXPECT_FALSE(shortTrailer->verifySignature());
  pkgwriter::Digest digest{};
  ASSERT_TRUE(shortTrailer->takeDigest(digest.data()));
  EXPECT_EQ(digest, pkgwriter::sha1(package + shortHeader));
  EXPECT_EQ(shortTrailer->next(), partNote);
  // A longer trailer (here with a wrong digest copy): its extra bytes are
  // passed over by the next step.
  std::istringstream longInput(wrapFile(package + encodePart(partSignature, std::string(72, 'x')) +
                                        encodePart(partNote, "after")));
  auto longTrailer = onTrailer(longInput);
  EXPECT_FALSE(longTrailer->verifySignature());
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
    EXPECT_EQ(verdicts(c.file, [&](PartStream& s) { return acceptPackage(s, c.trust); }),
              c.expected);
}

// The upgrade run's file check: every member accepted, and nothing of the
// bundle before its first member or after its last but what may stand there.
TEST(PackageFileCheck, EveryMemberAndNothingAroundThem) {
  const std::string bundle = sample("sample-bundle.tpk"), plain = sample("sample-plain.tpk");
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
  const std::string known = encodePart(partPackage, pkgwriter::encodeHeaderPayload("k", 1, 1)) +
                            encodePart(partFileTree, std::string(9000, 't'));
  const pkgwriter::Digest knownDigest = pkgwriter::sha1(known);
  const struct {
    const char* what;
    std::string file;
    bool accepted;
    int blocks;
  } cases[] = {
      {"signed bundle", bundle, true, 2},
      {"signed package", plain, true, 1},
      {"tampered package", sample("sample-plain-tampered.tpk"), false, 1},
      {"known digest", wrapFile(known), true, 3},
      {"signature among the bundle's parts", wrapFile(leading + junkTrailer + members), false, 0},
      {"payload after the last member", wrapFile(leading + members + encodePart(partImage, "")),
       false, 2},
      {"text after the last member", wrapFile(leading + members + note), false, 2},
      {"text between members",
       wrapFile(leading + bundle.substr(first, second - first) + note + bundle.substr(second)),
       false, 1},
      {"text after a package", wrapFile(plain.substr(8) + note), false, 1},
      {"two packages outside a bundle", wrapFile(plain.substr(8) + plain.substr(8)), false, 1},
      {"a bundle without a member", wrapFile(leading), false, 0},
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
    EXPECT_EQ(checkPackageFile(stream, knowing(knownDigest), progress), c.accepted) << c.what;
    EXPECT_EQ(positions.size(), std::size_t(c.blocks)) << c.what;
    EXPECT_TRUE(c.blocks != 3 || positions.back() == 0u) << "the last block ends the file";
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
      seen += acceptPackage(stream) ? "ok " : "bad ";
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

// The report of the file check names the package it refused and why; the
// header reading it adds changes no verdict of the check but for headers the
// header reader refuses.
TEST(PackageFileCheck, ReportNamesTheRefusedPackageAndWhy) {
  const std::string bundle = sample("sample-bundle.tpk"), plain = sample("sample-plain.tpk");
  std::istringstream probe(bundle);
  PartStream walk(probe, false);
  walk.wanted = {partPackage};
  ASSERT_EQ(walk.next(), partPackage);
  const std::string members = bundle.substr(walk.partOffset() - 6);
  const std::size_t trailerPart = 6 + trailerSize;
  const std::string head = encodePart(partBundle, pkgwriter::encodeHeaderPayload("b", 1, 1));
  const std::string cutList = std::string("\x05\x00", 2);
  const std::string member = encodePart(partPackage, pkgwriter::encodeHeaderPayload("m", 1, 1));
  pkgwriter::PackageLayout boundLayout;
  boundLayout.name = "p";
  boundLayout.signer = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
  boundLayout.bound = true;
  std::string pokedBinding = pkgwriter::buildPackageFile(boundLayout);
  pokedBinding[pokedBinding.size() - trailerPart - 1] ^= 1;
  const struct {
    const char* what;
    std::string file;
    PackageVerdict verdict;
    const char* name;
    bool asTheCheck;  // the bool check gives the same verdict
  } cases[] = {
      {"short trailer",
       wrapFile(plain.substr(8, plain.size() - 8 - trailerPart) + encodePart(partSignature, "x")),
       PackageVerdict::Malformed, "smp-plain", true},
      {"image and text among the bundle's parts",
       wrapFile(head + encodePart(partImage, "i") + encodePart(partNote, "n") + members),
       PackageVerdict::Accepted, "smp-m2", true},
      {"bundle without members", wrapFile(head), PackageVerdict::Malformed, "b", true},
      {"cut default-disabled list",
       wrapFile(head + encodePart(partDisabledMembers, cutList) + members),
       PackageVerdict::Malformed, "b", false},
      {"cut relation list of a member",
       wrapFile(head + member + encodePart(partDependencies, cutList) + members),
       PackageVerdict::Malformed, "m", false},
      // The binding lies in the signed window: the package's own fault first.
      {"binding changed", pokedBinding, PackageVerdict::DigestMismatch, "p", true},
  };
  for (const auto& c : cases) {
    std::istringstream input(c.file), again(c.file);
    PartStream stream(input, true), checked(again, true);
    const FileCheckReport report = checkPackageFileReported(stream, configuredTrust());
    EXPECT_EQ(report.verdict, c.verdict) << c.what;
    EXPECT_EQ(report.name, c.name) << c.what;
    if (c.asTheCheck) {
      EXPECT_EQ(checkPackageFile(checked, configuredTrust()), c.verdict == PackageVerdict::Accepted)
          << c.what;
    }
  }
}

}  // namespace
