#pragma once
// Booking one order: customer, header, items. Called by IMPORTA_ZELTO inside the order's
// transaction; every statement goes through ImportState::connection, every select through
// the shared recordset (closed first with FECHA_CONSULTA). Failures are thrown as Failure
// (the database's, or the order's for a value that must be a number and is not).
#include "core/clock.h"
#include "import/import_state.h"
#include "import/order_record.h"
#include "import/report.h"

// Municipality lookup, find the customer by CNPJ or CPF (CNPJ wins), refresh it or create it,
// copy its address. Sets ctx.municipalityCode, timestamp, todayCompact, customerCode,
// consumerType; resets orderCode. `ctx.now` must hold the current date and time.
void resolveCustomer(ImportState& state, const OrderRecord& order, OrderContext& ctx);

// Inserts the saida row and reads its code back into ctx.orderCode (left empty when the
// customer code is not a number: nothing is booked then).
void bookHeader(ImportState& state, const OrderRecord& order, OrderContext& ctx);

// Books one item line under ctx.orderCode. A product that is not found is noted on the order
// (saida.saobs), appended to ctx.missingProducts and reported through `report`.
void bookItem(ImportState& state, const OrderItem& item, OrderContext& ctx, IImportReport& report);
