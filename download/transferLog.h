// The append-only transfer log "ravazizi.log" in the work directory: one CR LF line per resume
// or reconnection, each starting with the build stamp of the unit that writes it.
#pragma once

// The unit's compile date and time, "Mmm dd yyyy hh:mm:ss" (20 characters).
#define TRANSFER_LOG_STAMP __DATE__ " " __TIME__

inline constexpr const char* kTransferLogName = "ravazizi.log";

// Appends `line` (without its line end) as one write; the line is dropped when there is no
// application object or the log cannot be opened.
void AppendTransferLog(const char* line);
