#include "import/erp_session.h"

#include "core/text_codec.h"

#include "core/ini.h"
#include "core/paths.h"
#include "import/sql_text.h"

#include <QCoreApplication>
#include <QStringList>

#include <cmath>

namespace {

const QString kSection = QStringLiteral("Geral");

// A database value as a number: numeric columns as read, texts in "." or "," form.
double numberOf(const Field& field, const char* column)
{
    if (field.kind == Field::Kind::Text) {
        if (const auto v = sql::parseDecimal(field.text))
            return *v;
        throw Failure(Failure::About::Database, QStringLiteral("O valor \"%1\" da coluna %2 não é um número.")
                                .arg(field.text, QLatin1String(column)));
    }
    if (field.isNull())
        throw Failure(Failure::About::Database, QStringLiteral("A coluna %1 está vazia (NULL).").arg(QLatin1String(column)));
    return field.toDouble();
}

// Unset, NULL, an empty text and a number equal to 0 count as missing; a text "0" does not.
bool missing(const std::optional<Field>& value)
{
    if (!value || value->isNull())
        return true;
    switch (value->kind) {
    case Field::Kind::Integer:
    case Field::Kind::Decimal:
        return value->toDouble() == 0;
    default:
        return value->text.isEmpty();
    }
}

// Runs one step of the sales parameters; a database failure there names the step.
template <typename Step>
void inStep(const char* what, const Step& step)
{
    try {
        step();
    } catch (const Failure& e) {
        if (e.about() != Failure::About::Database)
            throw;
        throw e.as(Failure::About::SalesParameters,
                   QStringLiteral("%1 falhou: %2").arg(QString::fromUtf8(what), e.message()));
    }
}

qint16 toInt16(const Field& field, const char* column)
{
    const double v = std::nearbyint(numberOf(field, column)); // rounds half to even
    if (!(v >= -32768 && v <= 32767))
        throw Failure(Failure::About::Database, QStringLiteral("O código %1 da coluna %2 não cabe num inteiro de 16 bits.")
                                .arg(field.text, QLatin1String(column)));
    return static_cast<qint16>(v);
}

} // namespace

QString zeltoDatabaseName(const QString& executableFolder)
{
    const ZeltoSettings s = readZeltoIni(executableFolder);
    if (s.connectionType.isEmpty())
        return QLatin1Char('"') + s.databasePath + QLatin1Char('"');
    return QStringLiteral("\"%1\" no servidor \"%2\"")
        .arg(s.databaseName.isEmpty() ? QStringLiteral("ZELTOCONTROLLER") : s.databaseName, s.server);
}

void FECHA_CONSULTA(ImportState& state)
{
    state.query.reset();
}

ZeltoSettings readZeltoIni(const QString& executableFolder)
{
    const QString file = paths::findFileIgnoringCase(paths::applicationFolder(executableFolder),
                                                     QStringLiteral("Zelto.ini"));
    ZeltoSettings s;
    s.user = LE_INI(kSection, QStringLiteral("USUARIO"), file);
    s.password = LE_INI(kSection, QStringLiteral("SENHA"), file);
    s.databasePath = LE_INI(kSection, QStringLiteral("LOCALBANCO"), file);
    s.databaseName = LE_INI(kSection, QStringLiteral("BANCO"), file);
    s.server = LE_INI(kSection, QStringLiteral("SERVIDOR"), file);
    s.connectionType = LE_INI(kSection, QStringLiteral("TIPO_CONEXAO"), file);
    return s;
}

QString connectionStringValue(const QString& value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) && !value.contains(QLatin1Char('}')))
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

QString buildConnectionString(const ZeltoSettings& s)
{
    const auto v = connectionStringValue;
    if (s.connectionType.isEmpty()) {
        return QStringLiteral("driver={Firebird/InterBase(r) driver};") + QStringLiteral("server=;") + QStringLiteral("uid=")
               + v(s.user) + QStringLiteral(";Pwd=") + v(s.password) + QStringLiteral(";database=") + v(s.databasePath);
    }
    const QString databaseName = s.databaseName.isEmpty() ? QStringLiteral("ZELTOCONTROLLER") : s.databaseName;
    return QStringLiteral("driver={SQl Server};") + QStringLiteral("server=") + v(s.server) + QStringLiteral(";")
           + QStringLiteral("uid=") + v(s.user) + QStringLiteral(";Pwd=") + v(s.password) + QStringLiteral(";database=")
           + v(databaseName);
}

bool ABRE_BANCO(ImportState& state, const QString& executableFolder, IImportReport& report,
                const ConnectionOpener& opener)
{
    // 1. The database keys.
    const ZeltoSettings settings = readZeltoIni(executableFolder);

    // 2. Let the window paint before the connection blocks.
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();

    // 3-5. A fresh recordset and connection.
    state.query.reset();
    state.connection.reset();
    state.connection = opener(buildConnectionString(settings));

    // 6.
    QString companyState = QStringLiteral("SP");
    state.simplesRate = 0;

    // 7. The parameter row, joined with the company's own registration.
    inStep("a leitura dos parâmetros de venda (PARAM e INTERVENIENTE)", [&] {
        FECHA_CONSULTA(state);
        state.query = state.connection->open(QStringLiteral(
            "SELECT P.ICMSSIMPLES,I.INUF,P.SAFKTPPAG,P.TABELACAIXA,P.TIPOSAIDA FROM PARAM P INNER JOIN INTERVENIENTE I "
            "ON (I.INCOD=P.FKINCOD) WHERE I.FKTIPOINTERVENIENTE=5"));
        if (state.query->eof())
            return;
        const Field companyStateField = state.query->field(QStringLiteral("inuf"));
        if (!companyStateField.isNull() && !text::trimSpaces(companyStateField.text).isEmpty())
            companyState = text::trimSpaces(companyStateField.text);
        const Field paymentMethod = state.query->field(QStringLiteral("SAFKTPPAG"));
        if (!paymentMethod.isNull() && !text::trimSpaces(paymentMethod.text).isEmpty())
            state.paymentMethod = paymentMethod;
        const Field outgoingType = state.query->field(QStringLiteral("TIPOSAIDA"));
        if (!outgoingType.isNull() && !text::trimSpaces(outgoingType.text).isEmpty())
            state.outgoingType = text::trimSpaces(outgoingType.text);
        const Field simplesRate = state.query->field(QStringLiteral("icmssimples"));
        if (!simplesRate.isNull() && !text::trimSpaces(simplesRate.text).isEmpty())
            state.simplesRate = numberOf(simplesRate, "ICMSSIMPLES") / 100;
    });

    // 8. The movement type of orders from this tool: one that moves neither stock nor finances.
    inStep("a leitura do tipo de movimento (TIPOMOVIMENTO)", [&] {
        FECHA_CONSULTA(state);
        state.query = state.connection->open(
            QStringLiteral("SELECT TMCOD FROM TIPOMOVIMENTO WHERE TMDESC=? AND TMESTOQUE<>'SIM' AND TMFINANCEIRO<>'SIM' AND TIPO='S'"),
            {state.outgoingType.value_or(QString())});
        if (!state.query->eof())
            state.movementType = toInt16(state.query->field(QStringLiteral("tmcod")), "TMCOD");
    });

    // 9. The internal ICMS rate of the company's state.
    inStep("a leitura da alíquota de ICMS (ICMS)", [&] {
        FECHA_CONSULTA(state);
        state.icmsRate = 0.18;
        state.query = state.connection->open(QStringLiteral("SELECT ICALIQUOTA FROM ICMS WHERE ICUF=? AND ICALIQUOTA>0"),
                                             {companyState});
        if (!state.query->eof())
            state.icmsRate = numberOf(state.query->field(QStringLiteral("ICALIQUOTA")), "ICALIQUOTA") * 0.01;
    });

    // 10.
    FECHA_CONSULTA(state);
    state.icmsPercent = 100 * state.icmsRate;
    if (state.simplesRate > 0)
        state.icmsPercent = 100 * state.simplesRate;

    // 11. The ERP must be configured for this tool.
    const QString crlf = QStringLiteral("\r\n");
    const QString header = QStringLiteral("Entre nos Parâmetros do Sistema e informe na guia VENDAS 1");
    if (missing(state.paymentMethod)) {
        report.critical(header + crlf + QStringLiteral("O campo FORMA PAGTO. P/ MOBILE/FTP:"));
        return false;
    }
    if (state.movementType == 0) {
        report.critical(header + crlf
                        + QStringLiteral("O campo TIPO DE MOVIMENTO P/ INICIO DA TELA PEDIDO DE VENDAS/MOBILE/FTP:") + crlf
                        + QStringLiteral("Deve ser utilizado um Movimento como Orçamento, que não movimente o Estoque."));
        return false;
    }
    if (!state.sellerCode || state.sellerCode->isEmpty()) {
        report.critical(QStringLiteral("Abra o arquivo ftp.ini e informe o código do vendedor na linha VENDEDOR="));
        return false;
    }
    return true;
}

bool openImportSession(ImportState& state, const QString& executableFolder, IImportReport& report,
                       const ConnectionOpener& opener)
{
    try {
        return ABRE_BANCO(state, executableFolder, report, opener);
    } catch (...) {
        const Failure e = Failure::current(Failure::About::Database);
        // The driver's text may name only the host: the message says which database it was.
        report.critical((e.about() == Failure::About::SalesParameters
                             ? QStringLiteral("O banco de dados %1 (de Zelto.ini) foi aberto, mas %2")
                             : QStringLiteral("Não foi possível abrir o banco de dados %1 (de Zelto.ini): %2"))
                            .arg(zeltoDatabaseName(executableFolder), e.message()));
        return false;
    }
}
