#pragma once
// Helpers shared by the booking steps (customer, header, items).
#include "core/text_codec.h"
#include "import/import_state.h"
#include "import/order_record.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace booking {

using text::trimSpaces;

// "M/D/YYYY": month and day without leading zeros.
QString shortDate(const QDate& date);

// "M/D/YYYY HH:MM:SS", the time on the 24-hour clock.
QString timestampText(const QDateTime& now);

// A field as the text that goes into a statement: whole numbers as plain digits, texts as stored,
// NULL as empty.
QString fieldText(const Field& field);

// FECHA_CONSULTA, then runs the select with its values; the recordset is returned for reading
// its first row.
IRecordset& openQuery(ImportState& state, const QString& sql, const QStringList& values);

} // namespace booking

// The item tax variables: the product's values or their defaults, and the IPI and ICMS computed
// for one item line.
struct ItemTaxVariables {
    double volume = 1;                                      // prvolume
    QString unit = QStringLiteral("UN");                    // prunisaida
    double ipiRate = 0;                                     // pripi, a percentage
    QString icmsSituation = QStringLiteral("0500");         // prcst: origin digit + ICMS situation
    QString ipiSituation = QStringLiteral("52");            // prcstipi
    double ipiValue = 0;
    // The ICMS base: the line total text with "," as decimal separator, or, once computed
    // from the IPI value and the line total, a number.
    QString icmsBaseText;
    std::optional<double> icmsBaseNumber;
    double icmsValue = 0;
    bool icmsCharged = false;                               // the ICMS flag ("SIM")

    // The ICMS base as it enters a statement ("." as decimal separator).
    QString icmsBaseSql() const;
};

// Fills the item tax variables from the `product` row (defaults for NULL or blank columns) and
// computes the item's IPI and ICMS from its line total, the consumer type and the rates of
// `state`. Throws a Failure when the line total is needed as a number and is not one.
void PREENCHE_VAR_PADRAO(const IRecordset& product, const ImportState& state, const OrderItem& item,
                         const OrderContext& ctx, ItemTaxVariables& vars);
