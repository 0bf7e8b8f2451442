#pragma once

// Captions of the message boxes that more than one part of the program shows.
inline constexpr char kErrorCaption[] = "错误";  // refused input and failed steps
inline constexpr char kNoteCaption[] = "提示";   // success notes
