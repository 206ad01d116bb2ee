// The output of a scheduled run, as cron or a systemd timer sees it: the log on standard output,
// on standard error only what a person has to act on, and never the toolkit's own chatter.
#include "support/ftp_server.h"
#include "support/test_database.h"
#include "support/unattended_rig.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// Lines Qt writes about itself: the platform plugin, the display, its runtime folder.
bool hasToolkitLines(const QString& text)
{
    static const QRegularExpression toolkit(QStringLiteral("^(qt\\.|QStandardPaths|This plugin|.*platform plugin)"),
                                            QRegularExpression::MultilineOption);
    return text.contains(toolkit);
}

QString describe(const rig::ProgramResult& r)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(r.exitCode).arg(r.out, r.err);
}

} // namespace

TEST(ScheduledRun, ACleanRunIsSilentOnStandardErrorAndAFileThatFailsIsNamedThere)
{
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    testdb::FirebirdTestDatabase db;
    rig::ProgramFolders folders;
    ASSERT_TRUE(folders.ok()) << folders.error().toStdString();
    folders.writeFtpIni(server, QStringLiteral("pedidos"));
    db.writeZeltoIni(folders.appFolder());

    server.writeFile(QStringLiteral("pedidos/PED401.txt"), rig::orderFile(401));
    const rig::ProgramResult clean = rig::runProgram(folders);
    ASSERT_TRUE(clean.finished);
    EXPECT_EQ(clean.exitCode, 0) << describe(clean).toStdString();
    EXPECT_EQ(clean.err, QString()) << describe(clean).toStdString();
    EXPECT_TRUE(clean.out.contains(QStringLiteral("Comando: recv PED401.txt"))) << describe(clean).toStdString();
    EXPECT_TRUE(clean.out.contains(QStringLiteral("Pedidos: 1 importados, 0 com produtos faltando, 0 já importados, 0 com falha")))
        << describe(clean).toStdString();
    EXPECT_FALSE(hasToolkitLines(clean.out)) << describe(clean).toStdString();

    // An empty order file: the run fails and standard error names the file.
    server.writeFile(QStringLiteral("pedidos/PED402.txt"), QByteArray());
    const rig::ProgramResult failed = rig::runProgram(folders);
    ASSERT_TRUE(failed.finished);
    EXPECT_EQ(failed.exitCode, 1) << describe(failed).toStdString();
    const QStringList problems = failed.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(problems.size(), 1) << describe(failed).toStdString();
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("[ERRO] PED402.txt"))) << describe(failed).toStdString();
    EXPECT_TRUE(failed.out.contains(QStringLiteral("1 com falha"))) << describe(failed).toStdString();
    EXPECT_FALSE(hasToolkitLines(failed.out + failed.err)) << describe(failed).toStdString();
    EXPECT_EQ(folders.localFiles(), QStringList{QStringLiteral("PED402.txt")});
}
