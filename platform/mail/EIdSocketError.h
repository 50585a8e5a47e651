#pragma once
// The connection to the mail server could not be made (refused, unreachable, name not found,
// not a valid host text) or broke during the exchange, including a server that stopped answering
// after the connect.

#include "EIdException.h"

class EIdSocketError : public EIdException {
public:
    using EIdException::EIdException;
};
