// ABRE_BANCO against real databases: Zelto.ini, the sales parameters and the three checks.
#include "import/erp_session.h"
#include "import/sql_text.h"
#include "support/test_database.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testdb::FirebirdTestDatabase;

namespace {

const QString kCheck1 = QStringLiteral("Entre nos Parâmetros do Sistema e informe na guia VENDAS 1\r\nO campo FORMA PAGTO. P/ MOBILE/FTP:");
const QString kCheck2 = QStringLiteral(
    "Entre nos Parâmetros do Sistema e informe na guia VENDAS 1\r\n"
    "O campo TIPO DE MOVIMENTO P/ INICIO DA TELA PEDIDO DE VENDAS/MOBILE/FTP:\r\n"
    "Deve ser utilizado um Movimento como Orçamento, que não movimente o Estoque.");
const QString kCheck3 = QStringLiteral("Abra o arquivo ftp.ini e informe o código do vendedor na linha VENDEDOR=");

// A database with the sample ERP, its Zelto.ini in an executable folder of its own.
struct Session {
    FirebirdTestDatabase db;
    QTemporaryDir exe;
    ImportState state;
    RecordingReport report;

    Session() { db.writeZeltoIni(exe.path()); state.sellerCode = QStringLiteral("2"); }
    void sql(const QString& statement) { db.connect()->execute(statement); }
    bool open() { return ABRE_BANCO(state, exe.path(), report); }
};

} // namespace

TEST(SessionAbreBanco, LoadsTheSampleParameters)
{
    Session s;
    // The file is found whatever the case of its name.
    QDir(s.exe.path()).rename(QStringLiteral("Zelto.ini"), QStringLiteral("ZELTO.INI"));
    ASSERT_TRUE(s.open());
    EXPECT_TRUE(s.report.criticals.isEmpty());
    ASSERT_TRUE(s.state.connection);
    EXPECT_FALSE(s.state.query);   // closed after the last query
    ASSERT_TRUE(s.state.paymentMethod);
    EXPECT_EQ(s.state.paymentMethod->text, QStringLiteral("1"));
    EXPECT_EQ(s.state.outgoingType, QStringLiteral("ORCAMENTO"));
    EXPECT_EQ(s.state.movementType, 3);
    EXPECT_DOUBLE_EQ(s.state.icmsRate, 0.18);
    EXPECT_EQ(s.state.simplesRate, 0);
    EXPECT_EQ(sql::regionalNumber(s.state.icmsPercent), QStringLiteral("18"));
    // The connection works for the import.
    EXPECT_FALSE(s.state.connection->open(QStringLiteral("select prcod from produto where prbarra='7891234000019'"))->eof());
}

TEST(SessionAbreBanco, TaxRatesFollowTheParameters)
{
    {   // The simplified regime wins over the ICMS table.
        Session s;
        s.sql(QStringLiteral("update param set icmssimples=4"));
        ASSERT_TRUE(s.open());
        EXPECT_DOUBLE_EQ(s.state.simplesRate, 0.04);
        EXPECT_DOUBLE_EQ(s.state.icmsPercent, 4);
        EXPECT_DOUBLE_EQ(s.state.icmsRate, 0.18);
    }
    {   // ICMSSIMPLES 0 is taken but does not replace the state's rate.
        Session s;
        s.sql(QStringLiteral("update param set icmssimples=0"));
        s.sql(QStringLiteral("update icms set icaliquota=7 where icuf='SP'"));
        ASSERT_TRUE(s.open());
        EXPECT_EQ(s.state.simplesRate, 0);
        EXPECT_DOUBLE_EQ(s.state.icmsRate, 0.07);
        EXPECT_EQ(sql::regionalNumber(s.state.icmsPercent), QStringLiteral("7"));
    }
    {   // No usable ICMS row for the company's state: 18 %.
        Session s;
        s.sql(QStringLiteral("delete from icms where icuf='SP'"));
        s.sql(QStringLiteral("insert into icms (icuf, icaliquota) values ('SP', 0)"));
        ASSERT_TRUE(s.open());
        EXPECT_DOUBLE_EQ(s.state.icmsRate, 0.18);
        EXPECT_EQ(sql::regionalNumber(s.state.icmsPercent), QStringLiteral("18"));
    }
    {   // The company's own state; a blank one reads the rate of SP.
        Session s;
        s.sql(QStringLiteral("update interveniente set inuf='RJ' where fktipointerveniente=5"));
        ASSERT_TRUE(s.open());
        EXPECT_EQ(sql::regionalNumber(s.state.icmsPercent), QStringLiteral("20"));
        s.sql(QStringLiteral("update interveniente set inuf=' ' where fktipointerveniente=5"));
        s.sql(QStringLiteral("update icms set icaliquota=17.5 where icuf='SP'"));
        ASSERT_TRUE(s.open());
        EXPECT_EQ(sql::regionalNumber(s.state.icmsPercent), QStringLiteral("17.5"));
    }
}

TEST(SessionAbreBanco, ChecksStopAtTheFirstMissingSetting)
{
    {   // A payment form of 0 is missing; the later checks do not run.
        Session s;
        s.sql(QStringLiteral("update param set safktppag=0, tiposaida='VENDA'"));
        s.state.sellerCode.reset();
        EXPECT_FALSE(s.open());
        EXPECT_EQ(s.report.criticals, QStringList{kCheck1});
    }
    {   // NULL, and no parameter row at all.
        Session s;
        s.sql(QStringLiteral("update param set safktppag=null"));
        EXPECT_FALSE(s.open());
        EXPECT_EQ(s.report.criticals, QStringList{kCheck1});
        s.sql(QStringLiteral("delete from param"));
        ImportState fresh;
        fresh.sellerCode = QStringLiteral("2");
        RecordingReport report;
        EXPECT_FALSE(ABRE_BANCO(fresh, s.exe.path(), report));
        EXPECT_EQ(report.criticals, QStringList{kCheck1});
        EXPECT_EQ(fresh.movementType, 0);
    }
    {   // A movement type that moves stock does not qualify.
        Session s;
        s.sql(QStringLiteral("update param set tiposaida='VENDA'"));
        s.state.sellerCode.reset();
        EXPECT_FALSE(s.open());
        EXPECT_EQ(s.report.criticals, QStringList{kCheck2});
    }
    {   // Nor one of type E.
        Session s;
        s.sql(QStringLiteral("update tipomovimento set tipo='E' where tmdesc='ORCAMENTO'"));
        EXPECT_FALSE(s.open());
        EXPECT_EQ(s.report.criticals, QStringList{kCheck2});
    }
    {   // The seller code: unset and empty are missing, a text "0" is not.
        Session s;
        s.state.sellerCode.reset();
        EXPECT_FALSE(s.open());
        s.state.sellerCode = QString();
        EXPECT_FALSE(s.open());
        EXPECT_EQ(s.report.criticals, (QStringList{kCheck3, kCheck3}));
        s.state.sellerCode = QStringLiteral("0");
        EXPECT_TRUE(s.open());
        EXPECT_EQ(s.report.criticals.size(), 2);
    }
}

TEST(SessionAbreBanco, MovementTypeLookupIsSafeAndChecked)
{
    Session s;
    s.sql(QStringLiteral("insert into tipomovimento (tmdesc, tmestoque, tmfinanceiro, tipo) values ('PEDIDO D''AGUA','NAO','NAO','S')"));
    s.sql(QStringLiteral("update param set tiposaida='  PEDIDO D''AGUA  '"));
    ASSERT_TRUE(s.open());
    EXPECT_EQ(s.state.outgoingType, QStringLiteral("PEDIDO D'AGUA"));
    EXPECT_EQ(s.state.movementType, 5);

    // A code beyond 16 bits is a failure, not a silent wrap.
    s.sql(QStringLiteral("insert into tipomovimento (tmcod, tmdesc, tmestoque, tmfinanceiro, tipo) values (40000,'WEB','NAO','NAO','S')"));
    s.sql(QStringLiteral("update param set tiposaida='WEB'"));
    EXPECT_THROW(s.open(), DatabaseError);
}

TEST(SessionAbreBanco, ConnectionFailuresAreRaised)
{
    {   // No Zelto.ini: the Firebird string carries no database.
        QTemporaryDir exe;
        ImportState state;
        RecordingReport report;
        EXPECT_THROW(ABRE_BANCO(state, exe.path(), report), DatabaseError);
        EXPECT_TRUE(report.criticals.isEmpty());
    }
    {   // The opener receives the string built from Zelto.ini.
        QTemporaryDir exe;
        ZeltoSettings z;
        z.user = QStringLiteral("u");
        z.password = QStringLiteral("p;w");
        z.server = QStringLiteral("srv");
        z.databasePath = QStringLiteral("/ignored.fdb");
        z.connectionType = QStringLiteral("0");
        testdb::writeZeltoIni(exe.path(), z);
        ImportState state;
        RecordingReport report;
        QString seen;
        auto opener = [&](const QString& text) -> std::unique_ptr<IConnection> {
            seen = text;
            throw DatabaseError(QStringLiteral("refused"));
        };
        EXPECT_THROW(ABRE_BANCO(state, exe.path(), report, opener), DatabaseError);
        EXPECT_EQ(seen, QStringLiteral("driver={SQl Server};server=srv;uid=u;Pwd={p;w};database=ZELTOCONTROLLER"));
    }
}

TEST(SessionAbreBanco, OdbcSessionWithTheDefaultDatabaseName)
{
    // BANCO missing: the database is "ZELTOCONTROLLER", which the SQLite driver opens in the
    // current folder.
    testdb::SqliteOdbcDatabase db;
    QTemporaryDir work;
    ASSERT_TRUE(QFile::copy(db.path(), work.filePath(QStringLiteral("ZELTOCONTROLLER"))));
    ZeltoSettings z = db.settings();
    z.databaseName.clear();
    testdb::writeZeltoIni(work.path(), z);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    ImportState state;
    state.sellerCode = QStringLiteral("2");
    RecordingReport report;
    bool opened = false;
    try {
        opened = ABRE_BANCO(state, work.path(), report);
    } catch (const DatabaseError& e) {
        ADD_FAILURE() << e.message().toStdString();
    }
    QDir::setCurrent(previous);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(state.connection && state.connection->description().startsWith(QLatin1String("ODBC")));
    EXPECT_EQ(state.movementType, 3);
    EXPECT_EQ(sql::regionalNumber(state.icmsPercent), QStringLiteral("18"));
}

TEST(SessionConnectionString, BuiltAsTheErpExpects)
{
    ZeltoSettings z;
    z.user = QStringLiteral("SYSDBA");
    z.password = QStringLiteral("masterkey");
    z.databasePath = QStringLiteral("C:\\ZELTO\\DADOS.FDB");
    z.server = QStringLiteral("SRV01");
    z.databaseName = QStringLiteral("LOJA");
    EXPECT_EQ(buildConnectionString(z),
              QStringLiteral("driver={Firebird/InterBase(r) driver};server=;uid=SYSDBA;Pwd=masterkey;database=C:\\ZELTO\\DADOS.FDB"));
    z.connectionType = QStringLiteral("0");   // any text selects SQL Server
    EXPECT_EQ(buildConnectionString(z), QStringLiteral("driver={SQl Server};server=SRV01;uid=SYSDBA;Pwd=masterkey;database=LOJA"));
    z.databaseName.clear();
    EXPECT_EQ(buildConnectionString(z),
              QStringLiteral("driver={SQl Server};server=SRV01;uid=SYSDBA;Pwd=masterkey;database=ZELTOCONTROLLER"));
    z.password = QStringLiteral("a}b");
    EXPECT_EQ(connectionStringValue(z.password), QStringLiteral("{a}}b}"));
    EXPECT_EQ(parseConnectionString(buildConnectionString(z)).value(QStringLiteral("pwd")), QStringLiteral("a}b"));
    EXPECT_EQ(parseConnectionString(QStringLiteral("DRIVER={x};PWD={{a}}};Uid= u ")).value(QStringLiteral("pwd")), QStringLiteral("{a}"));
}
