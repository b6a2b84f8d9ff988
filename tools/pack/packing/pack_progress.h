#pragma once

#include <cstdint>
#include <functional>

namespace qvn::pack {

// Reports bytes of work done out of the total, as long work goes on.
using PackProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

}  // namespace qvn::pack
