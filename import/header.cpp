// The order header: one saida row per order, its code read back for the items.
#include "import/booking.h"
#include "import/booking_detail.h"
#include "import/booking_observer.h"
#include "import/erp_session.h"
#include "import/sql_text.h"

void bookHeader(ImportState& state, const OrderRecord& order, OrderContext& ctx)
{
    FECHA_CONSULTA(state);
    if (!sql::isNumeric(ctx.customerCode))
        return;

    // The values first: the statement binds them, and whoever observes it is told the same texts.
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

    state.connection->execute(
        QStringLiteral(
            "insert into saida (sadesconto,savrpago,savrtotal,saobs,total,usuario,sarecebimento,saassinado,valoripi,"
            "sainstalacao,valoricms,vrfrete,sabloqueado,safrete"
            ",TMFINANCEIRO,TMESTOQUE,TMISENTAICMS,CLI_ICMSUF,versao,saintipoconsumidor,saqtdeimpressao,usuario_cri,"
            "data_cri,safktppag,sastatusanalise,tbindividualizada, fktbnome, status, sadtsaida, safktpsaida, "
            "safkinterveniente, datasaida, SAFKVENDEDOR, sadtentrega, dataentrega, sanf,fkftp)"
            " values(0,?,?,?,?,'AUTOMATICO','','NAO','0','0','0',?,'1','1','NAO','NAO','0',?,'04-02-2015',?,0,"
            "'AUTOMATICO',?,?,'','NAO', 'SITE', 'P',?,?,?,?,?,?,?,?,?)"),
        {v.orderTotal, v.subtotal, v.note, v.orderTotal, v.freightValue, v.icmsPercent, v.consumerType, ctx.timestamp,
         v.paymentMethod, v.orderDateCompact, v.movementType, v.customerCode, v.orderDateSlash, v.seller,
         v.shipDateCompact, v.shipDateSlash, v.orderNumber, v.orderNumber});
    if (ctx.observer)
        ctx.observer->headerInserted(v);

    IRecordset& rs = booking::openQuery(
        state, QStringLiteral("select max(sacod) as sacod from saida where usuario_cri='AUTOMATICO' and safkinterveniente=?"),
        {ctx.customerCode});
    if (!rs.eof())
        ctx.orderCode = booking::fieldText(rs.field(QStringLiteral("sacod")));
    FECHA_CONSULTA(state);
}
