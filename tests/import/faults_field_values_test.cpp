// Hostile values in every field of an order file, booked through the whole import into a real
// Firebird database: each value is either stored exactly as the field's rule makes it (read back
// and compared) or the order is refused with a message naming the file, and never does a value
// break a statement or reach another row.
#include "core/text_codec.h"
#include "import/import_order.h"
#include "import/erp_session.h"
#include "support/fixed_clock.h"
#include "support/test_database.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Values that have broken SQL built from text, or the code around it.
struct Hostile {
    const char* label;
    QString value;
};

QList<Hostile> hostileValues()
{
    return {
        {"apostrophe", QStringLiteral("d'ajuda")},
        {"two apostrophes", QStringLiteral("a''b")},
        {"closing quote and comment", QStringLiteral("x'); delete from saida; --")},
        {"comment", QStringLiteral("a -- b")},
        {"semicolon", QStringLiteral("a;b")},
        {"double quote", QStringLiteral("a\"b\"")},
        {"NUL byte", QStringLiteral("a") + QChar(0) + QStringLiteral("b")},
        {"10000 chars", QString(10000, QLatin1Char('k'))},
        {"chinese", QStringLiteral("中文")},
        {"emoji", QStringLiteral("ok 😀")},
    };
}

// The ERP's own rows that no order may touch, as one text.
const char* const kFingerprint =
    "select (select list(incod || ':' || coalesce(innome, '') || ':' || coalesce(inendereco, ''), ',') "
    "from interveniente) || '#' || (select list(prcod || ':' || prnome || ':' || prvenda, ',') from produto) "
    "|| '#' || (select count(*) from saida) || '#' || (select count(*) from itemsaida) as v from rdb$database";

QString trimBlanks(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == QLatin1Char(' '))
        ++b;
    while (e > b && s[e - 1] == QLatin1Char(' '))
        --e;
    return s.mid(b, e - b);
}

// What a Windows-1252 database keeps of a text: characters it lacks become "?".
QString asStored(const QString& s, testdb::Charset charset)
{
    if (charset == testdb::Charset::Utf8)
        return s;
    return text::fromCp1252(text::toCp1252(s));
}

QString freeText(const QString& v, int cut) { return trimBlanks(v.toUpper().left(cut)).replace(QLatin1Char('\''), QLatin1Char(' ')); }

// One field of the order file: the line holding the value, and where the value ends up.
struct FieldCase {
    const char* key;
    std::function<QString(const QString&)> line;       // the order file line for a value
    QString select;                                    // one value "v" of the booked order (%1 = order code)
    std::function<QString(const QString&)> expected;   // what the rules store
    bool mustBook;                                     // short hostile values must not be refused
};

QList<FieldCase> fieldCases()
{
    const QString customer = QStringLiteral("select %1 as v from interveniente i join saida s on s.safkinterveniente = i.incod where s.sacod = %2");
    const auto col = [customer](const char* c) { return customer.arg(QLatin1String(c), QStringLiteral("%1")); };
    const QString obs = QStringLiteral("select saobs as v from saida where sacod = %1");
    return {
        {"NomeCliente", [](const QString& v) { return "NomeCliente: " + v + "|resto"; }, col("innome"),
         [](const QString& v) { return freeText(v, 60); }, true},
        {"RazaoSocialCliente", [](const QString& v) { return "RazaoSocialCliente: " + v; }, col("innome"),
         [](const QString& v) { return freeText(v, 60); }, true},
        {"EnderecoCliente", [](const QString& v) { return "EnderecoCliente: " + v; }, col("inendereco"),
         [](const QString& v) { return freeText(v, 60); }, true},
        {"BairroCliente", [](const QString& v) { return "BairroCliente: " + v; }, col("inbairro"),
         [](const QString& v) { return freeText(v, 60); }, true},
        {"ComplementoCliente", [](const QString& v) { return "ComplementoCliente: " + v; }, col("incomplemento"),
         [](const QString& v) { return freeText(v, 60); }, true},
        {"CidadeCliente", [](const QString& v) { return "CidadeCliente: " + v; }, col("inmunicipio"),
         [](const QString& v) { return freeText(v, 60); }, true},
        {"EmailCliente", [](const QString& v) { return "EmailCliente: " + v; }, col("inemailnfe"),
         [](const QString& v) { return trimBlanks(v.toLower().left(100)).replace(QLatin1Char('\''), QLatin1Char(' ')); }, true},
        {"TelefoneCliente", [](const QString& v) { return "TelefoneCliente: " + v; }, col("infone"),
         [](const QString& v) { return trimBlanks(v.left(13)).replace(QLatin1Char('\''), QLatin1Char(' ')); }, true},
        {"RgCliente", [](const QString& v) { return "RgCliente: " + v; }, col("inrg"), [](const QString& v) { return v; }, false},
        {"IECliente", [](const QString& v) { return "IECliente: " + v; }, col("ininscricao"),
         [](const QString& v) { return trimBlanks(v); }, false},
        {"EstadoCliente", [](const QString& v) { return "EstadoCliente: " + v; }, col("inuf"),
         [](const QString& v) { return trimBlanks(v.left(2).toUpper()); }, false},
        {"CepCliente", [](const QString& v) { return "CepCliente: " + v; }, col("incep"),
         [](const QString& v) { return trimBlanks(v.left(9)); }, false},
        {"FreteEscolhido", [](const QString& v) { return "FreteEscolhido: " + v; }, obs,
         [](const QString& v) { return trimBlanks(v).toUpper() + " - CODIGO ENVIO: BR1"; }, false},
        {"CodigoEnvio", [](const QString& v) { return "CodigoEnvio: " + v; }, obs,
         [](const QString& v) { return "SEDEX - CODIGO ENVIO: " + trimBlanks(v); }, false},
        {"ValorPedido", [](const QString& v) { return "ValorPedido: " + v; },
         QStringLiteral("select savrpago as v from saida where sacod = %1"), [](const QString& v) { return trimBlanks(v); }, false},
        {"SubTotalProdutos", [](const QString& v) { return "SubTotalProdutos: " + v; },
         QStringLiteral("select savrtotal as v from saida where sacod = %1"), [](const QString& v) { return trimBlanks(v); }, false},
        {"Valor Frete", [](const QString& v) { return "Valor Frete: " + v; },
         QStringLiteral("select vrfrete as v from saida where sacod = %1"), [](const QString& v) { return trimBlanks(v); }, false},
        // Item fields: a barcode nobody sells is noted on the order, never booked as an item.
        {"ProdutoVendido barcode", [](const QString& v) { return "ProdutoVendido: " + v + "|caneta|1,50|1|1,50|0|"; },
         QStringLiteral("select count(*) as v from itemsaida where itfksacod = %1"), [](const QString&) { return QStringLiteral("1"); }, false},
        {"ProdutoVendido name", [](const QString& v) { return "ProdutoVendido: 7891234000019|" + v + "|1,50|1|1,50|0|"; },
         QStringLiteral("select count(*) as v from itemsaida where itfksacod = %1"), [](const QString&) { return QStringLiteral("2"); }, true},
        {"ProdutoVendido price", [](const QString& v) { return "ProdutoVendido: 7891234000019|caneta|" + v + "|1|1,50|0|"; },
         QStringLiteral("select count(*) as v from itemsaida where itfksacod = %1"), [](const QString&) { return QStringLiteral("2"); }, false},
    };
}

QStringList baseOrder()
{
    return {
        QStringLiteral("NumeroPedido: 900"),
        QStringLiteral("DataPedido: 2015-02-04 10:31:00"),
        QStringLiteral("NomeCliente: Maria Base|x"),
        QStringLiteral("CpfCliente: 111444777-35"),
        QStringLiteral("EnderecoCliente: Rua Base"),
        QStringLiteral("CidadeCliente: sao paulo"),
        QStringLiteral("EstadoCliente: sp"),
        QStringLiteral("FreteEscolhido: sedex"),
        QStringLiteral("CodigoEnvio: BR1"),
        QStringLiteral("ValorPedido: 10,00"),
        QStringLiteral("ProdutoVendido: 7891234000040|lapis|2,00|1|2,00|0|"),
    };
}

struct Outcome {
    bool booked = false;
    QString stored;
    QString error;
};

// Imports the base order with `line` added (its key line replacing the base one, if any) into a
// fresh database and reads back what was stored; checks that the ERP's other rows stayed as
// they were.
Outcome importWith(const FieldCase& field, const QString& value, testdb::Charset charset)
{
    testdb::FirebirdTestDatabase db({charset, true});
    db.writeZeltoIni(db.folder());
    ImportState state;
    state.sellerCode = QStringLiteral("2");
    RecordingReport report;
    FixedClock clock;
    EXPECT_TRUE(ABRE_BANCO(state, db.folder(), report)) << report.criticals.join('\n').toStdString();
    auto probe = db.connect();
    const QString before = probe->open(QString::fromLatin1(kFingerprint))->field(QStringLiteral("v")).text;

    QStringList lines = baseOrder();
    const QString key = QString::fromLatin1(field.key).section(QLatin1Char(' '), 0, 0) == QLatin1String("ProdutoVendido")
                            ? QString()
                            : QString::fromLatin1(field.key);
    if (!key.isEmpty())
        lines.removeIf([&](const QString& l) { return l.startsWith(key + QLatin1Char(':')); });
    lines << field.line(value);
    const QString path = QDir(db.folder()).filePath(QStringLiteral("PED900.txt"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    f.close();

    Outcome out;
    try {
        const ImportResult r = IMPORTA_ZELTO(path, state, clock, report);
        EXPECT_NE(r.outcome, ImportOutcome::NotBooked);
        EXPECT_NE(r.outcome, ImportOutcome::AlreadyBooked);
        out.booked = true;
    } catch (const ImportError& e) {
        out.error = e.message();
    }
    EXPECT_FALSE(state.connection->inTransaction());

    const auto after = probe->open(QString::fromLatin1(kFingerprint))->field(QStringLiteral("v")).text;
    const auto orders = probe->open(QStringLiteral("select count(*) as v, max(sacod) as c from saida where fkftp = 900"));
    const int booked = orders->field(QStringLiteral("v")).text.toInt();
    if (!out.booked) {
        // Refused: nothing of the order, nothing else changed.
        EXPECT_EQ(booked, 0);
        EXPECT_EQ(after, before);
        return out;
    }
    EXPECT_EQ(booked, 1);
    const QString code = orders->field(QStringLiteral("c")).text;
    // The sample rows are the same; only the new order (and its customer) were added.
    const QString sampleCustomersBefore = before.section(QLatin1Char('#'), 1, 1);
    EXPECT_EQ(after.section(QLatin1Char('#'), 1, 1), sampleCustomersBefore) << "products changed";
    for (const QString& row : before.section(QLatin1Char('#'), 0, 0).split(QLatin1Char(',')))
        EXPECT_TRUE(after.section(QLatin1Char('#'), 0, 0).split(QLatin1Char(',')).contains(row)) << "customer row changed: " << row.toStdString();
    EXPECT_EQ(after.section(QLatin1Char('#'), 2, 2).toInt(), before.section(QLatin1Char('#'), 2, 2).toInt() + 1);
    auto rs = probe->open(field.select.arg(code));
    out.stored = rs->eof() ? QStringLiteral("<no row>") : rs->field(QStringLiteral("v")).text.trimmed();
    return out;
}

void checkField(const FieldCase& field, testdb::Charset charset, const QList<Hostile>& values)
{
    for (const Hostile& h : values) {
        SCOPED_TRACE(std::string(field.key) + " / " + h.label);
        const Outcome o = importWith(field, h.value, charset);
        if (o.booked) {
            EXPECT_EQ(o.stored, asStored(field.expected(h.value), charset).trimmed());
        } else {
            EXPECT_TRUE(o.error.startsWith(QStringLiteral("PED900.txt"))) << o.error.toStdString();
            const bool shortAscii = h.value.size() < 50 && !h.value.contains(QChar(0)) && text::fitsCp1252(h.value);
            EXPECT_FALSE(field.mustBook && shortAscii) << "refused: " << o.error.toStdString();
        }
    }
}

} // namespace

TEST(FaultsFieldValues, CustomerFieldsStoreHostileTextExactlyOrRefuseTheOrder)
{
    const QList<FieldCase> fields = fieldCases();
    for (const FieldCase& field : fields.mid(0, 12))
        checkField(field, testdb::Charset::Win1252, hostileValues());
}

TEST(FaultsFieldValues, OrderAndItemFieldsStoreHostileTextExactlyOrRefuseTheOrder)
{
    const QList<FieldCase> fields = fieldCases();
    for (const FieldCase& field : fields.mid(12))
        checkField(field, testdb::Charset::Win1252, hostileValues());
}

TEST(FaultsFieldValues, NonLatinTextIsKeptWholeInAUtf8Database)
{
    const QList<Hostile> values{hostileValues()[8], hostileValues()[9]};
    for (const FieldCase& field : fieldCases().mid(0, 8)) {
        for (const Hostile& h : values) {
            SCOPED_TRACE(std::string(field.key) + " / " + h.label);
            const Outcome o = importWith(field, h.value, testdb::Charset::Utf8);
            ASSERT_TRUE(o.booked) << o.error.toStdString();
            EXPECT_EQ(o.stored, field.expected(h.value).trimmed());
        }
    }
}
