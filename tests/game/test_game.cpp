// The test double of the game. It runs a list of commands, taken from its
// arguments, or from QVN_TEST_GAME_COMMANDS (one token a line) when that is
// set, since in-process launcher tests cannot choose the game's arguments:
//
//   exit STATUS            end with STATUS (decimal or 0x hex, full 32 bits)
//   stdout TEXT            TEXT and a line feed on standard output
//   stderr TEXT            the same on standard error
//   env                    "env NAME=VALUE" or "env NAME absent" for the
//                          portable variables
//   args                   "argc=N", then "arg HEX" per argument (each
//                          UTF-16 unit as 4 hex digits, argument 0 included)
//   cwd                    "cwd=PATH"
//   stdin                  reads standard input to its end: "stdin_bytes=N"
//   handles                "inheritable_handles=N": handle values that are
//                          open and inheritable, which only inherited
//                          handles are in this program
//   ids                    "process_id=N thread_id=N" (decimal)
//   crash-av ADDRESS       writes to ADDRESS
//   crash-null-call        calls through a null function pointer
//   crash-dll ADDRESS      loads the fault DLL beside the exe and has it
//                          write to ADDRESS
//   load-dll               loads the fault DLL: "dll_base=HEX16"
//   breakpoint             a breakpoint nobody handles
//   raise-handled CODE     raises CODE and handles it itself:
//                          "handled code=0x%08X seen_by_game=N"
//   raise-for MS           raises exceptions it handles itself, without
//                          pause, for MS milliseconds: "raised=N"
//   breakpoint-handled     a breakpoint instruction that it handles itself,
//                          reported the same way
//   throw-catch            a C++ exception thrown and caught: "caught"
//   debug-string TEXT      OutputDebugStringW
//   threads N              starts N threads and waits for them
//   burn THREADS MS        keeps THREADS threads busy for MS milliseconds
//   spawn-sleeper MS       starts itself with "sleep MS" and leaves it
//                          running: "child_pid=N"
//   hold PATH              opens PATH without sharing until the game ends
//   hard-link NEW EXISTING makes NEW a second name of the file EXISTING:
//                          "hard_link=1", or "hard_link=0 error=N"
//   write-temp NAME TEXT   writes TEXT into %TEMP%\NAME
//   sleep MS               sleeps
//   flood MIB              MIB mebibytes of numbered 64-byte lines on
//                          standard output
//   fill PATH KIB          writes PATH until its disk is full, then frees
//                          its last KIB kibibytes: "filled=1", or
//                          "filled=0 error=N"
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr ULONG_PTR kHandledMarker = 0x51564E;  // marks exceptions this program raises to handle itself

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

// Unbuffered, so nothing is lost when a later command crashes the game.
void WriteLine(DWORD standardHandle, const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(standardHandle), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Print(const std::string& line) { WriteLine(STD_OUTPUT_HANDLE, line); }

std::wstring GetVariable(const wchar_t* name, bool& present) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  present = size != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length);
  return value;
}

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

std::wstring BesideOwnPath(const std::wstring& name) {
  std::wstring path = OwnPath();
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

std::uintptr_t ParseNumber(const std::wstring& text) { return std::wcstoull(text.c_str(), nullptr, 0); }

std::string Hex(std::uint64_t value, int digits) {
  char text[32] = {};
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

// A vectored handler has no context argument, so its state lives here.
LONG& HandledExceptionCount() {
  static LONG count = 0;
  return count;
}

LONG& BreakpointArmed() {
  static LONG armed = 0;
  return armed;
}

LONG CALLBACK HandleOwnExceptions(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->NumberParameters == 1 && record->ExceptionInformation[0] == kHandledMarker) {
    InterlockedIncrement(&HandledExceptionCount());
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (record->ExceptionCode == EXCEPTION_BREAKPOINT && InterlockedExchange(&BreakpointArmed(), 0) != 0) {
    InterlockedIncrement(&HandledExceptionCount());
    // Resume after the one-byte breakpoint instruction, wherever the
    // platform left the instruction pointer.
    pointers->ContextRecord->Rip = reinterpret_cast<DWORD64>(record->ExceptionAddress) + 1;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void BreakpointHandled() {
  const LONG before = HandledExceptionCount();
  InterlockedExchange(&BreakpointArmed(), 1);
  DebugBreak();
  Print("handled code=0x" + Hex(EXCEPTION_BREAKPOINT, 8) +
        " seen_by_game=" + std::to_string(HandledExceptionCount() - before));
}

// A debugger that swallowed the exception at first chance would keep it from
// the handler: "seen_by_game=0" shows that.
void RaiseHandled(DWORD code) {
  const LONG before = HandledExceptionCount();
  const ULONG_PTR parameter = kHandledMarker;
  RaiseException(code, 0, 1, &parameter);
  Print("handled code=0x" + Hex(code, 8) + " seen_by_game=" + std::to_string(HandledExceptionCount() - before));
}

// Numbered lines, so a lost or doubled piece of the output shows.
void Flood(std::uint64_t mebibytes) {
  constexpr std::size_t kLine = 64;
  std::string block;
  block.reserve(1 << 20);
  for (std::uint64_t line = 0; line < mebibytes * (1 << 20) / kLine; ++line) {
    char text[kLine + 1] = {};
    std::snprintf(text, sizeof text, "flood line %016llu %035d\n", static_cast<unsigned long long>(line), 0);
    block.append(text, kLine);
    if (block.size() == (1 << 20)) {
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
      block.clear();
    }
  }
}

void RaiseFor(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  const ULONG_PTR parameter = kHandledMarker;
  std::uint64_t raised = 0;
  for (; GetTickCount64() < end; ++raised) RaiseException(0xE0000002, 0, 1, &parameter);
  Print("raised=" + std::to_string(raised));
}

// Leaves KIB kibibytes free on the disk holding PATH, so that a larger
// write there fails part way.
void FillDisk(const std::wstring& path, std::uint64_t freeKibibytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const std::vector<char> block(4096, 'f');
  LARGE_INTEGER size = {};
  DWORD written = 0;
  while (WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) && written != 0) {
    size.QuadPart += written;
  }
  size.QuadPart -= static_cast<LONGLONG>(freeKibibytes * 1024);
  if (file == INVALID_HANDLE_VALUE || size.QuadPart < 0 || !SetFilePointerEx(file, size, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(file)) {
    Print("filled=0 error=" + std::to_string(GetLastError()));
  } else {
    Print("filled=1");
  }
  CloseHandle(file);
}

void PrintEnvironment() {
  const wchar_t* const names[] = {L"APP_FOLDER_PATH",   L"QVN_PORTABLE_ARTIFACT", L"TEMP", L"TMP",
                                  L"QVN_CRASH_CAPTURE", L"_NO_DEBUG_HEAP"};
  for (const wchar_t* name : names) {
    bool present = false;
    const std::wstring value = GetVariable(name, present);
    Print("env " + ToUtf8(name) + (present ? "=" + ToUtf8(value) : std::string(" absent")));
  }
}

void PrintArguments() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  Print("argc=" + std::to_string(count));
  for (int index = 0; index < count; ++index) {
    std::string hex;
    for (const wchar_t* unit = arguments[index]; *unit != L'\0'; ++unit)
      hex += Hex(static_cast<std::uint16_t>(*unit), 4);
    Print("arg " + hex);
  }
  LocalFree(arguments);
}

void PrintStandardInputSize() {
  char buffer[4096];
  std::uint64_t total = 0;
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) && read != 0) total += read;
  Print("stdin_bytes=" + std::to_string(total));
}

void PrintInheritableHandles() {
  int count = 0;
  for (std::uintptr_t value = 4; value <= 4096; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) && (flags & HANDLE_FLAG_INHERIT) != 0) ++count;
  }
  Print("inheritable_handles=" + std::to_string(count));
}

HMODULE LoadFaultDll() {
  HMODULE dll = LoadLibraryW(BesideOwnPath(L"qvn_test_fault_dll.dll").c_str());
  if (dll == nullptr) {
    WriteLine(STD_ERROR_HANDLE, "cannot load qvn_test_fault_dll.dll");
    ExitProcess(2);
  }
  return dll;
}

void FaultInDll(std::uintptr_t address) {
  using FaultFunction = void (*)(std::uintptr_t);
  auto fault = reinterpret_cast<FaultFunction>(reinterpret_cast<void*>(GetProcAddress(LoadFaultDll(), "QvnFaultAt")));
  fault(address);
}

void CallThroughNull() {
  using Function = void (*)();
  volatile Function function = nullptr;
  function();
}

void Burn(int threadCount, DWORD milliseconds) {
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(threadCount));
  for (int index = 0; index < threadCount; ++index) {
    threads.emplace_back([milliseconds] {
      const ULONGLONG end = GetTickCount64() + milliseconds;
      volatile std::uint64_t spins = 0;
      while (GetTickCount64() < end) spins = spins + 1;
    });
  }
  for (std::thread& thread : threads) thread.join();
}

void SpawnSleeper(const std::wstring& milliseconds) {
  // The child must run its own arguments, not the commands handed down here.
  SetEnvironmentVariableW(L"QVN_TEST_GAME_COMMANDS", nullptr);
  const std::wstring path = OwnPath();
  std::wstring commandLine = L"\"" + path + L"\" sleep " + milliseconds;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &child)) {
    WriteLine(STD_ERROR_HANDLE, "cannot start sleeper");
    ExitProcess(2);
  }
  Print("child_pid=" + std::to_string(child.dwProcessId));
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}

void WriteTemporaryFile(const std::wstring& name, const std::wstring& text) {
  bool present = false;
  const std::wstring path = GetVariable(L"TEMP", present) + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const std::string bytes = ToUtf8(text);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE ||
      !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    WriteLine(STD_ERROR_HANDLE, "cannot write temporary file");
    ExitProcess(2);
  }
  CloseHandle(file);
}

std::vector<std::wstring> ReadCommands(int argc, wchar_t** argv) {
  bool present = false;
  const std::wstring script = GetVariable(L"QVN_TEST_GAME_COMMANDS", present);
  std::vector<std::wstring> commands;
  if (!present) {
    for (int index = 1; index < argc; ++index) commands.emplace_back(argv[index]);
    return commands;
  }
  std::size_t start = 0;
  while (start <= script.size()) {
    const std::size_t end = std::min(script.find(L'\n', start), script.size());
    if (end > start) commands.push_back(script.substr(start, end - start));
    start = end + 1;
  }
  return commands;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  AddVectoredExceptionHandler(1, HandleOwnExceptions);
  const std::vector<std::wstring> commands = ReadCommands(argc, argv);
  std::size_t next = 0;
  auto operand = [&]() -> const std::wstring& {
    if (next >= commands.size()) {
      WriteLine(STD_ERROR_HANDLE, "missing operand");
      ExitProcess(2);
    }
    return commands[next++];
  };
  while (next < commands.size()) {
    const std::wstring& command = commands[next++];
    if (command == L"exit") {
      ExitProcess(static_cast<UINT>(ParseNumber(operand())));
    } else if (command == L"stdout") {
      Print(ToUtf8(operand()));
    } else if (command == L"stderr") {
      WriteLine(STD_ERROR_HANDLE, ToUtf8(operand()));
    } else if (command == L"env") {
      PrintEnvironment();
    } else if (command == L"args") {
      PrintArguments();
    } else if (command == L"cwd") {
      wchar_t directory[MAX_PATH * 4] = {};
      GetCurrentDirectoryW(MAX_PATH * 4, directory);
      Print("cwd=" + ToUtf8(directory));
    } else if (command == L"stdin") {
      PrintStandardInputSize();
    } else if (command == L"handles") {
      PrintInheritableHandles();
    } else if (command == L"ids") {
      Print("process_id=" + std::to_string(GetCurrentProcessId()) +
            " thread_id=" + std::to_string(GetCurrentThreadId()));
    } else if (command == L"crash-av") {
      *reinterpret_cast<volatile int*>(ParseNumber(operand())) = 1;
    } else if (command == L"crash-null-call") {
      CallThroughNull();
    } else if (command == L"crash-dll") {
      FaultInDll(ParseNumber(operand()));
    } else if (command == L"load-dll") {
      Print("dll_base=" + Hex(reinterpret_cast<std::uintptr_t>(LoadFaultDll()), 16));
    } else if (command == L"breakpoint") {
      DebugBreak();
    } else if (command == L"breakpoint-handled") {
      BreakpointHandled();
    } else if (command == L"raise-handled") {
      RaiseHandled(static_cast<DWORD>(ParseNumber(operand())));
    } else if (command == L"raise-for") {
      RaiseFor(static_cast<DWORD>(ParseNumber(operand())));
    } else if (command == L"throw-catch") {
      try {
        throw std::runtime_error("thrown by the test game");
      } catch (const std::runtime_error&) {
        Print("caught");
      }
    } else if (command == L"debug-string") {
      OutputDebugStringW(operand().c_str());
    } else if (command == L"threads") {
      std::vector<std::thread> threads(ParseNumber(operand()));
      for (std::thread& thread : threads) thread = std::thread([] {});
      for (std::thread& thread : threads) thread.join();
    } else if (command == L"burn") {
      const int threadCount = static_cast<int>(ParseNumber(operand()));
      Burn(threadCount, static_cast<DWORD>(ParseNumber(operand())));
    } else if (command == L"spawn-sleeper") {
      SpawnSleeper(operand());
    } else if (command == L"hold") {
      // Left open on purpose until the process ends.
      CreateFileW(operand().c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (command == L"hard-link") {
      const std::wstring& name = operand();
      if (CreateHardLinkW(name.c_str(), operand().c_str(), nullptr)) {
        Print("hard_link=1");
      } else {
        Print("hard_link=0 error=" + std::to_string(GetLastError()));
      }
    } else if (command == L"write-temp") {
      const std::wstring& name = operand();
      WriteTemporaryFile(name, operand());
    } else if (command == L"sleep") {
      Sleep(static_cast<DWORD>(ParseNumber(operand())));
    } else if (command == L"flood") {
      Flood(ParseNumber(operand()));
    } else if (command == L"fill") {
      const std::wstring& path = operand();
      FillDisk(path, ParseNumber(operand()));
    } else {
      WriteLine(STD_ERROR_HANDLE, "unknown command " + ToUtf8(command));
      return 2;
    }
  }
  return 0;
}
