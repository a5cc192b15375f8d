// Text search of the editor: plain (not pattern) search down or up from a
// selection, with optional case matching and whole words.
//
// Without case matching both texts are compared character by character in upper
// case (simple, length-keeping case mapping, so positions stay those of the text).
// Whole words use ASCII letters and digits as word characters; everything else
// (blanks, punctuation, control characters and every character from 127 up) ends
// a word, so "café" holds the word "caf".
#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace viewers {

struct SearchOptions {
  bool down = true;
  bool matchCase = false;
  bool wholeWord = false;
};

// A word character of the whole-word rule: an ASCII letter or digit.
bool IsWordChar(QChar c);

// The position of the next match of what in text, or -1. Down: the first match that
// starts at or after selEnd. Up: the last match that ends at or before selStart. An
// empty what never matches.
qsizetype FindInText(QStringView text, QStringView what, qsizetype selStart, qsizetype selEnd,
                     const SearchOptions& options);

// Every match of what in text from position from on (downward, never overlapping),
// in text order. Each search starts where the previous match ends, so a replacement
// holding what is never searched again.
std::vector<qsizetype> FindAllInText(QStringView text, QStringView what, qsizetype from, const SearchOptions& options);

}  // namespace viewers
