#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace sb {
namespace {

std::string sha256_base64(const std::string& text) {
  const auto digest = sha256(text);
  return base64(digest.data(), digest.size());
}

// Known answers, the padding cases included: 55 and 56 bytes sit on both
// sides of the length field's room in the last block, 64 fills a block.
TEST(Sha256, KnownDigests) {
  EXPECT_EQ(sha256_base64(""), "47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=");
  EXPECT_EQ(sha256_base64("abc"), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
  EXPECT_EQ(sha256_base64("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "JI1qYdIGOLjlwCaTDD5gOaM85Flk/yFn9uzt1BnbBsE=");
  EXPECT_EQ(sha256_base64(std::string(55, 'a')), "n0OQ+NMMLdkuyfCVtl4rmumwqSWlJY4kHJ8ekQ9zQxg=");
  EXPECT_EQ(sha256_base64(std::string(56, 'a')), "s1Q5pKxvCUi21vnjxq8PX1kM4g8b3nCQ73lwaG7Gc4o=");
  EXPECT_EQ(sha256_base64(std::string(64, 'a')), "/+BU/nrgy23GXDr5th1SCfQ5hR20PQulmXM33xVGaOs=");
}

TEST(Base64, PadsTheLastGroup) {
  const auto b = reinterpret_cast<const uint8_t*>("foobar");
  EXPECT_EQ(base64(b, 0), "");
  EXPECT_EQ(base64(b, 1), "Zg==");
  EXPECT_EQ(base64(b, 2), "Zm8=");
  EXPECT_EQ(base64(b, 3), "Zm9v");
  EXPECT_EQ(base64(b, 6), "Zm9vYmFy");
}

}  // namespace
}  // namespace sb
