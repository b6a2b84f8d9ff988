#pragma once

#include <filesystem>
#include <string>

namespace qvn {

// The packer's text is UTF-8 on every host: its arguments (see
// Utf8Arguments) and what it prints. A std::filesystem::path made from or
// shown as a narrow string would go through the Windows code page instead,
// which cannot hold every name (C:\Users\Jürgen fails or turns into other
// letters), so paths cross between the two only here.
std::filesystem::path Utf8Path(const std::string& text);
std::string PathText(const std::filesystem::path& path);

}  // namespace qvn
