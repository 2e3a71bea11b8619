#pragma once

#include <cstddef>
#include <string_view>

// What a line of a rune file is, and how it ends: the rule, stated once, by which the reader, the
// scans (byte by byte and in vectors), both passes and the writer split and end lines.
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

// The rule by which a line starts and ends, for a byte or a vector of bytes (line_rule.inc):
// StartsLineAfter and EndsOddly.
#include "text/line_rule.inc"

// Whether a line starts at `at`, by the two bytes before it.
inline bool StartsLine(const char* at, char terminator) {
  return terminator == '\r' ? StartsLineAfter<'\r'>(at[-2], at[-1])
                            : StartsLineAfter<'\n'>(at[-2], at[-1]);
}

// Where the next line starts after `terminator`, the byte that ends a line where lines end in
// kTerminator: past a LF that follows a CR. The byte after it is read: a chunk (LineReader::Next)
// never ends between a CR and its LF, and a readable byte follows it.
template <char kTerminator>
const char* PastTerminator(const char* terminator) {
  return terminator + 1 + static_cast<int>(kTerminator == '\r' && terminator[1] == '\n');
}
inline const char* PastTerminator(const char* terminator) {
  return *terminator == '\r' ? PastTerminator<'\r'>(terminator) : terminator + 1;
}

// A line end that is not CR LF (EndsOddly) is one byte: a CR alone, or the LF of a LineFeed file.
inline constexpr std::size_t kOddEndSize = 1;

// Every written line ends in kLineEnd. The copies of whole runs of lines rely on its being CR LF:
// a line read with a CR LF ending is copied with its ending as it stands, and only other endings
// (a lone CR, the LF of a LineFeed file) are replaced.
inline constexpr std::string_view kLineEnd = "\r\n";
static_assert(kLineEnd == "\r\n", "the copies of whole lines keep CR LF endings as read");

}  // namespace sigilflip
