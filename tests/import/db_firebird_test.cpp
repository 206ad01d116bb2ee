// The Firebird adapter against real database files (embedded engine).
#include "import/database.h"
#include "import/firebird_connection.h"
#include "support/test_database.h"

#include <QElapsedTimer>
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

    auto none = c->open(QStringLiteral("select sacod from saida where fkftp='77' "));
    EXPECT_TRUE(none->eof());
    EXPECT_THROW(none->field(QStringLiteral("sacod")), DatabaseError);
    // An empty max() is NULL, not 0.
    auto max = c->open(QStringLiteral("select max(sacod) as sacod from saida"));
    ASSERT_FALSE(max->eof());
    EXPECT_TRUE(max->field(QStringLiteral("SACOD")).isNull());
}
