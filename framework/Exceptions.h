#pragma once
// The framework's error classes. Every error that an event handler lets
// escape is caught by the framework and shown in an error box.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A component was given a name that is not an identifier.
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

// A form definition was refused; the message names the line.
class EDefinitionError : public Exception {
public:
    EDefinitionError(int line, const std::string& message)
        : Exception("line " + std::to_string(line) + ": " + message), Line(line)
    {
    }
    int Line;
};

// A resource built into the executable is missing or cannot be decoded.
class EResourceError : public Exception {
public:
    using Exception::Exception;
};

// A message box could not be shown, or was asked for with buttons it cannot have.
class EDialogError : public Exception {
public:
    using Exception::Exception;
};

// The desktop refused to create a window.
class EWindowError : public Exception {
public:
    using Exception::Exception;
};
