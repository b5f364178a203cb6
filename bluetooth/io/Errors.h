#pragma once

#include <exception>
#include <string>
#include <utility>

namespace flarecast::bluetooth {

// The error kinds of every layer. Errors raised by the Bluetooth layer itself carry no text.
class Error : public std::exception {
public:
    explicit Error(std::string message = {}) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }
    const std::string& getMessage() const noexcept { return message; }

private:
    std::string message;
};

class IOError : public Error {
    using Error::Error;
};

// The local adapter cannot be used.
class BluetoothStateException : public IOError {
    using IOError::IOError;
};

// A connection URL names no connection that can be made, or the device it names did not take
// the connection (out of reach, or refusing the channel or the pairing).
class ConnectionNotFoundException : public IOError {
    using IOError::IOError;
};

class IllegalArgumentError : public Error {
    using Error::Error;
};

// An absent object where one is required.
class NullReferenceError : public Error {
    using Error::Error;
};

// A value asked for in a form that its type does not have.
class TypeError : public Error {
    using Error::Error;
};

class IndexError : public Error {
    using Error::Error;
};

// Text that is not a number in the required base.
class NumberFormatError : public Error {
    using Error::Error;
};

// A failure of no more specific kind.
class RuntimeError : public Error {
    using Error::Error;
};

}  // namespace flarecast::bluetooth
