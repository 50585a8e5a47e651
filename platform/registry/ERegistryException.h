#pragma once
// The settings store's error: a read of the wrong type, a binary value larger than the caller's
// buffer, a write that could not be saved. Message is the text the application's exception
// display shows.

#include <stdexcept>
#include <string>

class ERegistryException : public std::runtime_error {
public:
    explicit ERegistryException(const std::string &message);

    std::string Message;
};
