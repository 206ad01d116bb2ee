// The import batch through the window: its real local lists on a temporary folder, ftp.ini in a
// temporary application folder, a real Firebird database; FTP and boxes are doubles.
#include "gui/app_window.h"
#include "core/text_codec.h"
#include "gui/local_lists.h"
#include "gui/ftp_session.h"

#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"
#include "support/fixed_clock.h"
#include "support/test_database.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class BatchWindowTest : public ::testing::Test {
protected:
    void SetUp() override { db.writeZeltoIni(appDir.path()); }

    void put(const QString& folder, const QString& name, const QByteArray& bytes)
    {
        QFile f(QDir(folder).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    static QByteArray orderFile(int number, const QString& item = QStringLiteral("7891234000026|caneta|1,00|1|1,00|0|"))
    {
        return text::toCp1252(QStringLiteral("NumeroPedido: %1\r\nNomeCliente: Loja %1\r\nProdutoVendido: %2\r\n").arg(number).arg(item));
    }
    void order(const QString& name, int number, const QString& item = QStringLiteral("7891234000026|caneta|1,00|1|1,00|0|"))
    {
        put(local.path(), name, orderFile(number, item));
    }
    QByteArray ftpIni()
    {
        QFile f(QDir(appDir.path()).filePath("ftp.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList localFiles() { return QDir(local.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    // Form_Load on ftp.ini, the local lists on `folder`.
    std::unique_ptr<AppWindow> start(const QByteArray& ini, const QString& folder)
    {
        put(appDir.path(), "ftp.ini", ini);
        auto app = std::make_unique<AppWindow>(control, dialogs, clock, appDir.path());
        EXPECT_EQ(app->Form_Load(), StartMode::Unattended);
        EXPECT_TRUE(app->localLists().setPath(folder));
        return app;
    }
    QString value(const QString& sql)
    {
        auto c = db.connect();
        auto rs = c->open(sql);
        return rs->eof() ? QStringLiteral("<none>") : rs->field(QStringLiteral("v")).text;
    }

    testdb::FirebirdTestDatabase db;
    QTemporaryDir appDir;
    QTemporaryDir local;
    FakeTransferControl control;
    FakeDialogs dialogs;
    FixedClock clock;
    const QByteArray ini = "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=7\r\n";
};

} // namespace

TEST_F(BatchWindowTest, BooksTheListedOrdersRewritesFtpIniAndLogsOneSummary)
{
    order("PED1.txt", 601);
    order(".txt", 602);
    put(local.path(), "NOTA.csv", "x");
    auto app = start(ini, local.path());
    app->window().lblRemoteDirectory->setText("/pedidos/hoje");   // where the cd landed

    const BatchSummary s = app->BOTAO_IMPORTA();
    EXPECT_EQ(s.booked, 2);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(dialogs.failureReported());
    EXPECT_EQ(ftpIni(), "[Geral]\r\nFTP=127.0.0.1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos/hoje\r\nCOD_VENDEDOR=7\r\n");
    EXPECT_EQ(value("select safkvendedor as v from saida where fkftp=601"), "7");
    EXPECT_EQ(value("select count(*) as v from saida where fkftp=602"), "1");
    EXPECT_EQ(localFiles(), QStringList{"NOTA.csv"});
    ASSERT_EQ(app->localLists().fileCount(), 1);    // the list was refreshed
    EXPECT_EQ(app->localLists().fileAt(0), "NOTA.csv");
    EXPECT_EQ(QDir(local.filePath("importados")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({".txt", "PED1.txt"}));

    const QStringList log = app->session().logText().split('\n');
    EXPECT_EQ(log.filter("Pedidos: ").size(), 1);
    EXPECT_TRUE(log.contains("Pedidos: 2 importados, 0 com produtos faltando, 0 já importados, 0 com falha"));
    const QStringList warning = log.filter("Atenção");
    ASSERT_EQ(warning.size(), 1);
    EXPECT_TRUE(warning[0].endsWith(": NOTA.csv")) << warning[0].toStdString();

    // The configured folder, when given, is what ftp.ini keeps (the label may show another).
    app->BOTAO_IMPORTA(QStringLiteral("/pedidos"));
    EXPECT_EQ(ftpIni(), ini);
    EXPECT_FALSE(dialogs.failureReported());
}

TEST_F(BatchWindowTest, FailuresAreReportedOnceAndMarkTheRunFailed)
{
    order("A.txt", 701);
    order("B.txt", 702, "7891234000026|caneta|1,00");
    auto app = start(ini, local.path());
    const BatchSummary s = app->BOTAO_IMPORTA();
    EXPECT_FALSE(s.success());
    EXPECT_TRUE(dialogs.failureReported());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, Icon::Critical);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("B.txt, linha 3")) << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(localFiles(), QStringList{"B.txt"});
    EXPECT_TRUE(app->session().logText().contains("Pedidos: 1 importados, 0 com produtos faltando, 0 já importados, 1 com falha"));

    // No seller code in ftp.ini: the configuration check stops the batch before any file.
    dialogs = FakeDialogs();
    order("C.txt", 703);
    app = start("[Geral]\r\nFTP=127.0.0.1\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=\r\n", local.path());
    const BatchSummary stopped = app->BOTAO_IMPORTA();
    EXPECT_FALSE(stopped.sessionOpened);
    EXPECT_TRUE(dialogs.failureReported());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.contains("VENDEDOR")) << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(localFiles(), QStringList({"B.txt", "C.txt"}));
    EXPECT_FALSE(app->session().logText().contains("Pedidos: "));
    EXPECT_EQ(value("select count(*) as v from saida where fkftp=703"), "0");
}

TEST_F(BatchWindowTest, TheProgramsOwnFilesAreNotWarnedAboutWhenTheLocalFolderIsTheApplicationFolder)
{
    // ftp.ini, Zelto.ini and the run's lock file live there too: they are no stray downloads.
    put(appDir.path(), "PED1.txt", orderFile(801));
    put(appDir.path(), "NOTA.csv", "x");
    put(appDir.path(), ".nota", "x");
    put(appDir.path(), "pedidosftp.lock", "");
    auto app = start(ini, appDir.path());
    const BatchSummary s = app->BOTAO_IMPORTA();
    EXPECT_EQ(s.booked, 1);
    EXPECT_EQ(s.otherFiles, QStringList({".nota", "NOTA.csv"}));   // as the file list shows them
}
