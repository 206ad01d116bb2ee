#pragma once
// Reading an order file: one order per text file, line 1 carries the order number, key lines
// ("DataPedido: 2015-02-04") carry the header values, item lines ("ProdutoVendido: ...|...|")
// one product each.
//
// The file is decoded as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise; lines end
// in CR LF or a bare LF. Positions are 1-based and count characters (code points), not bytes;
// positions beyond the end of a line yield no characters. Everything here works on the decoded
// lines only and touches no database.
#include "core/failure.h"
#include "import/order_record.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orderfile {

// Bytes of an order file → its lines, without their line ends. A final line end does not start
// another line; an empty input has no lines.
QStringList decodeLines(const QByteArray& bytes);

// Reads and decodes the file at `path`. Throws a Failure naming the file when it cannot be read.
QStringList readOrderFile(const QString& path);

// The order number: line 1 from position 15 to its end, trimmed, a signed 32-bit whole number.
// Throws a Failure ("PED1.txt, linha 1: ...") for an empty file, a line 1 without anything
// from position 15 on, a text that is not a whole number or one out of range.
qint32 readOrderNumber(const QStringList& lines, const QString& fileName);

// The header pass over lines 2 onwards: every key line, last occurrence winning, with the
// company-name and ship-date rules applied after each line. Never fails. The order number is
// left at 0 (it comes from readOrderNumber).
OrderRecord readOrderHeader(const QStringList& lines);

// True for a line that begins with "ProdutoVendido".
bool isItemLine(const QString& line);

// Splits an item line into its six "|"-ended fields starting at position 17. Throws a Failure
// naming the file and `lineNumber` when the line has fewer than six such fields or when the
// sixth field is not a number.
OrderItem splitItemLine(const QString& line, int lineNumber, const QString& fileName);

// "PED1.txt, linha 3: <text>", the form of every message about a line of an order file.
QString lineMessage(const QString& fileName, int lineNumber, const QString& text);

} // namespace orderfile
