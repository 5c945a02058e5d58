#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/expected.hpp"

namespace ml {

// What kind of failure an Error stands for. Os errors map their Win32 code onto these.
enum class ErrorKind {
    NotFound,
    PermissionDenied,
    AlreadyExists,
    InvalidInput,
    InvalidData,
    UnexpectedEof,
    Other,
};

// The kind's name as error debug forms print it ("NotFound", "InvalidData", ...).
std::string_view kind_name(ErrorKind kind);

// A failure: its kind, the Win32 code when the operating system reported it (0 otherwise),
// and a message for people. Errors with a debug form of their own (command-line errors)
// carry it in debug_form.
struct Error {
    ErrorKind kind = ErrorKind::Other;
    std::string message;
    std::uint32_t os_code = 0;
    std::string debug_form;

    // An error made by this program, with its kind and message.
    static Error make(ErrorKind kind, std::string message);
    // An error reported by the operating system: code and its system message text.
    static Error os(std::uint32_t code, std::string system_message);

    // The text shown to people: the message, and for OS errors " (os error N)" after it.
    std::string display() const;
    // The form printed after "Error: " when a run fails: names the kind and carries the
    // message, e.g. Custom { kind: InvalidData, error: "Invalid VDF header" } or
    // Os { code: 5, kind: PermissionDenied, message: "Access is denied." }.
    std::string debug() const;

    friend bool operator==(const Error&, const Error&) = default;
};

template <class T>
using Result = std::expected<T, Error>;

// Shorthand for returning a failure from a function that returns Result<T>.
inline std::unexpected<Error> fail(ErrorKind kind, std::string message) {
    return std::unexpected(Error::make(kind, std::move(message)));
}

// The kind that a Win32 error code stands for.
ErrorKind kind_from_os_code(std::uint32_t code);

// True for an OS error that says another program holds the file: a sharing violation (open
// without the sharing asked for, or a running program's image) or a lock violation.
bool is_in_use(const Error& error);

}  // namespace ml
