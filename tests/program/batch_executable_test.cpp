// The real program started by a scheduler with its FTP server down: the orders already in its
// working folder are still booked and archived, and the run ends on its own, reporting failure.
#include "core/text_codec.h"
#include "support/process_result.h"
#include "support/test_database.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// A loopback port nobody listens on: one the kernel just handed out, closed again.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

using ProgramRun = ProcessResult;

ProgramRun runIn(const QString& exe, const QString& workingFolder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workingFolder);
    p.start(exe, {});
    return finishProcess(p, 60000);
}

} // namespace

TEST(BatchExecutable, ServerDownStillBooksTheLocalOrdersAndEndsWithStatus1)
{
    testdb::FirebirdTestDatabase db;
    QTemporaryDir appDir, work;
    const QString exe = QDir(appDir.path()).filePath("pedidosftp");
    ASSERT_TRUE(QFile::copy(QStringLiteral(PEDIDOS_EXECUTABLE), exe));
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
    db.writeZeltoIni(appDir.path());
    const QByteArray ini = "[Geral]\r\nFTP=127.0.0.1:" + QByteArray::number(closedPort())
                           + "\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=3\r\n";
    put(QDir(appDir.path()).filePath("ftp.ini"), ini);
    for (int n : {901, 902})
        put(work.filePath(QStringLiteral("PED%1.txt").arg(n)),
            text::toCp1252(QStringLiteral("NumeroPedido: %1\r\nNomeCliente: Cliente Agendado\r\n"
                                          "ProdutoVendido: 7891234000033|caneta|1,00|1|1,00|0|\r\n").arg(n)));
    put(work.filePath("NOTA.csv"), "x");

    QElapsedTimer timer;
    timer.start();
    const ProgramRun r = runIn(exe, work.path());
    ASSERT_TRUE(r.finished) << "the unattended run hung";
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 1);

    // The log on standard output; on standard error what a person must see: the server that
    // could not be reached, told once, and the file left behind.
    const QStringList lines = r.out.split('\n');
    EXPECT_EQ(lines.filter(QRegularExpression("^Importando PED90[12]\\.txt")).size(), 2) << r.out.toStdString();
    EXPECT_EQ(lines.filter("Pedidos: ").size(), 1) << r.out.toStdString();
    EXPECT_TRUE(lines.contains("Pedidos: 2 importados, 0 com produtos faltando, 0 já importados, 0 com falha"))
        << r.out.toStdString();
    const QStringList problems = r.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(problems.size(), 2) << r.err.toStdString();
    EXPECT_TRUE(problems[0].startsWith("[ERRO] Sem conexão com 127.0.0.1:")) << r.err.toStdString();
    EXPECT_TRUE(problems[0].contains("conexão recusada")) << r.err.toStdString();
    EXPECT_TRUE(problems[1].startsWith("[AVISO] Atenção: ") && problems[1].endsWith("NOTA.csv")) << r.err.toStdString();

    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files), QStringList{"NOTA.csv"});
    EXPECT_EQ(QDir(work.filePath("importados")).entryList(QDir::Files), QStringList({"PED901.txt", "PED902.txt"}));
    QFile written(QDir(appDir.path()).filePath("ftp.ini"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), ini);   // the configured folder kept, not the one the failed cd left
    auto c = db.connect();
    auto rs = c->open("select count(*) as v from saida where fkftp in (901, 902) and safkvendedor='3'");
    EXPECT_EQ(rs->field("v").text, "2");
    c.reset();
    rs.reset();

    // Started in its own folder: its files there (ftp.ini, Zelto.ini, the executable, the lock
    // file) are not taken for stray downloads.
    put(QDir(appDir.path()).filePath("PED903.txt"), "NumeroPedido: 903\r\nNomeCliente: Cliente\r\n");
    const ProgramRun own = runIn(exe, appDir.path());
    ASSERT_TRUE(own.finished);
    EXPECT_EQ(own.exitCode, 1);
    EXPECT_TRUE(own.out.contains("Pedidos: 1 importados")) << own.out.toStdString();
    EXPECT_FALSE(own.err.contains("Atenção")) << own.err.toStdString();
    EXPECT_TRUE(QFile::exists(QDir(appDir.path()).filePath("importados/PED903.txt")));
}
