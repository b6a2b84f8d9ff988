#pragma once

#include <string_view>

namespace qvn {

// Shows "Quorvane portable: <text>\n" to the user: on standard error when the
// process has a usable one, otherwise in a modal message box. Never raises.
void ReportFailure(std::string_view utf8Text) noexcept;

}  // namespace qvn
