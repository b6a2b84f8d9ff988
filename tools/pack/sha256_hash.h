#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace qvn::pack {

using Sha256Hash = std::array<std::uint8_t, 32>;

// SHA-256 of a whole buffer from the platform's own library: OpenSSL's
// libcrypto on Linux, BCrypt on Windows. Raises std::runtime_error when the
// library fails.
Sha256Hash HashSha256(std::span<const std::uint8_t> bytes);

// The same digest over bytes that arrive in parts, for files that are read
// a chunk at a time.
class Sha256Hasher {
 public:
  Sha256Hasher();
  ~Sha256Hasher();
  Sha256Hasher(Sha256Hasher&&) noexcept;
  Sha256Hasher& operator=(Sha256Hasher&&) noexcept;

  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything given; the hasher is spent afterwards.
  Sha256Hash Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qvn::pack
