// The Firebird adapter against real database files (embedded engine).
#include "import/db/database.h"
#include "import/db/firebird/firebird_connection.h"
#include "support/test_database.h"

#include <QFile>
#include <gtest/gtest.h>

using testdb::Charset;
using testdb::FirebirdTestDatabase;

TEST(DbFirebird, OpensThroughTheConnectionStringAndReadsTypedFields)
{
    FirebirdTestDatabase db;
    auto c = openConnection(db.connectionString());
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->description().contains(db.path()));

    auto rs = c->open(QStringLiteral("select p.prbarra, p.prnome, p.prvenda, p.prvolume, p.prcod, cast(-0.05 as numeric(9,2)) as neg,"
                                     " cast('2015-02-04' as date) as d from produto p where p.prbarra='7891234000064'"));
    ASSERT_FALSE(rs->eof());
    EXPECT_EQ(rs->field(QStringLiteral("PRBARRA")).text, QStringLiteral("7891234000064"));
    EXPECT_EQ(rs->field(QStringLiteral("prnome")).kind, Field::Kind::Text);
    EXPECT_EQ(rs->field(QStringLiteral("prnome")).text, QStringLiteral("APONTADOR COM DEPOSITO"));
    const Field price = rs->field(QStringLiteral("PrVenda"));
    EXPECT_EQ(price.kind, Field::Kind::Decimal);
    EXPECT_EQ(price.text, QStringLiteral("55.80"));
    EXPECT_DOUBLE_EQ(price.toDouble(), 55.8);
    EXPECT_TRUE(rs->field(QStringLiteral("prvolume")).isNull());
    EXPECT_EQ(rs->field(QStringLiteral("prcod")).kind, Field::Kind::Integer);
    EXPECT_EQ(rs->field(QStringLiteral("prcod")).text, QStringLiteral("6"));
    EXPECT_EQ(rs->field(QStringLiteral("neg")).text, QStringLiteral("-0.05"));
    EXPECT_EQ(rs->field(QStringLiteral("d")).text, QStringLiteral("2015-02-04"));
    EXPECT_THROW(rs->field(QStringLiteral("nope")), DatabaseError);

    auto other = c->open(QStringLiteral("select cast('Observação' as blob sub_type text) as obs, cast('2015-02-04 14:05:09' as timestamp) as ts,"
                                        " cast(12345678901234 as bigint) as big, cast(1.5 as double precision) as dbl,"
                                        " cast(-12 as numeric(18,4)) as n4 from rdb$database"));
    EXPECT_EQ(other->field(QStringLiteral("obs")).text, QStringLiteral("Observação"));
    EXPECT_EQ(other->field(QStringLiteral("ts")).text, QStringLiteral("2015-02-04 14:05:09"));
    EXPECT_EQ(other->field(QStringLiteral("big")).text, QStringLiteral("12345678901234"));
    EXPECT_EQ(other->field(QStringLiteral("dbl")).text, QStringLiteral("1.5"));
    EXPECT_EQ(other->field(QStringLiteral("n4")).text, QStringLiteral("-12.0000"));

    auto none = c->open(QStringLiteral("select sacod from saida where fkftp='77' "));
    EXPECT_TRUE(none->eof());
    EXPECT_THROW(none->field(QStringLiteral("sacod")), DatabaseError);
    // An empty max() is NULL, not 0.
    auto max = c->open(QStringLiteral("select max(sacod) as sacod from saida"));
    ASSERT_FALSE(max->eof());
    EXPECT_TRUE(max->field(QStringLiteral("SACOD")).isNull());
}

namespace {
QByteArray octets(IConnection& c, const QString& where)
{
    // The bytes as stored, one character per byte.
    auto rs = c.open(QStringLiteral("select cast(innome as varchar(60) character set octets) as raw from interveniente where ") + where);
    return rs->eof() ? QByteArray("<no row>") : rs->field(QStringLiteral("raw")).text.toLatin1();
}
QString name(IConnection& c, const QString& where)
{
    auto rs = c.open(QStringLiteral("select innome from interveniente where ") + where);
    return rs->eof() ? QStringLiteral("<no row>") : rs->field(QStringLiteral("innome")).text;
}
} // namespace

TEST(DbFirebird, LegacyDatabasesStoreWindows1252Bytes)
{
    for (Charset charset : {Charset::None, Charset::Win1252}) {
        FirebirdTestDatabase db({charset, false});
        auto c = db.connect();
        QStringList warnings;
        c->setWarningHandler([&](const QString& w) { warnings << w; });
        c->execute(QStringLiteral("insert into interveniente (fktipointerveniente, innome) values ('2','JOÃO AÇÃO €')"));
        EXPECT_EQ(octets(*c, QStringLiteral("fktipointerveniente=2")), QByteArray("JO\xC3O A\xC7\xC3O \x80"));
        EXPECT_EQ(name(*c, QStringLiteral("fktipointerveniente=2")), QStringLiteral("JOÃO AÇÃO €"));
        // Found again by a select whose text carries the same accents.
        EXPECT_EQ(name(*c, QStringLiteral("innome='JOÃO AÇÃO €'")), QStringLiteral("JOÃO AÇÃO €"));
        EXPECT_TRUE(warnings.isEmpty());

        // Characters Windows-1252 lacks become "?" and are reported; the statement still runs.
        c->execute(QStringLiteral("insert into interveniente (fktipointerveniente, innome) values ('3','ŁÓDŹ 中 X')"));
        EXPECT_EQ(name(*c, QStringLiteral("fktipointerveniente=3")), QStringLiteral("?ÓD? ? X"));
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings[0].contains(QStringLiteral("Ł")) && warnings[0].contains(QStringLiteral("中")))
            << warnings[0].toStdString();
        // The five bytes Windows-1252 leaves undefined are never sent.
        c->execute(QStringLiteral("insert into interveniente (fktipointerveniente, innome) values ('4','A\u0081B\u009DC')"));
        EXPECT_EQ(octets(*c, QStringLiteral("fktipointerveniente=4")), QByteArray("A?B?C"));
        EXPECT_EQ(warnings.size(), 2);
    }
    // isql reading the NONE database as raw bytes agrees.
    FirebirdTestDatabase db({Charset::None, false});
    db.connect()->execute(QStringLiteral("insert into interveniente (fktipointerveniente, innome) values (2,'JOÃO')"));
    const QString out = db.isql(QStringLiteral("select cast(innome as varchar(10) character set octets) from interveniente;\n"),
                                QStringLiteral("NONE"));
    EXPECT_TRUE(out.contains(QStringLiteral("4A4FC34F"))) << out.toStdString();
}

TEST(DbFirebird, Utf8DatabaseRoundTripsEveryCharacter)
{
    FirebirdTestDatabase db({Charset::Utf8, false});
    auto c = db.connect();
    QStringList warnings;
    c->setWarningHandler([&](const QString& w) { warnings << w; });
    const QString text = QStringLiteral("JOÃO Łódź 中文 €");
    c->execute(QStringLiteral("insert into interveniente (fktipointerveniente, innome, inuf) values ('2','%1','SP')").arg(text));
    EXPECT_EQ(name(*c, QStringLiteral("fktipointerveniente=2")), text);
    EXPECT_EQ(octets(*c, QStringLiteral("fktipointerveniente=2")), text.toUtf8());
    EXPECT_TRUE(warnings.isEmpty());
    // CHAR(n) keeps n characters, not the 4n bytes the client gets.
    auto rs = c->open(QStringLiteral("select cast('SP' as char(4)) as uf, cast('中' as char(2)) as z from rdb$database"));
    EXPECT_EQ(rs->field(QStringLiteral("uf")).text, QStringLiteral("SP  "));
    EXPECT_EQ(rs->field(QStringLiteral("z")).text, QStringLiteral("中 "));
}

TEST(DbFirebird, TransactionsAndErrors)
{
    FirebirdTestDatabase db({Charset::Win1252, false});
    auto c = db.connect();
    auto other = db.connect();
    auto count = [](IConnection& conn) {
        return conn.open(QStringLiteral("select count(*) as n from municipio"))->field(QStringLiteral("n")).text;
    };

    // Outside a transaction each statement is committed at once: another connection sees it.
    c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('1','A','SP')"));
    EXPECT_EQ(count(*other), QStringLiteral("1"));

    // Rollback undoes the earlier work of the transaction, also after a failing statement.
    c->begin();
    EXPECT_TRUE(c->inTransaction());
    c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('2','B','SP')"));
    EXPECT_EQ(count(*c), QStringLiteral("2"));
    EXPECT_EQ(count(*other), QStringLiteral("1"));
    try {
        c->execute(QStringLiteral("insert into municipio_x (mucod) values (3)"));
        ADD_FAILURE() << "no error for an unknown table";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.code(), -204);
        EXPECT_TRUE(e.message().contains(QLatin1String("Table unknown"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QLatin1String("MUNICIPIO_X"))) << e.message().toStdString();
    }
    EXPECT_TRUE(c->inTransaction());
    c->rollback();
    EXPECT_FALSE(c->inTransaction());
    EXPECT_EQ(count(*c), QStringLiteral("1"));

    c->begin();
    c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('2','B','SP')"));
    c->commit();
    EXPECT_EQ(count(*other), QStringLiteral("2"));
    EXPECT_THROW(c->commit(), DatabaseError);   // nothing open
    c->rollback();                               // harmless
    c->begin();
    EXPECT_THROW(c->begin(), DatabaseError);
    c->rollback();

    // Errors of implicit transactions: the text and SQLCODE of the server; nothing stays.
    try {
        c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('3','C','SPX')"));
        ADD_FAILURE() << "no error for a too long value";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.code(), -802);
        EXPECT_TRUE(e.message().contains(QLatin1String("string right truncation"))) << e.message().toStdString();
    }
    try {
        c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('1','A','SP')"));
        ADD_FAILURE() << "no error for a duplicate key";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.code(), -803);
        EXPECT_TRUE(e.message().contains(QLatin1String("PRIMARY or UNIQUE KEY"))) << e.message().toStdString();
    }
    EXPECT_THROW(c->open(QStringLiteral("select nothing from municipio")), DatabaseError);
    EXPECT_THROW(c->execute(QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('150,90','X','SP')")), DatabaseError);
    EXPECT_EQ(count(*c), QStringLiteral("2"));
    EXPECT_FALSE(c->inTransaction());
}

TEST(DbFirebird, ValuesBetweenQuotesActAsLiteralsWhateverTheyHold)
{
    FirebirdTestDatabase db({Charset::Win1252, false});
    auto c = db.connect();
    QStringList warnings;
    c->setWarningHandler([&](const QString& w) { warnings << w; });
    // One statement shape, values that would break a naive splitter; read back through one shape too.
    const QStringList values = {QStringLiteral("D'Ávila"), QString(), QStringLiteral("a?b -- c /* d */"),
                                QStringLiteral("''"), QStringLiteral("\"x\" Łx")};
    for (int i = 0; i < values.size(); ++i) {
        QString quoted = values[i];
        quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
        c->execute(QStringLiteral("insert into interveniente (fktipointerveniente, innome, inuf) values ('%1','%2','SP')")
                       .arg(10 + i).arg(quoted));
    }
    for (int i = 0; i < values.size(); ++i) {
        auto rs = c->open(QStringLiteral("select innome, inuf from interveniente where fktipointerveniente='%1'").arg(10 + i));
        ASSERT_FALSE(rs->eof()) << i;
        const QString expected = i == 4 ? QStringLiteral("\"x\" ?x") : values[i];
        EXPECT_EQ(rs->field(QStringLiteral("innome")).text, expected);
        EXPECT_FALSE(rs->field(QStringLiteral("innome")).isNull()) << "'' is an empty text, not NULL";
        EXPECT_EQ(rs->field(QStringLiteral("inuf")).text, QStringLiteral("SP"));
    }
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_EQ(name(*c, QStringLiteral("innome='D''Ávila' and inuf='SP'")), QStringLiteral("D'Ávila"));
    EXPECT_EQ(name(*c, QStringLiteral("innome='a?b -- c /* d */' and fktipointerveniente=12")), values[2]);
    EXPECT_EQ(name(*c, QStringLiteral("innome='D''Ávila' and inuf='RJ'")), QStringLiteral("<no row>"));
    // Literals where a parameter cannot stand, and quoted names holding apostrophes; the DDL in
    // between lets go of the statements kept on the table.
    auto rs = c->open(QStringLiteral("select 'a''b' as v, cast('150.90' as numeric(15,2)) as n from rdb$database"));
    EXPECT_EQ(rs->field(QStringLiteral("v")).text, QStringLiteral("a'b"));
    EXPECT_EQ(rs->field(QStringLiteral("n")).text, QStringLiteral("150.90"));
    c->execute(QStringLiteral("create table \"T'X\" (\"A'B\" varchar(10))"));
    c->execute(QStringLiteral("insert into \"T'X\" (\"A'B\") values ('v''1')"));
    EXPECT_EQ(c->open(QStringLiteral("select \"A'B\" as v from \"T'X\" where \"A'B\" = 'v''1'"))->field(QStringLiteral("v")).text,
              QStringLiteral("v'1"));
    c->execute(QStringLiteral("drop table \"T'X\""));

    // The conversions and their errors stay those of literals, and a failing shape works again.
    auto fails = [&](const QString& sql, const char* text, int code) {
        try {
            c->execute(sql);
            ADD_FAILURE() << "no error for " << sql.toStdString();
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.code(), code) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QLatin1String(text))) << e.message().toStdString();
        }
    };
    const QString municipio = QStringLiteral("insert into municipio (mucod, mudesc, uf) values ('%1','%2','%3')");
    fails(municipio.arg(QString(), QStringLiteral("A"), QStringLiteral("SP")), "conversion error", -413);
    fails(municipio.arg(QStringLiteral("150,90"), QStringLiteral("A"), QStringLiteral("SP")), "conversion error", -413);
    fails(municipio.arg(QStringLiteral("1"), QStringLiteral("A"), QStringLiteral("SPX")), "string right truncation", -802);
    EXPECT_THROW(c->open(QStringLiteral("select cast('150,90' as numeric(15,2)) as n from rdb$database")), DatabaseError);
    c->execute(municipio.arg(QStringLiteral("0"), QStringLiteral("A"), QStringLiteral("SP")));
    c->execute(municipio.arg(QStringLiteral("1"), QStringLiteral("B''"), QStringLiteral("RJ")));
    EXPECT_EQ(c->open(QStringLiteral("select count(*) as n from municipio"))->field(QStringLiteral("n")).text, QStringLiteral("2"));
    // Longer than the column: no such row, not an error.
    EXPECT_TRUE(c->open(QStringLiteral("select mucod from municipio where uf = 'SPX'"))->eof());
    EXPECT_FALSE(c->open(QStringLiteral("select mucod from municipio where uf = 'SP'"))->eof());

    // More shapes than the connection keeps: each still gives its own answer.
    for (int i = 0; i < 300; ++i) {
        const QString sql = QStringLiteral("select mudesc from municipio where mucod = '%1' and %2 = %2").arg(i % 2).arg(i);
        EXPECT_EQ(c->open(sql)->field(QStringLiteral("mudesc")).text, i % 2 ? QStringLiteral("B'") : QStringLiteral("A"));
    }
}

TEST(DbFirebird, OpenFailuresNameTheCause)
{
    try {
        openConnection(QStringLiteral("driver={Firebird/InterBase(r) driver};server=;uid=SYSDBA;Pwd=x;database=/nonexistent/erp.fdb"));
        ADD_FAILURE() << "opened a missing file";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("/nonexistent/erp.fdb"))) << e.message().toStdString();
    }
    // The string of a missing Zelto.ini carries no database at all.
    EXPECT_THROW(openConnection(QStringLiteral("driver={Firebird/InterBase(r) driver};server=;uid=;Pwd=;database=")), DatabaseError);
}

TEST(DbFirebird, ConnectionStringValuesInBracesSurvive)
{
    FirebirdTestDatabase db({Charset::Win1252, false});
    ZeltoSettings s = db.settings();
    s.password = QStringLiteral("se;nha}{x");
    const QString text = buildConnectionString(s);
    EXPECT_EQ(text, QStringLiteral("driver={Firebird/InterBase(r) driver};server=;uid=SYSDBA;Pwd={se;nha}}{x};database=") + db.path());
    const auto values = parseConnectionString(text);
    EXPECT_EQ(values.value(QStringLiteral("pwd")), s.password);
    EXPECT_EQ(values.value(QStringLiteral("database")), db.path());
    EXPECT_EQ(values.value(QStringLiteral("driver")), QStringLiteral("Firebird/InterBase(r) driver"));
    EXPECT_EQ(values.value(QStringLiteral("server")), QString());
    // The string opens the right file (the password does not cut it).
    auto c = openConnection(text);
    EXPECT_TRUE(c->description().contains(db.path()));
    // A database path holding ";" too.
    s.databasePath = db.folder() + QStringLiteral("/a;b.fdb");
    QFile::copy(db.path(), s.databasePath);
    EXPECT_TRUE(openConnection(buildConnectionString(s))->description().contains(QStringLiteral("a;b.fdb")));
}
