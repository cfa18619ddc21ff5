#pragma once
// The string table: every user-visible message, title, label and log event
// text that the program refers to by number.
//
// Texts are stored exactly as the user sees them: line breaks are real newline
// characters, "&" accelerators, "%s"/"%d" placeholders, double blanks and
// trailing blanks are kept. Placeholders are filled by the caller with its own
// formatting (never pass a table text as a format string together with
// user-supplied arguments the text does not expect).
#include <span>
#include <string_view>

namespace zyfar {

// Numbers that the engine also uses as result codes (a failed job's status is
// the number of the message that explains it).
inline constexpr int kMsgFtpPutCanceled = 237;       // "FTP Put Canceled"
inline constexpr int kMsgCantOverwrite = 239;        // "Can't overwrite existing file!"
inline constexpr int kMsgCantCreateFolder = 240;     // "Can't create file folder! FTP Put Canceled!"

// First and last log event code with a text (32877, the session-closed event,
// shares the text of 32876).
inline constexpr int kFirstLogEventCode = 32861;
inline constexpr int kLastLogEventCode = 32877;

// The text of string-table entry `id`, or an empty view when there is no such
// entry. The view refers to static storage and stays valid for the whole run.
[[nodiscard]] std::string_view MessageText(int id) noexcept;

// True when `id` has an entry (every entry's text is non-empty).
[[nodiscard]] bool HasMessage(int id) noexcept;

// Every id of the table in ascending order, each once.
[[nodiscard]] std::span<const int> MessageIds() noexcept;

}  // namespace zyfar
