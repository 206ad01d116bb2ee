// The import batch through the window: its real local lists on a temporary folder, ftp.ini in a
// temporary application folder, a real Firebird database; FTP and boxes are doubles.
#include "support/test_database.h"
#include "window_rig.h"

TEST(BatchWindow, BooksTheListedOrdersRewritesFtpIniAndLogsOneSummary)
{
    testdb::FirebirdTestDatabase db;
    WindowRig<> rig;
    const QString local = rig.folder;
    const auto start = [&](const QByteArray& ftpIni, const QString& folder) {
        db.writeZeltoIni(rig.appFolder.path());
        writeFile(rig.appFolder.filePath("ftp.ini"), ftpIni);
        rig.dialogs = FakeDialogs();
        EXPECT_EQ(rig.restart(), StartMode::Unattended);
        EXPECT_TRUE(rig.app->localLists().setPath(folder));
    };
    const auto order = [](const QString& folder, const QString& name, int number, const QString& item) {
        writeFile(QDir(folder).filePath(name), testutil::orderFile({QStringLiteral("NumeroPedido: %1").arg(number),
                                                                   "NomeCliente: Loja", "ProdutoVendido: " + item}));
    };
    const QString caneta = "7891234000026|caneta|1,00|1|1,00|0|";
    const auto files = [](const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); };
    const QByteArray ini = "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=7\r\n";

    order(local, "PED1.txt", 601, caneta);
    order(local, "B.txt", 602, "7891234000026|caneta|1,00"); // an incomplete item line
    writeFile(local + "/NOTA.csv", "x");
    start(ini, local);
    rig.app->window().lblRemoteDirectory->setText("/pedidos/hoje"); // where the cd landed
    EXPECT_EQ(rig.app->BOTAO_IMPORTA().booked, 1);
    EXPECT_EQ(readFile(rig.appFolder.filePath("ftp.ini")), "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos/hoje\r\nCOD_VENDEDOR=7\r\n");
    EXPECT_EQ(db.value("select safkvendedor as v from saida where fkftp=601"), "7");
    EXPECT_EQ(files(local + "/importados"), QStringList{"PED1.txt"});
    EXPECT_EQ(rig.app->localLists().fileCount(), 2); // refreshed: B.txt and NOTA.csv
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_TRUE(rig.dialogs.messages[0].text.startsWith("B.txt, linha 3")) << rig.dialogs.messages[0].text.toStdString();
    EXPECT_EQ(rig.app->session().logText().split('\n').filter("Pedidos: "),
              QStringList{"Pedidos: 1 importados, 0 com produtos faltando, 0 já importados, 1 com falha"});
    EXPECT_TRUE(rig.dialogs.alerts.value(0).endsWith(": NOTA.csv")) << rig.dialogs.alerts.value(0).toStdString();

    // In the application folder, ftp.ini, Zelto.ini and the lock file are no stray files. An
    // order booked without a product is no box, but the run did not go as it should.
    order(rig.appFolder.path(), "PED2.txt", 802, "7890000000000|fantasma|1,00|1|1,00|0|");
    writeFile(rig.appFolder.filePath("pedidosftp.lock"), "x");
    start(ini, rig.appFolder.path());
    const BatchSummary s = rig.app->BOTAO_IMPORTA();
    EXPECT_EQ(s.bookedWithMissing, 1);
    EXPECT_EQ(s.otherFiles, QStringList());
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());
    EXPECT_TRUE(rig.dialogs.failureReported());

    // No seller code: the configuration check stops the batch before any file, without a summary.
    order(local, "C.txt", 603, caneta);
    start("[Geral]\r\nFTP=127.0.0.1\r\nCOD_VENDEDOR=\r\n", local);
    EXPECT_FALSE(rig.app->BOTAO_IMPORTA().sessionOpened);
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_TRUE(rig.dialogs.messages[0].text.contains("VENDEDOR"));
    EXPECT_FALSE(rig.app->session().logText().contains("Pedidos: "));
    EXPECT_EQ(files(local), QStringList({"B.txt", "C.txt", "NOTA.csv"}));
}
