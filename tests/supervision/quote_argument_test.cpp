#include "supervision/quote_argument.h"

#include <gtest/gtest.h>

#include <string>

namespace qvn {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The inverse of the Windows argument splitting, character by character:
// backslashes double only in front of a quotation mark or the closing one.
TEST(QuoteArgument, EscapesOnlyWhatTheSplittingRulesWouldConsume) {
  struct Case {
    std::wstring input;
    std::wstring quoted;
  };
  const Case cases[] = {
      {L"a b", L"\"a b\""},
      {L"a\\b", L"\"a\\b\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"a\\\"b", L"\"a\\\\\\\"b\""},
      {L"a\\", L"\"a\\\\\""},
      {L"", L"\"\""},
      {L"plain", L"\"plain\""},
      {L"\"", L"\"\\\"\""},
      {L"a\\\\b", L"\"a\\\\b\""},
      {L"a\\\\", L"\"a\\\\\\\\\""},
      {L"a\\\\\"", L"\"a\\\\\\\\\\\"\""},
      {L"C:\\Program Files\\", L"\"C:\\Program Files\\\\\""},
      {L"\t\n", L"\"\t\n\""},
      {L"\u00fc\u65e5", L"\"\u00fc\u65e5\""},
  };
  for (const Case& c : cases) EXPECT_TRUE(QuoteArgument(c.input) == c.quoted) << Narrow(c.input);
}

}  // namespace
}  // namespace qvn
