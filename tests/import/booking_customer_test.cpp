// Customer resolution against a fresh ERP database.
#include "booking_fixture.h"

namespace {

OrderRecord sampleOrder()
{
    OrderRecord o;
    o.orderNumber = 501;
    o.customerName = QStringLiteral("JOANA PEREIRA");
    o.rg = QStringLiteral("22.333.444-5");
    o.stateRegistration = QStringLiteral("ISENTO");
    o.address = QStringLiteral("RUA NOVA 10");
    o.district = QStringLiteral("JARDIM");
    o.complement = QStringLiteral("CASA 2");
    o.city = QStringLiteral("CAMPINAS");
    o.state = QStringLiteral("SP");
    o.postalCode = QStringLiteral("13010-100");
    o.email = QStringLiteral("joana@example.com");
    o.phone = QStringLiteral("1932221111");
    return o;
}

QString customerOf(const BookingDb& b, const QString& incod, const QString& column)
{
    return b.value(QStringLiteral("select * from interveniente where incod=") + incod, column);
}

} // namespace

TEST(BookingCustomer, NewCustomerWithoutDocumentIsCreatedEveryTimeWithAllColumns)
{
    BookingDb b;
    OrderRecord order = sampleOrder();
    order.cpf = QStringLiteral("___.___.___-__");   // the empty masks do not look anything up
    order.cnpj = QStringLiteral("__.___.___/____-__");
    order.city = QStringLiteral("CIDADE SEM CADASTRO");
    order.complement.clear();

    OrderContext first = b.context();
    first.customerCode = QStringLiteral("stale");
    first.orderCode = QStringLiteral("stale");
    first.consumerType = QStringLiteral("REVENDA");
    resolveCustomer(b.state, order, first);
    ASSERT_TRUE(sql::isNumeric(first.customerCode)) << first.customerCode.toStdString();
    EXPECT_TRUE(first.orderCode.isEmpty());
    EXPECT_EQ(first.consumerType, QStringLiteral("CONSUMIDOR FINAL"));
    EXPECT_EQ(first.municipalityCode, QString());
    EXPECT_EQ(first.timestamp, QStringLiteral("2/4/2015 14:05:09"));
    EXPECT_EQ(first.todayCompact, QStringLiteral("20150204"));

    // The insert carries the 30 values in column order, each one quoted.
    const auto v = insertValues(b.connection->last(QStringLiteral("insert into interveniente")));
    ASSERT_EQ(v.size(), 30);
    const QMap<QString, QString> expected{
        {"intipoconsumidor", "'CONSUMIDOR FINAL'"}, {"inmucod", "''"}, {"opsimples", "'0'"},
        {"inpaiscod", "'1058'"}, {"inpaisnome", "'BRASIL'"}, {"ininativo", "'0'"}, {"inrepresentante", "'0'"},
        {"inbloqueado", "'0'"}, {"fktransportadora", "'0'"}, {"inindicacao", "''"},
        {"datanascimento", "'2/4/2015'"}, {"datanascimentot", "'20150204'"},
        {"fkvendedor", "'" + *b.state.CODIGO_VENDEDOR + "'"}, {"fkgcompra", "'0'"}, {"fktipointerveniente", "'2'"},
        {"usuario_alt", "'AUTOMATICO'"}, {"data_alt", "'2/4/2015 14:05:09'"}, {"innome", "'JOANA PEREIRA'"},
        {"incpf", "'___.___.___-__'"}, {"inrg", "'22.333.444-5'"}, {"incnpj", "'__.___.___/____-__'"},
        {"ininscricao", "'ISENTO'"}, {"inendereco", "'RUA NOVA 10'"}, {"inbairro", "'JARDIM'"},
        {"incomplemento", "''"}, {"inmunicipio", "'CIDADE SEM CADASTRO'"}, {"inuf", "'SP'"},
        {"incep", "'13010-100'"}, {"inemailnfe", "'joana@example.com'"}, {"infone", "'1932221111'"}};
    EXPECT_EQ(v, expected);

    // The row as stored, with the address copied into the second and delivery address.
    const QString c = first.customerCode;
    EXPECT_EQ(customerOf(b, c, "fktipointerveniente"), "2");
    EXPECT_EQ(customerOf(b, c, "datanascimento"), "2015-02-04");
    EXPECT_EQ(customerOf(b, c, "inmucod"), "");
    for (const char* col : {"inendereco2", "inenendereco"})
        EXPECT_EQ(customerOf(b, c, col), "RUA NOVA 10") << col;
    for (const char* col : {"inbairro2", "inenbairro"})
        EXPECT_EQ(customerOf(b, c, col), "JARDIM") << col;
    for (const char* col : {"inmunicipio2", "inenmunicipio"})
        EXPECT_EQ(customerOf(b, c, col), "CIDADE SEM CADASTRO") << col;
    for (const char* col : {"inuf2", "inenuf"})
        EXPECT_EQ(customerOf(b, c, col), "SP") << col;
    for (const char* col : {"incomplemento2", "inencomplemento", "inmucod2", "inenmucod"})
        EXPECT_EQ(customerOf(b, c, col), "") << col;

    // Same name again, at another time of day: a second customer; the clock reads 24 hours.
    b.clock.set(QDateTime(QDate(2015, 11, 12), QTime(23, 7, 1)));
    OrderContext second = b.context();
    resolveCustomer(b.state, order, second);
    EXPECT_GT(second.customerCode.toInt(), first.customerCode.toInt());
    EXPECT_EQ(second.timestamp, QStringLiteral("11/12/2015 23:07:01"));
    EXPECT_EQ(second.todayCompact, QStringLiteral("20151112"));
    EXPECT_EQ(customerOf(b, second.customerCode, "datanascimento"), "2015-11-12");
    EXPECT_EQ(b.count(QStringLiteral("interveniente where innome='JOANA PEREIRA'")), 2);
}

TEST(BookingCustomer, FoundCustomerKeepsItsIdentityAndTakesTheFileAddress)
{
    BookingDb b;
    b.exec(QStringLiteral(
        "insert into interveniente (fktipointerveniente,innome,intipoconsumidor,incpf,inrg,incnpj,ininscricao,"
        "inendereco,innumero,incomplemento,inbairro,inmunicipio,inuf,inmucod,incep,inemailnfe,infone,fkvendedor,"
        "usuario_alt,data_alt) values (2,'JOANA P. ANTIGA','  REVENDA  ','321.654.987-00','RG ANTIGO','',"
        "'IE ANTIGA','RUA VELHA','77','APTO 1','CENTRO','SAO PAULO','SP','3550308','01000-000','velho@x.com',"
        "'1100000000',99,'ADMIN','1/1/2010 10:00:00')"));
    const QString incod = b.value(QStringLiteral("select incod from interveniente where incpf='321.654.987-00'"),
                                  QStringLiteral("incod"));
    OrderRecord order = sampleOrder();
    order.cpf = QStringLiteral("321.654.987-00");
    order.complement.clear();   // an empty value overwrites too
    order.email.clear();
    const int before = b.count(QStringLiteral("interveniente"));

    OrderContext ctx = b.context();
    resolveCustomer(b.state, order, ctx);
    EXPECT_EQ(ctx.customerCode, incod);
    EXPECT_EQ(ctx.consumerType, QStringLiteral("REVENDA"));
    EXPECT_EQ(ctx.municipalityCode, QStringLiteral("3509502"));   // CAMPINAS/SP
    EXPECT_EQ(b.count(QStringLiteral("interveniente")), before);

    const QMap<QString, QString> kept{{"innome", "JOANA P. ANTIGA"}, {"incpf", "321.654.987-00"},
                                      {"inrg", "RG ANTIGO"}, {"incnpj", ""}, {"ininscricao", "IE ANTIGA"},
                                      {"fkvendedor", "99"}, {"intipoconsumidor", "  REVENDA  "},
                                      {"innumero", "77"}, {"innumero2", "77"}, {"inennumero", "77"}};
    const QMap<QString, QString> overwritten{
        {"inmucod", "3509502"}, {"inendereco", "RUA NOVA 10"}, {"inbairro", "JARDIM"}, {"incomplemento", ""},
        {"inmunicipio", "CAMPINAS"}, {"inuf", "SP"}, {"incep", "13010-100"}, {"inemailnfe", ""},
        {"infone", "1932221111"}, {"usuario_alt", "AUTOMATICO"}, {"data_alt", "2/4/2015 14:05:09"},
        {"inendereco2", "RUA NOVA 10"}, {"inenendereco", "RUA NOVA 10"}, {"incomplemento2", ""},
        {"inencomplemento", ""}, {"inmucod2", "3509502"}, {"inenmucod", "3509502"}, {"inmunicipio2", "CAMPINAS"},
        {"inenbairro", "JARDIM"}, {"inenuf", "SP"}};
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        EXPECT_EQ(customerOf(b, incod, it.key()), it.value()) << it.key().toStdString();
    for (auto it = overwritten.cbegin(); it != overwritten.cend(); ++it)
        EXPECT_EQ(customerOf(b, incod, it.key()), it.value()) << it.key().toStdString();

    // The statements as the ERP expects them, spaces included.
    EXPECT_TRUE(b.connection->last("update interveniente set inmucod=")
                    .endsWith("',infone ='1932221111'where incod='" + incod + "'"));
    EXPECT_EQ(b.connection->last("update interveniente set inendereco2="),
              "update interveniente set inendereco2=inendereco,innumero2=innumero,incomplemento2=incomplemento,"
              "inbairro2=inbairro,inmunicipio2=inmunicipio,inuf2=inuf,inmucod2=inmucod,  inenendereco=inendereco,"
              "inennumero=innumero,inencomplemento=incomplemento,inenbairro=inbairro,inenmunicipio=inmunicipio,"
              "inenuf=inuf,inenmucod=inmucod where incod='" + incod + "'");

    // A blank consumer type hands on "CONSUMIDOR FINAL".
    b.exec(QStringLiteral("update interveniente set intipoconsumidor='   ' where incod=") + incod);
    OrderContext again = b.context();
    resolveCustomer(b.state, order, again);
    EXPECT_EQ(again.customerCode, incod);
    EXPECT_EQ(again.consumerType, QStringLiteral("CONSUMIDOR FINAL"));
}

TEST(BookingCustomer, CnpjWinsOverCpfAndOnlyCustomersAreLookedUp)
{
    BookingDb b;
    b.exec(QStringLiteral("insert into interveniente (fktipointerveniente,innome,incpf,inendereco) values "
                          "(2,'PESSOA','111.222.333-44','RUA DA PESSOA')"));
    b.exec(QStringLiteral("insert into interveniente (fktipointerveniente,innome,incnpj,inendereco,intipoconsumidor) "
                          "values (2,'EMPRESA','11.222.333/0001-81','RUA DA EMPRESA','REVENDA')"));
    // The same CNPJ as a supplier (type 1) is never taken.
    b.exec(QStringLiteral("insert into interveniente (fktipointerveniente,innome,incnpj) values "
                          "(1,'FORNECEDOR','22.333.444/0001-55')"));
    const QString company = b.value(QStringLiteral("select incod from interveniente where innome='EMPRESA'"), "incod");

    OrderRecord order = sampleOrder();
    order.cpf = QStringLiteral("111.222.333-44");
    order.cnpj = QStringLiteral("11.222.333/0001-81");
    OrderContext ctx = b.context();
    resolveCustomer(b.state, order, ctx);
    EXPECT_EQ(ctx.customerCode, company);
    EXPECT_EQ(ctx.consumerType, QStringLiteral("REVENDA"));
    EXPECT_EQ(b.value("select inendereco from interveniente where innome='PESSOA'", "inendereco"), "RUA DA PESSOA");
    EXPECT_EQ(b.value("select inendereco from interveniente where innome='EMPRESA'", "inendereco"), "RUA NOVA 10");

    order.cnpj = QStringLiteral("22.333.444/0001-55");
    OrderContext supplier = b.context();
    resolveCustomer(b.state, order, supplier);
    EXPECT_EQ(b.value("select fktipointerveniente from interveniente where incod=" + supplier.customerCode,
                      "fktipointerveniente"),
              "2");
    EXPECT_EQ(b.count("interveniente where incnpj='22.333.444/0001-55'"), 2);
}
