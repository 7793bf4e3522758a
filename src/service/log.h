#pragma once
// The daily text log. One line per call, "HH:MM:SS, " + text + CR LF, written
// one at a time process-wide with one write of the whole line. The file stays
// open between lines and is opened again under the target name when the
// target changes or the file was moved (rotated) or removed, so other programs
// may read or move it between lines. Nothing is buffered: a line is in the
// file when WriteLog returns. Never throws, never reports.
#include <string>

void WriteLog(const std::string& text);

// A debug line: written only when ServerSettings.LogLevel is above 1.
void WriteDebugLog(const std::string& text);

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
