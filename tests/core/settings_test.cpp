// ftp.ini and the INI reader, and the path rules the application folder relies on.
#include "core/ftp_ini.h"
#include "core/ini.h"
#include "core/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

QString geral(const QString& key, const QString& file) { return LE_INI(QStringLiteral("Geral"), key, file); }

} // namespace

TEST(IniReader, ValueRules)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("x.ini");
    const QByteArray longValue(300, 'a');
    writeBytes(file, "; comment line\r\n"
                     "[geral]\r\n"
                     "ftp=ftp.loja.com.br\r\n"
                     "  Usuario  =   joao da silva   \r\n"
                     ";SENHA=comentada\r\n"
                     "SENHA=\"  se=gredo \"\r\n"
                     "PASTAS='/pedidos'\r\n"
                     "QUOTES=\"\"dois\"\"\r\n"
                     "HALF=\"aberta\r\n"
                     "LONGO=" + longValue + "\r\n"
                     "\tTAB\t=\tvalor\t\n");   // LF alone ends a line too

    EXPECT_EQ(geral("FTP", file), "ftp.loja.com.br");   // key "ftp" matches "FTP", section "geral" matches "Geral"
    EXPECT_EQ(geral("Ftp", file), "ftp.loja.com.br");
    EXPECT_EQ(geral("USUARIO", file), "joao da silva");  // blanks around "=" and after the value go
    EXPECT_EQ(geral("SENHA", file), "  se=gredo ");      // one pair of quotes goes, what is inside stays
    EXPECT_EQ(geral("PASTAS", file), "/pedidos");
    EXPECT_EQ(geral("QUOTES", file), "\"dois\"");        // only one pair
    EXPECT_EQ(geral("HALF", file), "\"aberta");          // an unmatched quote stays
    EXPECT_EQ(geral("LONGO", file), QString(254, QLatin1Char('a')));
    EXPECT_EQ(geral("TAB", file), "valor");
}

TEST(IniReader, MissingFileSectionOrKeyGivesEmptyText)
{
    QTemporaryDir dir;
    EXPECT_EQ(geral("FTP", dir.filePath("nao-existe.ini")), "");
    EXPECT_EQ(geral("FTP", dir.path()), "");   // a folder is no INI file

    const QString other = dir.filePath("other.ini");
    writeBytes(other, "[Outra]\r\nFTP=ftp.loja.com.br\r\n");
    EXPECT_EQ(geral("FTP", other), "");

    const QString file = dir.filePath("x.ini");
    writeBytes(file, "[Geral]\r\nFTP=\r\nUSUARIO=ze\r\n");
    EXPECT_EQ(geral("FTP", file), "");
    EXPECT_EQ(geral("SENHA", file), "");
    EXPECT_EQ(geral("USUARIO", file), "ze");
    EXPECT_EQ(geral("USUARIO ", file), "");
}

TEST(IniReader, FirstSectionAndFirstKeyWin)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("x.ini");
    writeBytes(file, "[Banco]\r\nFTP=do-banco\r\n"
                     "[Geral]\r\nFTP=primeiro\r\nFTP=segundo\r\n"
                     "[Outra]\r\nSENHA=da-outra\r\n"
                     "[GERAL]\r\nFTP=terceiro\r\nUSUARIO=so-na-segunda\r\n");
    EXPECT_EQ(geral("FTP", file), "primeiro");
    EXPECT_EQ(geral("SENHA", file), "");            // another section's key is not taken
    EXPECT_EQ(geral("USUARIO", file), "");          // a repeated section is not read
    EXPECT_EQ(LE_INI("Banco", "FTP", file), "do-banco");
}

TEST(IniReader, Utf8AndWindows1252Files)
{
    QTemporaryDir dir;
    const QString cp = dir.filePath("cp.ini");
    writeBytes(cp, "[Geral]\r\nUSUARIO=Jo\xe3o\r\nPASTAS=/a\xe7\xe3o");   // ends inside what UTF-8 would read as a sequence
    EXPECT_EQ(geral("USUARIO", cp), QStringLiteral("João"));
    EXPECT_EQ(geral("PASTAS", cp), QStringLiteral("/ação"));

    const QString utf = dir.filePath("utf.ini");
    writeBytes(utf, "\xef\xbb\xbf[Geral]\r\nUSUARIO=Jo\xc3\xa3o\r\n");   // byte order mark before the section
    EXPECT_EQ(geral("USUARIO", utf), QStringLiteral("João"));
}

TEST(FtpIniWriter, SixCrLfLinesWithTheSellerCodeKept)
{
    QTemporaryDir dir;
    const QString folder = paths::applicationFolder(dir.path());
    FtpSettings s{"ftp.loja.com.br", "joão", "s3 cr=t", "/pedidos/novos", QStringLiteral("17")};
    writeFtpIni(folder, s);
    EXPECT_EQ(readBytes(folder + "ftp.ini"), QByteArray("[Geral]\r\nFTP=ftp.loja.com.br\r\nUSUARIO=jo\xe3o\r\n"
                                                        "SENHA=s3 cr=t\r\nPASTAS=/pedidos/novos\r\nCOD_VENDEDOR=17\r\n"));
    const FtpSettings back = readFtpIni(folder);
    EXPECT_EQ(back.server, s.server);
    EXPECT_EQ(back.user, s.user);
    EXPECT_EQ(back.password, s.password);
    EXPECT_EQ(back.remoteFolder, s.remoteFolder);
    EXPECT_EQ(back.sellerCode, std::optional<QString>("17"));

    s.sellerCode.reset();
    s.user = QStringLiteral("Łukasz");   // no Windows-1252 byte for "Ł": the file is written as UTF-8
    writeFtpIni(folder, s);
    EXPECT_TRUE(readBytes(folder + "ftp.ini").endsWith("USUARIO=\xc5\x81ukasz\r\nSENHA=s3 cr=t\r\nPASTAS=/pedidos/novos\r\nCOD_VENDEDOR=\r\n"));
    EXPECT_EQ(readFtpIni(folder).user, s.user);
    EXPECT_EQ(readFtpIni(folder).sellerCode, std::optional<QString>(""));

    // Without the file nothing is read and the seller code stays unset.
    QTemporaryDir empty;
    const FtpSettings none = readFtpIni(paths::applicationFolder(empty.path()));
    EXPECT_TRUE(none.server.isEmpty() && none.remoteFolder.isEmpty());
    EXPECT_FALSE(none.sellerCode.has_value());
}

TEST(FtpIniWriter, RewritesTheFileInPlaceWhateverItsCaseAndKeepsPermissions)
{
    QTemporaryDir dir;
    const QString folder = paths::applicationFolder(dir.path());
    writeBytes(folder + "FTP.INI", "[GERAL]\r\nFTP=antigo\r\nCOD_VENDEDOR=5\r\n");
    const auto perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(folder + "FTP.INI", perms));

    EXPECT_EQ(ftpIniPath(folder), folder + "FTP.INI");
    const FtpSettings read = readFtpIni(folder);
    EXPECT_EQ(read.server, "antigo");
    EXPECT_EQ(read.sellerCode, std::optional<QString>("5"));

    FtpSettings s = read;
    s.server = QStringLiteral("novo");
    writeFtpIni(folder, s);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"FTP.INI"});   // no twin ftp.ini, no leftovers
    EXPECT_EQ(readBytes(folder + "FTP.INI"), QByteArray("[Geral]\r\nFTP=novo\r\nUSUARIO=\r\nSENHA=\r\nPASTAS=\r\nCOD_VENDEDOR=5\r\n"));
    EXPECT_EQ(QFile::permissions(folder + "FTP.INI") & 0x7077, perms);
}

TEST(FtpIniWriter, AFailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString folder = paths::applicationFolder(dir.path());
    const QByteArray old = "[Geral]\r\nFTP=antigo\r\n";
    writeBytes(folder + "ftp.ini", old);
    const FtpSettings s{"ftp.loja.com.br", "joao", "segredo", "/pedidos", QStringLiteral("1")};

    // A file size limit stops root too: the new content cannot be written out.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    bool threw = false;
    std::string what;
    try {
        writeFtpIni(folder, s);
    } catch (const std::runtime_error& e) {
        threw = true;
        what = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_NE(what.find((folder + "ftp.ini").toStdString()), std::string::npos) << what;
    EXPECT_EQ(readBytes(folder + "ftp.ini"), old);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"ftp.ini"});

    // A line break in a value would add keys of its own to the file: refused, file unchanged.
    FtpSettings injected = s;
    injected.remoteFolder = QStringLiteral("/x\r\nFTP=outro.servidor");
    EXPECT_THROW(writeFtpIni(folder, injected), std::runtime_error);
    injected = s;
    injected.password = QStringLiteral("a\nb");
    EXPECT_THROW(writeFtpIni(folder, injected), std::runtime_error);
    EXPECT_EQ(readBytes(folder + "ftp.ini"), old);
}

TEST(Paths, RootsAndSubfoldersWithBothSeparators)
{
    // input, application folder, folder list form
    const char* const cases[][3] = {{"C:\\", "C:\\", "C:\\"}, {"C:", "C:\\", "C:\\"},
                                    {"C:\\PEDIDOS", "C:\\PEDIDOS\\", "C:\\PEDIDOS"},
                                    {"C:\\PEDIDOS\\", "C:\\PEDIDOS\\", "C:\\PEDIDOS"}, {"/", "/", "/"},
                                    {"/opt/pedidos", "/opt/pedidos/", "/opt/pedidos"},
                                    {"/opt/pedidos/", "/opt/pedidos/", "/opt/pedidos"}};
    for (const auto& c : cases) {
        EXPECT_EQ(paths::applicationFolder(c[0]), c[1]) << c[0];
        EXPECT_EQ(paths::folderListForm(c[0]), c[2]) << c[0];
    }
    EXPECT_EQ(paths::joinName("C:\\", "PED1.txt"), "C:\\PED1.txt");
    EXPECT_EQ(paths::joinName("C:\\PEDIDOS", "PED1.txt"), "C:\\PEDIDOS\\PED1.txt");
    EXPECT_EQ(paths::joinName("/", "PED1.txt"), "/PED1.txt");
    EXPECT_EQ(paths::joinName("/srv/pedidos", "PED 1.txt"), "/srv/pedidos/PED 1.txt");
}

TEST(Paths, FreeFileNameNeverOverwrites)
{
    QTemporaryDir dir;
    const QString folder = paths::folderListForm(dir.path());
    EXPECT_EQ(paths::freeFileName(folder, "PED1.txt"), "PED1.txt");
    writeBytes(paths::joinName(folder, "PED1.txt"), "1");
    EXPECT_EQ(paths::freeFileName(folder, "PED1.txt"), "PED1 (2).txt");
    writeBytes(paths::joinName(folder, "PED1 (2).txt"), "2");
    EXPECT_EQ(paths::freeFileName(folder, "PED1.txt"), "PED1 (3).txt");
    writeBytes(paths::joinName(folder, "LEIAME"), "x");
    EXPECT_EQ(paths::freeFileName(folder, "LEIAME"), "LEIAME (2)");
    writeBytes(paths::joinName(folder, "a.b.txt"), "x");
    EXPECT_EQ(paths::freeFileName(folder, "a.b.txt"), "a.b (2).txt");
}
