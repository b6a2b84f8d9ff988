#pragma once

#include <windows.h>

#include "supervision/monitor_counters.h"

namespace qvn {

// Writes a "QVN_MONITOR ..." line into the game log when one is due: 2
// seconds after the last one, or at the end (`final`). Written at the log's
// current position, which the game shares, without seek or flush: it runs
// after every debug event and must stay cheap. Never raises; a failed write
// leaves one line on standard error.
void WriteMonitorSummary(MonitorCounters& counters, HANDLE process, HANDLE logFile, bool final) noexcept;

}  // namespace qvn
