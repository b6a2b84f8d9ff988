#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvn::bench {

// The launch benchmark's one clock, shared by every process of a run:
// GetSystemTimePreciseAsFileTime, in 100 ns ticks.
std::uint64_t PreciseNow();

double SecondsBetween(std::uint64_t earlier, std::uint64_t later);

// The line the game double writes when it starts, and its reading from a
// game.log that may hold other lines too.
std::string GameStartLine(std::uint64_t ticks);
std::optional<std::uint64_t> FindGameStart(std::string_view log);

}  // namespace qvn::bench
