// The import batch through the window: its real local lists on a temporary folder, ftp.ini in a
// temporary application folder, a real Firebird database; FTP and boxes are doubles.
#include "gui/app_window.h"
#include "gui/ftp_session.h"
#include "gui/local_lists.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
#include "support/fixed_clock.h"
#include "support/test_database.h"
#include "support/test_util.h"

#include <QDir>
#include <QLabel>

using testutil::orderFile;
using testutil::readFile;
using testutil::writeFile;

namespace {

struct BatchWindowTest : ::testing::Test {
    testdb::FirebirdTestDatabase db;
    QTemporaryDir appDir, local;
    FakeTransferControl control;
    FakeDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<AppWindow> app;
    const QByteArray ini = "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=7\r\n";

    // Form_Load on `ftpIni`, the local lists on `folder`.
    void start(const QByteArray& ftpIni, const QString& folder)
    {
        db.writeZeltoIni(appDir.path());
        writeFile(appDir.filePath("ftp.ini"), ftpIni);
        dialogs = FakeDialogs();
        app.reset();
        app = std::make_unique<AppWindow>(control, dialogs, clock, appDir.path());
        EXPECT_EQ(app->Form_Load(), StartMode::Unattended);
        EXPECT_TRUE(app->localLists().setPath(folder));
    }
    void order(const QString& folder, const QString& name, int number, const QString& item = "7891234000026|caneta|1,00|1|1,00|0|")
    {
        writeFile(QDir(folder).filePath(name), orderFile({QStringLiteral("NumeroPedido: %1").arg(number), "NomeCliente: Loja", "ProdutoVendido: " + item}));
    }
    QStringList files(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
};

TEST_F(BatchWindowTest, BooksTheListedOrdersRewritesFtpIniAndLogsOneSummary)
{
    order(local.path(), "PED1.txt", 601);
    order(local.path(), "B.txt", 602, "7891234000026|caneta|1,00");   // an incomplete item line
    writeFile(local.filePath("NOTA.csv"), "x");
    start(ini, local.path());
    app->window().lblRemoteDirectory->setText("/pedidos/hoje");   // where the cd landed

    EXPECT_EQ(app->BOTAO_IMPORTA().booked, 1);
    EXPECT_EQ(readFile(appDir.filePath("ftp.ini")), "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos/hoje\r\nCOD_VENDEDOR=7\r\n");
    EXPECT_EQ(db.value("select safkvendedor as v from saida where fkftp=601"), "7");
    EXPECT_EQ(files(local.filePath("importados")), QStringList{"PED1.txt"});
    EXPECT_EQ(app->localLists().fileCount(), 2);   // the list was refreshed: B.txt and NOTA.csv
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("B.txt, linha 3")) << dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs.failureReported());
    const QStringList log = app->session().logText().split('\n');
    EXPECT_EQ(log.filter("Pedidos: "), QStringList{"Pedidos: 1 importados, 0 com produtos faltando, 0 já importados, 1 com falha"});
    EXPECT_TRUE(dialogs.alerts.value(0).endsWith(": NOTA.csv")) << dialogs.alerts.value(0).toStdString();

    // No seller code: the configuration check stops the batch before any file, without a summary.
    order(local.path(), "C.txt", 603);
    start("[Geral]\r\nFTP=127.0.0.1\r\nCOD_VENDEDOR=\r\n", local.path());
    EXPECT_FALSE(app->BOTAO_IMPORTA().sessionOpened);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains("VENDEDOR"));
    EXPECT_FALSE(app->session().logText().contains("Pedidos: "));
    EXPECT_EQ(files(local.path()), QStringList({"B.txt", "C.txt", "NOTA.csv"}));
}

TEST_F(BatchWindowTest, TheProgramsOwnFilesAreNoStrayDownloads)
{
    // ftp.ini, Zelto.ini and the run's lock file live in the application folder too.
    order(appDir.path(), "PED1.txt", 801);
    order(appDir.path(), "PED2.txt", 802, "7890000000000|fantasma|1,00|1|1,00|0|");
    for (const char* name : {"NOTA.csv", ".nota", "pedidosftp.lock"})
        writeFile(appDir.filePath(name), "x");
    start(ini, appDir.path());
    const BatchSummary s = app->BOTAO_IMPORTA();
    EXPECT_EQ(s.booked, 1);
    EXPECT_EQ(s.otherFiles, QStringList({".nota", "NOTA.csv"}));
    // An order booked without a product is no box, but the run did not go as it should.
    EXPECT_EQ(s.bookedWithMissing, 1);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.failureReported());
}

} // namespace
