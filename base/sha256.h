#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace qvn {

using Sha256 = std::array<std::uint8_t, 32>;

inline constexpr std::string_view kSha256Failure = "Unable to verify portable payload SHA-256";

// SHA-256 from the platform's own library: BCrypt on Windows, OpenSSL's
// libcrypto elsewhere. Raises Error (kSha256Failure) when the
// library fails.
Sha256 HashSha256(std::span<const std::uint8_t> bytes);

// A digest as its 64 lower-case hexadecimal digits, as listings and
// tools such as sha256sum show it.
inline std::string DigestHex(std::span<const std::uint8_t> digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * digest.size());
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

// The same digest over bytes that arrive in parts, for files that are read
// a chunk at a time.
class Sha256Hasher {
 public:
  Sha256Hasher();
  ~Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;
  Sha256Hasher(Sha256Hasher&&) noexcept;
  Sha256Hasher& operator=(Sha256Hasher&&) noexcept;

  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything given; the hasher is spent afterwards.
  Sha256 Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qvn
