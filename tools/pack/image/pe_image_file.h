#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/pack/image/pe_image.h"

namespace qvn::pack {

// A PE image's file with its headers read once, and reads by RVA as a
// loader would see them: what crash analysis needs from a game's modules.
class PeImageFile {
 public:
  // Raises PeFormatError when the headers do not hold together.
  explicit PeImageFile(std::vector<std::uint8_t> bytes);
  // The view points into the bytes, which a move keeps where they are.
  PeImageFile(const PeImageFile&) = delete;
  PeImageFile& operator=(const PeImageFile&) = delete;
  PeImageFile(PeImageFile&&) = default;
  PeImageFile& operator=(PeImageFile&&) = delete;
  ~PeImageFile() = default;

  const PeHeaders& headers() const { return headers_; }
  std::span<const std::uint8_t> bytes() const { return bytes_; }
  const PeFileView& file() const { return file_; }

  // `length` bytes at `rva`, which must lie inside one section's data in the
  // file; raises PeFormatError naming `what` otherwise.
  std::span<const std::uint8_t> BytesAt(std::uint32_t rva, std::uint64_t length, const char* what) const;
  std::uint8_t U8At(std::uint32_t rva, const char* what) const { return BytesAt(rva, 1, what)[0]; }
  std::uint16_t U16At(std::uint32_t rva, const char* what) const;
  std::uint32_t U32At(std::uint32_t rva, const char* what) const;

  // Whether `rva` lies in a section that holds code.
  bool IsCode(std::uint32_t rva) const;

 private:
  std::vector<std::uint8_t> bytes_;
  PeFileView file_;
  PeHeaders headers_;
};

}  // namespace qvn::pack
