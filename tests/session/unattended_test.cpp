// The start-up decision, and the import batch as the unattended run calls it: a real local
// folder, ftp.ini in a temporary application folder, a real Firebird database; FTP and boxes
// are doubles.
#include "session_rig.h"
#include "support/test_database.h"

#include <QCoreApplication>
#include <QFileInfo>

// A server named, blanks removed, makes the start unattended.
TEST(StartUp, AServerNamedMakesTheRunUnattended)
{
    for (const auto& [server, mode] : {std::pair{"", StartMode::Interactive}, {"   ", StartMode::Interactive},
                                       {" ftp.loja.com.br ", StartMode::Unattended}}) {
        FtpSettings settings;
        settings.server = QString::fromLatin1(server);
        EXPECT_EQ(startModeOf(settings), mode) << server;
    }
}

TEST(UnattendedBatch, BooksTheListedOrdersRewritesFtpIniAndLogsOneSummary)
{
    testdb::FirebirdTestDatabase db;
    SessionRig<> rig;
    const QString local = rig.folder;
    std::unique_ptr<UnattendedRun> run;
    // A run started on ftp.ini as given, over `folder`.
    const auto start = [&](const QByteArray& ftpIni, const QString& folder) {
        db.writeZeltoIni(rig.appFolder.path());
        writeFile(rig.appFolder.filePath("ftp.ini"), ftpIni);
        rig.dialogs = FakeDialogs();
        rig.logLines.clear();
        const FtpSettings settings = readFtpIni(rig.appFolder.path() + "/");
        loadIntoSession(rig.session, settings);
        rig.local.setPath(folder);
        run = std::make_unique<UnattendedRun>(rig.session, rig.local, rig.clock, rig.appFolder.path() + "/", settings);
    };
    const auto order = [](const QString& folder, const QString& name, int number, const QString& item) {
        writeFile(QDir(folder).filePath(name), testutil::orderFile({QStringLiteral("NumeroPedido: %1").arg(number),
                                                                   "NomeCliente: Loja", "ProdutoVendido: " + item}));
    };
    const auto files = [](const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); };
    const QByteArray ini = "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=7\r\n";

    order(local, "PED1.txt", 601, "7891234000026|caneta|1,00|1|1,00|0|");
    order(local, "B.txt", 602, "7891234000026|caneta|1,00"); // an incomplete item line
    writeFile(local + "/NOTA.csv", "x");
    start(ini, local);
    rig.session.remote().setPath("/pedidos/hoje"); // where the cd landed
    EXPECT_EQ(run->BOTAO_IMPORTA().booked, 1);
    EXPECT_EQ(readFile(rig.appFolder.filePath("ftp.ini")), "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos/hoje\r\nCOD_VENDEDOR=7\r\n");
    EXPECT_EQ(db.value("select safkvendedor as v from saida where fkftp=601"), "7");
    EXPECT_EQ(files(local + "/importados"), QStringList{"PED1.txt"});
    EXPECT_EQ(rig.local.names(), (QStringList{"B.txt", "NOTA.csv"})); // refreshed
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_TRUE(rig.dialogs.messages[0].text.startsWith("B.txt, linha 3")) << rig.dialogs.messages[0].text.toStdString();
    EXPECT_EQ(rig.logLines.filter("Pedidos: "), QStringList{"Pedidos: 1 importados, 0 com produtos faltando, 0 já importados, 1 com falha"});
    EXPECT_TRUE(rig.dialogs.alerts.value(0).endsWith(": NOTA.csv")) << rig.dialogs.alerts.value(0).toStdString();

    // In the application folder, the settings, the trusted servers, the lock file and the
    // executable are no stray files. An order booked without a product is no box, but the run
    // did not go as it should.
    order(rig.appFolder.path(), "PED2.txt", 802, "7890000000000|fantasma|1,00|1|1,00|0|");
    for (const QString& own : QStringList{"pedidosftp.lock", "known_hosts", "ftp-ca.pem", QFileInfo(QCoreApplication::applicationFilePath()).fileName()})
        writeFile(rig.appFolder.filePath(own), "x");
    start(ini, rig.appFolder.path());
    const BatchSummary s = run->BOTAO_IMPORTA();
    EXPECT_EQ(s.bookedWithMissing, 1);
    EXPECT_EQ(s.otherFiles, QStringList());
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());
    EXPECT_FALSE(s.success());
}
