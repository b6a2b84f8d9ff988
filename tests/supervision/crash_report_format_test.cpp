#include "supervision/crash_report_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvn {
namespace {

constexpr char kMain[] = "0123456789abcdef0123456789abcdef01234567";
constexpr char kSource[] = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";

CrashReportFields AccessViolationInDll() {
  CrashReportFields fields;
  fields.version = "0.3.176";
  fields.main = kMain;
  fields.source = kSource;
  fields.utc = {2025, 1, 2, 3, 4, 5, 6};
  fields.processId = 4242;
  fields.threadId = 77;
  fields.firstChance = 0;
  fields.exceptionCode = 0xC0000005;
  fields.exceptionFlags = 0;
  fields.exceptionAddress = 0x00007FFA12341234;
  fields.parameterCount = 2;
  fields.parameters = {1, 0x20};
  fields.contextCaptured = true;
  fields.contextError = 0;
  fields.rip = 0x7FFA12341234;
  fields.rsp = 0x5FF9A0;
  fields.faultModule = "C:\\Games\\Q\\data\\portable-runtime\\fault.dll";
  fields.moduleBase = 0x00007FFA12340000;
  return fields;
}

std::string Report(const CrashReportFields& fields) {
  CrashTextBuffer buffer = {};
  const std::size_t length = FormatCrashReport(fields, buffer);
  return std::string(buffer.data(), length);
}

TEST(CrashReportFormat, FiveLinesWithEveryFieldInItsFixedForm) {
  EXPECT_EQ(Report(AccessViolationInDll()),
            "QVN_PORTABLE_CRASH version=0.3.176 main=0123456789abcdef0123456789abcdef01234567 "
            "source=0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF\n"
            "utc=2025-01-02T03:04:05.006Z process_id=4242 thread_id=77 first_chance=0\n"
            "exception_code=0xC0000005 exception_flags=0x00000000 exception_address=00007FFA12341234 "
            "parameters=2 parameter0=0x1 parameter1=0x20\n"
            "context_captured=1 context_error=0 rip=0x7FFA12341234 rsp=0x5FF9A0\n"
            "fault_module=C:\\Games\\Q\\data\\portable-runtime\\fault.dll module_base=00007FFA12340000 "
            "module_offset=0x1234\n");
}

// Each case changes a few fields and names the substrings that must appear.
TEST(CrashReportFormat, FieldsFollowTheirValues) {
  struct Case {
    const char* name;
    void (*change)(CrashReportFields&);
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"no parameters",
       [](CrashReportFields& f) { f.parameterCount = 0; },
       {"parameters=0 parameter0=0x0 parameter1=0x0\n"}},
      {"one parameter",
       [](CrashReportFields& f) { f.parameterCount = 1; },
       {"parameters=1 parameter0=0x1 parameter1=0x0\n"}},
      {"fifteen parameters",
       [](CrashReportFields& f) { f.parameterCount = 15; },
       {"parameters=15 parameter0=0x1 parameter1=0x20\n"}},
      {"free memory",
       [](CrashReportFields& f) {
         f.exceptionAddress = 0;
         f.moduleBase = 0;
         f.faultModule = "";
       },
       {"exception_address=0000000000000000 ", "fault_module= module_base=0000000000000000 module_offset=0x0\n"}},
      {"address without module",
       [](CrashReportFields& f) {
         f.moduleBase = 0;
         f.faultModule = "";
       },
       {"fault_module= module_base=0000000000000000 module_offset=0x7FFA12341234\n"}},
      {"context not captured",
       [](CrashReportFields& f) {
         f.contextCaptured = false;
         f.contextError = 5;
         f.rip = 0;
         f.rsp = 0;
       },
       {"context_captured=0 context_error=5 rip=0x0 rsp=0x0\n"}},
      {"unavailable module",
       [](CrashReportFields& f) { f.faultModule = "unavailable"; },
       {"fault_module=unavailable module_base="}},
      {"largest values",
       [](CrashReportFields& f) {
         f.utc = {9999, 12, 31, 23, 59, 59, 999};
         f.processId = 0xFFFFFFFF;
         f.firstChance = 1;
         f.exceptionCode = 0x80000003;
         f.exceptionFlags = 0x1;
         f.exceptionAddress = 0xFFFFFFFFFFFFFFFF;
         f.moduleBase = 0x1;
       },
       {"utc=9999-12-31T23:59:59.999Z process_id=4294967295 ", "first_chance=1\n",
        "exception_code=0x80000003 exception_flags=0x00000001 exception_address=FFFFFFFFFFFFFFFF ",
        "module_base=0000000000000001 module_offset=0xFFFFFFFFFFFFFFFE\n"}},
      {"first moment",
       [](CrashReportFields& f) { f.utc = {1601, 1, 1, 0, 0, 0, 0}; },
       {"utc=1601-01-01T00:00:00.000Z "}},
  };
  for (const Case& c : cases) {
    CrashReportFields fields = AccessViolationInDll();
    c.change(fields);
    const std::string report = Report(fields);
    for (const std::string& part : c.expected)
      EXPECT_NE(report.find(part), std::string::npos) << c.name << "\n" << report;
  }
}

TEST(CrashReportFormat, OverlongReportIsCutToTheBufferWithoutItsTerminator) {
  const std::string longModule(2047, 'm');
  const std::string longVersion(3000, '9');
  CrashReportFields fields = AccessViolationInDll();
  fields.version = longVersion;
  fields.faultModule = longModule.c_str();
  CrashTextBuffer buffer = {};
  EXPECT_EQ(FormatCrashReport(fields, buffer), 4095u);
  EXPECT_EQ(buffer[4095], '\0');
  EXPECT_EQ(std::string(buffer.data(), 4095).rfind("QVN_PORTABLE_CRASH version=999", 0), 0u);
}

TEST(CaptureLineFormat, StartsOnALineOfItsOwnWithBothOutcomes) {
  struct Case {
    CaptureOutcome outcome;
    std::string line;
  };
  const Case cases[] = {
      {{true, 0, true, 0},
       "\nQVN_PORTABLE_CRASH_CAPTURE dump_written=1 dump_error=0 report_written=1 report_error=0\n"},
      {{false, 3, true, 0},
       "\nQVN_PORTABLE_CRASH_CAPTURE dump_written=0 dump_error=3 report_written=1 report_error=0\n"},
      {{false, 0x80070070, false, 4294967295},
       "\nQVN_PORTABLE_CRASH_CAPTURE dump_written=0 dump_error=2147942512 report_written=0 report_error=4294967295\n"},
  };
  for (const Case& c : cases) {
    CrashTextBuffer buffer = {};
    const std::size_t length = FormatCaptureLine(c.outcome, buffer);
    EXPECT_EQ(std::string(buffer.data(), length), c.line);
  }
}

TEST(ExitRecordFormat, EightUpperCaseHexDigitsOnALineOfItsOwn) {
  struct Case {
    std::uint32_t status;
    std::string record;
  };
  const Case cases[] = {
      {0, "\nQVN_PORTABLE_EXIT status=0x00000000\n"},          {3, "\nQVN_PORTABLE_EXIT status=0x00000003\n"},
      {0xC0000005, "\nQVN_PORTABLE_EXIT status=0xC0000005\n"}, {0xFFFFFFFF, "\nQVN_PORTABLE_EXIT status=0xFFFFFFFF\n"},
      {0xabc, "\nQVN_PORTABLE_EXIT status=0x00000ABC\n"},
  };
  for (const Case& c : cases) {
    ExitRecordBuffer buffer = {};
    const std::size_t length = FormatExitRecord(c.status, buffer);
    EXPECT_EQ(std::string(buffer.data(), length), c.record);
  }
}

}  // namespace
}  // namespace qvn
