// The unattended run of the real program from server to database: a normal run, a local order
// waiting under the name of a remote one, and two runs started at the same moment.
#include "e2e_rig.h"

#include <QRegularExpression>
#include <QSet>

using e2e::Rig;
using e2e::RunResult;

namespace {

QByteArray demoOrder(const QString& name)
{
    return Rig::read(QStringLiteral(PEDIDOS_SOURCE_DIR "/scripts/demo-pedidos/") + name);
}

QString describe(const RunResult& r)
{
    return QStringLiteral("exit %1, stderr:\n%2\nstdout:\n%3").arg(r.exitCode).arg(r.err, r.out);
}

} // namespace

TEST(E2e, NormalRunFetchesBooksArchivesAndKeepsTheSellerCode)
{
    Rig rig;
    ASSERT_TRUE(rig.ready());
    // A company already in the ERP (CNPJ), a person already in the ERP (CPF), a new customer,
    // and a Windows-1252 file: all of their products are in the ERP.
    const QStringList names = {QStringLiteral("pedido_5001.txt"), QStringLiteral("pedido_5002.txt"),
                               QStringLiteral("pedido_5003.txt"), QStringLiteral("pedido_5005.txt")};
    for (const QString& n : names) {
        ASSERT_FALSE(demoOrder(n).isEmpty()) << n.toStdString();
        rig.server.writeFile(QStringLiteral("pedidos/") + n, demoOrder(n));
    }
    // A name with blanks and accents travels as it is.
    const QString oddName = QStringLiteral("pedido 5006 ação.txt");
    const QByteArray odd = e2e::simpleOrder(5006, QStringLiteral("390533447-05"));
    rig.server.writeFile(QStringLiteral("pedidos/") + oddName, odd);
    // Something outside the configured folder stays where it is.
    rig.server.writeFile(QStringLiteral("naoTocar.txt"), e2e::simpleOrder(9999));
    const qint64 customersBefore = rig.number(QStringLiteral("select count(*) as n from interveniente"));

    const RunResult r = rig.run();
    ASSERT_TRUE(r.finished) << "the unattended run did not end";
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 0) << describe(r).toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Pedidos: 5 importados, 0 com produtos faltando, 0 já importados, 0 com falha")))
        << r.out.toStdString();

    // Server: the folder is empty, the rest untouched.
    EXPECT_EQ(Rig::filesIn(rig.server.path(QStringLiteral("pedidos"))), QStringList());
    EXPECT_TRUE(rig.server.exists(QStringLiteral("naoTocar.txt")));
    // Local folder: every order archived byte for byte, nothing else left.
    EXPECT_EQ(Rig::filesIn(rig.local()), QStringList());
    QStringList archived = QStringList(names) << oddName;
    archived.sort();
    EXPECT_EQ(Rig::filesIn(rig.archive()), archived);
    for (const QString& n : names)
        EXPECT_EQ(Rig::read(QDir(rig.archive()).filePath(n)), demoOrder(n)) << n.toStdString();
    EXPECT_EQ(Rig::read(QDir(rig.archive()).filePath(oddName)), odd);
    // ftp.ini: six lines, the seller code kept for the next runs.
    EXPECT_EQ(rig.ftpIniLines(),
              QStringList({QStringLiteral("[Geral]"), QStringLiteral("FTP=") + rig.server.address(),
                           QStringLiteral("USUARIO=") + rig.server.user(), QStringLiteral("SENHA=") + rig.server.password(),
                           QStringLiteral("PASTAS=/pedidos"), QStringLiteral("COD_VENDEDOR=2")}));

    // Database: each order once, with its items and the seller of ftp.ini.
    const QList<std::pair<int, int>> itemsPerOrder = {{5001, 3}, {5002, 2}, {5003, 2}, {5005, 2}, {5006, 2}};
    for (const auto& [order, items] : itemsPerOrder) {
        EXPECT_EQ(rig.ordersBooked(order), 1) << order;
        EXPECT_EQ(rig.itemsOf(order), items) << order;
        EXPECT_EQ(rig.number(QStringLiteral("select safkvendedor as n from saida where fkftp=%1").arg(order)), 2) << order;
    }
    EXPECT_EQ(rig.allOrders(), 5);
    // The customers already in the ERP were found, not created again; three new ones.
    EXPECT_EQ(rig.text(QStringLiteral("select i.innome as t from saida s join interveniente i on i.incod = s.safkinterveniente "
                                      "where s.fkftp=5001")),
              QStringLiteral("ESCOLA PEQUENO SABER LTDA"));
    EXPECT_EQ(rig.text(QStringLiteral("select i.incpf as t from saida s join interveniente i on i.incod = s.safkinterveniente "
                                      "where s.fkftp=5002")),
              QStringLiteral("123.456.789-09"));
    EXPECT_EQ(rig.number(QStringLiteral("select count(*) as n from interveniente")), customersBefore + 3);
    // The Windows-1252 file keeps its accents.
    EXPECT_EQ(rig.text(QStringLiteral("select i.innome as t from saida s join interveniente i on i.incod = s.safkinterveniente "
                                      "where s.fkftp=5005")),
              QStringLiteral("JOÃO GONÇALVES ARAÚJO"));
    EXPECT_EQ(rig.number(QStringLiteral("select sum(i.itqtd) as n from itemsaida i join saida s on s.sacod = i.itfksacod "
                                        "where s.fkftp=5001")),
              220);

    // The same file sent again later: recognised as received, deleted on the server, neither
    // booked nor archived twice.
    rig.server.writeFile(QStringLiteral("pedidos/pedido_5002.txt"), demoOrder(QStringLiteral("pedido_5002.txt")));
    const RunResult again = rig.run();
    ASSERT_TRUE(again.finished);
    EXPECT_EQ(again.exitCode, 0) << describe(again).toStdString();
    EXPECT_TRUE(again.out.contains(QStringLiteral("Já recebido: pedido_5002.txt"))) << again.out.toStdString();
    EXPECT_EQ(rig.ordersBooked(5002), 1);
    EXPECT_EQ(rig.allOrders(), 5);
    EXPECT_EQ(Rig::filesIn(rig.archive()), archived);
    EXPECT_EQ(Rig::filesIn(rig.local()), QStringList());
    EXPECT_EQ(Rig::filesIn(rig.server.path(QStringLiteral("pedidos"))), QStringList());
    EXPECT_EQ(rig.ftpIniLines().value(5), QStringLiteral("COD_VENDEDOR=2"));
}

TEST(E2e, AnOrderWithAProductTheErpLacksIsBookedAndReported)
{
    Rig rig;
    ASSERT_TRUE(rig.ready());
    rig.server.writeFile(QStringLiteral("pedidos/pedido_5004.txt"), demoOrder(QStringLiteral("pedido_5004.txt")));
    const RunResult r = rig.run();
    ASSERT_TRUE(r.finished);
    // Booked without the missing product, archived, and the run says so in its status.
    EXPECT_EQ(r.exitCode, 1) << describe(r).toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("7899999000013"))) << r.err.toStdString();
    EXPECT_EQ(rig.ordersBooked(5004), 1);
    EXPECT_EQ(rig.itemsOf(5004), 1);
    EXPECT_EQ(Rig::filesIn(rig.archive()), QStringList({QStringLiteral("pedido_5004.txt")}));
    EXPECT_EQ(Rig::filesIn(rig.server.path(QStringLiteral("pedidos"))), QStringList());
}

TEST(E2e, ALocalOrderWaitingUnderTheSameNameIsKeptAndBothAreBooked)
{
    Rig rig;
    ASSERT_TRUE(rig.ready());
    const QByteArray waiting = e2e::simpleOrder(7001);
    const QByteArray fresh = e2e::simpleOrder(7002, QStringLiteral("529982247-25"));
    rig.writeLocal(QStringLiteral("PED1.txt"), waiting);
    rig.server.writeFile(QStringLiteral("pedidos/PED1.txt"), fresh);
    // An earlier archive of that name is not overwritten either.
    QDir().mkpath(rig.archive());
    const QByteArray older = e2e::simpleOrder(7000);
    {
        QFile f(QDir(rig.archive()).filePath(QStringLiteral("PED1.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(older);
    }

    const RunResult r = rig.run();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << describe(r).toStdString();
    EXPECT_EQ(rig.ordersBooked(7001), 1);
    EXPECT_EQ(rig.ordersBooked(7002), 1);
    EXPECT_EQ(rig.ordersBooked(7000), 0);
    EXPECT_EQ(Rig::filesIn(rig.local()), QStringList());
    EXPECT_FALSE(rig.server.exists(QStringLiteral("pedidos/PED1.txt")));

    // All three texts are in the archive, each once.
    QList<QByteArray> archived;
    for (const QString& n : Rig::filesIn(rig.archive()))
        archived << Rig::read(QDir(rig.archive()).filePath(n));
    ASSERT_EQ(archived.size(), 3) << Rig::filesIn(rig.archive()).join(", ").toStdString();
    EXPECT_EQ(archived.count(waiting), 1);
    EXPECT_EQ(archived.count(fresh), 1);
    EXPECT_EQ(archived.count(older), 1);
    EXPECT_EQ(Rig::read(QDir(rig.archive()).filePath(QStringLiteral("PED1.txt"))), older);
}

TEST(E2e, TwoRunsStartedTogetherBookEachOrderOnceAndLoseNoFile)
{
    Rig rig;
    ASSERT_TRUE(rig.ready());
    QMap<int, QByteArray> orders;
    for (int n = 8001; n <= 8006; ++n) {
        orders[n] = e2e::simpleOrder(n);
        rig.server.writeFile(QStringLiteral("pedidos/PED%1.txt").arg(n), orders[n]);
    }
    rig.writeLocal(QStringLiteral("PED8000.txt"), e2e::simpleOrder(8000));
    orders[8000] = e2e::simpleOrder(8000);

    const auto first = rig.start();
    const auto second = rig.start();
    const RunResult a = Rig::finish(*first, 90000);
    const RunResult b = Rig::finish(*second, 90000);
    ASSERT_TRUE(a.finished && b.finished) << "a run did not end";

    // Either one run held the lock and the other ended at once saying so, or one ended
    // before the other began and both succeeded.
    const QString lockText = QStringLiteral("Outra execução do pedidosftp está em andamento");
    int refused = 0;
    for (const RunResult* r : {&a, &b}) {
        EXPECT_EQ(r->status, QProcess::NormalExit);
        if (r->exitCode != 0) {
            ++refused;
            EXPECT_TRUE(r->err.contains(lockText)) << describe(*r).toStdString();
            // It touched nothing: no connection, no import.
            EXPECT_FALSE(r->out.contains(QStringLiteral("Pedidos:"))) << r->out.toStdString();
        }
    }
    EXPECT_LE(refused, 1) << describe(a).toStdString() << "\n" << describe(b).toStdString();

    // Each order booked exactly once; each file in exactly one place, none lost.
    for (auto it = orders.cbegin(); it != orders.cend(); ++it)
        EXPECT_EQ(rig.ordersBooked(it.key()), 1) << it.key();
    QList<QByteArray> everywhere;
    for (const QString& n : Rig::filesIn(rig.local()))
        everywhere << Rig::read(QDir(rig.local()).filePath(n));
    for (const QString& n : Rig::filesIn(rig.archive()))
        everywhere << Rig::read(QDir(rig.archive()).filePath(n));
    for (const QString& n : Rig::filesIn(rig.server.path(QStringLiteral("pedidos"))))
        everywhere << rig.server.readFile(QStringLiteral("pedidos/") + n);
    for (auto it = orders.cbegin(); it != orders.cend(); ++it)
        EXPECT_EQ(everywhere.count(it.value()), 1) << it.key();
    EXPECT_EQ(everywhere.size(), orders.size());
    // The lock file is all the runs leave in the application folder besides the settings.
    EXPECT_EQ(Rig::filesIn(rig.appFolder()),
              QStringList({QStringLiteral("Zelto.ini"), QStringLiteral("ftp.ini"), QStringLiteral("pedidosftp"),
                           QStringLiteral("pedidosftp.lock")}));
}
