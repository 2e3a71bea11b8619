#pragma once

#include <cstddef>
#include <string_view>

// What a line of a rune file is, and how it ends. The reader, the scans and the writer all split
// and end lines through what is here.
namespace sigilflip {

// What ends a line of a rune file. A file with any carriage return uses CarriageReturn: a line
// ends at CR or CR LF, and a lone LF is part of its line. A file with no carriage return at all
// was written with line feeds, and uses LineFeed: a line ends at LF. The last line needs no
// terminator.
enum class LineEnds { CarriageReturn, LineFeed };

// Whether `bytes`, some bytes of a file, make it a CarriageReturn file: they hold a CR.
inline bool MakesCarriageReturnFile(std::string_view bytes) {
  return bytes.find('\r') != std::string_view::npos;
}

// The byte that ends a line (for CarriageReturn, the LF that may follow it belongs to it).
constexpr char Terminator(LineEnds ends) {
  return ends == LineEnds::CarriageReturn ? '\r' : '\n';
}

// Where the next line starts after the terminator at `terminator`, which lies before `end`: past
// a LF that follows a CR. Whether a LF follows a CR in the last byte is not known until the bytes
// after `end` are: the callers hold back such a CR while more may come.
inline const char* PastTerminator(const char* terminator, const char* end) {
  const char* next = terminator + 1;
  return *terminator == '\r' && next < end && *next == '\n' ? next + 1 : next;
}

// PastTerminator of a CR.
inline const char* PastCarriageReturn(const char* carriageReturn, const char* end) {
  const char* next = carriageReturn + 1;
  return next + static_cast<int>(next < end && *next == '\n');
}

// Every written line ends in kLineEnd. The copies of whole runs of lines rely on its being CR LF:
// a line read with a CR LF ending is copied with its ending as it stands, and only other endings
// (a lone CR, the LF of a LineFeed file) are replaced.
inline constexpr std::string_view kLineEnd = "\r\n";
static_assert(kLineEnd == "\r\n", "the copies of whole lines keep CR LF endings as read");

}  // namespace sigilflip
