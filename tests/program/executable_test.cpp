// The real program's options and its start without a display: what needs no server.
#include "support/unattended_rig.h"

#include <QDir>
#include <QFileInfo>

namespace {

// A display number nothing listens on.
QString deadDisplay()
{
    for (int n = 99; n < 200; ++n)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return QStringLiteral(":%1").arg(n);
    return QStringLiteral(":199");
}

} // namespace

TEST(Executable, OptionsAndAStartWithoutServerNeedNoDisplay)
{
    rig::Program program;
    ASSERT_EQ(program.error(), QString());
    // Started from another folder: the application folder is where the executable lies.
    const auto run = [&](const QStringList& arguments) {
        return program.run({arguments, QDir::tempPath(), deadDisplay(), {}, {}}, 30000);
    };

    rig::Result r = run({QStringLiteral("--help")});
    EXPECT_EQ(r.exitCode, 0) << rig::describe(r);
    for (const char* text : {"--conferir", "--pasta", "--version", "ftp.ini", "Zelto.ini", "Situação de saída"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(r.err, QString());   // no toolkit complaining about the display

    r = run({QStringLiteral("--conferi"), QStringLiteral("PED1.txt")});
    EXPECT_EQ(r.exitCode, 2) << rig::describe(r);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--conferi")) && r.err.contains(QStringLiteral("pedidosftp --help")))
        << rig::describe(r);
    EXPECT_EQ(r.out, QString());

    // No server to fetch from (no ftp.ini, or an address of blanks) and no display to show the
    // window on: one line saying why, naming the key and the folder, and status 1.
    for (const char* ini : {"", "[Geral]\r\nFTP=   \r\nUSUARIO=loja\r\n"}) {
        SCOPED_TRACE(ini);
        if (*ini)
            testutil::writeFile(QDir(program.appFolder()).filePath(QStringLiteral("ftp.ini")), ini);
        r = run({});
        ASSERT_TRUE(r.finished) << "the program waited for something";
        EXPECT_EQ(r.status, QProcess::NormalExit);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << rig::describe(r);
        EXPECT_TRUE(r.err.contains(QStringLiteral("\"FTP\"")) && r.err.contains(program.appFolder())) << rig::describe(r);
        EXPECT_EQ(r.out, QString());
    }
}
