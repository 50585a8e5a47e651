#pragma once
// The database layer's one error class: every failure of a connection or a query arrives as an
// EOleException. Message holds the driver's diagnostic texts (all records, in order, one per
// line); Source names the driver that reported them.

#include <stdexcept>
#include <string>

class EOleException : public std::runtime_error {
public:
    EOleException(const std::string &message, const std::string &source);

    std::string Message;
    std::string Source;
};
