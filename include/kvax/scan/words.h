// Scanning a line word by word: words are the texts between occurrences of a separator.
#pragma once

#include <span>
#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

// The next word after position pos (0 or less starts a scan). The separator is used at its
// trimmed length (an all-blank one is one blank). Returns the word's number when a
// separator followed it, 0 for the last word (pos then points past the trimmed text), -1
// when the scan was exhausted already (word blank, length 0, pos back to 0). pos is left
// on the last character of the separator. The word counter is one for the whole program.
int next_word(std::string_view text, std::string_view separator, Text& word, int& pos, int& word_length);

// The n-th word: n when it was delivered, and also when the text has fewer words (word
// then holds the last one); with n < 0 the first word.
int nth_word(int n, std::string_view text, std::string_view separator, Text& word, int& pos, int& word_length);

// Splits the text at every occurrence of the separator (at its declared length) into the
// elements of words. Word 1 is stored even when empty; a later empty word only with
// keep_empty; a separator that ends the trimmed text gives no further word. When the field
// ends inside a separator (the text was cut short), the rest is kept as the last word and
// the line " <SpWord>E> String exhausted. k, length = " is written with the position the
// scan reached and the trimmed length. A text with more words than elements stores as
// many as fit and says so in one line.
void split_into_words(std::string_view text, std::string_view separator, bool keep_empty, std::span<Text> words,
                      int& count);

}  // namespace kvax
