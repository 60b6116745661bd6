// Exceptions of the run-time and class library, with their fixed texts.
#pragma once

#include <exception>
#include <string>

namespace rtl {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const { return message_; }

private:
    std::string message_;
};

// Raised by a method that a class declares but does not implement.
class EAbstractError : public Exception {
public:
    EAbstractError() : Exception("Abstract Error") {}
};

// A list index outside the list.
class EListError : public Exception {
public:
    explicit EListError(long long index);
};

// An assignment between classes that do not support it.
class EConvertError : public Exception {
public:
    using Exception::Exception;
    static EConvertError CannotAssign(const std::string& source, const std::string& dest);
};

// A form stream that cannot be read into an object, or written.
class EReadError : public Exception {
public:
    using Exception::Exception;
};

class EWriteError : public Exception {
public:
    using Exception::Exception;
};

// A stream that could not be opened or created.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// Picture errors.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

class EOutOfResources : public Exception {
public:
    EOutOfResources() : Exception("Out of system resources") {}
    using Exception::Exception;
};

// A memory request that could not be met.
class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
    using Exception::Exception;
};

// The silent exception: a handler raises it to cancel the operation that
// called it, and the operation ends without an error being shown.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    using Exception::Exception;
};

}  // namespace rtl
