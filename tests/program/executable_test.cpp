// The real program, started the way a scheduler would: no display it can reach.
#include "core/ftp_ini.h"
#include "support/process_result.h"
#include "support/test_database.h"
#include "support/unattended_rig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A display number nothing listens on.
QString deadDisplay()
{
    for (int n = 99; n < 200; ++n) {
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
            && !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return QStringLiteral(":%1").arg(n);
    }
    return QStringLiteral(":199");
}

using ProgramRun = ProcessResult;

// Copies the program into `folder` (its application folder is where the executable lies) and
// runs it there without a reachable display.
ProgramRun runInFolder(const QString& folder, int timeoutMs = 30000, const QStringList& arguments = {})
{
    const QString exe = QDir(folder).filePath(QStringLiteral("pedidosftp"));
    QFile::remove(exe);
    if (!QFile::copy(QStringLiteral(PEDIDOS_EXECUTABLE), exe))
        return {};
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner | QFile::ExeUser);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("DISPLAY"), deadDisplay());
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QDir::tempPath());   // the folder must come from the executable, not the cwd
    p.start(exe, arguments);
    return finishProcess(p, timeoutMs);
}

} // namespace

TEST(Executable, WithoutADisplayAndWithoutAServerItSaysWhyAndEnds)
{
    QTemporaryDir dir;
    ProgramRun r = runInFolder(dir.path());
    ASSERT_TRUE(r.finished) << "the program waited for something";
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("ftp.ini")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("\"FTP\"")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(dir.path())) << r.err.toStdString();
    // That one line only: the display that could not be reached is no news.
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();

    // FTP= empty is no server either.
    QFile ini(dir.filePath("ftp.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Geral]\r\nFTP=\r\nUSUARIO=loja\r\n");
    ini.close();
    r = runInFolder(dir.path());
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("\"FTP\"")) << r.err.toStdString();
}

TEST(Executable, AnUnattendedRunThatCannotBeCompletedEndsWithStatus1)
{
    // A server nothing answers on: whatever stage fails, the run reports on standard error and
    // ends on its own with status 1, without ever waiting for a click.
    QTemporaryDir dir;
    QFile ini(dir.filePath("FTP.INI"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Geral]\r\nFTP=127.0.0.1:1\r\nUSUARIO=loja\r\nSENHA=x\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=1\r\n");
    ini.close();
    const ProgramRun r = runInFolder(dir.path(), 60000);
    ASSERT_TRUE(r.finished) << "the unattended run hung";
    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.trimmed().isEmpty());
}

TEST(Executable, OptionsNeedNoDisplayAndAnUnknownOneEndsWithStatus2)
{
    QTemporaryDir dir;
    ProgramRun r = runInFolder(dir.path(), 30000, {"--help"});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0);
    for (const char* text : {"--conferir", "--version", "ftp.ini", "Zelto.ini", "Situação de saída"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(r.err, QString());   // no toolkit complaining about the display

    r = runInFolder(dir.path(), 30000, {"--conferi", "PED1.txt"});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--conferi") && r.err.contains("pedidosftp --help")) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
}

TEST(Executable, ChecksAnOrderFileWithoutBookingIt)
{
    testdb::FirebirdTestDatabase db;
    QTemporaryDir dir;
    db.writeZeltoIni(dir.path());
    FtpSettings seller;
    seller.sellerCode = QStringLiteral("2");
    writeFtpIni(dir.path(), seller);
    const QString order = dir.filePath("PED42.txt");
    QFile file(order);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(rig::orderFile(42));
    file.close();

    const ProgramRun r = runInFolder(dir.path(), 30000, {"--conferir", order});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("pedido 42: ainda não importado")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("resultado: seria importado sem problemas")) << r.out.toStdString();
    EXPECT_EQ(r.err, QString());
    EXPECT_TRUE(QFile::exists(order));
    EXPECT_EQ(rig::bookedOrders(*db.connect()), (QMap<int, rig::Booked>{}));
}
