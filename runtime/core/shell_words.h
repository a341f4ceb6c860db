// Splitting a command line into words the way a shell does, without running one.
#pragma once

#include <string>
#include <vector>

namespace rt {

// Splits a command line into words as a POSIX shell does, without any expansion: blanks and tabs
// separate words; single quotes keep every character; double quotes keep blanks and take \" \\ \$
// and \` as escapes (any other backslash stays); outside quotes a backslash takes the next character
// as it is. '' and "" make empty words. False (and no words) when a quote is not closed.
bool shell_words(const char* text, std::vector<std::string>& words);

}  // namespace rt
