// The Firebird adapter against real database files (embedded engine).
#include "import/db/database.h"
#include "support/test_database.h"
#include "support/test_util.h"

using testdb::Charset;
using testdb::FirebirdTestDatabase;

namespace {

QString read(IConnection& c, const QString& select, const char* column = "v")
{
    const auto rs = c.open(select);
    if (rs->eof())
        return "<none>";
    const Field f = rs->field(column);
    return f.isNull() ? "<NULL>" : f.text;
}

// The error of a statement: its SQLCODE and the start of its first line.
QString failure(IConnection& c, const QString& sql)
{
    try {
        c.execute(sql);
    } catch (const Failure& e) {
        return QString::number(e.code()) + " " + e.message().section('\n', 0, 0);
    }
    return "no error";
}

} // namespace

TEST(DbFirebird, TypedFieldsNullsAndScale)
{
    FirebirdTestDatabase db;
    auto c = db.connect();
    const QString row = "select p.prnome, p.prvenda, p.prvolume, p.prcod, cast(-0.05 as numeric(9,2)) as neg, cast('' as varchar(5)) as e, "
                        "cast(-12 as numeric(18,4)) as n4, cast('2015-02-04 14:05:09' as timestamp) as ts, cast('Observação' as "
                        "blob sub_type text) as obs, cast(1.5 as double precision) as dbl from produto p where p.prbarra='7891234000064'";
    const struct {
        const char* column;
        QString value;
    } fields[] = {{"PRNOME", "APONTADOR COM DEPOSITO"}, {"PrVenda", "55.80"}, {"prvolume", "<NULL>"}, {"prcod", "6"}, {"neg", "-0.05"},
                  {"e", ""}, {"n4", "-12.0000"}, {"ts", "2015-02-04 14:05:09"}, {"obs", "Observação"}, {"dbl", "1.5"}};
    for (const auto& f : fields)
        EXPECT_EQ(read(*c, row, f.column), f.value) << f.column;
    EXPECT_EQ(c->open(row)->field("prvenda").kind, Field::Kind::Decimal);
    EXPECT_THROW(c->open(row)->field("nope"), Failure);
    EXPECT_EQ(read(*c, "select max(sacod) as v from saida"), "<NULL>");   // an empty max is NULL, not 0
    EXPECT_EQ(read(*c, "select sacod as v from saida where fkftp='77' "), "<none>");
}

TEST(DbFirebird, CharacterSets)
{
    const QString octets = "select cast(innome as varchar(60) character set octets) as v from interveniente where fktipointerveniente=";
    for (Charset charset : {Charset::None, Charset::Win1252}) {
        // Legacy databases hold Windows-1252 bytes; characters Windows-1252 lacks become "?" and are
        // reported; the five bytes it leaves undefined are never sent.
        FirebirdTestDatabase db(charset);
        auto c = db.connect();
        QStringList warnings;
        c->setWarningHandler([&](const QString& w) { warnings << w; });
        c->execute("insert into interveniente (fktipointerveniente, innome) values ('7','JOÃO AÇÃO €')");
        EXPECT_EQ(read(*c, octets + "7").toLatin1(), "JO\xC3O A\xC7\xC3O \x80");
        EXPECT_EQ(read(*c, "select innome as v from interveniente where innome='JOÃO AÇÃO €'"), "JOÃO AÇÃO €");
        EXPECT_TRUE(warnings.isEmpty());
        c->execute("insert into interveniente (fktipointerveniente, innome) values ('8','ŁÓDŹ 中 A\u0081B')");
        EXPECT_EQ(read(*c, octets + "8").toLatin1(), "?\xD3" "D? ? A?B");
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings[0].contains("Ł") && warnings[0].contains("中")) << warnings[0].toStdString();
    }
    // A UTF-8 database keeps every character; CHAR(n) keeps n characters, not the 4n bytes sent.
    FirebirdTestDatabase db(Charset::Utf8);
    auto c = db.connect();
    c->execute("insert into interveniente (fktipointerveniente, innome) values ('7','JOÃO Łódź 中文 €')");
    EXPECT_EQ(read(*c, octets + "7").toLatin1(), QStringLiteral("JOÃO Łódź 中文 €").toUtf8());
    EXPECT_EQ(read(*c, "select innome as v from interveniente where fktipointerveniente=7"), "JOÃO Łódź 中文 €");
    EXPECT_EQ(read(*c, "select cast('中' as char(2)) as v from rdb$database"), "中 ");
}

TEST(DbFirebird, TransactionsAndErrors)
{
    FirebirdTestDatabase db;
    auto c = db.connect();
    auto other = db.connect();
    const QString count = "select count(*) as v from municipio where mucod < 10";
    c->execute("insert into municipio (mucod, mudesc, uf) values ('1','A','SP')");   // committed at once
    EXPECT_EQ(read(*other, count), "1");

    // Rollback undoes the transaction's work, also after a failing statement.
    c->begin();
    c->execute("insert into municipio (mucod, mudesc, uf) values ('2','B','SP')");
    EXPECT_EQ(read(*other, count), "1");
    EXPECT_EQ(failure(*c, "insert into municipio_x (mucod) values (3)"), "-204 Dynamic SQL Error");
    c->rollback();
    EXPECT_EQ(read(*c, count), "1");
    EXPECT_THROW(c->commit(), Failure);   // nothing open
    c->begin();
    EXPECT_THROW(c->begin(), Failure);
    c->rollback();

    // A commit the database refuses is reported and nothing stays.
    c->execute("create exception no_commit 'recusado'");
    c->execute("create trigger refuse_commit on transaction commit as begin "
               "if (rdb$get_context('USER_TRANSACTION', 'REFUSE') = '1') then exception no_commit; end");
    c->begin();
    c->execute("insert into municipio (mucod, mudesc, uf) values ('3','C','SP')");
    c->open("select rdb$set_context('USER_TRANSACTION', 'REFUSE', '1') as v from rdb$database");
    EXPECT_THROW(c->commit(), Failure);
    EXPECT_FALSE(c->inTransaction());
    EXPECT_EQ(read(*other, count), "1");

    EXPECT_EQ(failure(*c, "insert into municipio (mucod, mudesc, uf) values ('1','A','SP')"),
              "-803 violation of PRIMARY or UNIQUE KEY constraint \"PK_MUNICIPIO\" on table \"MUNICIPIO\"");
}

TEST(DbFirebird, QuotedValuesActAsLiteralsWhateverTheyHold)
{
    FirebirdTestDatabase db;
    auto c = db.connect();
    // Statements of one shape share a prepared statement: the values still go in as written.
    const QStringList values = {"D'Ávila", "", "a?b -- c /* d */", "''"};
    for (int i = 0; i < values.size(); ++i)
        c->execute(QStringLiteral("insert into interveniente (fktipointerveniente, innome) values ('%1','%2')")
                       .arg(10 + i).arg(QString(values[i]).replace("'", "''")));
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(read(*c, QStringLiteral("select innome as v from interveniente where fktipointerveniente='%1'").arg(10 + i)), values[i]);
    EXPECT_EQ(read(*c, "select fktipointerveniente as v from interveniente where innome='D''Ávila'"), "10");

    // Values a parameter cannot take fail or match as literals do.
    const QString municipio = "insert into municipio (mucod, mudesc, uf) values ('%1','A','%2')";
    EXPECT_EQ(failure(*c, municipio.arg("", "SP")), "-413 conversion error from string \"\"");
    EXPECT_EQ(failure(*c, municipio.arg("150,90", "SP")), "-413 conversion error from string \"150,90\"");
    EXPECT_EQ(failure(*c, municipio.arg("1", "SPX")), "-802 arithmetic exception, numeric overflow, or string truncation");
    EXPECT_EQ(read(*c, "select mucod as v from municipio where uf = 'SPX'"), "<none>");
    c->execute(municipio.arg("1", "SP"));

    // More shapes than the connection keeps, each asked twice: each still gives its own answer.
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(read(*c, QStringLiteral("select m%1.mudesc || '%1' as v from municipio m%1 where m%1.mucod = '1'").arg(i % 300)),
                  QStringLiteral("A%1").arg(i % 300)) << i;
}
