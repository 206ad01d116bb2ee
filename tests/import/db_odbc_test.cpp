// The ODBC path: connection strings routed to unixODBC, here with the SQLite driver registered
// under the ERP's driver names in a private driver list.
#include "import/db/database.h"
#include "import/erp_session.h"
#include "support/test_database.h"
#include "support/test_util.h"

#include <QDir>

TEST(DbOdbc, SessionOnTheSqlServerStringWithTheDefaultDatabaseName)
{
    // BANCO missing: the database is "ZELTOCONTROLLER", which the SQLite driver opens in the
    // current folder.
    testdb::SqliteOdbcDatabase db;
    QTemporaryDir work;
    ASSERT_TRUE(QFile::copy(db.path(), work.filePath("ZELTOCONTROLLER")));
    ZeltoSettings z = db.settings();
    z.databaseName.clear();
    testdb::writeZeltoIni(work.path(), z);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    ImportState state;
    state.sellerCode = "2";
    RecordingReport report;
    bool opened = false;
    try {
        opened = ABRE_BANCO(state, work.path(), report);
    } catch (const Failure& e) {
        ADD_FAILURE() << e.message().toStdString();
    }
    QDir::setCurrent(previous);
    ASSERT_TRUE(opened) << report.criticals.join('\n').toStdString();
    EXPECT_TRUE(state.connection->description().startsWith("ODBC"));
    EXPECT_EQ(state.movementType, 3);
    EXPECT_EQ(state.paymentMethod->text, "1");

    // Transactions: rolled back, committed.
    IConnection& c = *state.connection;
    const QString count = "select count(*) as n from municipio where mucod < 10";
    c.begin();
    c.execute("insert into municipio (mucod, mudesc, uf) values ('1','A','SP')");
    c.rollback();
    c.begin();
    c.execute("insert into municipio (mucod, mudesc, uf) values ('2','B','SP')");
    c.commit();
    EXPECT_EQ(c.open(count)->field("n").text, "1");
}

TEST(DbOdbc, FirebirdDriverNameGoesToOdbcOnlyWhenRegistered)
{
    testdb::SqliteOdbcDatabase db;
    const QString firebird = "driver={Firebird/InterBase(r) driver};server=;uid=SYSDBA;Pwd=x;database=" + db.path();
    EXPECT_THROW(openConnection(firebird), Failure);   // our Firebird adapter refuses a SQLite file
    testdb::registerOdbcDrivers({"SQl Server", "Firebird/InterBase(r) driver"});
    try {
        EXPECT_TRUE(openConnection(firebird)->description().startsWith("ODBC"));
    } catch (const Failure& e) {
        ADD_FAILURE() << e.message().toStdString();
    }
    testdb::registerOdbcDrivers();
}
