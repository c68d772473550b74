#pragma once

#include <string>

// The one failure type of the program: a fixed English message, thrown by value
// anywhere and caught once, by the front end, which prints it.
class CPdfException {
public:
    explicit CPdfException(std::string message) : message_(std::move(message)) {}
    virtual ~CPdfException() = default;

    CPdfException(const CPdfException&) = default;
    CPdfException& operator=(const CPdfException&) = default;

    virtual const char* GetMessage() const { return message_.c_str(); }

private:
    std::string message_;
};
