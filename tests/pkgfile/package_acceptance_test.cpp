// Trailer checks and the acceptance rule on trailers that are short, long or
// missing, and the file check on the files of tests/data/pkgfile/checks.txt.
#include <gtest/gtest.h>

#include <sstream>

#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/digest_window.h"
#include "pkgwriter/package_builder.h"
#include "sign/signature.h"
#include "support/scratch_dir.h"

namespace {

using pkgwriter::encodePart;
using pkgwriter::wrapFile;

TrustAnchors knowing(const pkgwriter::Digest& digest) {
  TrustAnchors trust = configuredTrust();
  trust.knownDigests = reinterpret_cast<const std::uint8_t(*)[digestSize]>(digest.data());
  trust.knownDigestCount = 1;
  return trust;
}

// Each package of a file judged by the acceptance rule with trust: "ok " or "bad " each.
std::string verdicts(const std::string& bytes, const TrustAnchors& trust) {
  std::istringstream input(bytes);
  PartStream stream(input, true);
  stream.wanted = {partPackage, partSignature};
  std::string result;
  stream.next();
  while (stream.currentType() == partPackage) {
    stream.next();
    result += acceptPackage(stream, trust) == PackageVerdict::Accepted ? "ok " : "bad ";
  }
  return result;
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
  EXPECT_EQ(acceptPackage(*shortTrailer), PackageVerdict::Malformed);
  pkgwriter::Digest digest{};
  ASSERT_EQ(shortTrailer->takeDigest(digest.data()), ReadResult::Read);
  EXPECT_EQ(digest, pkgwriter::sha1(package + shortHeader));
  EXPECT_EQ(shortTrailer->next(), partNote);
  // A longer trailer (here with a wrong digest copy): its extra bytes are
  // passed over by the next step.
  std::istringstream longInput(wrapFile(package + encodePart(partSignature, std::string(72, 'x')) +
                                        encodePart(partNote, "after")));
  auto longTrailer = onTrailer(longInput);
  EXPECT_EQ(acceptPackage(*longTrailer), PackageVerdict::DigestMismatch);
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
  for (const auto& c : cases) EXPECT_EQ(verdicts(c.file, c.trust), c.expected);
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
    std::stringbuf tee;  // an accepted file reaches it whole, trailers too
    PartStream stream(input, true, &tee), reported(again, true);
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
    EXPECT_TRUE(verdict != PackageVerdict::Accepted || tee.str() == file) << "teed";
  }
}

}  // namespace
