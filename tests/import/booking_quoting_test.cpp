// Apostrophes and "--" in every value of an order: booked intact, no statement broken or altered.
#include "booking_fixture.h"

#include <QMap>

namespace {

OrderRecord hostileOrder()
{
    OrderRecord o;
    o.orderNumber = 4242;
    o.orderDateCompact = o.shipDateCompact = QStringLiteral("2'--0203");
    o.orderDateSlash = o.shipDateSlash = QStringLiteral("02/'--2015");
    o.customerName = QStringLiteral("O'BRIEN -- LTDA'); delete from saida; --");
    o.cpf = QStringLiteral("1'--2");
    o.rg = QStringLiteral("RG' or '1'='1 --");
    o.cnpj = QStringLiteral("11.222.333/0001-81");   // a real one: the second lookup finds the customer
    o.stateRegistration = QStringLiteral("IE'--");
    o.address = QStringLiteral("RUA D'AJUDA -- 1");
    o.district = QStringLiteral("B'--");
    o.complement = QStringLiteral("'--'");
    o.city = QStringLiteral("SANT'ANA -- X");
    o.state = QStringLiteral("'-");
    o.postalCode = QStringLiteral("0'--1");
    o.email = QStringLiteral("o'--@x.com");
    o.phone = QStringLiteral("11'--9");
    o.subtotal = QStringLiteral("1'--0");
    o.freightChoice = QStringLiteral("SEDEX' --");
    o.freightValue = QStringLiteral("'--");
    o.orderTotal = QStringLiteral("9'); --");
    o.shippingCode = QStringLiteral("AB'12--");
    return o;
}

void expectColumns(const BookingDb& b, const QString& select, const QMap<QString, QString>& columns)
{
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        EXPECT_EQ(b.value(select, it.key()), it.value()) << it.key().toStdString();
}

} // namespace

TEST(BookingQuoting, EveryValueOfCustomerHeaderAndItemsGoesInIntact)
{
    BookingDb b;
    const int ordersBefore = b.count(QStringLiteral("saida"));
    const OrderRecord order = hostileOrder();
    OrderContext ctx = b.context(QStringLiteral("ped'--.txt"));
    resolveCustomer(b.state, order, ctx);
    ASSERT_TRUE(sql::isNumeric(ctx.customerCode));
    const QString customer = "select * from interveniente where incod=" + ctx.customerCode;
    const QMap<QString, QString> customerColumns{
        {"innome", order.customerName}, {"incpf", order.cpf}, {"inrg", order.rg}, {"incnpj", order.cnpj},
        {"ininscricao", order.stateRegistration}, {"inendereco", order.address}, {"inbairro", order.district},
        {"incomplemento", order.complement}, {"inmunicipio", order.city}, {"inuf", order.state},
        {"incep", order.postalCode}, {"inemailnfe", order.email}, {"infone", order.phone},
        {"inendereco2", order.address}, {"inenmunicipio", order.city}};
    expectColumns(b, customer, customerColumns);

    // Found again through its CNPJ: the refresh carries the same values.
    OrderRecord changed = order;
    changed.address = QStringLiteral("AV' -- NOVA");
    OrderContext again = b.context();
    resolveCustomer(b.state, changed, again);
    EXPECT_EQ(again.customerCode, ctx.customerCode);
    EXPECT_EQ(b.value(customer, "inendereco"), changed.address);
    EXPECT_EQ(b.value(customer, "inenendereco"), changed.address);
    EXPECT_EQ(b.value(customer, "infone"), order.phone);

    bookHeader(b.state, order, ctx);
    ASSERT_TRUE(sql::isNumeric(ctx.orderCode));
    EXPECT_EQ(b.count(QStringLiteral("saida")), ordersBefore + 1);
    const QString header = "select * from saida where sacod=" + ctx.orderCode;
    const QMap<QString, QString> headerColumns{
        {"savrpago", order.orderTotal}, {"total", order.orderTotal}, {"savrtotal", order.subtotal},
        {"saobs", order.freightChoice + " - CODIGO ENVIO: " + order.shippingCode}, {"vrfrete", order.freightValue},
        {"sadtsaida", order.orderDateCompact}, {"datasaida", order.orderDateSlash},
        {"sadtentrega", order.shipDateCompact}, {"dataentrega", order.shipDateSlash}, {"fkftp", "4242"}};
    expectColumns(b, header, headerColumns);

    // Items: a barcode and a name with apostrophes and "--".
    b.addProduct("78'91--", "X", "1", "U'--", "0500", "0", "5'");
    OrderItem good;
    good.barcode = QStringLiteral("78'91--");
    good.productName = QStringLiteral("CANETA 'A' -- AZUL");
    good.unitPrice = QStringLiteral("1,50");
    good.quantity = QStringLiteral("2");
    good.lineTotal = QStringLiteral("3,00");
    bookItem(b.state, good, ctx, b.report);
    expectColumns(b, "select * from itemsaida where itfksacod=" + ctx.orderCode,
                  {{"itprnome", good.productName}, {"itunidade", "U'--"}, {"cstipi", "5'"}});

    // A barcode that tries to widen the select finds nothing and is noted as written.
    OrderItem sneaky = good;
    sneaky.barcode = QStringLiteral("x' or '1'='1");
    sneaky.productName = QStringLiteral("NOME' -- ");
    bookItem(b.state, sneaky, ctx, b.report);
    EXPECT_EQ(b.value(header, "saobs"),
              QStringLiteral("UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: x' or '1'='1 | NOME' -- "));
    EXPECT_EQ(ctx.missingProducts, QStringList{"x' or '1'='1 | NOME' -- "});

    // Apostrophes in a number the database must convert are refused by the database, whole.
    OrderItem badQuantity = good;
    badQuantity.quantity = QStringLiteral("1'); --");
    EXPECT_THROW(bookItem(b.state, badQuantity, ctx, b.report), DatabaseError);
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 1);
    EXPECT_EQ(b.count(QStringLiteral("saida")), ordersBefore + 1);
}
