#include "bench/launch_clock.h"

#include <windows.h>

#include <charconv>

namespace qvn::bench {
namespace {

constexpr std::string_view kGameStartTag = "qvn-bench-game-start ";

}  // namespace

std::uint64_t PreciseNow() {
  FILETIME now = {};
  GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

double SecondsBetween(std::uint64_t earlier, std::uint64_t later) {
  return (static_cast<double>(later) - static_cast<double>(earlier)) / 1e7;
}

std::string GameStartLine(std::uint64_t ticks) { return std::string(kGameStartTag) + std::to_string(ticks) + "\n"; }

std::optional<std::uint64_t> FindGameStart(std::string_view log) {
  const std::size_t tag = log.find(kGameStartTag);
  if (tag == std::string_view::npos) return std::nullopt;
  const char* first = log.data() + tag + kGameStartTag.size();
  std::uint64_t ticks = 0;
  const auto [end, error] = std::from_chars(first, log.data() + log.size(), ticks);
  if (error != std::errc() || end == first) return std::nullopt;
  return ticks;
}

}  // namespace qvn::bench
