// Whole order files booked through IMPORTA_ZELTO into a fresh ERP database, the rows compared
// column by column with values worked out by hand from the booking rules.
#include "import/import_order.h"
#include "import/erp_session.h"
#include "support/fixed_clock.h"
#include "support/test_database.h"

#include <QFile>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Row = QMap<QString, QString>;
const QString kNull = QStringLiteral("<NULL>");

class Golden : public ::testing::Test {
protected:
    testdb::FirebirdTestDatabase db;
    QTemporaryDir folder;
    ImportState state;
    RecordingReport report;
    FixedClock clock;   // 4 Feb 2015 14:05:09
    std::unique_ptr<IConnection> reader;   // reads rows back, beside the import's own connection

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        reader = db.connect();
        // Products of these orders: one with IPI and charged ICMS, one with ICMS by substitution
        // and NULL columns, one with an apostrophe in its barcode.
        run("insert into produto (prbarra,prnome,prvolume,prunisaida,prcst,pripi,prcstipi,prvenda) values "
            "('7890000000011','CADERNO',2,'CX','0102',10,'50',100)");
        run("insert into produto (prbarra,prnome,prvolume,prunisaida,prcst,pripi,prcstipi,prvenda) values "
            "('7890000000028','CANETA',NULL,NULL,'060',NULL,NULL,1.5)");
        run("insert into produto (prbarra,prnome,prvolume,prunisaida,prcst,pripi,prcstipi,prvenda) values "
            "('78''--00','LAPIS',1,'UN','0500',0,'52',1)");
        run("insert into saldo (fkprcod,fklocod,sasaldo) select prcod,0,5 from produto where prbarra in "
            "('7890000000011','7890000000028','78''--00')");
        // A person already known by CPF, a reseller with an old address.
        run("insert into interveniente (fktipointerveniente,innome,intipoconsumidor,incpf,inrg,incnpj,ininscricao,"
            "inendereco,innumero,incomplemento,inbairro,inmunicipio,inuf,inmucod,incep,inemailnfe,infone,fkvendedor,"
            "usuario_alt,data_alt) values (2,'CARLOS ANTIGO','REVENDA   ','987.654.321-00','RG-OLD',NULL,'IE-OLD',"
            "'RUA VELHA','12','APTO 9','BAIRRO VELHO','SANTOS','SP','999','11000-000','velho@x.com','1300000000',"
            "77,'ADMIN','1/1/2014 08:00:00')");

        db.writeZeltoIni(folder.path());
        state.sellerCode = QStringLiteral("2");   // COD_VENDEDOR of ftp.ini
        ASSERT_TRUE(ABRE_BANCO(state, folder.path(), report)) << report.criticals.join('\n').toStdString();
    }

    void run(const QString& sql) { reader->execute(sql); }

    QString value(const QString& select, const QString& column)
    {
        auto rs = reader->open(select);
        if (rs->eof())
            return QStringLiteral("<no row>");
        const Field f = rs->field(column);
        return f.isNull() ? kNull : f.text;
    }
    int count(const QString& tableAndWhere)
    {
        return value("select count(*) as n from " + tableAndWhere, "n").toInt();
    }

    // Every column of `table` but its key, from the first row of the select; the expected map
    // must name them all.
    void expectRow(const QString& table, const QString& where, const Row& expected, const QString& key)
    {
        const QStringList columns =
            value("select cast(list(trim(rdb$field_name), ',') as varchar(8000)) as f from rdb$relation_fields "
                  "where rdb$relation_name='" + table.toUpper() + "'",
                  "f")
                .toLower()
                .split(',');
        auto rs = reader->open("select * from " + table + " where " + where);
        ASSERT_FALSE(rs->eof()) << "no row in " << table.toStdString() << " where " << where.toStdString();
        for (const QString& column : columns) {
            if (column == key)
                continue;
            if (!expected.contains(column)) {
                ADD_FAILURE() << table.toStdString() << "." << column.toStdString() << " has no expected value";
                continue;
            }
            const Field f = rs->field(column);
            EXPECT_EQ(f.isNull() ? kNull : f.text, expected.value(column))
                << table.toStdString() << "." << column.toStdString() << " where " << where.toStdString();
        }
        EXPECT_EQ(expected.size(), columns.size() - 1) << "columns named but not in " << table.toStdString();
    }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = folder.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QString writeLines(const QString& name, const QStringList& lines)
    {
        return write(name, (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    }

    QString incodOf(const QString& where) { return value("select incod from interveniente where " + where, "incod"); }
    QString sacodOf(int orderNumber)
    {
        return value("select sacod from saida where fkftp=" + QString::number(orderNumber), "sacod");
    }
    QString prcodOf(const QString& barcode)
    {
        return value("select prcod from produto where prbarra='" + QString(barcode).replace("'", "''") + "'", "prcod");
    }
    QString saldocodOf(const QString& barcode)
    {
        return value("select sacod from saldo where fkprcod=" + prcodOf(barcode), "sacod");
    }
};

Row withValues(Row r, const Row& own)
{
    for (auto it = own.cbegin(); it != own.cend(); ++it)
        r.insert(it.key(), it.value());
    return r;
}

// A customer written by the import: the file's values, the fixed values and the address copies.
Row newCustomer(const QString& name, const QString& cpf, const QString& rg, const QString& cnpj, const QString& ie,
                const QString& address, const QString& district, const QString& complement, const QString& city,
                const QString& uf, const QString& mucod, const QString& cep, const QString& email, const QString& phone)
{
    return Row{{"fktipointerveniente", "2"}, {"innome", name}, {"intipoconsumidor", "CONSUMIDOR FINAL"},
               {"incpf", cpf}, {"inrg", rg}, {"incnpj", cnpj}, {"ininscricao", ie}, {"inendereco", address},
               {"innumero", kNull}, {"incomplemento", complement}, {"inbairro", district}, {"inmunicipio", city},
               {"inuf", uf}, {"inmucod", mucod}, {"incep", cep}, {"inemailnfe", email}, {"infone", phone},
               {"inendereco2", address}, {"innumero2", kNull}, {"incomplemento2", complement},
               {"inbairro2", district}, {"inmunicipio2", city}, {"inuf2", uf}, {"inmucod2", mucod},
               {"inenendereco", address}, {"inennumero", kNull}, {"inencomplemento", complement},
               {"inenbairro", district}, {"inenmunicipio", city}, {"inenuf", uf}, {"inenmucod", mucod},
               {"opsimples", "0"}, {"inpaiscod", "1058"}, {"inpaisnome", "BRASIL"}, {"ininativo", "0"},
               {"inrepresentante", "0"}, {"inbloqueado", "0"}, {"fktransportadora", "0"}, {"inindicacao", ""},
               {"datanascimento", "2015-02-04"}, {"datanascimentot", "20150204"}, {"fkvendedor", "2"},
               {"fkgcompra", "0"}, {"usuario_alt", "AUTOMATICO"}, {"data_alt", "2/4/2015 14:05:09"}};
}

// The order header as the import writes it; `files` holds the values taken from the order file.
Row header(const Row& files)
{
    Row r{{"sadesconto", "0.00"}, {"usuario", "AUTOMATICO"}, {"sarecebimento", ""}, {"saassinado", "NAO"},
          {"valoripi", "0.00"}, {"sainstalacao", "0.00"}, {"valoricms", "0.00"}, {"sabloqueado", "1"},
          {"safrete", "1"}, {"tmfinanceiro", "NAO"}, {"tmestoque", "NAO"}, {"tmisentaicms", "0"},
          {"cli_icmsuf", "18.0000"}, {"versao", "04-02-2015"}, {"saqtdeimpressao", "0"},
          {"usuario_cri", "AUTOMATICO"}, {"data_cri", "2/4/2015 14:05:09"}, {"safktppag", "1"},
          {"sastatusanalise", ""}, {"tbindividualizada", "NAO"}, {"fktbnome", "SITE"}, {"status", "P"},
          {"safktpsaida", "3"}, {"safkvendedor", "2"}};
    return withValues(r, files);
}

// An item row; `own` holds the values of this item.
Row item(const Row& own)
{
    Row r{{"picmsst", "0.0000"}, {"vbcst", "0.00"}, {"vicmsst", "0.00"}, {"perc_icms", "18.0000"},
          {"aliquotainterna", "18.0000"}, {"red_bcicmsst", "0.0000"}, {"itfesq", "0"}, {"itmodelado", "0"},
          {"itlargura", "0.0000"}, {"italtura", "0.0000"}, {"itm2", "0.0000"}, {"itsadesconto", "0.00"},
          {"usuario_cri", "AUTOMATICO"}, {"data_cri", "2015-02-04"}, {"tppromocao", ""}, {"itentrega_retira", ""},
          {"itfklocod", "0"}, {"itobs", ""}, {"itlote", ""}, {"itvalidade", "30001231"},
          {"datavalidade", "3000-12-31"}};
    return withValues(r, own);
}

} // namespace

TEST_F(Golden, OrdersBookedColumnByColumn)
{
    // A company with a CNPJ, new to the ERP; the company name wins over the contact's name.
    const QString a = writeLines("PED1001.txt", {
        "NumeroPedido: 1001",
        "DataPedido: 2015-02-03 10:31:00",
        "IdCliente: 55",
        "NomeCliente: joao comprador|x",
        "CnpjCliente: 112223330001-81",
        "RazaoSocialCliente: Papelaria Exemplo Ltda",
        "IECliente: 123.456.789.110",
        "EnderecoCliente: rua das palmeiras, 100",
        "BairroCliente: centro",
        "ComplementoCliente: sala 2",
        "CidadeCliente: campinas",
        "EstadoCliente: sp",
        "CepCliente: 13010-000",
        "EmailCliente: Compras@Exemplo.com.br",
        "TelefoneCliente: (19)3232-1111",
        "SubTotalProdutos: 200.00",
        "FreteEscolhido: sedex",
        "Valor Frete: 15.50",
        "ValorPedido: 215.50",
        "Data Envio: 2015-02-05",
        "CodigoEnvio: SX123BR",
        "ProdutoVendido: 7890000000011|caderno universitario|100.00|1|100.00|0|",
        "ProdutoVendido: 7890000000028|caneta azul|1,50|2|3,00|0|",
    });
    ImportResult r = IMPORTA_ZELTO(a, state, clock, report);
    EXPECT_EQ(r.outcome, ImportOutcome::Booked);
    EXPECT_EQ(r.orderNumber, 1001);

    const QString companyCode = incodOf("incnpj='11.222.333/0001-81'");
    expectRow("interveniente", "incod=" + companyCode,
              newCustomer("PAPELARIA EXEMPLO LTDA", "", "", "11.222.333/0001-81", "123.456.789.110",
                          "RUA DAS PALMEIRAS, 100", "CENTRO", "SALA 2", "CAMPINAS", "SP", "3509502", "13010-000",
                          "compras@exemplo.com.br", "(19)3232-1111"),
              "incod");
    const QString orderA = sacodOf(1001);
    expectRow("saida", "sacod=" + orderA,
              header({{"savrpago", "215.50"}, {"savrtotal", "200.00"}, {"saobs", "SEDEX - CODIGO ENVIO: SX123BR"},
                      {"total", "215.50"}, {"vrfrete", "15.50"}, {"saintipoconsumidor", "CONSUMIDOR FINAL"},
                      {"sadtsaida", "20150203"}, {"safkinterveniente", companyCode}, {"datasaida", "02/03/2015"},
                      {"sadtentrega", "20150205"}, {"dataentrega", "02/05/2015"}, {"sanf", "1001"},
                      {"fkftp", "1001"}}),
              "sacod");
    // IPI 10 % of 100.00 = 10; final consumer: base 110, ICMS 18 % = 19.80.
    expectRow("itemsaida", "itfksacod=" + orderA + " and itfkprcod=" + prcodOf("7890000000011"),
              item({{"prcst_icms", "0102"}, {"vbcicms", "110.00"}, {"vicms", "19.80"}, {"cstipi", "50"},
                    {"vipi", "10.00"}, {"pipi", "10.0000"}, {"itvolume", "2.0000"}, {"itfksacod", orderA},
                    {"itfkprcod", prcodOf("7890000000011")}, {"itqtd", "1.0000"}, {"itunidade", "CX"},
                    {"itvrunitario", "100.0000"}, {"itvrtotal", "100.00"}, {"itvripi", "10.0000"},
                    {"itprnome", "CADERNO UNIVERSITARIO"}, {"saldo", "1.0000"},
                    {"saldocod", saldocodOf("7890000000011")}}),
              "itcod");
    // Situation 060: no ICMS; NULL columns give UN, 52, volume 1, IPI 0.
    expectRow("itemsaida", "itfksacod=" + orderA + " and itfkprcod=" + prcodOf("7890000000028"),
              item({{"prcst_icms", "060"}, {"vbcicms", "3.00"}, {"vicms", "0.00"}, {"cstipi", "52"},
                    {"vipi", "0.00"}, {"pipi", "0.0000"}, {"itvolume", "1.0000"}, {"itfksacod", orderA},
                    {"itfkprcod", prcodOf("7890000000028")}, {"itqtd", "2.0000"}, {"itunidade", "UN"},
                    {"itvrunitario", "1.5000"}, {"itvrtotal", "3.00"}, {"itvripi", "0.0000"},
                    {"itprnome", "CANETA AZUL"}, {"saldo", "2.0000"}, {"saldocod", saldocodOf("7890000000028")}}),
              "itcod");
    EXPECT_EQ(count("itemsaida where itfksacod=" + orderA), 2);

    // The same file again books nothing.
    const int customers = count("interveniente"), orders = count("saida"), items = count("itemsaida");
    r = IMPORTA_ZELTO(a, state, clock, report);
    EXPECT_EQ(r.outcome, ImportOutcome::AlreadyBooked);
    EXPECT_EQ(count("interveniente"), customers);
    EXPECT_EQ(count("saida"), orders);
    EXPECT_EQ(count("itemsaida"), items);

    // A person the ERP knows by CPF: identity and consumer type kept, address taken from the file.
    const QString b = writeLines("PED1002.txt", {
        "NumeroPedido: 1002",
        "DataPedido: 2015-02-04",
        "NomeCliente: Carlos Novo Nome|",
        "CpfCliente: 987654321-00",
        "RgCliente: 11.111.111-1",
        "EnderecoCliente: av brasil 500",
        "BairroCliente: jardim america",
        "CidadeCliente: sao paulo",
        "EstadoCliente: SP",
        "CepCliente: 01430-001",
        "EmailCliente: carlos@example.com",
        "TelefoneCliente: 11988887777",
        "SubTotalProdutos: 100,00",
        "FreteEscolhido: retirar na loja",
        "Valor Frete: 0,00",
        "ValorPedido: 100,00",
        "ProdutoVendido: 7890000000011|caderno universitario|100,00|1|100,00|0|",
    });
    const QString carlos = incodOf("incpf='987.654.321-00'");
    r = IMPORTA_ZELTO(b, state, clock, report);
    EXPECT_EQ(r.outcome, ImportOutcome::Booked);
    expectRow("interveniente", "incod=" + carlos,
              withValues(newCustomer("CARLOS ANTIGO", "987.654.321-00", "RG-OLD", kNull, "IE-OLD", "AV BRASIL 500",
                                     "JARDIM AMERICA", "", "SAO PAULO", "SP", "3550308", "01430-001",
                                     "carlos@example.com", "11988887777"),
                         {{"intipoconsumidor", "REVENDA   "}, {"innumero", "12"}, {"innumero2", "12"},
                          {"inennumero", "12"}, {"inindicacao", kNull}, {"datanascimento", kNull},
                          {"datanascimentot", kNull}, {"fkvendedor", "77"}}),
              "incod");
    const QString orderB = sacodOf(1002);
    expectRow("saida", "sacod=" + orderB,
              header({{"savrpago", "100,00"}, {"savrtotal", "100,00"},
                      {"saobs", "RETIRAR NA LOJA - CODIGO ENVIO: "}, {"total", "100,00"}, {"vrfrete", "0,00"},
                      {"saintipoconsumidor", "REVENDA"}, {"sadtsaida", "20150204"}, {"safkinterveniente", carlos},
                      {"datasaida", "02/04/2015"}, {"sadtentrega", "20150204"}, {"dataentrega", "02/04/2015"},
                      {"sanf", "1002"}, {"fkftp", "1002"}}),
              "sacod");
    // A reseller: the ICMS base stays the line total, ICMS 18 % of 100 = 18.
    expectRow("itemsaida", "itfksacod=" + orderB,
              item({{"prcst_icms", "0102"}, {"vbcicms", "100.00"}, {"vicms", "18.00"}, {"cstipi", "50"},
                    {"vipi", "10.00"}, {"pipi", "10.0000"}, {"itvolume", "2.0000"}, {"itfksacod", orderB},
                    {"itfkprcod", prcodOf("7890000000011")}, {"itqtd", "1.0000"}, {"itunidade", "CX"},
                    {"itvrunitario", "100.0000"}, {"itvrtotal", "100.00"}, {"itvripi", "10.0000"},
                    {"itprnome", "CADERNO UNIVERSITARIO"}, {"saldo", "1.0000"},
                    {"saldocod", saldocodOf("7890000000011")}}),
              "itcod");
}

TEST_F(Golden, CustomersWithoutDocumentsMissingProductsAndOddTexts)
{
    // Neither CPF nor CNPJ: a new customer, unknown city; the second import of the file is
    // recognised by its order number and creates no second customer.
    const QString c = writeLines("PED1003.txt", {
        "NumeroPedido: 1003",
        "DataPedido: 2015-01-30",
        "NomeCliente: ana sem documento|",
        "CpfCliente: ABC",
        "EnderecoCliente: rua um",
        "CidadeCliente: cidade inexistente",
        "EstadoCliente: MG",
        "SubTotalProdutos: 10.00",
        "Valor Frete: 0",
        "ValorPedido: 10.00",
        "ProdutoVendido: 7890000000028|caneta azul|5.00|2|10.00|0|",
    });
    EXPECT_EQ(IMPORTA_ZELTO(c, state, clock, report).outcome, ImportOutcome::Booked);
    EXPECT_EQ(IMPORTA_ZELTO(c, state, clock, report).outcome, ImportOutcome::AlreadyBooked);
    ASSERT_EQ(count("interveniente where innome='ANA SEM DOCUMENTO'"), 1);
    const QString ana = incodOf("innome='ANA SEM DOCUMENTO'");
    expectRow("interveniente", "incod=" + ana,
              newCustomer("ANA SEM DOCUMENTO", "___.___.___-__", "", "", "", "RUA UM", "", "", "CIDADE INEXISTENTE",
                          "MG", "", "", "", ""),
              "incod");
    const QString orderC = sacodOf(1003);
    expectRow("saida", "sacod=" + orderC,
              header({{"savrpago", "10.00"}, {"savrtotal", "10.00"}, {"saobs", " - CODIGO ENVIO: "},
                      {"total", "10.00"}, {"vrfrete", "0"}, {"saintipoconsumidor", "CONSUMIDOR FINAL"},
                      {"sadtsaida", "20150130"}, {"safkinterveniente", ana}, {"datasaida", "01/30/2015"},
                      {"sadtentrega", "20150130"}, {"dataentrega", "01/30/2015"}, {"sanf", "1003"},
                      {"fkftp", "1003"}}),
              "sacod");
    EXPECT_EQ(count("itemsaida where itfksacod=" + orderC), 1);

    // Two products the ERP does not know: the order names the last one; the known one is booked.
    const QString d = writeLines("PED1004.txt", {
        "NumeroPedido: 1004",
        "DataPedido: 2015-02-04",
        "NomeCliente: pedro|",
        "FreteEscolhido: PAC",
        "CodigoEnvio: PC1",
        "ProdutoVendido: 7890000000099|produto fantasma|5,00|1|5,00|0|",
        "ProdutoVendido: 7890000000028|caneta azul|1.50|1|1.50|0|",
        "ProdutoVendido: 7890000000088|outro fantasma|5,00|1|5,00|0|",
    });
    report.logs.clear();
    const ImportResult rd = IMPORTA_ZELTO(d, state, clock, report);
    EXPECT_EQ(rd.outcome, ImportOutcome::BookedWithMissingProducts);
    EXPECT_EQ(rd.missingProducts,
              QStringList({"7890000000099 | PRODUTO FANTASMA", "7890000000088 | OUTRO FANTASMA"}));
    const QString orderD = sacodOf(1004);
    EXPECT_EQ(value("select saobs from saida where sacod=" + orderD, "saobs"),
              QStringLiteral("UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: 7890000000088 | OUTRO FANTASMA"));
    EXPECT_EQ(count("itemsaida where itfksacod=" + orderD), 1);
    EXPECT_EQ(report.logs.filter("PED1004.txt").filter("7890000000099").size(), 1);
    EXPECT_EQ(report.logs.filter("PED1004.txt").filter("OUTRO FANTASMA").size(), 1);

    // A file saved as Windows-1252.
    const QString e = write("PED1005.txt",
                            QStringLiteral("NumeroPedido: 1005\r\nDataPedido: 2015-02-04\r\n"
                                           "NomeCliente: joão da conceição|\r\nCidadeCliente: são paulo\r\n"
                                           "EstadoCliente: SP\r\nEnderecoCliente: praça da sé\r\n"
                                           "ProdutoVendido: 7890000000028|caneta ação|1.50|1|1.50|0|\r\n")
                                .toLatin1());
    EXPECT_EQ(IMPORTA_ZELTO(e, state, clock, report).outcome, ImportOutcome::Booked);
    const QString joao = incodOf(QStringLiteral("innome='JOÃO DA CONCEIÇÃO'"));
    expectRow("interveniente", "incod=" + joao,
              newCustomer(QStringLiteral("JOÃO DA CONCEIÇÃO"), "", "", "", "", QStringLiteral("PRAÇA DA SÉ"), "", "",
                          QStringLiteral("SÃO PAULO"), "SP", "", "", "", ""),
              "incod");
    EXPECT_EQ(value("select itprnome from itemsaida where itfksacod=" + sacodOf(1005), "itprnome"),
              QStringLiteral("CANETA AÇÃO"));

    // Apostrophes and "--" in every free-text field: the reader blanks the apostrophes of the
    // texts it cleans; the rest goes in exactly as written.
    const QString f = writeLines("PED1006.txt", {
        "NumeroPedido: 1006",
        "DataPedido: 2'--/02/04",
        "NomeCliente: o'neil -- x|",
        "CpfCliente: 111'444-77",
        "RgCliente: 12'--34",
        "IECliente: IE'--1",
        "EnderecoCliente: rua d'ajuda -- 5",
        "BairroCliente: b'--",
        "ComplementoCliente: c'--",
        "CidadeCliente: sant'ana -- do sul",
        "EstadoCliente: '-",
        "CepCliente: 0'--12345",
        "EmailCliente: a'--b@x.com",
        "TelefoneCliente: 11'--22",
        "SubTotalProdutos: 7'--",
        "FreteEscolhido: sedex'--",
        "Valor Frete: 1'--",
        "ValorPedido: 9'--",
        "CodigoEnvio: C'--D",
        "ProdutoVendido: 78'--00|lapis d'agua -- 2|1.00|1|1.00|0|",
    });
    EXPECT_EQ(IMPORTA_ZELTO(f, state, clock, report).outcome, ImportOutcome::Booked);
    const QString oneil = incodOf("innome='O NEIL -- X'");
    expectRow("interveniente", "incod=" + oneil,
              newCustomer("O NEIL -- X", "___.___.___-__", "12'--34", "", "IE'--1", "RUA D AJUDA -- 5", "B --",
                          "C --", "SANT ANA -- DO SUL", "'-", "", "0'--12345", "a --b@x.com", "11 --22"),
              "incod");
    const QString orderF = sacodOf(1006);
    expectRow("saida", "sacod=" + orderF,
              header({{"savrpago", "9'--"}, {"savrtotal", "7'--"}, {"saobs", "SEDEX'-- - CODIGO ENVIO: C'--D"},
                      {"total", "9'--"}, {"vrfrete", "1'--"}, {"saintipoconsumidor", "CONSUMIDOR FINAL"},
                      {"sadtsaida", "2'--0204"}, {"safkinterveniente", oneil}, {"datasaida", "02/04/2'--"},
                      {"sadtentrega", "2'--0204"}, {"dataentrega", "02/04/2'--"}, {"sanf", "1006"},
                      {"fkftp", "1006"}}),
              "sacod");
    expectRow("itemsaida", "itfksacod=" + orderF,
              item({{"prcst_icms", "0500"}, {"vbcicms", "1.00"}, {"vicms", "0.00"}, {"cstipi", "52"},
                    {"vipi", "0.00"}, {"pipi", "0.0000"}, {"itvolume", "1.0000"}, {"itfksacod", orderF},
                    {"itfkprcod", prcodOf("78'--00")}, {"itqtd", "1.0000"}, {"itunidade", "UN"},
                    {"itvrunitario", "1.0000"}, {"itvrtotal", "1.00"}, {"itvripi", "0.0000"},
                    {"itprnome", "LAPIS D AGUA -- 2"}, {"saldo", "1.0000"}, {"saldocod", saldocodOf("78'--00")}}),
              "itcod");
}
