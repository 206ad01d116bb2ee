// The ODBC path: the "SQl Server" string through unixODBC, here with the SQLite driver
// registered under that name in a private driver list.
#include "import/db/database.h"
#include "import/db/odbc/odbc_connection.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

using testdb::SqliteOdbcDatabase;

TEST(DbOdbc, SqlServerStringOpensThroughOdbc)
{
    SqliteOdbcDatabase db;
    EXPECT_EQ(db.connectionString(),
              QStringLiteral("driver={SQl Server};server=127.0.0.1;uid=sa;Pwd=segredo;database=") + db.path());
    auto c = openConnection(db.connectionString());
    EXPECT_TRUE(c->description().startsWith(QLatin1String("ODBC"))) << c->description().toStdString();

    auto rs = c->open(QStringLiteral("SELECT P.ICMSSIMPLES,I.INUF,P.SAFKTPPAG,P.TABELACAIXA,P.TIPOSAIDA FROM PARAM P INNER JOIN "
                                     "INTERVENIENTE I ON (I.INCOD=P.FKINCOD) WHERE I.FKTIPOINTERVENIENTE=5"));
    ASSERT_FALSE(rs->eof());
    EXPECT_EQ(rs->field(QStringLiteral("inuf")).text, QStringLiteral("SP"));
    EXPECT_TRUE(rs->field(QStringLiteral("icmssimples")).isNull());
    EXPECT_EQ(rs->field(QStringLiteral("SAFKTPPAG")).toDouble(), 1);
    EXPECT_EQ(rs->field(QStringLiteral("tiposaida")).text, QStringLiteral("ORCAMENTO"));
    EXPECT_TRUE(c->open(QStringLiteral("select sacod from saida where fkftp='77' "))->eof());
    EXPECT_THROW(c->open(QStringLiteral("select x from no_such_table")), DatabaseError);
}

TEST(DbOdbc, TransactionsCommitAndRollBack)
{
    SqliteOdbcDatabase db(false);
    auto c = db.connect();
    auto count = [&] { return c->open(QStringLiteral("select count(*) as n from municipio"))->field(QStringLiteral("N")).text; };
    c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('1','A','SP')"));
    c->begin();
    c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('2','B','SP')"));
    EXPECT_THROW(c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('1','A','SP')")), DatabaseError);
    c->rollback();
    EXPECT_EQ(count(), QStringLiteral("1"));
    c->begin();
    c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('2','B','SP')"));
    c->commit();
    // A second connection sees the committed rows.
    EXPECT_EQ(db.connect()->open(QStringLiteral("select count(*) as n from municipio"))->field(QStringLiteral("n")).text,
              QStringLiteral("2"));
}

TEST(DbOdbc, FirebirdDriverNameGoesToOdbcOnlyWhenRegistered)
{
    SqliteOdbcDatabase db(false);
    const QString firebird = QStringLiteral("driver={Firebird/InterBase(r) driver};server=;uid=SYSDBA;Pwd=x;database=") + db.path();
    // Not registered: our Firebird adapter, which refuses a SQLite file.
    EXPECT_FALSE(testdb::registeredOdbcDriversContain(QStringLiteral("Firebird/InterBase(r) driver")));
    EXPECT_THROW(openConnection(firebird), DatabaseError);
    // Registered in unixODBC: that driver gets the string.
    testdb::registerOdbcDrivers({QStringLiteral("SQl Server"), QStringLiteral("Firebird/InterBase(r) driver")});
    try {
        auto c = openConnection(firebird);
        EXPECT_TRUE(c->description().startsWith(QLatin1String("ODBC")));
        EXPECT_FALSE(c->open(QStringLiteral("select count(*) as n from municipio"))->eof());
    } catch (const DatabaseError& e) {
        ADD_FAILURE() << e.message().toStdString();
    }
    testdb::registerOdbcDrivers();
    EXPECT_THROW(openConnection(firebird), DatabaseError);
}

TEST(DbOdbc, UnknownDriverIsAnError)
{
    testdb::setUpOdbc();
    try {
        openConnection(QStringLiteral("driver={Nada};server=x;uid=;Pwd=;database=y"));
        ADD_FAILURE() << "opened with an unknown driver";
    } catch (const DatabaseError& e) {
        EXPECT_FALSE(e.message().isEmpty());
    }
}
