// Command-line texts of the platform turned into what a POSIX program start needs.
// Pure functions; any thread; never throw except std::bad_alloc.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace shell::detail {

// Splits a program's parameter text into arguments the way the platform's programs read their
// command line: blanks (space, tab) separate arguments outside double quotes; a double quote
// opens or closes a quoted part and is dropped; "" inside a quoted part is one literal quote;
// 2n backslashes before a quote give n backslashes (the quote then acts as above), 2n+1 give n
// backslashes and a literal quote; other backslashes are literal. `""` alone is an empty argument.
std::vector<std::string> SplitCommandLine(std::string_view text);

// True when `file` names the platform's Explorer: its last path piece (after '/' or '\') is
// "EXPLORER.EXE" or "EXPLORER" in any case.
bool IsExplorer(std::string_view file);

// The folder named by an Explorer command line: leading switches "/e", "/n" (each followed by a
// comma, a blank or the end) are skipped; "/root," takes the rest as the folder; "/select," takes
// the rest as an item whose folder is meant (the text up to its last '/'). Blanks around the
// folder and one pair of enclosing double quotes are removed. Empty when no folder is named.
std::string ExplorerFolder(std::string_view parameters);

}  // namespace shell::detail
