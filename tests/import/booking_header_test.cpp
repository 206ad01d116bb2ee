// The order header against a fresh ERP database.
#include "booking_fixture.h"

namespace {

OrderRecord headerOrder()
{
    OrderRecord o;
    o.orderNumber = 987;
    o.orderDateCompact = QStringLiteral("20150203");
    o.orderDateSlash = QStringLiteral("02/03/2015");
    o.shipDateCompact = QStringLiteral("20150206");
    o.shipDateSlash = QStringLiteral("02/06/2015");
    o.customerName = QStringLiteral("CLIENTE DO PEDIDO");
    o.subtotal = QStringLiteral("140.90");
    o.freightChoice = QStringLiteral("EXPRESSO");
    o.freightValue = QStringLiteral("10.00");
    o.orderTotal = QStringLiteral("150.90");
    o.shippingCode = QStringLiteral("AB12");
    return o;
}

} // namespace

TEST(BookingHeader, InsertsTheOrderAndReadsItsCodeBack)
{
    BookingDb b;
    const OrderRecord order = headerOrder();
    OrderContext ctx = b.context();
    resolveCustomer(b.state, order, ctx);
    ctx.consumerType = QStringLiteral("REVENDA");
    bookHeader(b.state, order, ctx);

    ASSERT_TRUE(sql::isNumeric(ctx.orderCode));
    EXPECT_EQ(ctx.orderCode, b.value("select max(sacod) as sacod from saida", "sacod"));

    const QString insert = b.connection->last(QStringLiteral("insert into saida"));
    EXPECT_TRUE(insert.contains(QStringLiteral("','','NAO', 'SITE', 'P','20150203','")));
    const auto v = insertValues(insert);
    ASSERT_EQ(v.size(), 37);
    const QString seller = *b.state.CODIGO_VENDEDOR;
    const QMap<QString, QString> expected{
        {"sadesconto", "0"}, {"savrpago", "'150.90'"}, {"savrtotal", "'140.90'"},
        {"saobs", "'EXPRESSO - CODIGO ENVIO: AB12'"}, {"total", "'150.90'"}, {"usuario", "'AUTOMATICO'"},
        {"sarecebimento", "''"}, {"saassinado", "'NAO'"}, {"valoripi", "'0'"}, {"sainstalacao", "'0'"},
        {"valoricms", "'0'"}, {"vrfrete", "'10.00'"}, {"sabloqueado", "'1'"}, {"safrete", "'1'"},
        {"tmfinanceiro", "'NAO'"}, {"tmestoque", "'NAO'"}, {"tmisentaicms", "'0'"}, {"cli_icmsuf", "'18'"},
        {"versao", "'04-02-2015'"}, {"saintipoconsumidor", "'REVENDA'"}, {"saqtdeimpressao", "0"},
        {"usuario_cri", "'AUTOMATICO'"}, {"data_cri", "'2/4/2015 14:05:09'"}, {"safktppag", "'1'"},
        {"sastatusanalise", "''"}, {"tbindividualizada", "'NAO'"}, {"fktbnome", "'SITE'"}, {"status", "'P'"},
        {"sadtsaida", "'20150203'"}, {"safktpsaida", "'" + QString::number(b.state.TIPO_MOVIMENTO) + "'"},
        {"safkinterveniente", "'" + ctx.customerCode + "'"}, {"datasaida", "'02/03/2015'"},
        {"safkvendedor", "'" + seller + "'"}, {"sadtentrega", "'20150206'"}, {"dataentrega", "'02/06/2015'"},
        {"sanf", "'987'"}, {"fkftp", "'987'"}};
    EXPECT_EQ(v, expected);

    const QString row = "select * from saida where sacod=" + ctx.orderCode;
    EXPECT_EQ(b.value(row, "saobs"), "EXPRESSO - CODIGO ENVIO: AB12");
    EXPECT_EQ(b.value(row, "sanf"), "987");
    EXPECT_EQ(b.value(row, "fkftp"), "987");
    EXPECT_EQ(b.value(row, "safkinterveniente"), ctx.customerCode);
    EXPECT_EQ(b.value(row, "savrpago"), "150.90");
    EXPECT_EQ(b.value(row, "cli_icmsuf").toDouble(), 18.0);
}

TEST(BookingHeader, MissingNotesRegionalNumbersAndMoneyAsWritten)
{
    BookingDb b;
    b.state.PERC_ICMS = 17.5;
    OrderRecord order = headerOrder();
    order.freightChoice.clear();
    order.shippingCode.clear();
    order.orderTotal = QStringLiteral("150,90");
    order.subtotal = QStringLiteral("140,90");
    order.freightValue = QStringLiteral("10,00");
    OrderContext ctx = b.context();
    resolveCustomer(b.state, order, ctx);
    bookHeader(b.state, order, ctx);
    ASSERT_TRUE(sql::isNumeric(ctx.orderCode));

    const auto v = insertValues(b.connection->last(QStringLiteral("insert into saida")));
    EXPECT_EQ(v.value("saobs"), "' - CODIGO ENVIO: '");
    EXPECT_EQ(v.value("cli_icmsuf"), "'17.5'");
    EXPECT_EQ(v.value("saintipoconsumidor"), "'CONSUMIDOR FINAL'");
    const QString row = "select * from saida where sacod=" + ctx.orderCode;
    EXPECT_EQ(b.value(row, "saobs"), " - CODIGO ENVIO: ");
    EXPECT_EQ(b.value(row, "savrpago"), "150,90");
    EXPECT_EQ(b.value(row, "total"), "150,90");
    EXPECT_EQ(b.value(row, "savrtotal"), "140,90");
    EXPECT_EQ(b.value(row, "vrfrete"), "10,00");
    EXPECT_EQ(b.value(row, "cli_icmsuf").toDouble(), 17.5);

    // 7.000000000000001 is written as 7.
    b.state.PERC_ICMS = 100 * 0.07;
    order.orderNumber = 988;
    OrderContext third = b.context();
    resolveCustomer(b.state, order, third);
    bookHeader(b.state, order, third);
    EXPECT_EQ(insertValues(b.connection->last(QStringLiteral("insert into saida"))).value("cli_icmsuf"), "'7'");
}

TEST(BookingHeader, NoCustomerCodeBooksNothing)
{
    BookingDb b;
    const int before = b.count(QStringLiteral("saida"));
    for (const QString& code : {QString(), QStringLiteral("abc")}) {
        OrderContext ctx = b.context();
        ctx.customerCode = code;
        bookHeader(b.state, headerOrder(), ctx);
        EXPECT_TRUE(ctx.orderCode.isEmpty());
    }
    EXPECT_EQ(b.count(QStringLiteral("saida")), before);
    EXPECT_TRUE(b.connection->statements.isEmpty());
}
