// The import of one order file against a real Firebird database: booking, the duplicate check,
// and that a failure anywhere leaves nothing of the order behind.
#include "import_fixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QString importError(ImportFixture& f, const QString& path)
{
    try {
        f.import(path);
    } catch (const ImportError& e) {
        return e.message();
    }
    ADD_FAILURE() << "no ImportError for " << path.toStdString();
    return {};
}

const QStringList kPerson{
    "NumeroPedido: 501",
    "DataPedido: 2015-02-04 10:31:00",
    "NomeCliente: João Pé de Feijão|joao",
    "CpfCliente: 529982247-25",
    "CidadeCliente: sao paulo",
    "EstadoCliente: sp",
    "ValorPedido: 150,90",
    "ProdutoVendido: 7891234000019|caneta azul|1,50|2|3,00|0|",
    "FreteEscolhido: sedex",
    "ProdutoVendido: 7891234000040|lápis preto|2,00|1|2,00|0|",
    "ProdutoVendido: 7890000000000|borracha lilás|1,00|1|1,00|0|",
};

} // namespace

TEST(ImportOrder, BooksItemsInFileOrderAndSkipsTheDuplicate)
{
    ImportFixture f;
    f.open();
    const int customersBefore = f.count("interveniente");

    const ImportResult first = f.import(f.write("PED501.txt", kPerson));
    EXPECT_EQ(first.outcome, ImportOutcome::BookedWithMissingProducts);
    EXPECT_EQ(first.orderNumber, 501);
    EXPECT_EQ(first.missingProducts, QStringList{QStringLiteral("7890000000000 | BORRACHA LILÁS")});
    EXPECT_FALSE(f.state.connection->inTransaction());
    EXPECT_FALSE(f.state.query);

    // Committed: one order, its items in file order (the key line between them changes nothing),
    // one new customer whose name was decoded from Windows-1252.
    EXPECT_EQ(f.value("select count(*) as v from saida where fkftp=501"), "1");
    const QString sacod = f.value("select sacod as v from saida where fkftp=501");
    const QString itemsOfOrder = "select %1 itprnome as v from itemsaida where itfksacod=" + sacod + " order by itcod";
    EXPECT_EQ(f.value(itemsOfOrder.arg("first 1 skip 0")), "CANETA AZUL");
    EXPECT_EQ(f.value(itemsOfOrder.arg("first 1 skip 1")), QStringLiteral("LÁPIS PRETO"));
    EXPECT_EQ(f.value(itemsOfOrder.arg("first 1 skip 2")), "<none>");
    EXPECT_EQ(f.count("interveniente"), customersBefore + 1);
    EXPECT_EQ(f.value("select innome as v from interveniente where incpf='529.982.247-25'"), QStringLiteral("JOÃO PÉ DE FEIJÃO"));

    // The same order again, now as UTF-8 with bare LF: already booked, nothing written.
    const int orders = f.count("saida");
    const int items = f.count("itemsaida");
    const ImportResult again = f.import(f.write("PED501b.txt", kPerson, false, false));
    EXPECT_EQ(again.outcome, ImportOutcome::AlreadyBooked);
    EXPECT_EQ(again.orderNumber, 501);
    EXPECT_EQ(f.count("saida"), orders);
    EXPECT_EQ(f.count("itemsaida"), items);
    EXPECT_EQ(f.count("interveniente"), customersBefore + 1);
    EXPECT_FALSE(f.state.connection->inTransaction());

}

TEST(ImportOrder, FailureMidFileLeavesNothingAndTheFixedFileBooksOnce)
{
    ImportFixture f;
    f.open();
    const int customers = f.count("interveniente");
    const int orders = f.count("saida");
    const int items = f.count("itemsaida");

    // No CPF or CNPJ: every import creates its customer, so a kept customer would show.
    QStringList lines{
        "NumeroPedido: 601",
        "DataPedido: 2015-02-04",
        "NomeCliente: Cliente Sem Documento",
        "ProdutoVendido: 7891234000019|caneta azul|1,50|2|3,00|0|",
        "ProdutoVendido: 7891234000040|lapis|2,00|1|2,00|0|",
        "ProdutoVendido: 7891234000057|borracha|1,00|1|1,00||",
    };
    const QString path = f.write("PED601.txt", lines);
    EXPECT_EQ(importError(f, path),
              QStringLiteral("PED601.txt, linha 6: o sexto campo do item não é um número: \"\""));
    EXPECT_EQ(f.count("interveniente"), customers);
    EXPECT_EQ(f.count("saida"), orders);
    EXPECT_EQ(f.count("itemsaida"), items);
    EXPECT_FALSE(f.state.connection->inTransaction());
    EXPECT_FALSE(f.state.query);

    // An incomplete item line fails the same way.
    lines[5] = "ProdutoVendido: 7891234000057|borracha|1,00|1";
    EXPECT_EQ(importError(f, f.write("PED601.txt", lines)),
              QStringLiteral("PED601.txt, linha 6: linha de item incompleta: 3 de 6 campos terminados por \"|\" a partir da posição 17"));
    EXPECT_EQ(f.count("saida"), orders);

    // Fixed, the file books once with all three items and one customer.
    lines[5] = "ProdutoVendido: 7891234000057|borracha|1,00|1|1,00|0|";
    EXPECT_EQ(f.import(f.write("PED601.txt", lines)).outcome, ImportOutcome::Booked);
    EXPECT_EQ(f.import(path).outcome, ImportOutcome::AlreadyBooked);
    EXPECT_EQ(f.count("interveniente"), customers + 1);
    EXPECT_EQ(f.value("select count(*) as v from saida where fkftp=601"), "1");
    EXPECT_EQ(f.count("itemsaida"), items + 3);
}

TEST(ImportOrder, DatabaseFailureAfterTheCustomerRollsBack)
{
    ImportFixture f;
    f.open();
    const int customers = f.count("interveniente");

    // A freight choice longer than saida.saobs holds fails the header insert, after the
    // customer was created in the same transaction.
    const QStringList lines{"NumeroPedido: 701", "NomeCliente: Cliente Frete", "FreteEscolhido: " + QString(1200, 'x'),
                            "ProdutoVendido: 7891234000019|caneta azul|1,50|2|3,00|0|"};
    const QString message = importError(f, f.write("PED701.txt", lines));
    EXPECT_TRUE(message.startsWith("PED701.txt: ")) << message.toStdString();
    EXPECT_TRUE(message.contains("truncation")) << message.toStdString();
    EXPECT_EQ(f.count("interveniente"), customers);
    EXPECT_EQ(f.value("select count(*) as v from saida where fkftp=701"), "0");
    EXPECT_FALSE(f.state.connection->inTransaction());

    // The session goes on: the next file imports.
    EXPECT_EQ(f.import(f.write("PED702.txt", {"NumeroPedido: 702", "NomeCliente: Outro"})).outcome,
              ImportOutcome::Booked);
    EXPECT_EQ(f.count("interveniente"), customers + 1);
}

TEST(ImportOrder, UnsettledCustomerKeepsNothing)
{
    ImportFixture f;
    // A trigger that renames every new customer: the read-back by name finds none, so there is
    // no customer code and the order cannot be booked.
    f.db.isql("SET TERM ^ ;\n"
              "CREATE TRIGGER RENAME_NEW FOR INTERVENIENTE BEFORE INSERT AS BEGIN NEW.INNOME = NEW.INNOME || ' *'; END^\n"
              "SET TERM ; ^\nCOMMIT;\n");
    f.open();
    const int customers = f.count("interveniente");
    const ImportResult r = f.import(f.write("PED801.txt", {"NumeroPedido: 801", "NomeCliente: Sem Codigo",
        "ProdutoVendido: 7891234000019|caneta azul|1,50|2|3,00|0|"}));
    EXPECT_EQ(r.outcome, ImportOutcome::NotBooked);
    EXPECT_EQ(r.orderNumber, 801);
    EXPECT_EQ(f.count("interveniente"), customers);
    EXPECT_EQ(f.value("select count(*) as v from saida where fkftp=801"), "0");
    EXPECT_FALSE(f.state.connection->inTransaction());
}

TEST(ImportOrder, UnreadableFilesNameTheFileAndTouchNothing)
{
    ImportFixture f;
    f.open();
    const int orders = f.count("saida");
    const QString empty = QDir(f.db.folder()).filePath("PED901.txt");
    QFile(empty).open(QIODevice::WriteOnly);
    EXPECT_EQ(importError(f, empty), QStringLiteral("PED901.txt, linha 1: arquivo vazio, falta o número do pedido"));
    EXPECT_EQ(importError(f, f.write("PED902.txt", {"Pedido"})),
              QStringLiteral("PED902.txt, linha 1: falta o número do pedido (a partir da posição 15)"));
    EXPECT_TRUE(importError(f, QDir(f.db.folder()).filePath("PED903.txt")).startsWith("PED903.txt: não foi possível abrir"));
    EXPECT_EQ(f.count("saida"), orders);
    EXPECT_FALSE(f.state.connection->inTransaction());
}

TEST(ImportOrder, CharactersTheDatabaseLacksAreLoggedWithTheFile)
{
    ImportFixture f;   // a Windows-1252 database
    f.open();
    const QStringList lines{"NumeroPedido: 950", QStringLiteral("NomeCliente: Zoltán Erdős"),
                            "ProdutoVendido: 7891234000019|caneta|1,50|2|3,00|0|"};
    EXPECT_EQ(f.import(f.write("PED950.txt", lines, true, false)).outcome, ImportOutcome::Booked);
    ASSERT_EQ(f.report.logs.size(), 1);
    EXPECT_TRUE(f.report.logs[0].startsWith(QStringLiteral("PED950.txt: Caracteres sem representação")));
    EXPECT_TRUE(f.report.logs[0].contains(QStringLiteral("Ő"))) << f.report.logs[0].toStdString();
}
