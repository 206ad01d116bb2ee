#pragma once
// The shared import state (the module of the original program): the open database session, the
// one recordset every select uses, the seller code and the sales parameters.
#include "import/db/database.h"

#include <QString>
#include <memory>
#include <optional>

struct ImportState {
    std::unique_ptr<IConnection> CONEXAO;
    std::unique_ptr<IRecordset> CONSULTA;        // null while closed

    std::optional<QString> CODIGO_VENDEDOR;      // "COD_VENDEDOR" of ftp.ini read at start-up
    std::optional<Field> FORMA_PAGTO;            // SAFKTPPAG of the parameter row, as read
    std::optional<QString> TIPO_SAIDA;           // trimmed TIPOSAIDA
    qint16 TIPO_MOVIMENTO = 0;                   // TMCOD of that movement type
    double ALIQUOTA_ICMS = 0;                    // a fraction
    double ALIQUOTA_SIMPLES = 0;                 // a fraction
    double PERC_ICMS = 0;                        // a percentage
};
