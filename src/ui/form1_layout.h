#pragma once

// Form1 as both front ends lay it out: its size and its controls' places in twips, and its
// captions. Standard C++, so that the Qt and the Win32 window share one copy; what a click does is
// in form1_click.h.
namespace sigilflip::form1 {

inline constexpr int kTwipsPerInch = 1440;  // 15 twips a pixel at 96 dots per inch

struct Size {
  int width;
  int height;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left;
  int top;
  int width;
  int height;
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline constexpr Size kClientTwips{3195, 3090};
inline constexpr Rect kList1Twips{180, 180, 2715, 2010};
inline constexpr Rect kCommand1Twips{780, 2400, 1215, 495};

inline constexpr const char* kForm1Caption = "Form1";
inline constexpr const char* kCommand1Caption = "Command1";
// What a screen reader says of List1, which has no caption of its own.
inline constexpr const char* kList1AccessibleName = "Rune mapping";
inline constexpr const char* kList1AccessibleDescription =
    "Each rune's name and the name it was given by the last press of Command1: old name => new "
    "name";
// The application's title, which the message boxes carry.
inline constexpr const char* kApplicationTitle = "Sigilflip";

// Twips as pixels at `dpi` dots per inch, to the nearest pixel (halves up).
constexpr int Pixels(int twips, int dpi) {
  return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}
constexpr Size Pixels(Size twips, int dpi) {
  return {Pixels(twips.width, dpi), Pixels(twips.height, dpi)};
}
constexpr Rect Pixels(Rect twips, int dpi) {
  return {Pixels(twips.left, dpi), Pixels(twips.top, dpi), Pixels(twips.width, dpi),
          Pixels(twips.height, dpi)};
}

}  // namespace sigilflip::form1
