#pragma once
// Reads a stored value as a whole number the way a person would: any integer,
// a floating-point number without a fraction, true/false as 1/0, or text that is
// a base-10 integer (surrounding blanks allowed). Anything else, and numbers
// outside the signed 64-bit range, give nothing.

#include <QVariant>
#include <QtGlobal>
#include <optional>

namespace ostrel {

std::optional<qint64> wholeNumber(const QVariant& value);

// Whether the value is of an integer type (any width, signed or not; not bool).
bool holdsInteger(const QVariant& value);

}  // namespace ostrel
