// Listing parsers, server addresses and remote paths of the libcurl transfer control.
#include "ftp/remote_paths.h"
#include "ftp/listing.h"
#include "tests/ftp/curl_driver.h"

#include <gtest/gtest.h>

namespace {
FtpListEntry parsed(const QString& line, bool mlsd, bool* ok)
{
    FtpListEntry e;
    *ok = mlsd ? parseMlsdLine(line, &e) : parseListLine(line, &e);
    return e;
}
} // namespace

TEST(FtpListing, UnixDosAndMlsdLines)
{
    struct Case { const char* line; bool mlsd; bool ok; const char* name; bool folder; qint64 size = -1; };
    const Case cases[] = {
        {"drwxr-xr-x    2 0        0            4096 Dec 06 07:35 sub dir", false, true, "sub dir", true},
        {"-rw-r--r--   1 user group  12 Jan  1  2025 PED 1.txt", false, true, "PED 1.txt", false, 12},
        {"-rw-r--r-- 1 u g 5 Mar 10 12:00 a  b ", false, true, "a  b ", false, 5},
        {"-rw-r--r-- 1 u g 5 Mar 10 12:00  lead", false, true, " lead", false, 5},
        {"-rw-r--r-- 1 ftp 12 Mar 10 12:00 sem grupo.txt", false, true, "sem grupo.txt", false, 12},
        {"-rw-r--r-- 1 u g 5 Mar 10 12:00 Dec 1 2020.txt", false, true, "Dec 1 2020.txt", false, 5},
        {"-rw-r--r-- 1 u g 8589934592 Mar 10 12:00 grande.bin", false, true, "grande.bin", false, 8589934592},
        // A link's listed size is the link's own: unknown for the file behind it.
        {"lrwxrwxrwx 1 u g 7 Mar 10 12:00 atalho -> /alvo", false, true, "atalho", false},
        {"drwxr-xr-x 2 u g 4096 Mar 10 12:00 .", false, false, "", false},
        {"drwxr-xr-x 2 u g 4096 Mar 10 12:00 ..", false, false, "", false},
        {"total 12", false, false, "", false},
        {"12-06-26  07:00AM       <DIR>          pasta nova", false, true, "pasta nova", true},
        {"12-06-26  07:00PM                 1234 PED 3.txt", false, true, "PED 3.txt", false, 1234},
        {"01-02-2026  13:45                  512 b.txt", false, true, "b.txt", false, 512},
        {"lixo sem formato", false, false, "", false},
        {"type=cdir;modify=20261206073500; .", true, false, "", false},
        {"type=pdir;modify=20261206073500; ..", true, false, "", false},
        {"type=cdir;perm=el; /pedidos", true, false, "", false},
        {"type=dir;modify=20261206073500;perm=el; sub pasta", true, true, "sub pasta", true},
        {"Type=DIR;x=y; Z", true, true, "Z", true},
        {"type=file;size=3;modify=20261206073500; PED 4.txt", true, true, "PED 4.txt", false, 3},
        {"Size=0;Type=File; vazio.txt", true, true, "vazio.txt", false, 0},
        {"type=file;modify=20261206073500; sem tamanho.txt", true, true, "sem tamanho.txt", false},
        {"type=file;size=-3; negativo.txt", true, true, "negativo.txt", false},
        {"type=OS.unix=slink:/x;size=3; elo", true, true, "elo", false},
        {"size=3", true, false, "", false},
    };
    for (const Case& c : cases) {
        bool ok = false;
        const FtpListEntry e = parsed(QString::fromUtf8(c.line), c.mlsd, &ok);
        EXPECT_EQ(ok, c.ok) << c.line;
        if (ok && c.ok) {
            EXPECT_EQ(e.name, QString::fromUtf8(c.name)) << c.line;
            EXPECT_EQ(e.folder, c.folder) << c.line;
            EXPECT_EQ(e.size, c.size) << c.line;
        }
    }
}

TEST(FtpListing, DirAnswerAndServerText)
{
    const QString list = "total 8\r\n"
                         "drwxr-xr-x 2 u g 4096 Mar 10 12:00 .\r\n"
                         "drwxr-xr-x 2 u g 4096 Mar 10 12:00 ..\n"
                         "drwxr-xr-x 2 u g 4096 Mar 10 12:00 pedidos\r\n"
                         "-rw-r--r-- 1 u g 9 Mar 10 12:00 a.txt";
    EXPECT_EQ(composeDirAnswer(parseListing(list, false)), "./\r\n../\r\npedidos/\r\na.txt\r\n");
    // The answer starts with ./ and ../ also for an empty folder.
    EXPECT_EQ(composeDirAnswer(parseListing(QString(), true)), "./\r\n../\r\n");

    bool latin1 = false;
    EXPECT_EQ(decodeServerText("PEDI\xc7\xc3O.txt", &latin1), QString::fromUtf8("PEDIÇÃO.txt"));
    EXPECT_TRUE(latin1);
    EXPECT_EQ(decodeServerText("PEDI\xc3\x87\xc3\x83O.txt", &latin1), QString::fromUtf8("PEDIÇÃO.txt"));
    EXPECT_FALSE(latin1);
}

TEST(FtpPaths, AddressesPathsAndUrls)
{
    auto a = parseFtpServerAddress(" ftp.loja.com.br ");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "ftp.loja.com.br");
    EXPECT_EQ(a->port, 21);
    EXPECT_FALSE(a->tls);
    a = parseFtpServerAddress("FTP://127.0.0.1:2121/");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->baseUrl(), "ftp://127.0.0.1:2121");
    a = parseFtpServerAddress("ftps://loja");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->tls);
    EXPECT_EQ(a->baseUrl(), "ftp://loja:21");
    a = parseFtpServerAddress("[::1]:2121");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->baseUrl(), "ftp://[::1]:2121");
    a = parseFtpServerAddress("SFTP://loja/");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->sftp && !a->tls);
    EXPECT_EQ(a->baseUrl(), "sftp://loja:22");
    EXPECT_EQ(parseFtpServerAddress("sftp://127.0.0.1:2222")->port, 2222);
    for (const char* bad : {"", "  ", "ftp://", "ftp://h/pasta", "h:0", "h:65536", "h:2x", "h:", "scp://h",
                            "usuario@h", "a b", "[::1", "[zz]:21", "h?x"})
        EXPECT_FALSE(parseFtpServerAddress(QString::fromUtf8(bad))) << bad;

    EXPECT_EQ(resolveRemotePath("/a/b", ".."), "/a");
    EXPECT_EQ(resolveRemotePath("/", ".."), "/");
    EXPECT_EQ(resolveRemotePath("/a", "b c/./d"), "/a/b c/d");
    EXPECT_EQ(resolveRemotePath("/a", "//x//y/"), "/x/y");
    EXPECT_EQ(remoteParent("/a/b c"), "/a");
    EXPECT_EQ(remoteParent("/a"), "/");
    EXPECT_EQ(remoteLeaf("/a/b c"), "b c");
    EXPECT_EQ(remoteLeaf("/"), "");

    EXPECT_EQ(remoteFolderUrl("ftp://h:21", "/", false), "ftp://h:21/%2F/");
    EXPECT_EQ(remoteFolderUrl("ftp://h:21", "/a b/c", false), "ftp://h:21/%2Fa%20b/c/");
    EXPECT_EQ(remoteFileUrl("ftp://h:21", "/p", "PED#1%?;.txt", false), "ftp://h:21/%2Fp/PED%231%25%3F%3B.txt");
    EXPECT_EQ(remoteFileUrl("ftp://h:21", "/", QString::fromUtf8("ç.txt"), false), "ftp://h:21/%2F/%C3%A7.txt");
    EXPECT_EQ(remoteFileUrl("ftp://h:21", "/", QString::fromUtf8("ç.txt"), true), "ftp://h:21/%2F/%E7.txt");
    // SFTP paths are absolute as they stand; a root folder named "~" is not the login folder.
    EXPECT_EQ(remoteFolderUrl("sftp://h:22", "/", false), "sftp://h:22/");
    EXPECT_EQ(remoteFileUrl("sftp://h:22", "/a b/c", "PED#1.txt", false), "sftp://h:22/a%20b/c/PED%231.txt");
    EXPECT_EQ(remoteFolderUrl("sftp://h:22", "/~/x", false), "sftp://h:22//~/x/");

    EXPECT_EQ(parsePwdReply("257 \"/a \"\"b\"\"\" is the current directory"), "/a \"b\"");
    EXPECT_EQ(parsePwdReply("257 \"/\" is current"), "/");
    EXPECT_EQ(parsePwdReply("257 sem aspas"), "");
}
