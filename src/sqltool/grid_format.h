#pragma once
// How the result grid (and the batch mode's table) shows a fetched value.

#include <string>

#include "odbc/column_value.h"

namespace kestrel {

// The longest text a grid cell holds.
constexpr size_t kMaxGridCellLength = 1024;

// "[NULL]" for NULL; text and binary values as they are (cut to
// kMaxGridCellLength); integers with "%ld"; floating values with "%24E";
// dates "%04d-%02d-%02d", times "%02d:%02d:%02d", timestamps
// "%04d-%02d-%02d %02d:%02d:%02d.%09ld".
std::string formatGridValue(const BoundValue& value);

// The one fix-up the grid makes to a DECIMAL column's text after a fetch: a
// text that ends with "." loses the point and is moved one place to the right
// behind a blank ("123." becomes " 123"). Signs and blanks stay as the driver
// sent them.
void dropDecimalPoint(BoundValue& value);

}  // namespace kestrel
