// libFuzzer entry point: any bytes as an order file, through decoding, the order number, the
// header pass and the item split. Malformed input may only end in ImportError; the reader must
// never crash, read out of range or hang, and its short fields must keep their limits.
#include "import/order_file.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

qsizetype codePoints(const QString& s) { return static_cast<qsizetype>(s.toStdU32String().size()); }

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "order reader invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                     static_cast<qsizetype>(size));
    const QStringList lines = orderfile::decodeLines(bytes);
    const QString fileName = QStringLiteral("PED1.txt");

    try {
        (void)orderfile::readOrderNumber(lines, fileName);
    } catch (const ImportError& e) {
        check(e.message().startsWith(QStringLiteral("PED1.txt, linha 1: ")), "order number message");
    }

    const OrderRecord order = orderfile::readOrderHeader(lines);
    check(codePoints(order.customerName) <= 60, "customer name <= 60");
    check(codePoints(order.address) <= 60 && codePoints(order.city) <= 60, "text fields <= 60");
    check(codePoints(order.email) <= 100, "e-mail <= 100");
    check(codePoints(order.phone) <= 13, "phone <= 13");
    check(codePoints(order.state) <= 2, "state <= 2");
    check(codePoints(order.postalCode) <= 9, "postal code <= 9");
    check(codePoints(order.cpf) <= 14 && codePoints(order.cnpj) <= 18, "documents");
    check(codePoints(order.orderDateCompact) <= 8 && codePoints(order.shipDateSlash) <= 10, "dates");
    check(!order.customerName.contains(QLatin1Char('\'')) && !order.email.contains(QLatin1Char('\'')),
          "no apostrophe in sanitised fields");

    for (qsizetype n = 1; n < lines.size(); ++n) {
        if (!orderfile::isItemLine(lines[n]))
            continue;
        try {
            const OrderItem item = orderfile::splitItemLine(lines[n], static_cast<int>(n + 1), fileName);
            check(codePoints(item.productName) <= 100, "product name <= 100");
            check(!item.productName.contains(QLatin1Char('\'')), "no apostrophe in product name");
            check(item.lineNumber == n + 1, "item line number");
        } catch (const ImportError& e) {
            check(e.message().startsWith(QStringLiteral("PED1.txt, linha %1: ").arg(n + 1)), "item message");
        }
    }
    return 0;
}
