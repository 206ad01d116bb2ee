// The order items: each item line booked under the order code with the product's tax data or
// the defaults; products the ERP does not know are noted on the order.
#include "import/booking.h"

#include "core/failure.h"
#include "import/booking_detail.h"
#include "import/booking_observer.h"
#include "import/erp_session.h"
#include "import/sql_text.h"


namespace {

// A text column replaces its default unless it is NULL or blank; CHAR padding is dropped.
void takeText(const IRecordset& product, const char* column, QString& target)
{
    const Field f = product.field(QString::fromLatin1(column));
    if (f.isNull())
        return;
    const QString value = booking::trimSpaces(f.text);
    if (!value.isEmpty())
        target = value;
}

// A numeric column replaces its default unless it is NULL (or an empty text), 0 included.
void takeNumber(const IRecordset& product, const char* column, double& target)
{
    const Field f = product.field(QString::fromLatin1(column));
    if (f.isNull() || (f.kind == Field::Kind::Text && booking::trimSpaces(f.text).isEmpty()))
        return;
    target = f.toDouble();
}

double lineTotalNumber(const OrderItem& item, const QString& text)
{
    const std::optional<double> value = sql::parseDecimal(text);
    if (!value) {
        // The caller adds the file name and the line.
        throw Failure(Failure::About::Order,
                      QStringLiteral("o valor total \"%1\" do produto de código de barras %2 não é um número")
                          .arg(item.lineTotal, item.barcode));
    }
    return *value;
}

void noteMissingProduct(ImportState& state, const OrderItem& item, OrderContext& ctx, IImportReport& report)
{
    MissingProductValues v;
    v.lineNumber = item.lineNumber;
    v.barcode = item.barcode;
    v.productName = item.productName;
    v.note = QStringLiteral("UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: ") + item.barcode
        + QStringLiteral(" | ") + item.productName;
    state.connection->execute(QStringLiteral("update saida set saobs=? where sacod=?"), {v.note, ctx.orderCode});
    if (ctx.observer)
        ctx.observer->productMissing(v);
    ctx.missingProducts << item.barcode + QStringLiteral(" | ") + item.productName;
    report.log(QStringLiteral("Pedido %1: produto não cadastrado no sistema, item não lançado: código de barras %2, %3")
                   .arg(ctx.fileName, item.barcode, item.productName));
}

} // namespace

QString ItemTaxVariables::icmsBaseSql() const
{
    if (icmsBaseNumber)
        return sql::regionalNumber(*icmsBaseNumber);
    QString text = icmsBaseText;
    return text.replace(QLatin1Char(','), QLatin1Char('.'));
}

void PREENCHE_VAR_PADRAO(const IRecordset& product, const ImportState& state, const OrderItem& item,
                         const OrderContext& ctx, ItemTaxVariables& vars)
{
    vars = ItemTaxVariables();
    takeNumber(product, "prvolume", vars.volume);
    takeText(product, "prunisaida", vars.unit);
    takeNumber(product, "pripi", vars.ipiRate);
    takeText(product, "prcst", vars.icmsSituation);
    takeText(product, "prcstipi", vars.ipiSituation);

    vars.ipiValue = 0;
    if (vars.ipiRate > 0)
        vars.ipiValue = lineTotalNumber(item, item.lineTotal) * vars.ipiRate / 100;

    vars.icmsBaseText = item.lineTotal;
    vars.icmsBaseText.replace(QLatin1Char('.'), QLatin1Char(','));
    vars.icmsBaseNumber.reset();
    vars.icmsValue = 0;

    // ICMS is charged unless the situation is 500 (simplified regime) or 60 (already charged by
    // tax substitution), or the code has an unexpected length.
    const QString& cst = vars.icmsSituation;
    vars.icmsCharged = (cst.size() == 4 && cst.mid(1, 3) != QLatin1String("500"))
        || (cst.size() == 3 && cst.mid(1, 2) != QLatin1String("60"));
    if (vars.icmsCharged) {
        double base = 0;
        if (ctx.consumerType == QLatin1String("CONSUMIDOR FINAL")) {
            base = vars.ipiValue + lineTotalNumber(item, item.lineTotal);
            vars.icmsBaseNumber = base;
        } else {
            base = lineTotalNumber(item, vars.icmsBaseText);
        }
        const double rate = state.simplesRate == 0 ? state.icmsRate : state.simplesRate;
        vars.icmsValue = base * rate;
    }
}

void bookItem(ImportState& state, const OrderItem& item, OrderContext& ctx, IImportReport& report)
{
    IRecordset& product = booking::openQuery(
        state, QStringLiteral("select p.prvolume,p.prcod,p.prunisaida,p.prcst,p.pripi,p.prcstipi,s.sasaldo,"
                              "s.sacod as saldocod from produto p inner join saldo s on(s.fkprcod=p.prcod) "
                              "where p.prbarra=?"),
        {item.barcode});
    if (product.eof()) {
        noteMissingProduct(state, item, ctx, report);
        FECHA_CONSULTA(state);
        return;
    }

    ItemTaxVariables vars;
    PREENCHE_VAR_PADRAO(product, state, item, ctx, vars);

    // The values first: the statement binds them, and whoever observes it is told the same texts.
    auto commaToPoint = [](QString text) { return text.replace(QLatin1Char(','), QLatin1Char('.')); };
    ItemValues v;
    v.lineNumber = item.lineNumber;
    v.barcode = item.barcode;
    v.productName = item.productName;
    v.productCode = booking::fieldText(product.field(QStringLiteral("prcod")));
    v.quantity = commaToPoint(item.quantity);
    v.unit = vars.unit;
    v.unitPrice = commaToPoint(item.unitPrice);
    v.lineTotal = commaToPoint(item.lineTotal);
    v.volume = sql::regionalNumber(vars.volume);
    v.icmsSituation = vars.icmsSituation;
    v.icmsBase = vars.icmsBaseSql();
    v.icmsValue = sql::regionalNumber(vars.icmsValue);
    v.icmsPercent = sql::regionalNumber(state.icmsPercent);
    v.ipiSituation = vars.ipiSituation;
    v.ipiValue = sql::regionalNumber(vars.ipiValue);
    v.ipiRate = sql::regionalNumber(vars.ipiRate);
    const QString stockCode = booking::fieldText(product.field(QStringLiteral("saldocod")));

    state.connection->execute(
        QStringLiteral(
            "insert into itemsaida (picmsst,prcst_icms,vbcicms,vicms,vbcst,vicmsst,perc_icms,aliquotainterna,"
            "red_bcicmsst,cstipi,vipi,pipi"
            ",itfesq,itmodelado,itlargura,italtura,itm2,itsadesconto,usuario_cri,data_cri,tppromocao,"
            "ITENTREGA_RETIRA,itvolume, itfksacod, itfkprcod, itfklocod, itqtd, itunidade, itvrunitario, itvrtotal, "
            "itobs, ITvrIPI, itlote, itvalidade, DATAVALIDADE, itprnome,saldo,SALDOCOD)"
            " values(0,?,?,?,0,0,?,18,0,?,?,?,'0','0','0','0','0',0,'AUTOMATICO',?,'','',?, ?,?,'0',?,?,?,?,'',?,'',"
            "'30001231','12/31/3000',?,?,?)"),
        {v.icmsSituation, v.icmsBase, v.icmsValue, v.icmsPercent, v.ipiSituation, v.ipiValue, v.ipiRate,
         booking::shortDate(ctx.now.date()), v.volume, ctx.orderCode, v.productCode, v.quantity, v.unit, v.unitPrice,
         v.lineTotal, v.ipiRate, v.productName, v.quantity, stockCode});
    if (ctx.observer)
        ctx.observer->itemInserted(v);
    FECHA_CONSULTA(state);
}
