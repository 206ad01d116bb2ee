#pragma once
// The Brazilian number rules of the import, for the values its statements carry. The rules are
// coded here (decimal ",", grouping "."), whatever the machine's locale.
#include <QString>
#include <optional>

namespace sql {

// "Regional number text": the number as Brazilian regional settings write it (no digit
// grouping, at most 15 significant digits, no trailing zeros, never an exponent), then "," → ".".
// 18 → "18", 17.5 → "17.5", 7.000000000000001 → "7", 0.04 → "0.04".
QString regionalNumber(double value);

// The numeric test: true when the text reads as a number under Brazilian regional settings:
// surrounding blanks, an optional sign, digits with "." grouping and at most one decimal ",".
// An empty text fails.
bool isNumeric(const QString& text);

// A number from an order file: "." or "," as decimal separator, no digit grouping, surrounding
// blanks allowed. Empty when the text is not such a number.
std::optional<double> parseDecimal(const QString& text);

} // namespace sql
