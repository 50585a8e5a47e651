#include "EOleException.h"

EOleException::EOleException(const std::string &message, const std::string &source)
    : std::runtime_error(message), Message(message), Source(source) {}
