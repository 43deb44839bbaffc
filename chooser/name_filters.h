#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::RUVIV_CommonDialog {

// Turns a filter list in the record's form (description NUL patterns NUL ...,
// ended by an empty string or the end of the text; patterns separated by ';')
// into name filters of the form "description (pattern pattern)".
// A description that already ends with its own patterns in parentheses is not
// given them twice, and "*.*" becomes "*" so that names without a dot still
// show. A pair whose patterns are all blank is dropped.
std::vector<std::string> nameFiltersFrom(std::string_view filter);

} // namespace quorvel::RUVIV_CommonDialog
