// libFuzzer entry point: any bytes as an order file, through decoding, the order number, the
// header pass and the item split. Malformed input may only end in a Failure naming the file
// and line; the reader must never crash, read out of range or hang, and keep the field limits.
#include "import/order_file.h"

#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        std::abort();
}
qsizetype length(const QString& s) { return static_cast<qsizetype>(s.toStdU32String().size()); }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QStringList lines = orderfile::decodeLines(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    try {
        (void)orderfile::readOrderNumber(lines, QStringLiteral("PED1.txt"));
    } catch (const Failure& e) {
        check(e.message().startsWith(QStringLiteral("PED1.txt, linha 1: ")));
    }
    const OrderRecord o = orderfile::readOrderHeader(lines);
    check(length(o.customerName) <= 60 && length(o.address) <= 60 && length(o.email) <= 100 && length(o.phone) <= 13
          && length(o.state) <= 2 && length(o.postalCode) <= 9 && length(o.cpf) <= 14 && length(o.cnpj) <= 18);
    for (qsizetype n = 1; n < lines.size(); ++n) {
        if (!orderfile::isItemLine(lines[n]))
            continue;
        try {
            check(length(orderfile::splitItemLine(lines[n], int(n + 1), QStringLiteral("PED1.txt")).productName) <= 100);
        } catch (const Failure& e) {
            check(e.message().startsWith(QStringLiteral("PED1.txt, linha %1: ").arg(n + 1)));
        }
    }
    return 0;
}
