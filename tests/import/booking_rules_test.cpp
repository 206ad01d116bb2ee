// Booking rules the whole-file imports do not reach: customer lookup, header guards and
// rates, ICMS situations, product defaults, bad line totals and products missing from the ERP.
#include "booking_fixture.h"

#include <stdexcept>

namespace {

OrderRecord order(qint32 number = 700)
{
    OrderRecord o;
    o.orderNumber = number;
    o.customerName = QStringLiteral("CLIENTE ITENS");
    o.address = QStringLiteral("RUA NOVA 10");
    o.city = QStringLiteral("CAMPINAS");
    o.state = QStringLiteral("SP");
    o.orderDateCompact = o.shipDateCompact = QStringLiteral("20150204");
    o.orderDateSlash = o.shipDateSlash = QStringLiteral("02/04/2015");
    o.freightChoice = QStringLiteral("PAC");
    o.shippingCode = QStringLiteral("XY9");
    return o;
}

// A customer and an order header; the items go under the returned context.
OrderContext bookedOrder(BookingDb& b, const QString& consumerType = QStringLiteral("CONSUMIDOR FINAL"),
                         qint32 number = 700)
{
    OrderContext ctx = b.context(QStringLiteral("pedido-%1.txt").arg(number));
    resolveCustomer(b.state, order(number), ctx);
    ctx.consumerType = consumerType;
    bookHeader(b.state, order(number), ctx);
    EXPECT_TRUE(sql::isNumeric(ctx.orderCode));
    return ctx;
}

OrderItem item(const QString& barcode, const QString& lineTotal, const QString& quantity = QStringLiteral("1"))
{
    OrderItem i;
    i.lineNumber = 12;
    i.barcode = barcode;
    i.productName = QStringLiteral("PRODUTO ") + barcode;
    i.unitPrice = QStringLiteral("100.00");
    i.quantity = quantity;
    i.lineTotal = lineTotal;
    i.sixth = QStringLiteral("0");
    return i;
}

// A column of the item booked last under the order.
QString lastItem(const BookingDb& b, const OrderContext& ctx, const QString& column)
{
    return b.value("select * from itemsaida where itfksacod=" + ctx.orderCode + " order by itcod desc", column);
}

} // namespace

TEST(BookingCustomer, LookupByCnpjThenCpfCustomersOnlyAndNewOnesWithoutDocument)
{
    BookingDb b;
    b.exec("insert into interveniente (fktipointerveniente,innome,incpf,inendereco) values "
           "(2,'PESSOA','111.222.333-44','RUA DA PESSOA')");
    b.exec("insert into interveniente (fktipointerveniente,innome,incnpj,inendereco,intipoconsumidor) values "
           "(2,'EMPRESA','11.222.333/0001-81','RUA DA EMPRESA','   ')");
    b.exec("insert into interveniente (fktipointerveniente,innome,incnpj) values (1,'FORNECEDOR','22.333.444/0001-55')");
    const QString company = b.value("select incod from interveniente where innome='EMPRESA'", "incod");

    OrderRecord o = order();
    o.cpf = QStringLiteral("111.222.333-44");
    o.cnpj = QStringLiteral("11.222.333/0001-81");
    OrderContext ctx = b.context();
    resolveCustomer(b.state, o, ctx);
    EXPECT_EQ(ctx.customerCode, company);
    EXPECT_EQ(ctx.consumerType, QStringLiteral("CONSUMIDOR FINAL"));   // a blank type in the ERP
    EXPECT_EQ(b.value("select inendereco from interveniente where innome='PESSOA'", "inendereco"), "RUA DA PESSOA");
    EXPECT_EQ(b.value("select inendereco from interveniente where innome='EMPRESA'", "inendereco"), "RUA NOVA 10");

    // The same CNPJ on a supplier is never taken: a new customer is created.
    o.cnpj = QStringLiteral("22.333.444/0001-55");
    OrderContext supplier = b.context();
    resolveCustomer(b.state, o, supplier);
    EXPECT_EQ(b.value("select fktipointerveniente from interveniente where incod=" + supplier.customerCode,
                      "fktipointerveniente"), "2");
    EXPECT_EQ(b.count("interveniente where incnpj='22.333.444/0001-55'"), 2);

    // Empty document masks look nothing up; the clock is read on 24 hours.
    o.cpf = QStringLiteral("___.___.___-__");
    o.cnpj = QStringLiteral("__.___.___/____-__");
    b.clock.set(QDateTime(QDate(2015, 11, 12), QTime(23, 7, 1)));
    for (int round = 0; round < 2; ++round) {
        OrderContext fresh = b.context();
        fresh.orderCode = QStringLiteral("stale");
        resolveCustomer(b.state, o, fresh);
        ASSERT_TRUE(sql::isNumeric(fresh.customerCode));
        EXPECT_TRUE(fresh.orderCode.isEmpty());
        EXPECT_EQ(fresh.timestamp, QStringLiteral("11/12/2015 23:07:01"));
        EXPECT_EQ(fresh.todayCompact, QStringLiteral("20151112"));
    }
    EXPECT_EQ(b.count("interveniente where incpf='___.___.___-__'"), 2);
}

TEST(BookingHeader, NoCustomerCodeBooksNothingAndTheRateIsWrittenShort)
{
    BookingDb b;
    const int before = b.count(QStringLiteral("saida"));
    for (const QString& code : {QString(), QStringLiteral("abc")}) {
        OrderContext ctx = b.context();
        ctx.customerCode = code;
        bookHeader(b.state, order(), ctx);
        EXPECT_TRUE(ctx.orderCode.isEmpty());
    }
    EXPECT_EQ(b.count(QStringLiteral("saida")), before);
    EXPECT_TRUE(b.connection->statements.isEmpty());

    b.state.icmsPercent = 17.5;
    OrderContext ctx = bookedOrder(b);
    EXPECT_EQ(ctx.orderCode, b.value("select max(sacod) as sacod from saida", "sacod"));
    EXPECT_EQ(b.value("select cli_icmsuf from saida where sacod=" + ctx.orderCode, "cli_icmsuf").toDouble(), 17.5);
    b.state.icmsPercent = 100 * 0.07;   // 7.000000000000001
    bookedOrder(b, QStringLiteral("CONSUMIDOR FINAL"), 701);
    EXPECT_TRUE(b.connection->last("insert into saida").contains("'NAO','0','7',"))
        << b.connection->last("insert into saida").toStdString();
}

TEST(BookingItems, IcmsByConsumerTypeRegimeAndSituation)
{
    BookingDb b;
    b.addProduct("900001", "CADERNO", "2", "CX", "0102", "10", "50");
    // Consumer type must match exactly for the IPI to join the base (100 + 10 IPI).
    OrderContext lower = bookedOrder(b, QStringLiteral("consumidor final"), 701);
    bookItem(b.state, item("900001", "100,00"), lower, b.report);
    EXPECT_EQ(lastItem(b, lower, "vbcicms"), "100.00");
    EXPECT_EQ(lastItem(b, lower, "vicms"), "18.00");
    // Simplified regime: 4 % of the base, perc_icms shows PERC_ICMS, the internal rate stays 18.
    OrderContext ctx = bookedOrder(b);
    b.state.simplesRate = 0.04;
    b.state.icmsPercent = 4;
    bookItem(b.state, item("900001", "100.00"), ctx, b.report);
    EXPECT_EQ(lastItem(b, ctx, "vbcicms"), "110.00");
    EXPECT_EQ(lastItem(b, ctx, "vicms"), "4.40");
    EXPECT_EQ(lastItem(b, ctx, "perc_icms"), "4.0000");
    EXPECT_EQ(lastItem(b, ctx, "aliquotainterna"), "18.0000");

    // Situations x60 (3 characters) and x500 (4; NULL defaults to 0500), 2 and 5 characters
    // charge nothing; other 3- and 4-character codes charge 18 %.
    b.state.simplesRate = 0;
    const struct { const char* barcode; const char* cst; const char* icms; } cases[] = {
        {"910060", "060", "0.00"}, {"910500", "NULL", "0.00"}, {"910002", "01", "0.00"},
        {"910005", "01020", "0.00"}, {"910070", "070", "0.54"}, {"910101", "0101", "0.54"}};
    for (const auto& c : cases) {
        b.addProduct(c.barcode, "P", "1", "UN", c.cst, "0", "52");
        bookItem(b.state, item(c.barcode, "3,00"), ctx, b.report);
        EXPECT_EQ(lastItem(b, ctx, "vicms"), c.icms) << c.cst;
        EXPECT_EQ(lastItem(b, ctx, "vbcicms"), "3.00") << c.cst;
    }
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 7);
    EXPECT_TRUE(b.report.logs.isEmpty());
}

TEST(BookingItems, ProductDefaultsAndBadLineTotals)
{
    BookingDb b;
    b.addProduct("920001", "SEM DADOS", "NULL", "NULL", "NULL", "NULL", "NULL");
    b.addProduct("920002", "VAZIOS", "NULL", "", "", "NULL", "");
    b.addProduct("920003", "ZEROS", "0", "KG", "0500", "0", "99");
    OrderContext ctx = bookedOrder(b);
    for (const char* code : {"920001", "920002"}) {
        bookItem(b.state, item(code, "5,00", "2,5"), ctx, b.report);
        const QStringList expected{"UN", "0500", "52", "1.0000", "0.0000", "2.5000", "2.5000"};
        QStringList got;
        for (const char* col : {"itunidade", "prcst_icms", "cstipi", "itvolume", "pipi", "itqtd", "saldo"})
            got << lastItem(b, ctx, col);
        EXPECT_EQ(got, expected) << code;
    }
    // A numeric 0 replaces its default.
    bookItem(b.state, item("920003", "1"), ctx, b.report);
    EXPECT_EQ(lastItem(b, ctx, "itvolume"), "0.0000");
    EXPECT_EQ(lastItem(b, ctx, "itunidade"), "KG");
    EXPECT_EQ(lastItem(b, ctx, "cstipi"), "99");

    // A line total that is no number where IPI or ICMS needs one: refused before the database.
    b.addProduct("930001", "COM IPI", "1", "UN", "0500", "5", "50");
    b.addProduct("930002", "COM ICMS", "1", "UN", "0102", "0", "50");
    for (const char* code : {"930001", "930002"}) {
        try {
            bookItem(b.state, item(code, "12,3x"), ctx, b.report);
            ADD_FAILURE() << "no failure for " << code;
        } catch (const DatabaseError&) {
            ADD_FAILURE() << "the database saw the bad total of " << code;
        } catch (const std::runtime_error& e) {
            EXPECT_TRUE(QString(e.what()).contains(code) && QString(e.what()).contains("12,3x")) << e.what();
        }
    }
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 3);
}

TEST(BookingItems, MissingProductsAreNotedOnTheOrderAndReported)
{
    BookingDb b;
    b.addProduct("940001", "SEM ESTOQUE", "1", "UN", "0500", "0", "52", /*withStock=*/false);
    b.addProduct("940002", "EXISTE", "1", "UN", "0500", "0", "52");
    OrderContext ctx = bookedOrder(b);
    for (const char* code : {"940001", "940002", "949999"})
        bookItem(b.state, item(code, "1.00"), ctx, b.report);

    EXPECT_EQ(b.value("select saobs from saida where sacod=" + ctx.orderCode, "saobs"),
              QStringLiteral("UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: 949999 | PRODUTO 949999"));
    EXPECT_EQ(ctx.missingProducts, QStringList({"940001 | PRODUTO 940001", "949999 | PRODUTO 949999"}));
    ASSERT_EQ(b.report.logs.size(), 2);
    EXPECT_TRUE(b.report.logs[0].contains("pedido-700.txt") && b.report.logs[0].contains("940001"));
    EXPECT_TRUE(b.report.logs[1].contains("pedido-700.txt") && b.report.logs[1].contains("949999"));
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 1);
}
