// Order items and their tax defaults against a fresh ERP database.
#include "booking_fixture.h"

#include <stdexcept>

namespace {

// Books a customer and an order header; the items go under the returned context.
OrderContext bookedOrder(BookingDb& b, const QString& consumerType = QStringLiteral("CONSUMIDOR FINAL"),
                         qint32 number = 700)
{
    OrderRecord o;
    o.orderNumber = number;
    o.customerName = QStringLiteral("CLIENTE ITENS");
    o.orderDateCompact = o.shipDateCompact = QStringLiteral("20150204");
    o.orderDateSlash = o.shipDateSlash = QStringLiteral("02/04/2015");
    o.freightChoice = QStringLiteral("PAC");
    o.shippingCode = QStringLiteral("XY9");
    OrderContext ctx = b.context(QStringLiteral("pedido-%1.txt").arg(number));
    resolveCustomer(b.state, o, ctx);
    ctx.consumerType = consumerType;
    bookHeader(b.state, o, ctx);
    EXPECT_TRUE(sql::isNumeric(ctx.orderCode));
    return ctx;
}

OrderItem item(const QString& barcode, const QString& lineTotal, const QString& quantity = QStringLiteral("1"),
               const QString& unitPrice = QStringLiteral("100.00"))
{
    OrderItem i;
    i.lineNumber = 12;
    i.barcode = barcode;
    i.productName = QStringLiteral("PRODUTO ") + barcode;
    i.unitPrice = unitPrice;
    i.quantity = quantity;
    i.lineTotal = lineTotal;
    i.sixth = QStringLiteral("0");
    return i;
}

// The values of the last item insert.
QMap<QString, QString> lastItem(const BookingDb& b)
{
    return insertValues(b.connection->last(QStringLiteral("insert into itemsaida")));
}

} // namespace

TEST(BookingItems, IpiAndIcmsOfTheWorkedExamples)
{
    BookingDb b;
    const QString prcod = b.addProduct("900001", "CADERNO", "2", "'CX'", "0102", "10", "50");

    // Final consumer: the IPI joins the ICMS base.
    OrderContext ctx = bookedOrder(b);
    bookItem(b.state, item("900001", "100.00"), ctx, b.report);
    auto v = lastItem(b);
    ASSERT_EQ(v.size(), 38);
    const QString saldocod = b.value("select sacod from saldo where fkprcod=" + prcod, "sacod");
    const QMap<QString, QString> expected{
        {"picmsst", "0"}, {"prcst_icms", "'0102'"}, {"vbcicms", "'110'"}, {"vicms", "'19.8'"}, {"vbcst", "0"},
        {"vicmsst", "0"}, {"perc_icms", "'18'"}, {"aliquotainterna", "18"}, {"red_bcicmsst", "0"},
        {"cstipi", "'50'"}, {"vipi", "'10'"}, {"pipi", "'10'"}, {"itfesq", "'0'"}, {"itmodelado", "'0'"},
        {"itlargura", "'0'"}, {"italtura", "'0'"}, {"itm2", "'0'"}, {"itsadesconto", "0"},
        {"usuario_cri", "'AUTOMATICO'"}, {"data_cri", "'2/4/2015'"}, {"tppromocao", "''"},
        {"itentrega_retira", "''"}, {"itvolume", "'2'"}, {"itfksacod", "'" + ctx.orderCode + "'"},
        {"itfkprcod", "'" + prcod + "'"}, {"itfklocod", "'0'"}, {"itqtd", "'1'"}, {"itunidade", "''CX''"},
        {"itvrunitario", "'100.00'"}, {"itvrtotal", "'100.00'"}, {"itobs", "''"}, {"itvripi", "'10'"},
        {"itlote", "''"}, {"itvalidade", "'30001231'"}, {"datavalidade", "'12/31/3000'"},
        {"itprnome", "'PRODUTO 900001'"}, {"saldo", "'1'"}, {"saldocod", "'" + saldocod + "'"}};
    EXPECT_EQ(v, expected);
    EXPECT_TRUE(b.connection->last("insert into itemsaida").contains("','','','2', '" + ctx.orderCode + "','"));

    const QString row = "select * from itemsaida where itfksacod=" + ctx.orderCode;
    EXPECT_EQ(b.value(row, "vbcicms"), "110.00");
    EXPECT_EQ(b.value(row, "vicms"), "19.80");
    EXPECT_EQ(b.value(row, "data_cri"), "2015-02-04");
    EXPECT_EQ(b.value(row, "datavalidade"), "3000-12-31");
    EXPECT_EQ(b.value(row, "itunidade"), "'CX'");

    // Another consumer type: the base stays the line total text.
    OrderContext reseller = bookedOrder(b, QStringLiteral("REVENDA"), 701);
    bookItem(b.state, item("900001", "100.00"), reseller, b.report);
    v = lastItem(b);
    EXPECT_EQ(v.value("vbcicms"), "'100.00'");
    EXPECT_EQ(v.value("vicms"), "'18'");
    EXPECT_EQ(v.value("vipi"), "'10'");
    // Consumer type must match exactly.
    OrderContext lower = bookedOrder(b, QStringLiteral("consumidor final"), 702);
    bookItem(b.state, item("900001", "100,00"), lower, b.report);
    v = lastItem(b);
    EXPECT_EQ(v.value("vbcicms"), "'100.00'");
    EXPECT_EQ(v.value("vicms"), "'18'");
    EXPECT_EQ(v.value("itvrtotal"), "'100.00'");

    // Simplified regime: 4 % of the base, while perc_icms shows PERC_ICMS.
    b.state.ALIQUOTA_SIMPLES = 0.04;
    b.state.PERC_ICMS = 4;
    bookItem(b.state, item("900001", "100.00"), ctx, b.report);
    v = lastItem(b);
    EXPECT_EQ(v.value("vbcicms"), "'110'");
    EXPECT_EQ(v.value("vicms"), "'4.4'");
    EXPECT_EQ(v.value("perc_icms"), "'4'");
    EXPECT_EQ(v.value("aliquotainterna"), "18");
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 2);
    EXPECT_TRUE(b.report.logs.isEmpty());
}

TEST(BookingItems, SituationCodesThatChargeNoIcms)
{
    BookingDb b;
    b.addProduct("910060", "SUBST", "1", "UN", "060", "0", "52");
    b.addProduct("910500", "SIMPLES", "1", "UN", "NULL", "0", "52");   // default 0500
    b.addProduct("910002", "DOIS", "1", "UN", "01", "0", "52");
    b.addProduct("910005", "CINCO", "1", "UN", "01020", "0", "52");
    b.addProduct("910070", "TRIBUTADO", "1", "UN", "070", "0", "52");
    b.addProduct("910101", "SIMPLES 101", "1", "UN", "0101", "0", "52");
    OrderContext ctx = bookedOrder(b);
    for (const char* code : {"910060", "910500", "910002", "910005"}) {
        bookItem(b.state, item(code, "3,00"), ctx, b.report);
        const auto v = lastItem(b);
        EXPECT_EQ(v.value("vicms"), "'0'") << code;
        EXPECT_EQ(v.value("vbcicms"), "'3.00'") << code;
        EXPECT_EQ(v.value("vipi"), "'0'") << code;
    }
    EXPECT_EQ(lastItem(b).value("prcst_icms"), "'01020'");
    // 3 characters other than x60, and 4 other than x500, are charged.
    bookItem(b.state, item("910070", "3,00"), ctx, b.report);
    EXPECT_EQ(lastItem(b).value("vicms"), "'0.54'");
    EXPECT_EQ(lastItem(b).value("vbcicms"), "'3'");
    bookItem(b.state, item("910101", "3.00"), ctx, b.report);
    EXPECT_EQ(lastItem(b).value("vicms"), "'0.54'");
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 6);
}

TEST(BookingItems, ProductDefaultsAndNumbersFromTheLine)
{
    BookingDb b;
    b.addProduct("920001", "SEM DADOS", "NULL", "NULL", "NULL", "NULL", "NULL");
    b.addProduct("920002", "VAZIOS", "NULL", "", "", "NULL", "");
    b.addProduct("920003", "ZEROS", "0", "KG", "0500", "0", "99");
    OrderContext ctx = bookedOrder(b);

    for (const char* code : {"920001", "920002"}) {
        bookItem(b.state, item(code, "5,00", "2,5", "2,00"), ctx, b.report);
        const auto v = lastItem(b);
        EXPECT_EQ(v.value("itunidade"), "'UN'") << code;
        EXPECT_EQ(v.value("prcst_icms"), "'0500'") << code;
        EXPECT_EQ(v.value("cstipi"), "'52'") << code;
        EXPECT_EQ(v.value("itvolume"), "'1'") << code;
        EXPECT_EQ(v.value("pipi"), "'0'") << code;
        EXPECT_EQ(v.value("itvripi"), "'0'") << code;
        EXPECT_EQ(v.value("itqtd"), "'2.5'") << code;
        EXPECT_EQ(v.value("saldo"), "'2.5'") << code;
        EXPECT_EQ(v.value("itvrunitario"), "'2.00'") << code;
        EXPECT_EQ(v.value("itvrtotal"), "'5.00'") << code;
    }
    // A numeric 0 replaces its default.
    bookItem(b.state, item("920003", "1"), ctx, b.report);
    EXPECT_EQ(lastItem(b).value("itvolume"), "'0'");
    EXPECT_EQ(lastItem(b).value("itunidade"), "'KG'");
    EXPECT_EQ(lastItem(b).value("cstipi"), "'99'");

    const QString row = "select * from itemsaida where itfksacod=" + ctx.orderCode + " order by itcod";
    EXPECT_EQ(b.value(row, "itqtd"), "2.5000");
    EXPECT_EQ(b.value(row, "saldo"), "2.5000");
    EXPECT_EQ(b.value(row, "itunidade"), "UN");
}

TEST(BookingItems, LineTotalThatIsNoNumberWhereOneIsNeeded)
{
    BookingDb b;
    b.addProduct("930001", "COM IPI", "1", "UN", "0500", "5", "50");
    b.addProduct("930002", "COM ICMS", "1", "UN", "0102", "0", "50");
    OrderContext ctx = bookedOrder(b);
    for (const char* code : {"930001", "930002"}) {
        try {
            bookItem(b.state, item(code, "12,3x"), ctx, b.report);
            ADD_FAILURE() << "no failure for " << code;
        } catch (const DatabaseError&) {
            ADD_FAILURE() << "the database saw the bad total of " << code;
        } catch (const std::runtime_error& e) {
            const QString message = QString::fromStdString(e.what());
            EXPECT_TRUE(message.contains(code)) << e.what();
            EXPECT_TRUE(message.contains("12,3x")) << e.what();
        }
    }
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 0);
}

TEST(BookingItems, MissingProductsAreNotedOnTheOrderAndReported)
{
    BookingDb b;
    b.addProduct("940001", "SEM ESTOQUE", "1", "UN", "0500", "0", "52", /*withStock=*/false);
    b.addProduct("940002", "EXISTE", "1", "UN", "0500", "0", "52");
    OrderContext ctx = bookedOrder(b);
    const QString row = "select saobs from saida where sacod=" + ctx.orderCode;
    EXPECT_EQ(b.value(row, "saobs"), "PAC - CODIGO ENVIO: XY9");

    OrderItem first = item("940001", "1.00");
    first.productName = QStringLiteral("SEM ESTOQUE");
    bookItem(b.state, first, ctx, b.report);
    EXPECT_EQ(b.value(row, "saobs"), QStringLiteral("UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: 940001 | SEM ESTOQUE"));
    bookItem(b.state, item("940002", "1.00"), ctx, b.report);
    OrderItem second = item("949999", "1.00");
    second.productName = QStringLiteral("INEXISTENTE");
    bookItem(b.state, second, ctx, b.report);

    EXPECT_EQ(b.value(row, "saobs"), QStringLiteral("UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: 949999 | INEXISTENTE"));
    EXPECT_EQ(ctx.missingProducts, QStringList({"940001 | SEM ESTOQUE", "949999 | INEXISTENTE"}));
    ASSERT_EQ(b.report.logs.size(), 2);
    for (const QString& line : b.report.logs)
        EXPECT_TRUE(line.contains("pedido-700.txt")) << line.toStdString();
    EXPECT_TRUE(b.report.logs[0].contains("940001") && b.report.logs[0].contains("SEM ESTOQUE"));
    EXPECT_TRUE(b.report.logs[1].contains("949999") && b.report.logs[1].contains("INEXISTENTE"));
    EXPECT_EQ(b.count("itemsaida where itfksacod=" + ctx.orderCode), 1);
}
