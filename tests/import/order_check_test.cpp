// Checking order files: what is printed for each kind of file, the exit status, that nothing is
// written or moved, and that the values printed are the ones a real booking of the file writes.
#include "core/ftp_ini.h"
#include "erp_fixture.h"
#include "import/order_check.h"
#include "import/sql_text.h"

#include <QRegularExpression>
#include <cmath>

TEST(OrderCheck, PrintsWhatEachFileWouldWriteWritesNothingAndAgreesWithTheBooking)
{
    ErpSession s;
    ASSERT_TRUE(s.open());
    FtpSettings seller;
    seller.sellerCode = QStringLiteral("2");
    writeFtpIni(s.db.folder(), seller);
    ASSERT_EQ(s.import(s.write("PED700.txt", {"NumeroPedido: 700", "NomeCliente: Cliente Antigo"})).outcome, ImportOutcome::Booked);
    testutil::writeFile(s.file("NOTA.csv"), "x");
    s.write("PED801.txt", {"NumeroPedido: 801", "DataPedido: 2015-02-04 10:31:00", "Data Envio: 2015-02-09", "NomeCliente: Escola|x",
                           "CnpjCliente: 987654320001-98", "SubTotalProdutos: 27,42", "FreteEscolhido: sedex", "Valor Frete: 5,00",
                           "ValorPedido: 32,42", "CodigoEnvio: BR801", "ProdutoVendido: 7891234000019|caneta azul|1,50|3|4,50|0|",
                           "ProdutoVendido: 7891234000255|calculadora|22,92|1|22,92|0|"});
    s.write("PED802.txt", {"NumeroPedido: 802", "NomeCliente: Ana Souza|x", "CpfCliente: 529982247-25",
                           "ProdutoVendido: 7890000000000|borracha lilás|1,00|1|1,00|0|"});
    s.write("PED803.txt", {"NumeroPedido: 803", "ProdutoVendido: 7891234000040|lapis|2,00|1|2,00||"});
    const struct {
        const char* file;
        int status;
        QStringList shown;
    } cases[] = {
        {"PED801.txt", 0, {"pedido 801: ainda não importado", "cliente: encontrado pelo CNPJ 98.765.432/0001-98; código ",
                           "IPI 2.292; alíquota do IPI 10; CST do IPI 50", "resultado: seria importado sem problemas"}},
        {"PED802.txt", 1, {"cliente: novo (nenhum cliente com o CPF 529.982.247-25), seria cadastrado; nome ANA SOUZA",
                           "item da linha 4: código de barras 7890000000000; BORRACHA LILÁS: produto não cadastrado",
                           "resultado: seria importado SEM os produtos não cadastrados"}},
        {"PED700.txt", 1, {"pedido 700: já importado antes; nada seria gravado"}},
        {"PED803.txt", 1, {"falha: PED803.txt, linha 2: o sexto campo do item não é um número", "resultado: não seria importado"}},
        {"NOTA.csv", 1, {"não é um arquivo de pedido"}},
        {"PED804.txt", 1, {"arquivo não encontrado"}},
    };
    const QString written = "select (select count(*) from saida) || '/' || (select count(*) from itemsaida) || '/' || "
                            "(select count(*) from interveniente where usuario_alt = 'AUTOMATICO') as v from rdb$database";
    const QString before = s.db.value(written);
    const QStringList files = QDir(s.db.folder()).entryList(QDir::Files);
    const QByteArray ini = testutil::readFile(s.file("ftp.ini"));
    QString clean;
    for (const auto& c : cases) {
        QString out, err;
        const int status = checkOrderFiles({s.file(c.file)}, s.db.folder(), s.clock, [&](const QString& t) { out += t; },
                                           [&](const QString& l) { err += l; });
        EXPECT_EQ(status, c.status) << c.file;
        EXPECT_EQ(err, "") << c.file;
        for (const QString& text : c.shown)
            EXPECT_TRUE(out.contains(text)) << text.toStdString() << "\nnot in\n" << out.toStdString();
        if (c.status == 0)
            clean = out;
    }
    EXPECT_EQ(s.db.value(written), before);
    EXPECT_EQ(QDir(s.db.folder()).entryList(QDir::Files), files);
    EXPECT_EQ(testutil::readFile(s.file("ftp.ini")), ini);

    // Booked for real, the clean file writes what the check printed (numbers to the column's decimals).
    ASSERT_EQ(s.import(s.file("PED801.txt")).outcome, ImportOutcome::Booked);
    const auto expectPrinted = [](const QString& text, const QString& label, const QString& stored) {
        const QRegularExpression re("(?:^ *|; )" + QRegularExpression::escape(label) + " ([^;\\n]*)", QRegularExpression::MultilineOption);
        const QString shown = re.match(text).captured(1);
        const auto a = sql::parseDecimal(shown), b = sql::parseDecimal(stored);
        if (a && b)
            EXPECT_LE(std::abs(*a - *b), 0.00501) << label.toStdString() << ": " << shown.toStdString() << " vs " << stored.toStdString();
        else
            EXPECT_EQ(shown, stored) << label.toStdString();
    };
    const QString order = " from saida where fkftp=801";
    for (const char* pair : {"data do pedido=sadtsaida", "data do pedido (mês/dia/ano)=datasaida", "data de entrega=sadtentrega",
                             "data de entrega (mês/dia/ano)=dataentrega", "valor do pedido=savrpago", "valor do pedido=total",
                             "subtotal dos produtos=savrtotal", "valor do frete=vrfrete", "vendedor=safkvendedor",
                             "forma de pagamento=safktppag", "tipo de movimento=safktpsaida", "percentual do ICMS=cli_icmsuf",
                             "observação:=saobs", "código=safkinterveniente", "tipo de consumidor=saintipoconsumidor"}) {
        const QString p = QString::fromUtf8(pair);
        expectPrinted(clean, p.section('=', 0, 0), s.db.value("select " + p.section('=', 1) + " as v" + order));
    }
    const QStringList blocks = clean.split("  item da linha ").mid(1);
    ASSERT_EQ(blocks.size(), 2);
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        const QString item = QStringLiteral(" as v from itemsaida where itfksacod=(select sacod%1) order by itcod").arg(order);
        for (const char* pair : {"quantidade=itqtd", "unidade=itunidade", "preço unitário=itvrunitario", "total=itvrtotal", "ICMS=vicms",
                                 "base do ICMS=vbcicms", "CST=prcst_icms", "percentual do ICMS=perc_icms", "IPI=vipi",
                                 "alíquota do IPI=pipi", "CST do IPI=cstipi"}) {
            const QString p = QString::fromUtf8(pair);
            expectPrinted(blocks[i], p.section('=', 0, 0), s.db.value(QStringLiteral("select first 1 skip %1 ").arg(i) + p.section('=', 1) + item));
        }
    }
}
