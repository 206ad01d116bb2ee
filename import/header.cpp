// The order header: one saida row per order, its code read back for the items.
#include "import/booking.h"
#include "import/booking_detail.h"
#include "import/booking_observer.h"
#include "import/erp_session.h"
#include "import/sql_text.h"

using sql::quote;

void bookHeader(ImportState& state, const OrderRecord& order, OrderContext& ctx)
{
    FECHA_CONSULTA(state);
    if (!sql::isNumeric(ctx.customerCode))
        return;

    // The values first, so the statement and whoever observes it carry the same texts.
    HeaderValues v;
    v.orderNumber = QString::number(order.orderNumber);
    v.orderTotal = order.orderTotal;
    v.subtotal = order.subtotal;
    v.freightValue = order.freightValue;
    v.note = order.freightChoice + QStringLiteral(" - CODIGO ENVIO: ") + order.shippingCode;
    v.orderDateCompact = order.orderDateCompact;
    v.orderDateSlash = order.orderDateSlash;
    v.shipDateCompact = order.shipDateCompact;
    v.shipDateSlash = order.shipDateSlash;
    v.customerCode = ctx.customerCode;
    v.consumerType = ctx.consumerType;
    v.seller = state.sellerCode.value_or(QString());
    v.paymentMethod = state.paymentMethod ? booking::fieldText(*state.paymentMethod) : QString();
    v.movementType = QString::number(state.movementType);
    v.icmsPercent = sql::regionalNumber(state.icmsPercent);

    const QString sep = QStringLiteral("','");
    QString sqlText = QStringLiteral(
        "insert into saida (sadesconto,savrpago,savrtotal,saobs,total,usuario,sarecebimento,saassinado,valoripi,"
        "sainstalacao,valoricms,vrfrete,sabloqueado,safrete"
        ",TMFINANCEIRO,TMESTOQUE,TMISENTAICMS,CLI_ICMSUF,versao,saintipoconsumidor,saqtdeimpressao,usuario_cri,"
        "data_cri,safktppag,sastatusanalise,tbindividualizada, fktbnome, status, sadtsaida, safktpsaida, "
        "safkinterveniente, datasaida, SAFKVENDEDOR, sadtentrega, dataentrega, sanf,fkftp)");
    sqlText += QStringLiteral(" values(");
    sqlText += QStringLiteral("0,'") + quote(v.orderTotal) + sep + quote(v.subtotal) + sep + quote(v.note) + sep
        + quote(v.orderTotal) + QStringLiteral("','AUTOMATICO','','NAO','0','0','0','") + quote(v.freightValue)
        + QStringLiteral("','1','1'") + QStringLiteral(",'NAO','NAO','0','") + quote(v.icmsPercent)
        + QStringLiteral("','04-02-2015','") + quote(v.consumerType) + QStringLiteral("',0,'AUTOMATICO','")
        + quote(ctx.timestamp) + sep + quote(v.paymentMethod)
        + QStringLiteral("','','NAO', 'SITE', 'P','") + quote(v.orderDateCompact)
        + sep + v.movementType
        + sep + quote(v.customerCode)
        + sep + quote(v.orderDateSlash)
        + sep + quote(v.seller)
        + sep + quote(v.shipDateCompact)
        + sep + quote(v.shipDateSlash)
        + sep + v.orderNumber
        + sep + v.orderNumber
        + QStringLiteral("')");
    state.connection->execute(sqlText);
    if (ctx.observer)
        ctx.observer->headerInserted(v);

    IRecordset& rs = booking::openQuery(
        state, QStringLiteral("select max(sacod) as sacod from saida where usuario_cri='AUTOMATICO' and safkinterveniente='")
                   + quote(ctx.customerCode) + QLatin1Char('\''));
    if (!rs.eof())
        ctx.orderCode = booking::fieldText(rs.field(QStringLiteral("sacod")));
    FECHA_CONSULTA(state);
}
