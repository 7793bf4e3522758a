#pragma once
// The daily text log. One line per call, "HH:MM:SS, " + text + CR LF, written
// one at a time process-wide with one write of the whole line. The file stays
// open between lines and is opened again under the target name when the
// target changes, and within a tenth of a second of another program moving
// (rotating) or removing it, so other programs may read or move it between
// lines. Nothing is buffered: a line is in the file when WriteLog returns.
// Never throws, never reports.
//
// The text is made safe first (control characters escaped, cut at
// ServerSettings.LogLineLimit bytes; see log_line.h); a line written inside a
// PeerLogScope names its peer, and that peer's identical complaints are
// rate-limited. A file that would grow past ServerSettings.LogRotateMB is
// moved aside as NAME.1 (older parts NAME.2 ... up to LogRotateFiles) and a
// new one started. Files are created 0640.
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvelin {

void WriteLog(std::string_view text);

// While one lives, the lines its thread writes are gathered and written
// together (one write per LogBatch::Bytes and one at its end), in their
// order; an ERROR or WARNING line writes what was gathered and itself at
// once. For the line per returned entry of a large worklist answer, whose
// writes otherwise cost a fifth of the answer. Not nested.
class LogBatch {
 public:
  static constexpr std::size_t Bytes = 16384;
  LogBatch();
  ~LogBatch();
  LogBatch(const LogBatch&) = delete;
  LogBatch& operator=(const LogBatch&) = delete;
};

// A debug line: written only when ServerSettings.LogLevel is above 1.
void WriteDebugLog(std::string_view text);

// True when debug lines are written (to skip building them otherwise).
bool DebugLogOn();

// Sets the log file path; an empty path leaves the current one unchanged.
void SetLogTarget(const std::string& path);

// Releases the log target: later lines go nowhere.
void ClearLogTarget();

// The current log file path ("" when none).
std::string LogTarget();

// The day's log file: ServerSettings.LogFolder + local date of Now() as
// "yyyymmdd" + "_tarvelin.log".
std::string DailyLogPath();

}  // namespace tarvelin
