#include "tools/pack/image/image_pieces.h"

#include <iterator>

namespace qvn::pack {

std::vector<std::uint8_t>& ImagePieces::OwnLast() {
  if (pieces_.empty() || !std::holds_alternative<std::vector<std::uint8_t>>(pieces_.back())) {
    pieces_.emplace_back(std::vector<std::uint8_t>{});
  }
  return std::get<std::vector<std::uint8_t>>(pieces_.back());
}

void ImagePieces::Append(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  std::vector<std::uint8_t>& last = OwnLast();
  last.insert(last.end(), bytes.begin(), bytes.end());
  size_ += bytes.size();
}

void ImagePieces::AppendZeros(std::size_t count) {
  if (count == 0) return;
  std::vector<std::uint8_t>& last = OwnLast();
  last.resize(last.size() + count, 0);
  size_ += count;
}

void ImagePieces::Borrow(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  pieces_.emplace_back(bytes);
  size_ += bytes.size();
}

void ImagePieces::Append(ImagePieces&& rest) {
  pieces_.insert(pieces_.end(), std::make_move_iterator(rest.pieces_.begin()),
                 std::make_move_iterator(rest.pieces_.end()));
  size_ += rest.size_;
  rest.pieces_.clear();
  rest.size_ = 0;
}

std::vector<std::span<const std::uint8_t>> ImagePieces::Spans() const {
  std::vector<std::span<const std::uint8_t>> spans;
  for (const auto& piece : pieces_) {
    std::visit([&spans](const auto& bytes) { spans.emplace_back(bytes); }, piece);
  }
  return spans;
}

std::vector<std::uint8_t> ImagePieces::Join() const {
  std::vector<std::uint8_t> whole;
  whole.reserve(size_);
  for (const std::span<const std::uint8_t> piece : Spans()) whole.insert(whole.end(), piece.begin(), piece.end());
  return whole;
}

}  // namespace qvn::pack
