#pragma once
// The transforms that work on bound values: what a copy column's TRANS, EDIT
// and LEFTTRIM do to a source value while the temporary file is filled, and
// the value a SET column gives its target parameter.

#include <string>

#include "odbc/column_value.h"

namespace kestrel {

struct CopyColumn;
struct SetColumn;

// Works on the value in place. targetIsNumber: the target column is bound as
// a number, so an edit codes digits only. NULL values pass untouched. False,
// with the reason in `error`, when an edited value no longer fits its buffer:
// a value is never stored cut short or wrapped.
bool transformSourceValue(const CopyColumn& column, BoundValue& value, bool targetIsNumber,
                          std::string& error);

// Fills a target parameter for a SET column by the parameter's binding type:
// CURRENTDATE gives today's local date where the type can hold one, otherwise
// the VALUE text is read as the type's value.
bool setColumnValue(const SetColumn& column, BoundValue& parameter);

}  // namespace kestrel
