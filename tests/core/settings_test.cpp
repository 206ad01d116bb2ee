// The INI reader, ftp.ini, the path rules and the command line.
#include "core/command_line.h"
#include "core/ftp_ini.h"
#include "core/ini.h"
#include "core/paths.h"
#include "support/test_util.h"

#include <QDir>
#include <QTemporaryDir>

using testutil::readFile;
using testutil::writeFile;

TEST(IniReader, ValueRules)
{
    QTemporaryDir dir;
    const QString file = writeFile(dir.filePath("x.ini"), "; comment\r\n[Banco]\r\nFTP=do-banco\r\n"
                                                          "[geral]\r\nftp=ftp.loja\r\n  Usuario  =   joao da silva   \r\n"
                                                          ";SENHA=comentada\r\nSENHA=\"  se=gredo \"\r\nPASTAS='/pedidos'\r\n"
                                                          "HALF=\"aberta\r\nLONGO=" + QByteArray(300, 'a') + "\r\n"
                                                          "\tTAB\t=\tvalor\t\nFTP=segundo\r\n"
                                                          "[Outra]\r\nOUTRA=1\r\n[GERAL]\r\nREPETIDA=1\r\n");
    const struct {
        const char* key;
        QString value;
    } cases[] = {
        {"FTP", "ftp.loja"},                 // section and key match whatever their case; the first FTP wins
        {"Ftp", "ftp.loja"},
        {"USUARIO", "joao da silva"},        // blanks around "=" and after the value go
        {"SENHA", "  se=gredo "},            // one pair of quotes goes, what is inside stays
        {"PASTAS", "/pedidos"},
        {"HALF", "\"aberta"},                // an unmatched quote stays
        {"LONGO", QString(254, 'a')},        // 254 characters at most
        {"TAB", "valor"},                    // tabs are blanks; LF alone ends a line
        {"OUTRA", ""},                       // another section's key
        {"REPETIDA", ""},                    // a repeated section is not read
        {"NADA", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LE_INI("Geral", c.key, file), c.value) << c.key;
    EXPECT_EQ(LE_INI("Geral", "FTP", dir.filePath("nao-existe.ini")), "");
    EXPECT_EQ(LE_INI("Geral", "U", writeFile(dir.filePath("cp.ini"), "[Geral]\r\nU=Jo\xe3o\r\n")), "João");
    EXPECT_EQ(LE_INI("Geral", "U", writeFile(dir.filePath("u8.ini"), "\xef\xbb\xbf[Geral]\r\nU=Jo\xc3\xa3o\r\n")), "João");
}

TEST(FtpIni, SixCrLfLinesInPlaceWithTheSellerCodeAndPermissionsKept)
{
    QTemporaryDir dir;
    const QString folder = paths::applicationFolder(dir.path());
    EXPECT_FALSE(readFtpIni(folder).sellerCode.has_value());   // no file: no seller code at all

    writeFile(folder + "FTP.INI", "[GERAL]\r\nftp=antigo\r\nCOD_VENDEDOR=5\r\n");
    const auto perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(folder + "FTP.INI", perms));
    FtpSettings s = readFtpIni(folder);
    EXPECT_EQ(s.server, "antigo");
    EXPECT_EQ(s.sellerCode, std::optional<QString>("5"));

    s.user = QStringLiteral("joão");
    s.password = QStringLiteral("s3 cr=t");
    s.remoteFolder = QStringLiteral("/pedidos");
    writeFtpIni(folder, s);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"FTP.INI"});
    EXPECT_EQ(readFile(folder + "FTP.INI"),
              "[Geral]\r\nFTP=antigo\r\nUSUARIO=jo\xe3o\r\nSENHA=s3 cr=t\r\nPASTAS=/pedidos\r\nCOD_VENDEDOR=5\r\n");
    EXPECT_EQ(QFile::permissions(folder + "FTP.INI") & 0x7077, perms);

    s.user = QStringLiteral("Łukasz");   // not in Windows-1252: the file is written as UTF-8
    writeFtpIni(folder, s);
    EXPECT_EQ(readFtpIni(folder).user, s.user);

    // A file it creates holds a password: for its owner alone, whatever the umask lets through.
    QTemporaryDir fresh;
    writeFtpIni(paths::applicationFolder(fresh.path()), s);
    EXPECT_EQ(QFile::permissions(fresh.filePath("ftp.ini")) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
}

TEST(FtpIni, AFailedWriteOrALineBreakInAValueKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString folder = paths::applicationFolder(dir.path());
    const QByteArray old = "[Geral]\r\nFTP=antigo\r\n";
    writeFile(folder + "ftp.ini", old);
    const FtpSettings s{"ftp.loja.com.br", "joao", "segredo", "/pedidos", QStringLiteral("1")};

    // The new content cannot be written out.
    const QString what = testutil::failureWithFileSizeLimit(16, [&] { writeFtpIni(folder, s); });
    EXPECT_TRUE(what.contains(folder + "ftp.ini")) << what.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"ftp.ini"});

    // A line break would add keys of its own to the file.
    for (const QString& folderValue : {QStringLiteral("/x\nFTP=outro"), QStringLiteral("/x\rFTP=outro")}) {
        FtpSettings injected = s;
        injected.remoteFolder = folderValue;
        EXPECT_THROW(writeFtpIni(folder, injected), Failure);
    }
    EXPECT_EQ(readFile(folder + "ftp.ini"), old);
}

TEST(Paths, WindowsAndPosixForms)
{
    // input, application folder, folder list form
    const char* const folders[][3] = {{"C:\\", "C:\\", "C:\\"}, {"C:", "C:\\", "C:\\"}, {"C:\\PEDIDOS", "C:\\PEDIDOS\\", "C:\\PEDIDOS"},
                                      {"C:\\PEDIDOS\\", "C:\\PEDIDOS\\", "C:\\PEDIDOS"}, {"/", "/", "/"},
                                      {"/opt/pedidos", "/opt/pedidos/", "/opt/pedidos"}, {"/opt/pedidos/", "/opt/pedidos/", "/opt/pedidos"}};
    for (const auto& c : folders) {
        EXPECT_EQ(paths::applicationFolder(c[0]), c[1]) << c[0];
        EXPECT_EQ(paths::folderListForm(c[0]), c[2]) << c[0];
    }
    // folder, name, joined
    const char* const joined[][3] = {{"C:\\", "PED1.txt", "C:\\PED1.txt"}, {"C:\\PEDIDOS", "PED1.txt", "C:\\PEDIDOS\\PED1.txt"},
                                     {"/", "PED1.txt", "/PED1.txt"}, {"/srv/pedidos", "PED 1.txt", "/srv/pedidos/PED 1.txt"}};
    for (const auto& c : joined)
        EXPECT_EQ(paths::joinName(c[0], c[1]), c[2]) << c[0];

    // A free name never overwrites: "PED1 (2).txt", "(3)", a name without extension, two dots.
    QTemporaryDir dir;
    const QString folder = paths::folderListForm(dir.path());
    for (const char* name : {"PED1.txt", "PED1 (2).txt", "LEIAME", "a.b.txt"})
        writeFile(paths::joinName(folder, name), "x");
    EXPECT_EQ(paths::freeFileName(folder, "NOVO.txt"), "NOVO.txt");
    EXPECT_EQ(paths::freeFileName(folder, "PED1.txt"), "PED1 (3).txt");
    EXPECT_EQ(paths::freeFileName(folder, "LEIAME"), "LEIAME (2)");
    EXPECT_EQ(paths::freeFileName(folder, "a.b.txt"), "a.b (2).txt");
}

TEST(CommandLine, SettingsFolderBeforeOrAfterTheCheckAndOnlyAUsableOne)
{
    QTemporaryDir dir;
    const QString shop = dir.filePath("loja1"), file = writeFile(dir.filePath("ftp.ini"), "");
    QDir().mkdir(shop);
    using M = CommandLine::Mode;
    const struct {
        QStringList arguments;
        M mode;
        QString text;   // settingsFolder, or what the error says
    } cases[] = {
        {{"--pasta", shop + "/"}, M::Start, shop},
        {{"--pasta=" + shop, "--conferir", "P1.txt"}, M::Check, shop},
        {{"--conferir", "P1.txt", "--pasta", shop, "--", "--pasta"}, M::Check, shop},
        {{"--pasta"}, M::Invalid, "precisa do nome de uma pasta"},
        {{"--pasta", dir.filePath("loja2")}, M::Invalid, dir.filePath("loja2") + " não existe"},
        {{"--pasta", file}, M::Invalid, file + " não é uma pasta"},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(c.arguments);
        EXPECT_EQ(line.mode, c.mode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(c.mode == M::Invalid ? line.error.contains(c.text) : line.settingsFolder == c.text)
            << c.arguments.join(' ').toStdString() << ": " << line.error.toStdString();
    }
    EXPECT_EQ(parseCommandLine(cases[2].arguments).files, (QStringList{"P1.txt", "--pasta"}));
}
