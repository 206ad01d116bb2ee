// The import batch over a real local folder and a real Firebird database: which files are
// booked, how they are archived, what stays behind and what the summary says.
#include "erp_fixture.h"
#include "import/batch.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// The batch as the window runs it over a local folder of its own, with the database's folder as
// the application folder (Zelto.ini there); the batch opens the ERP session itself.
class BatchRig : public ErpSession {
public:
    QTemporaryDir local;
    int ftpIniWrites = 0, opens = 0, refreshes = 0;
    bool failIniWrite = false;

    BatchRig() { state.sellerCode = QStringLiteral("2"); }

    QString path(const QString& name) const { return QDir(local.path()).filePath(name); }
    bool exists(const QString& name) const { return QFile::exists(path(name)); }
    QByteArray bytes(const QString& name) const { return testutil::readFile(path(name)); }
    void write(const QString& name, const QStringList& lines) { testutil::writeFile(path(name), testutil::orderFile(lines)); }
    void order(const QString& name, int number, const QString& barcode = QStringLiteral("7891234000019"))
    {
        write(name, {QStringLiteral("NumeroPedido: %1").arg(number), QStringLiteral("NomeCliente: Cliente %1").arg(number),
                     QStringLiteral("ProdutoVendido: %1|item|1,50|2|3,00|0|").arg(barcode)});
    }
    QString booked(int number) const { return db.value(QStringLiteral("select count(*) as v from saida where fkftp=%1").arg(number)); }
    QStringList listing() const { return QDir(local.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    BatchSummary run()
    {
        // The file list as the window holds it: read when set and on refresh only.
        QStringList names = listing();
        FileListView files;
        files.folderPath = [this] { return local.path(); };
        files.count = [&names] { return static_cast<int>(names.size()); };
        files.entry = [&names](int i) { return names.at(i); };
        files.refresh = [this, &names] { ++refreshes; names = listing(); };
        const ConnectionOpener opener = [this](const QString& cs) { ++opens; return openConnection(cs); };
        return BOTAO_IMPORTA([this] {
            ++ftpIniWrites;
            if (failIniWrite)
                throw std::runtime_error("Não foi possível gravar ftp.ini");
        }, state, db.folder(), files, clock, report, opener);
    }
};

} // namespace

TEST(Batch, BooksExactTxtNamesArchivesWithoutOverwritingAndLeavesTheRestRunAfterRun)
{
    BatchRig rig;
    rig.order("PED1.txt", 101);
    rig.order("PED2.TXT", 102);
    rig.write("NOTA.csv", {"NumeroPedido: 104"});
    rig.order(".txt", 103, "7890000000000");          // a name that is all extension; an unknown product
    ASSERT_TRUE(QDir(rig.local.path()).mkdir("importados"));
    rig.write("importados/PED1.txt", {"pedido arquivado antes"});
    const QByteArray firstPed1 = rig.bytes("PED1.txt");

    BatchSummary s = rig.run();
    EXPECT_TRUE(s.sessionOpened);
    EXPECT_EQ(rig.ftpIniWrites, 1);
    EXPECT_EQ(rig.refreshes, 1);
    EXPECT_EQ(s.booked, 1);
    EXPECT_EQ(s.bookedWithMissing, 1);
    EXPECT_EQ(s.alreadyBooked + s.notBooked + s.failed, 0);
    EXPECT_FALSE(s.success()) << "products missing from an order need attention";
    EXPECT_EQ(s.summaryLine(), QStringLiteral("Pedidos: 1 importados, 1 com produtos faltando, 0 já importados, 0 com falha"));
    EXPECT_EQ(s.otherFiles, QStringList({"NOTA.csv", "PED2.TXT"}));
    EXPECT_TRUE(rig.report.criticals.isEmpty()) << rig.report.criticals.join('\n').toStdString();
    // Counted among the order files only.
    EXPECT_EQ(rig.report.progresses, (QStringList{"Importando .txt (1 de 2)", "Importando PED1.txt (2 de 2)"}));

    EXPECT_EQ(rig.booked(101), "1");
    EXPECT_EQ(rig.booked(103), "1");
    EXPECT_EQ(rig.booked(102), "0");
    EXPECT_EQ(rig.booked(104), "0");
    EXPECT_EQ(rig.listing(), QStringList({"NOTA.csv", "PED2.TXT"}));
    EXPECT_EQ(rig.bytes("importados/PED1.txt"), "pedido arquivado antes\r\n");
    EXPECT_EQ(rig.bytes("importados/PED1 (2).txt"), firstPed1);
    EXPECT_TRUE(rig.exists("importados/.txt"));

    // Next run: the same order arrives again (already booked, and its file already archived:
    // no second copy), another one under that name is archived beside, and a file left from an
    // earlier run is handled like a new one.
    rig.order("PED1.txt", 101);
    rig.order("PED1 (2).txt", 106);
    rig.order("VELHO.txt", 105);
    rig.report = RecordingReport();
    s = rig.run();
    EXPECT_EQ(s.booked, 2);
    EXPECT_EQ(s.alreadyBooked, 1);
    EXPECT_TRUE(s.success());
    EXPECT_EQ(rig.booked(101), "1");
    EXPECT_EQ(rig.booked(105), "1");
    EXPECT_EQ(QDir(rig.path("importados")).entryList(QDir::Files | QDir::Hidden),
              QStringList({".txt", "PED1 (2) (2).txt", "PED1 (2).txt", "PED1.txt", "VELHO.txt"}));
    EXPECT_EQ(rig.bytes("importados/PED1 (2).txt"), firstPed1);
    EXPECT_EQ(rig.listing(), QStringList({"NOTA.csv", "PED2.TXT"}));
}

TEST(Batch, ArchivingOnAnotherFileSystemLeavesOnlyWholeFiles)
{
    BatchRig rig;
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/pedidos-arquivo-XXXXXX"));
    ASSERT_TRUE(elsewhere.isValid());
    ASSERT_TRUE(QFile::link(elsewhere.path(), rig.path("importados")));
    rig.order("PED7.txt", 701);
    const QByteArray order = rig.bytes("PED7.txt");
    // What a copy stopped half-way left behind.
    rig.write("importados/PED7.txt.part", {"NumeroPedido: 7"});

    const BatchSummary s = rig.run();
    EXPECT_TRUE(s.success()) << rig.report.criticals.join('\n').toStdString();
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"PED7.txt"});
    EXPECT_EQ(rig.bytes("importados/PED7.txt"), order);
    EXPECT_EQ(rig.listing(), QStringList());
}

TEST(Batch, AMalformedFileIsReportedOnceAndStaysWhileTheOthersAreBooked)
{
    BatchRig rig;
    rig.order("A.txt", 201);
    rig.write("B.txt", {"NumeroPedido: 202", "NomeCliente: Cliente", "ProdutoVendido: 7891234000057|borracha|1,00|1"});
    rig.order("C.txt", 203);
    // A download a stopped run left: never booked, and no warning (its order is on the server).
    rig.write("D.txt.part", {"NumeroPedido: 204"});
    // An order whose new customer cannot be found again (a trigger renames it): not booked.
    rig.write("E.txt", {"NumeroPedido: 205", "NomeCliente: Sem Codigo"});
    rig.db.execute("create trigger rename_new for interveniente before insert as begin "
                   "if (new.innome = 'SEM CODIGO') then new.innome = 'SEM CODIGO *'; end");
    const QByteArray bad = rig.bytes("B.txt");

    const BatchSummary s = rig.run();
    EXPECT_EQ(s.booked, 2);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(s.notBooked, 1);
    EXPECT_EQ(s.failedFiles, QStringList({"B.txt", "E.txt"}));
    EXPECT_FALSE(s.success());
    EXPECT_EQ(s.summaryLine(), QStringLiteral("Pedidos: 2 importados, 0 com produtos faltando, 0 já importados, 2 com falha"));
    ASSERT_EQ(rig.report.criticals.size(), 2);
    EXPECT_TRUE(rig.report.criticals[0].startsWith("B.txt, linha 3: ")) << rig.report.criticals[0].toStdString();
    EXPECT_EQ(rig.listing(), QStringList({"B.txt", "D.txt.part", "E.txt"}));
    EXPECT_TRUE(s.otherFiles.isEmpty()) << s.otherFiles.join(' ').toStdString();
    EXPECT_EQ(rig.bytes("B.txt"), bad);
    EXPECT_TRUE(rig.exists("importados/A.txt") && rig.exists("importados/C.txt"));
    EXPECT_FALSE(rig.exists("importados/B.txt"));
    EXPECT_EQ(rig.booked(202), "0");
    EXPECT_EQ(rig.booked(203), "1");
}

TEST(Batch, NoFileIsTouchedWhenFtpIniOrTheDatabaseStopsTheBatch)
{
    const auto untouched = [](BatchRig& rig, const BatchSummary& s) {
        EXPECT_FALSE(s.sessionOpened);
        EXPECT_FALSE(s.success());
        EXPECT_EQ(rig.listing(), QStringList{"PED1.txt"});
        EXPECT_FALSE(rig.exists("importados"));
        EXPECT_EQ(rig.report.criticals.size(), 1) << rig.report.criticals.join('\n').toStdString();
        EXPECT_TRUE(rig.report.progresses.isEmpty());
    };
    {   // ftp.ini cannot be written: the database is not even opened
        BatchRig rig;
        rig.order("PED1.txt", 301);
        rig.failIniWrite = true;
        untouched(rig, rig.run());
        EXPECT_EQ(rig.opens, 0);
        EXPECT_EQ(rig.report.criticals.value(0), "Não foi possível gravar ftp.ini");
    }
    {   // the database file named in Zelto.ini does not exist
        BatchRig rig;
        rig.order("PED1.txt", 301);
        ZeltoSettings z = rig.db.settings();
        z.databasePath = rig.db.folder() + "/nao-existe.fdb";
        testdb::writeZeltoIni(rig.db.folder(), z);
        untouched(rig, rig.run());
        EXPECT_TRUE(rig.report.criticals.value(0).contains(z.databasePath)) << rig.report.criticals.value(0).toStdString();
    }
    {   // the database opens, but a sales parameter read there is out of range: the message says so
        BatchRig rig;
        rig.order("PED1.txt", 301);
        rig.db.execute("insert into tipomovimento (tmcod, tmdesc, tmestoque, tmfinanceiro, tipo) values (40000,'WEB','NAO','NAO','S')");
        rig.db.execute("update param set tiposaida='WEB'");
        untouched(rig, rig.run());
        const QString message = rig.report.criticals.value(0);
        EXPECT_TRUE(message.startsWith(QStringLiteral("O banco de dados \"%1\" (de Zelto.ini) foi aberto, mas a leitura do tipo "
                                                      "de movimento (TIPOMOVIMENTO) falhou: ").arg(rig.db.settings().databasePath)))
            << message.toStdString();
        EXPECT_TRUE(message.contains("40000")) << message.toStdString();
    }
}

TEST(Batch, AnArchiveThatCannotBeWrittenKeepsTheSourceAndSaysWhy)
{
    {   // a file named "importados" where the folder should be
        BatchRig rig;
        rig.order("PED1.txt", 401);
        rig.write("importados", {"nao e pasta"});
        const BatchSummary s = rig.run();
        EXPECT_EQ(s.booked, 1);
        EXPECT_EQ(s.failed, 1);
        EXPECT_EQ(s.failedFiles, QStringList{"PED1.txt"});
        EXPECT_FALSE(s.success());
        ASSERT_EQ(rig.report.criticals.size(), 1);
        EXPECT_TRUE(rig.report.criticals[0].contains(rig.path("importados"))) << rig.report.criticals[0].toStdString();
        EXPECT_TRUE(rig.exists("PED1.txt"));
        EXPECT_EQ(rig.bytes("importados"), "nao e pasta\r\n");

        // The way cleared, the next run archives it as already booked.
        ASSERT_TRUE(QFile::remove(rig.path("importados")));
        rig.report = RecordingReport();
        const BatchSummary again = rig.run();
        EXPECT_EQ(again.alreadyBooked, 1);
        EXPECT_TRUE(again.success());
        EXPECT_TRUE(rig.exists("importados/PED1.txt"));
        EXPECT_FALSE(rig.exists("PED1.txt"));
        EXPECT_EQ(rig.booked(401), "1");
    }
    {   // "importados" leads where nobody may write, root included
        BatchRig rig;
        rig.order("PED2.txt", 402);
        ASSERT_TRUE(QFile::link("/proc", rig.path("importados")));
        const BatchSummary s = rig.run();
        EXPECT_EQ(s.failed, 1);
        ASSERT_EQ(rig.report.criticals.size(), 1);
        const QString message = rig.report.criticals[0];
        EXPECT_TRUE(message.contains(rig.path("PED2.txt"))) << message.toStdString();
        EXPECT_TRUE(message.contains("No such file or directory")) << message.toStdString();
        EXPECT_TRUE(rig.exists("PED2.txt"));
    }
}

// The database server killed mid-batch: what was committed stays booked and archived, the rest
// waits in the folder, one message names the database; the next run books the rest, none twice.
TEST(Batch, ALostDatabaseServerStopsTheBatchAndTheNextRunBooksTheRestOnce)
{
    testdb::FirebirdTestServer server;
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    BatchRig rig;
    ZeltoSettings z = rig.db.settings();
    z.databasePath = server.address(rig.db);
    testdb::writeZeltoIni(rig.db.folder(), z);
    const int orders = 270;
    for (int i = 1; i <= orders; ++i)
        rig.order(QStringLiteral("PED%1.txt").arg(i, 3, 10, QLatin1Char('0')), 1000 + i);
    rig.report.onProgress = [&] {
        if (rig.report.progresses.size() == 261) // a group of 250 was committed before
            server.kill();
    };

    const BatchSummary s = rig.run();
    const qsizetype left = rig.listing().size();
    EXPECT_GT(s.booked, 0);
    EXPECT_EQ(s.booked + left, orders);
    EXPECT_EQ(s.waiting, left);
    EXPECT_EQ(QDir(rig.path("importados")).entryList(QDir::Files).size(), s.booked);
    EXPECT_EQ(rig.report.criticals, QStringList{QStringLiteral("A conexão com o banco de dados \"%1\" (de Zelto.ini) foi "
                                                               "perdida: a importação parou, e %2 pedido(s) ficaram na "
                                                               "pasta local para a próxima execução")
                                                    .arg(z.databasePath).arg(left)});

    ASSERT_TRUE(server.start()) << server.error().toStdString();
    rig.report = RecordingReport();
    const BatchSummary again = rig.run();
    EXPECT_TRUE(again.success()) << rig.report.criticals.join('\n').toStdString();
    EXPECT_EQ(again.booked, left);
    server.kill();
    EXPECT_EQ(rig.db.value("select count(*) || '/' || count(distinct fkftp) as v from saida where fkftp > 1000"), "270/270");
}
