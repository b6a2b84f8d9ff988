#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

namespace qvn::pack {

// A file's bytes as pieces in file order: bytes of its own (headers,
// tables, small resources) and views of bytes that the caller keeps alive
// for as long as the pieces (a payload of many megabytes), so that a large
// image is written out without ever being copied whole.
class ImagePieces {
 public:
  void Append(std::span<const std::uint8_t> bytes);  // copied
  void AppendZeros(std::size_t count);
  void Borrow(std::span<const std::uint8_t> bytes);  // not copied
  void Append(ImagePieces&& rest);                   // rest's own bytes move, its views stay views

  std::uint64_t size() const { return size_; }
  // Views of every piece in order, valid while the pieces are neither
  // changed nor gone.
  std::vector<std::span<const std::uint8_t>> Spans() const;
  // The whole file in one buffer.
  std::vector<std::uint8_t> Join() const;

 private:
  std::vector<std::uint8_t>& OwnLast();

  std::vector<std::variant<std::vector<std::uint8_t>, std::span<const std::uint8_t>>> pieces_;
  std::uint64_t size_ = 0;
};

}  // namespace qvn::pack
