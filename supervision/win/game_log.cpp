#include "supervision/win/game_log.h"

#include "base/win/standard_error_line.h"
#include "base/win/windows_error.h"
#include "supervision/crash_report_format.h"

namespace qvn {
namespace {

bool SeekToEnd(HANDLE logFile) {
  LARGE_INTEGER distance = {};
  return SetFilePointerEx(logFile, distance, nullptr, FILE_END) != 0;
}

bool WriteWhole(HANDLE logFile, const char* bytes, DWORD length) {
  DWORD written = 0;
  return WriteFile(logFile, bytes, length, &written, nullptr) != 0 && written == length;
}

}  // namespace

void AppendToGameLog(HANDLE logFile, const char* bytes, DWORD length) noexcept {
  if (SeekToEnd(logFile) && WriteWhole(logFile, bytes, length) && FlushFileBuffers(logFile) != 0) return;
  WriteFailureToStandardError("Portable crash log write failed", GetLastError());
}

void AppendExitRecord(HANDLE logFile, std::uint32_t status) {
  ExitRecordBuffer record = {};
  const auto length = static_cast<DWORD>(FormatExitRecord(status, record));
  RequireSuccess(SeekToEnd(logFile), "Cannot seek game exit log");
  RequireSuccess(WriteWhole(logFile, record.data(), length), "Cannot write game exit status");
  RequireSuccess(FlushFileBuffers(logFile), "Cannot flush game exit status");
}

}  // namespace qvn
