// What a connection is made from: the owner text, the connection string built
// from it, password masking, the ODBC driver chosen and its messages cleaned up.
#pragma once

#include "runtime/sql/connection_string.h"
#include "runtime/sql/driver_message.h"
#include "runtime/sql/odbc_driver_choice.h"
#include "runtime/sql/owner_text.h"
#include "runtime/sql/password_mask.h"
