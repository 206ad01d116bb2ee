#pragma once
// The shared import state: the open database session, the one recordset every select uses, the
// seller code and the sales parameters.
#include "import/db/database.h"

#include <QString>
#include <memory>
#include <optional>

struct ImportState {
    std::unique_ptr<IConnection> connection;
    std::unique_ptr<IRecordset> query;           // the one recordset of every select; null while closed

    std::optional<QString> sellerCode;           // "COD_VENDEDOR" of ftp.ini read at start-up
    std::optional<Field> paymentMethod;          // SAFKTPPAG of the parameter row, as read
    std::optional<QString> outgoingType;         // trimmed TIPOSAIDA
    qint16 movementType = 0;                     // TMCOD of that movement type
    double icmsRate = 0;                         // the state's internal ICMS rate, a fraction
    double simplesRate = 0;                      // ICMSSIMPLES, a fraction
    double icmsPercent = 0;                      // the ICMS percentage booked on items
};
