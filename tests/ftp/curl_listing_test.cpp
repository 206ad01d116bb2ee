// Listing lines, server addresses and remote paths of the libcurl transfer control.
#include "ftp/listing.h"
#include "ftp/remote_paths.h"
#include "support/test_util.h"

TEST(FtpListing, UnixDosAndMlsdLines)
{
    const struct {
        const char* line;
        bool mlsd;
        const char* name; // null: no entry
        bool folder = false;
        qint64 size = -1;
    } cases[] = {
        {"drwxr-xr-x    2 0        0            4096 Dec 06 07:35 sub dir", false, "sub dir", true},
        {"-rw-r--r--   1 user group  12 Jan  1  2025 PED 1.txt", false, "PED 1.txt", false, 12},
        {"-rw-r--r-- 1 u g 5 Mar 10 12:00 a  b ", false, "a  b ", false, 5},
        {"-rw-r--r-- 1 u g 5 Mar 10 12:00  lead", false, " lead", false, 5},
        {"-rw-r--r-- 1 ftp 12 Mar 10 12:00 sem grupo.txt", false, "sem grupo.txt", false, 12},
        {"-rw-r--r-- 1 u g 5 Mar 10 12:00 Dec 1 2020.txt", false, "Dec 1 2020.txt", false, 5},
        {"-rw-r--r-- 1 u g 8589934592 Mar 10 12:00 grande.bin", false, "grande.bin", false, 8589934592},
        {"lrwxrwxrwx 1 u g 7 Mar 10 12:00 atalho -> /alvo", false, "atalho"}, // the link's own size
        {"drwxr-xr-x 2 u g 4096 Mar 10 12:00 .", false, nullptr},
        {"drwxr-xr-x 2 u g 4096 Mar 10 12:00 ..", false, nullptr},
        {"total 12", false, nullptr},
        {"12-06-26  07:00AM       <DIR>          pasta nova", false, "pasta nova", true},
        {"12-06-26  07:00PM                 1234 PED 3.txt", false, "PED 3.txt", false, 1234},
        {"lixo sem formato", false, nullptr},
        {"type=cdir;modify=20261206073500; .", true, nullptr},
        {"type=pdir;modify=20261206073500; ..", true, nullptr},
        {"Type=DIR;x=y; sub pasta", true, "sub pasta", true},
        {"Size=0;Type=File; vazio.txt", true, "vazio.txt", false, 0},
        {"type=cdir;perm=el; /pedidos", true, nullptr},
        {"type=file;size=-3;modify=20261206073500; negativo.txt", true, "negativo.txt"},
        {"type=OS.unix=slink:/x;size=3; elo", true, "elo"},
        {"size=3", true, nullptr},
    };
    for (const auto& c : cases) {
        FtpListEntry e;
        const bool ok = c.mlsd ? parseMlsdLine(QString::fromUtf8(c.line), &e) : parseListLine(QString::fromUtf8(c.line), &e);
        EXPECT_EQ(ok, c.name != nullptr) << c.line;
        if (ok && c.name) {
            EXPECT_EQ(QStringList({e.name, QString::number(e.folder), QString::number(e.size)}),
                      QStringList({QString::fromUtf8(c.name), QString::number(c.folder), QString::number(c.size)})) << c.line;
        }
    }
    const QByteArray list = "total 8\r\ndrwxr-xr-x 2 u g 4096 Mar 10 12:00 ..\ndrwxr-xr-x 2 u g 4096 Mar 10 12:00 pedidos\r\n"
                            "-rw-r--r-- 1 u g 9 Mar 10 12:00 a.txt";
    EXPECT_EQ(composeDirAnswer(parseListing(list, false)), "./\r\n../\r\npedidos/\r\na.txt\r\n");
    EXPECT_EQ(composeDirAnswer(parseListing(QByteArray(), true)), "./\r\n../\r\n");

    // Each line decoded on its own: one name written by an old Windows tool does not turn the
    // UTF-8 names around it into mojibake.
    const QByteArray mixed = "type=file;size=1; PED 1006 a\xc3\xa7\xc3\xa3o.txt\r\n"
                             "type=file;size=2; PED1031 caf\xe9.txt\r\n"
                             "type=file;size=3; \x80 \x93" "aspas\x94 \x96.txt\r\n"
                             "type=dir; pasta \xc7\r\n"
                             "type=file;size=4; \x81" "x.txt\r\n";
    const QList<FtpListEntry> entries = parseListing(mixed, true);
    ASSERT_EQ(entries.size(), 5);
    const std::pair<QString, bool> decoded[] = {{QString::fromUtf8("PED 1006 ação.txt"), false},
                                                {QString::fromUtf8("PED1031 café.txt"), true},
                                                {QString::fromUtf8("€ “aspas” –.txt"), true},
                                                {QString::fromUtf8("pasta Ç"), true},
                                                {QStringLiteral("\u0081x.txt"), true}};
    for (qsizetype i = 0; i < entries.size(); ++i)
        EXPECT_EQ(std::make_pair(entries[i].name, entries[i].cp1252), decoded[i]) << i;
    // The bytes the names go back to the server with: a byte the code page leaves undefined too.
    EXPECT_EQ(cp1252NameBytes(entries[1].name + entries[4].name), "PED1031 caf\xe9.txt\x81x.txt");
}

TEST(FtpPaths, AddressesAndUrls)
{
    const std::pair<const char*, const char*> addresses[] = {
        {" ftp.loja.com.br ", "ftp://ftp.loja.com.br:21"}, {"FTP://127.0.0.1:2121/", "ftp://127.0.0.1:2121"},
        {"ftps://loja", "ftp://loja:21 tls"}, {"[::1]:2121", "ftp://[::1]:2121"}, {"SFTP://loja/", "sftp://loja:22"},
        {"ftp://h/pasta", ""}, {"h:0", ""}, {"h:65536", ""}, {"h:", ""}, {"scp://h", ""}, {"usuario@h", ""}, {"a b", ""}, {"[::1", ""},
    };
    for (const auto& [typed, url] : addresses) {
        const auto a = parseFtpServerAddress(QString::fromUtf8(typed));
        EXPECT_EQ(a ? a->baseUrl() + (a->tls ? " tls" : "") : "", url) << typed;
    }
    EXPECT_EQ(resolveRemotePath("/a", "b c/./d/.."), "/a/b c");
    EXPECT_EQ(resolveRemotePath("/", ".."), "/");
    EXPECT_EQ(remoteFolderUrl("ftp://h:21", "/a b/c", nameBytesUtf8), "ftp://h:21/%2Fa%20b/c/");
    EXPECT_EQ(remoteFileUrl("ftp://h:21", "/p/PED#1%?;.txt", nameBytesUtf8), "ftp://h:21/%2Fp/PED%231%25%3F%3B.txt");
    // A name goes with the bytes it was listed with, every other one as UTF-8.
    const NameBytes listed = [](const QString& abs) {
        return abs == QString::fromUtf8("/é") ? QByteArray("\xe9") : nameBytesUtf8(abs);
    };
    EXPECT_EQ(remoteFileUrl("ftp://h:21", QString::fromUtf8("/é/ç.txt"), listed), "ftp://h:21/%2F%E9/%C3%A7.txt");
    EXPECT_EQ(encodeRemotePath(QString::fromUtf8("/é/ç"), listed), "/\xe9/\xc3\xa7");
    // SFTP paths are absolute as they stand; a root folder named "~" is not the login folder.
    EXPECT_EQ(remoteFileUrl("sftp://h:22", "/a b/c/PED#1.txt", nameBytesUtf8), "sftp://h:22/a%20b/c/PED%231.txt");
    EXPECT_EQ(remoteFolderUrl("sftp://h:22", "/~/x", nameBytesUtf8), "sftp://h:22//~/x/");
    EXPECT_EQ(parsePwdReply("257 \"/a \"\"b\"\"\" is the current directory"), "/a \"b\"");
}
