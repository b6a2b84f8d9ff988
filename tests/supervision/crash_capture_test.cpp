// RunGame in crash capture mode against the test game: the monitor's lines,
// the crash report, the dump and the report file, and what happens when the
// crash outputs cannot be written.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "tests/supervision/game_run_fixture.h"

namespace qvn::testing {
namespace {

constexpr char kHeapReleaseDefault[] = "QVN_LAUNCH_HEAP policy=release_default fatal_capture=enabled";
constexpr char kHeapInherited[] = "QVN_LAUNCH_HEAP policy=inherited fatal_capture=enabled";
constexpr char kMonitorLine[] = "QVN_CRASH_MONITOR armed=1 owner=portable-parent mode=fatal-exception";

std::map<std::string, std::string> Fields(const std::string& line) {
  std::map<std::string, std::string> fields;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    const std::string word = line.substr(start, end - start);
    const std::size_t equals = word.find('=');
    if (equals != std::string::npos) fields[word.substr(0, equals)] = word.substr(equals + 1);
    start = end + 1;
  }
  return fields;
}

std::vector<std::map<std::string, std::string>> Summaries(const std::string& log) {
  std::vector<std::map<std::string, std::string>> summaries;
  for (const std::string& line : SplitLines(log)) {
    if (line.rfind("QVN_MONITOR ", 0) == 0) summaries.push_back(Fields(line));
  }
  return summaries;
}

std::uint64_t Hex(const std::string& text) { return std::stoull(text, nullptr, 16); }

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The crash report as the log holds it: from its tag up to the next line of
// the launcher's own that follows it.
std::string ReportIn(const std::string& log) {
  const std::size_t start = log.find("QVN_PORTABLE_CRASH version=");
  if (start == std::string::npos) return {};
  std::size_t end = start;
  for (int line = 0; line < 5 && end != std::string::npos; ++line) end = log.find('\n', end + 1);
  return end == std::string::npos ? std::string() : log.substr(start, end + 1 - start);
}

std::map<std::string, std::string> ReportFields(const std::string& report) {
  std::map<std::string, std::string> fields;
  for (const std::string& line : SplitLines(report)) {
    for (const auto& [key, value] : Fields(line)) fields[key] = value;
  }
  return fields;
}

std::map<std::string, std::string> CaptureLine(const std::string& log) {
  for (const std::string& line : SplitLines(log)) {
    if (line.rfind("QVN_PORTABLE_CRASH_CAPTURE ", 0) == 0) return Fields(line);
  }
  return {};
}

class CrashCaptureRun {
 public:
  CrashCaptureRun() : crashCapture_(L"QVN_CRASH_CAPTURE", L"1") {}
  GameRunFixture fixture;
  std::wstring DumpPath() const { return fixture.dataDirectory() + L"\\crash-last.dmp"; }
  std::wstring ReportPath() const { return fixture.dataDirectory() + L"\\crash-last.txt"; }

 private:
  ScopedVariable crashCapture_;
};

TEST(CrashCaptureMode, NormalExitLeavesHeapMonitorSummariesAndTheExitRecordInOrder) {
  struct Case {
    std::optional<std::wstring> debugHeap;
    std::string seenByGame;
    const char* heapLine;
  };
  const Case cases[] = {
      {std::nullopt, "env _NO_DEBUG_HEAP=1", kHeapReleaseDefault},
      {L"", "env _NO_DEBUG_HEAP=", kHeapInherited},
      {L"0", "env _NO_DEBUG_HEAP=0", kHeapInherited},
  };
  for (const Case& c : cases) {
    CrashCaptureRun run;
    ScopedVariable debugHeap(L"_NO_DEBUG_HEAP", c.debugHeap);
    ASSERT_EQ(run.fixture.Run({L"env", L"exit", L"0"}), 0u);
    const std::string log = ReadFileBytes(run.fixture.gameLogPath());
    const std::vector<std::string> lines = SplitLines(log);
    ASSERT_GE(lines.size(), 6u) << log;
    EXPECT_EQ(lines[0], c.heapLine);
    EXPECT_EQ(lines[1], kMonitorLine);
    EXPECT_NE(log.find(c.seenByGame + "\n"), std::string::npos) << log;
    // The final summary comes last, right before the exit record.
    EXPECT_EQ(lines[lines.size() - 3].rfind("QVN_MONITOR ", 0), 0u) << log;
    EXPECT_EQ(Fields(lines[lines.size() - 3])["final"], "1");
    EXPECT_EQ(log.substr(log.size() - 37), "\nQVN_PORTABLE_EXIT status=0x00000000\n");
    const auto summaries = Summaries(log);
    for (std::size_t index = 0; index + 1 < summaries.size(); ++index) EXPECT_EQ(summaries[index].at("final"), "0");
    EXPECT_EQ(log.find("QVN_PORTABLE_CRASH"), std::string::npos);
    EXPECT_FALSE(FileExists(run.DumpPath()));
    EXPECT_FALSE(FileExists(run.ReportPath()));
  }
}

// Checks the parts of a minidump that tell it is one, with an exception
// stream for the crashing thread.
void ExpectDumpWithException(const std::string& dump, std::uint32_t threadId, std::uint32_t exceptionCode) {
  auto read32 = [&](std::size_t offset) {
    std::uint32_t value = 0;
    if (offset + 4 <= dump.size()) std::memcpy(&value, dump.data() + offset, 4);
    return value;
  };
  ASSERT_GE(dump.size(), 32u);
  EXPECT_EQ(dump.substr(0, 4), "MDMP");
  EXPECT_EQ(read32(4) & 0xFFFF, 0xA793u);  // MINIDUMP_VERSION
  const std::uint32_t streamCount = read32(8);
  const std::uint32_t directory = read32(12);
  bool found = false;
  for (std::uint32_t index = 0; index < streamCount; ++index) {
    const std::size_t entry = directory + index * 12u;
    if (read32(entry) != 6) continue;  // ExceptionStream
    found = true;
    const std::uint32_t rva = read32(entry + 8);
    EXPECT_EQ(read32(rva), threadId);
    EXPECT_EQ(read32(rva + 8), exceptionCode);
  }
  EXPECT_TRUE(found) << "no exception stream among " << streamCount;
}

TEST(CrashCaptureMode, UnhandledExceptionLeavesReportDumpAndCaptureLine) {
  struct Case {
    const char* name;
    std::vector<std::wstring> commands;
    std::uint32_t exceptionCode;
    std::optional<std::string> parameters;  // "parameters=... parameter0=... parameter1=..."
    enum Module { Exe, Dll, None, Any } module;
  };
  const Case cases[] = {
      {"access violation",
       {L"ids", L"crash-av", L"0x20"},
       0xC0000005,
       "parameters=2 parameter0=0x1 parameter1=0x20",
       Case::Exe},
      {"fault inside the DLL",
       {L"ids", L"crash-dll", L"0x30"},
       0xC0000005,
       "parameters=2 parameter0=0x1 parameter1=0x30",
       Case::Dll},
      {"call through null", {L"ids", L"crash-null-call"}, 0xC0000005, std::nullopt, Case::None},
      {"breakpoint", {L"ids", L"breakpoint"}, 0x80000003, std::nullopt, Case::Any},
  };
  for (const Case& c : cases) {
    CrashCaptureRun run;
    EXPECT_EQ(run.fixture.Run(c.commands), c.exceptionCode) << c.name;
    const std::string log = ReadFileBytes(run.fixture.gameLogPath());
    const std::string report = ReportIn(log);
    ASSERT_FALSE(report.empty()) << c.name << "\n" << log;
    auto fields = ReportFields(report);
    const auto ids = Fields(log.substr(log.find("process_id=")));

    char code[16] = {};
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(c.exceptionCode));
    EXPECT_EQ(fields["exception_code"], code) << c.name;
    EXPECT_EQ(fields["process_id"], ids.at("process_id")) << c.name;
    EXPECT_EQ(fields["thread_id"], ids.at("thread_id")) << c.name;
    EXPECT_EQ(fields["first_chance"], "0") << c.name;
    if (c.parameters) {
      EXPECT_NE(report.find(*c.parameters + "\n"), std::string::npos) << c.name << "\n" << report;
    }
    EXPECT_EQ(fields["context_captured"], "1") << c.name;
    EXPECT_EQ(fields["context_error"], "0") << c.name;
    // A call through null stops with the instruction pointer at 0 itself.
    if (c.module != Case::None) {
      EXPECT_NE(Hex(fields["rip"]), 0u) << c.name;
    }
    EXPECT_NE(Hex(fields["rsp"]), 0u) << c.name;
    EXPECT_TRUE(std::regex_match(fields["utc"], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
        << fields["utc"];
    EXPECT_EQ(fields["exception_address"].size(), 16u) << c.name;
    EXPECT_EQ(fields["module_base"].size(), 16u) << c.name;
    EXPECT_EQ(Hex(fields["module_offset"]), Hex(fields["exception_address"]) - Hex(fields["module_base"])) << c.name;
    switch (c.module) {
      case Case::Exe:
        EXPECT_EQ(fields["fault_module"], ToUtf8(run.fixture.exePath())) << c.name;
        break;
      case Case::Dll:
        EXPECT_EQ(fields["fault_module"], ToUtf8(run.fixture.dllPath())) << c.name;
        break;
      case Case::None:
        EXPECT_EQ(fields["fault_module"], "") << c.name;
        EXPECT_EQ(fields["module_base"], "0000000000000000") << c.name;
        EXPECT_EQ(fields["module_offset"], "0x" + std::to_string(Hex(fields["exception_address"]))) << c.name;
        break;
      case Case::Any:
        break;
    }

    EXPECT_EQ(CaptureLine(log),
              (std::map<std::string, std::string>{
                  {"dump_written", "1"}, {"dump_error", "0"}, {"report_written", "1"}, {"report_error", "0"}}))
        << c.name;
    // Report, capture line, final summary, exit record: in that order.
    const std::size_t reportAt = log.find(report);
    const std::size_t captureAt = log.find("\nQVN_PORTABLE_CRASH_CAPTURE ");
    EXPECT_EQ(captureAt, reportAt + report.size()) << c.name;
    EXPECT_LT(captureAt, log.find("final=1")) << c.name;
    EXPECT_EQ(ReadFileBytes(run.ReportPath()), report) << c.name;
    ExpectDumpWithException(ReadFileBytes(run.DumpPath()), std::stoul(ids.at("thread_id")), c.exceptionCode);
    EXPECT_EQ(Summaries(log).back().at("second_chance"), "1") << c.name;
  }
}

TEST(CrashCaptureOutputs, AnOutputThatCannotBeWrittenIsRecordedAndTheOtherStillWritten) {
  enum class Setup { DumpIsDirectory, DumpCannotBeStaged, ReportIsHardLink, LongerOldReport, StagingIsHardLink };
  struct Case {
    const char* name;
    Setup setup;
  };
  const Case cases[] = {
      {"dump is a directory", Setup::DumpIsDirectory},
      {"dump cannot be staged", Setup::DumpCannotBeStaged},
      {"report is a hard link", Setup::ReportIsHardLink},
      {"longer old report", Setup::LongerOldReport},
      {"staging names linked by the game", Setup::StagingIsHardLink},
  };
  for (const Case& c : cases) {
    CrashCaptureRun run;
    const std::wstring linkTarget = run.fixture.dataDirectory() + L"\\elsewhere.txt";
    const std::string oldText = std::string(6000, 'o') + "\n";
    const std::wstring dumpLinkTarget = run.fixture.dataDirectory() + L"\\elsewhere.dmp";
    std::vector<std::wstring> game = {L"crash-av", L"0x20"};
    switch (c.setup) {
      case Setup::DumpIsDirectory:
        ASSERT_TRUE(CreateDirectoryW(run.DumpPath().c_str(), nullptr));
        break;
      case Setup::DumpCannotBeStaged:
        // The earlier dump stays whole until a new one is complete.
        WriteFileBytes(run.DumpPath(), oldText);
        ASSERT_TRUE(CreateDirectoryW((run.fixture.runtimeDirectory() + L"\\~crash-last.dmp").c_str(), nullptr));
        break;
      case Setup::ReportIsHardLink:
        WriteFileBytes(linkTarget, oldText);
        ASSERT_TRUE(CreateHardLinkW(run.ReportPath().c_str(), linkTarget.c_str(), nullptr));
        break;
      case Setup::LongerOldReport:
        WriteFileBytes(run.ReportPath(), oldText);
        break;
      case Setup::StagingIsHardLink:
        // The game itself links the staging names to files it could not
        // otherwise touch; staging must not truncate them.
        WriteFileBytes(linkTarget, oldText);
        WriteFileBytes(dumpLinkTarget, oldText);
        game = {L"hard-link",
                run.fixture.runtimeDirectory() + L"\\~crash-last.dmp",
                dumpLinkTarget,
                L"hard-link",
                run.fixture.runtimeDirectory() + L"\\~crash-last.txt",
                linkTarget,
                L"crash-av",
                L"0x20"};
        break;
    }
    EXPECT_EQ(run.fixture.Run(game), 0xC0000005u) << c.name;
    const std::string log = ReadFileBytes(run.fixture.gameLogPath());
    const std::string report = ReportIn(log);
    ASSERT_FALSE(report.empty()) << c.name << "\n" << log;
    const std::string afterReport = log.substr(log.find(report) + report.size());
    auto capture = CaptureLine(log);

    switch (c.setup) {
      case Setup::DumpIsDirectory:
      case Setup::DumpCannotBeStaged: {
        const std::smatch match = [&] {
          std::smatch m;
          std::regex_search(afterReport, m, std::regex(R"(^Cannot open crash output \(Windows error (\d+)\)\n)"));
          return m;
        }();
        ASSERT_FALSE(match.empty()) << log;
        EXPECT_EQ(capture["dump_written"], "0");
        EXPECT_EQ(capture["dump_error"], match[1].str());
        EXPECT_NE(capture["dump_error"], "0");
        EXPECT_EQ(capture["report_written"], "1");
        EXPECT_EQ(ReadFileBytes(run.ReportPath()), report);
        if (c.setup == Setup::DumpCannotBeStaged) {
          EXPECT_EQ(ReadFileBytes(run.DumpPath()), oldText);
        }
        break;
      }
      case Setup::ReportIsHardLink:
        EXPECT_NE(afterReport.find("Crash output cannot be a link or directory\nQVN_PORTABLE_CRASH_CAPTURE "),
                  std::string::npos)
            << log;
        EXPECT_EQ(capture["dump_written"], "1");
        EXPECT_EQ(capture["report_written"], "0");
        EXPECT_EQ(ReadFileBytes(run.ReportPath()), oldText);
        EXPECT_EQ(ReadFileBytes(linkTarget), oldText);
        break;
      case Setup::LongerOldReport:
        EXPECT_EQ(capture["report_written"], "1");
        EXPECT_EQ(ReadFileBytes(run.ReportPath()), report);
        break;
      case Setup::StagingIsHardLink:
        ASSERT_NE(log.find("hard_link=1\nhard_link=1\n"), std::string::npos) << log;
        // Once for each output (the messages are not separated by a line feed).
        EXPECT_EQ(std::regex_search(afterReport, std::regex("^(Crash output cannot be a link or directory){2}\n"
                                                            "QVN_PORTABLE_CRASH_CAPTURE ")),
                  true)
            << log;
        EXPECT_EQ(capture["dump_written"], "0");
        EXPECT_EQ(capture["report_written"], "0");
        // The refusal names no code; the capture line keeps the last error as
        // the open left it: OPEN_ALWAYS of an existing file sets
        // ERROR_ALREADY_EXISTS.
        EXPECT_EQ(capture["dump_error"], "183");
        EXPECT_EQ(capture["report_error"], "183");
        EXPECT_EQ(ReadFileBytes(linkTarget), oldText);
        EXPECT_EQ(ReadFileBytes(dumpLinkTarget), oldText);
        EXPECT_EQ(GetFileAttributesW(run.ReportPath().c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetFileAttributesW(run.DumpPath().c_str()), INVALID_FILE_ATTRIBUTES);
        break;
    }
  }
}

// A step that fails with a code known in advance, a name held open without
// sharing: the capture line records the code the failing call left, which
// the failure carries to the handler. By the time the handler runs, the
// thread's last error may read otherwise (under Wine, 0). The earlier
// output is left as it was.
TEST(CrashCaptureOutputs, TheCaptureLineRecordsTheFailingCallsOwnCode) {
  struct Case {
    const char* name;
    bool dump;
    bool staging;  // the staging name is held, not the output's own
  };
  const Case cases[] = {
      {"dump held open", true, false},
      {"report held open", false, false},
      {"dump staging held open", true, true},
      {"report staging held open", false, true},
  };
  for (const Case& c : cases) {
    CrashCaptureRun run;
    const std::wstring output = c.dump ? run.DumpPath() : run.ReportPath();
    const std::wstring held =
        c.staging ? run.fixture.runtimeDirectory() + (c.dump ? L"\\~crash-last.dmp" : L"\\~crash-last.txt") : output;
    const std::string oldText = "earlier capture\n";
    WriteFileBytes(output, oldText);
    UniqueHandle holder(
        CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid()) << c.name;
    EXPECT_EQ(run.fixture.Run({L"crash-av", L"0x20"}), 0xC0000005u) << c.name;
    holder.reset();

    const std::string log = ReadFileBytes(run.fixture.gameLogPath());
    const std::string report = ReportIn(log);
    ASSERT_FALSE(report.empty()) << c.name << "\n" << log;
    const std::string code = std::to_string(ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(log.substr(log.find(report) + report.size())
                    .starts_with("Cannot open crash output (Windows error " + code + ")\n"))
        << c.name << "\n"
        << log;
    std::map<std::string, std::string> expected = {
        {"dump_written", "1"}, {"dump_error", "0"}, {"report_written", "1"}, {"report_error", "0"}};
    expected[c.dump ? "dump_written" : "report_written"] = "0";
    expected[c.dump ? "dump_error" : "report_error"] = code;
    EXPECT_EQ(CaptureLine(log), expected) << c.name << "\n" << log;
    EXPECT_TRUE(ReadFileBytes(output) == oldText) << c.name;
  }
}

// Wine 8.0 on some host kernels cannot unwind a C++ throw in any process
// that is being debugged: its unwinder faults in ntdll until the process
// ends. There the throw is left out of the run below.
bool DebuggeeCanUnwindThrow() {
  if (!RunningUnderWine()) return true;
  CrashCaptureRun probe;
  probe.fixture.Run({L"throw-catch", L"exit", L"0"});
  return ReadFileBytes(probe.fixture.gameLogPath()).find("caught\n") != std::string::npos;
}

TEST(CrashCaptureMonitor, ExceptionsTheGameHandlesAreCountedAndPassedBackToIt) {
  const bool withThrow = DebuggeeCanUnwindThrow();
  if (!withThrow) std::printf("note: this Wine cannot unwind a C++ throw in a debuggee; the throw is left out\n");
  std::vector<std::wstring> commands = {
      L"raise-handled", L"0xE0000001", L"breakpoint-handled", L"debug-string", L"hello debugger",
      L"threads",       L"2",          L"load-dll",           L"exit",         L"0"};
  if (withThrow) commands.insert(commands.begin() + 2, L"throw-catch");
  CrashCaptureRun run;
  const std::uint32_t status = run.fixture.Run(commands);
  EXPECT_EQ(status, 0u);
  const std::string log = ReadFileBytes(run.fixture.gameLogPath());
  // The game's own handlers saw each exception: the monitor swallowed only
  // the loader's breakpoint, not the later one.
  const std::string handled = std::string("handled code=0xE0000001 seen_by_game=1\n") + (withThrow ? "caught\n" : "") +
                              "handled code=0x80000003 seen_by_game=1\n";
  EXPECT_NE(log.find(handled), std::string::npos) << log;
  EXPECT_EQ(log.find("QVN_PORTABLE_CRASH"), std::string::npos) << log;
  const auto final = Summaries(log).back();
  EXPECT_EQ(final.at("final"), "1");
  // Wine raises and loads a few things of its own, so at least these.
  // The loader's breakpoint, two raised, the C++ throw.
  EXPECT_GE(std::stoull(final.at("first_chance")), withThrow ? 4u : 3u);
  EXPECT_EQ(final.at("second_chance"), "0");
  EXPECT_GE(std::stoull(final.at("exception_events")), withThrow ? 4u : 3u);
  EXPECT_GE(std::stoull(final.at("debug_strings")), 1u);
  EXPECT_GE(std::stoull(final.at("thread_creates")), 2u);
  EXPECT_GE(std::stoull(final.at("dll_loads")), 1u);
}

TEST(CrashCaptureMonitor, AQuietGameGetsSummariesAsTheyFallDueWithGrowingCounts) {
  CrashCaptureRun run;
  ASSERT_EQ(run.fixture.Run({L"sleep", L"5000", L"exit", L"0"}), 0u);
  const auto summaries = Summaries(ReadFileBytes(run.fixture.gameLogPath()));
  ASSERT_GE(summaries.size(), 2u);  // at least one from a timed-out wait, then the final one
  const char* counts[] = {"exception_events", "first_chance",  "second_chance", "thread_creates",
                          "dll_loads",        "debug_strings", "handling_ms",   "elapsed_s"};
  for (std::size_t index = 0; index < summaries.size(); ++index) {
    const auto& summary = summaries[index];
    EXPECT_EQ(summary.at("event_counts"), "cumulative");
    EXPECT_EQ(summary.at("child_cpu_valid"), "1");
    if (index + 1 < summaries.size()) {
      EXPECT_EQ(summary.at("final"), "0");
      EXPECT_GE(std::stod(summary.at("interval_s")), 2.0);  // never before it is due
    }
    if (index == 0) continue;
    for (const char* key : counts)
      EXPECT_GE(std::stod(summary.at(key)), std::stod(summaries[index - 1].at(key))) << key;
  }
}

// Events without pause still give a summary only every 2 seconds, each
// counting from the one before; so there can be no more of them than
// 2-second steps in the whole run.
TEST(CrashCaptureMonitor, AGameRaisingWithoutPauseGetsASummaryEveryTwoSeconds) {
  CrashCaptureRun run;
  ASSERT_EQ(run.fixture.Run({L"raise-for", L"5000", L"exit", L"0"}), 0u);
  const std::string log = ReadFileBytes(run.fixture.gameLogPath());
  auto summaries = Summaries(log);
  ASSERT_GE(summaries.size(), 2u) << log;  // at least one on the beat, then the final one
  const double elapsed = std::stod(summaries.back().at("elapsed_s"));
  summaries.pop_back();
  ASSERT_LE(summaries.size(), static_cast<std::size_t>(elapsed / 2))
      << "summaries before the final one in " << elapsed << " s";
  for (const auto& summary : summaries) {
    EXPECT_GE(std::stod(summary.at("interval_s")), 2.0);
    EXPECT_LT(std::stod(summary.at("interval_s")), 4.0);
  }
}

TEST(CrashCaptureMonitor, ABusyGameShowsItsProcessorUse) {
  CrashCaptureRun run;
  ASSERT_EQ(run.fixture.Run({L"burn", L"1", L"4500", L"exit", L"0"}), 0u);
  const auto summaries = Summaries(ReadFileBytes(run.fixture.gameLogPath()));
  ASSERT_GE(summaries.size(), 2u);
  const double cores = std::stod(summaries.front().at("child_cpu_cores"));
  if (cores == 0.0 && RunningUnderWine()) GTEST_SKIP() << "this Wine reports no processor time for another process";
  EXPECT_GT(cores, 0.0);
}

}  // namespace
}  // namespace qvn::testing
