// Checking order files against a real Firebird database: what is printed for each kind of file,
// the exit status, that nothing is written or moved, and that the values printed are the ones a
// real booking of the file writes.
#include "core/ftp_ini.h"
#include "import/order_check.h"
#include "import/sql_text.h"
#include "import_fixture.h"

#include <QRegularExpression>
#include <cmath>

namespace {

const QStringList kClean{
    "NumeroPedido: 801",
    "DataPedido: 2015-02-04 10:31:00",
    "Data Envio: 2015-02-09",
    "NomeCliente: Escola Pequeno Saber|x",
    "CnpjCliente: 987654320001-98",
    "CidadeCliente: campinas",
    "EstadoCliente: sp",
    "SubTotalProdutos: 27,42",
    "FreteEscolhido: sedex",
    "Valor Frete: 5,00",
    "ValorPedido: 32,42",
    "CodigoEnvio: BR801",
    "ProdutoVendido: 7891234000019|caneta azul|1,50|3|4,50|0|",
    "ProdutoVendido: 7891234000255|calculadora|22,92|1|22,92|0|",
};

// The value printed after `label` ("...; label value; ..." or a line beginning with it).
QString printed(const QString& text, const QString& label)
{
    const QRegularExpression re("(?:^ *|; )" + QRegularExpression::escape(label) + " ([^;\\n]*)",
                                QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = re.match(text);
    EXPECT_TRUE(m.hasMatch()) << "nothing printed for " << label.toStdString() << " in\n" << text.toStdString();
    return m.captured(1);
}

// Equal texts, or numbers equal to the column's two decimals (the column rounds what it gets).
void expectSame(const QString& shown, const QString& stored, const QString& label)
{
    const auto a = sql::parseDecimal(shown), b = sql::parseDecimal(stored);
    if (a && b)
        EXPECT_LE(std::abs(*a - *b), 0.00501) << label.toStdString() << ": " << shown.toStdString() << " vs " << stored.toStdString();
    else
        EXPECT_EQ(shown, stored) << label.toStdString();
}

struct Checked {
    int status = -1;
    QString out, err;
};

Checked check(ImportFixture& f, const QString& path)
{
    Checked c;
    c.status = checkOrderFiles({path}, f.db.folder(), f.clock, [&](const QString& t) { c.out += t; },
                               [&](const QString& l) { c.err += l + '\n'; });
    return c;
}

} // namespace

TEST(OrderCheck, PrintsWhatEachFileWouldWriteAndWritesNothing)
{
    ImportFixture f;
    f.open();
    FtpSettings seller;
    seller.sellerCode = QStringLiteral("2");
    writeFtpIni(f.db.folder(), seller);
    ASSERT_EQ(f.import(f.write("PED700.txt", {"NumeroPedido: 700", "NomeCliente: Cliente Antigo"})).outcome,
              ImportOutcome::Booked);
    QFile::copy(QDir(f.db.folder()).filePath("PED700.txt"), QDir(f.db.folder()).filePath("NOTA.csv"));

    const struct {
        QString file;
        QStringList lines;   // none: the file is not written
        int status;
        QStringList shown;
    } cases[] = {
        {"PED801.txt", kClean, 0,
         {"pedido 801: ainda não importado", "cliente: encontrado pelo CNPJ 98.765.432/0001-98; código ",
          "item da linha 13: código de barras 7891234000019; CANETA AZUL",
          "item da linha 14: código de barras 7891234000255; CALCULADORA", "IPI 2.292; alíquota do IPI 10; CST do IPI 50",
          "resultado: seria importado sem problemas"}},
        {"PED802.txt",
         {"NumeroPedido: 802", "NomeCliente: Ana Souza|x", "CpfCliente: 529982247-25",
          "ProdutoVendido: 7891234000019|caneta azul|1,50|2|3,00|0|",
          "ProdutoVendido: 7890000000000|borracha lilás|1,00|1|1,00|0|"},
         1,
         {"cliente: novo (nenhum cliente com o CPF 529.982.247-25), seria cadastrado; nome ANA SOUZA; "
          "tipo de consumidor CONSUMIDOR FINAL",
          "item da linha 4: código de barras 7891234000019; CANETA AZUL",
          QStringLiteral("item da linha 5: código de barras 7890000000000; BORRACHA LILÁS: produto não cadastrado"),
          QStringLiteral("registro do lote: Pedido PED802.txt: produto não cadastrado"),
          "resultado: seria importado SEM os produtos não cadastrados"}},
        {"PED700.txt", {}, 1, {"pedido 700: já importado antes; nada seria gravado", "resultado: já importado"}},
        {"PED803.txt",
         {"NumeroPedido: 803", "NomeCliente: Sem Documento", "ProdutoVendido: 7891234000019|caneta|1,50|2|3,00|0|",
          "ProdutoVendido: 7891234000040|lapis|2,00|1|2,00||"},
         1,
         {"falha: PED803.txt, linha 4: o sexto campo do item não é um número", "resultado: não seria importado"}},
        {"NOTA.csv", {}, 1, {"não é um arquivo de pedido"}},
        {"PED804.txt", {}, 1, {"arquivo não encontrado"}},
    };
    for (const auto& c : cases)
        if (!c.lines.isEmpty())
            f.write(c.file, c.lines);

    const QStringList tables{"interveniente", "saida", "itemsaida"};
    QStringList before;
    for (const QString& table : tables)
        before << f.rows(table);
    const QStringList filesBefore = QDir(f.db.folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QFile ini(QDir(f.db.folder()).filePath("ftp.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray iniBefore = ini.readAll();
    ini.close();

    QString cleanReport;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const Checked r = check(f, QDir(f.db.folder()).filePath(c.file));
        EXPECT_EQ(r.status, c.status) << r.out.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        for (const QString& text : c.shown)
            EXPECT_TRUE(r.out.contains(text)) << text.toStdString() << "\nnot in\n" << r.out.toStdString();
        if (c.status == 0)
            cleanReport = r.out;
    }

    // Nothing written, nothing moved, ftp.ini untouched.
    for (qsizetype i = 0; i < tables.size(); ++i)
        EXPECT_EQ(f.rows(tables[i]), before[i]) << tables[i].toStdString();
    EXPECT_EQ(QDir(f.db.folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), filesBefore);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), iniBefore);

    // Booked for real, the clean file writes the values the check printed.
    ASSERT_EQ(f.import(QDir(f.db.folder()).filePath("PED801.txt")).outcome, ImportOutcome::Booked);
    const QString order = f.value("select sacod as v from saida where fkftp=801");
    const QStringList headerColumns{
        "data do pedido=sadtsaida", "data do pedido (mês/dia/ano)=datasaida", "data de entrega=sadtentrega",
        "data de entrega (mês/dia/ano)=dataentrega", "valor do pedido=savrpago", "valor do pedido=total",
        "subtotal dos produtos=savrtotal", "valor do frete=vrfrete", "vendedor=safkvendedor",
        "forma de pagamento=safktppag", "tipo de movimento=safktpsaida", "percentual do ICMS=cli_icmsuf",
        "observação:=saobs", "código=safkinterveniente", "tipo de consumidor=saintipoconsumidor"};
    for (const QString& pair : headerColumns) {
        const QString label = pair.section('=', 0, 0), column = pair.section('=', 1);
        expectSame(printed(cleanReport, label), f.value("select " + column + " as v from saida where sacod=" + order), label);
    }
    const QStringList itemColumns{
        "quantidade=itqtd", "unidade=itunidade", "preço unitário=itvrunitario", "total=itvrtotal", "ICMS=vicms",
        "base do ICMS=vbcicms", "CST=prcst_icms", "percentual do ICMS=perc_icms", "IPI=vipi",
        "alíquota do IPI=pipi", "CST do IPI=cstipi"};
    const QStringList blocks = cleanReport.split("  item da linha ").mid(1);
    ASSERT_EQ(blocks.size(), 2);
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        const QString row = QStringLiteral(" from itemsaida where itfksacod=%1 order by itcod").arg(order);
        EXPECT_TRUE(blocks[i].contains("; " + f.value(QStringLiteral("select first 1 skip %1 itprnome as v").arg(i) + row)));
        for (const QString& pair : itemColumns) {
            const QString label = pair.section('=', 0, 0), column = pair.section('=', 1);
            expectSame(printed(blocks[i], label),
                       f.value(QStringLiteral("select first 1 skip %1 %2 as v").arg(i).arg(column) + row), label);
        }
    }
}
